#include "SimulatedAdbd.h"

#include "LoopbackSockets.h"
#include "SimulatedAdbdConnection.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnwick::peers {

SimulatedAdbd::SimulatedAdbd()
    : SimulatedAdbd(Options())
{}

SimulatedAdbd::SimulatedAdbd(Options options)
    : m_options(std::move(options))
{
    const int fd = listenLoopback(m_port);
    if (fd < 0)
        return;
    m_listenFd = fd;
    m_acceptor = std::thread([this] { acceptLoop(); });
}

SimulatedAdbd::~SimulatedAdbd()
{
    if (m_listenFd >= 0) {
        ::shutdown(m_listenFd, SHUT_RDWR);
        m_acceptor.join();
        ::close(m_listenFd);
    }
    unplug();
    std::list<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        threads.swap(m_threads);
    }
    for (std::thread &t : threads)
        t.join();
}

void SimulatedAdbd::acceptLoop()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        // Like adbd: every small acknowledgement leaves at once.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto connection = std::make_shared<SimulatedAdbdConnection>(*this, fd);
        std::lock_guard lock(m_mutex);
        m_connections.push_back(connection);
        m_threads.emplace_back([connection] { connection->serve(); });
    }
}

void SimulatedAdbd::unplug()
{
    std::list<std::shared_ptr<SimulatedAdbdConnection>> connections;
    {
        std::lock_guard lock(m_mutex);
        connections = m_connections;
    }
    for (const auto &c : connections)
        c->drop();
}

void SimulatedAdbd::answerPrompt(bool allow)
{
    std::lock_guard lock(m_mutex);
    m_promptAnswer = allow;
}

std::optional<bool> SimulatedAdbd::promptAnswer() const
{
    std::lock_guard lock(m_mutex);
    return m_promptAnswer;
}

void SimulatedAdbd::dismissPrompt(bool newToken)
{
    std::lock_guard lock(m_mutex);
    ++m_promptGeneration;
    m_tokenAfterDismiss = newToken;
}

SimulatedAdbd::PromptState SimulatedAdbd::promptState(int generation) const
{
    std::lock_guard lock(m_mutex);
    PromptState state;
    state.dismissed = m_promptGeneration != generation;
    state.tokenAfterDismiss = m_tokenAfterDismiss;
    if (!state.dismissed)
        state.answer = m_promptAnswer;
    return state;
}

void SimulatedAdbd::setShellHandler(ShellHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

void SimulatedAdbd::setFault(Fault fault)
{
    std::lock_guard lock(m_mutex);
    m_fault = fault;
}

SimulatedAdbd::Fault SimulatedAdbd::takeFault(Fault which)
{
    std::lock_guard lock(m_mutex);
    if (m_fault != which)
        return Fault::None;
    m_fault = Fault::None;
    return which;
}

void SimulatedAdbd::trustKey(const QByteArray &blob)
{
    if (auto key = SimulatedAdbdKey::fromBlob(blob))
        trust(key);
}

void SimulatedAdbd::trust(const std::shared_ptr<SimulatedAdbdKey> &key)
{
    std::lock_guard lock(m_mutex);
    m_trusted.append(key);
}

void SimulatedAdbd::mapPort(quint16 phonePort, quint16 localPort)
{
    std::lock_guard lock(m_mutex);
    m_portMap[phonePort] = localPort;
}

quint16 SimulatedAdbd::mappedPort(quint16 phonePort) const
{
    std::lock_guard lock(m_mutex);
    return m_portMap.value(phonePort, phonePort);
}

void SimulatedAdbd::setUserPackages(const QStringList &packages)
{
    std::lock_guard lock(m_mutex);
    m_userPackages = packages;
}

QStringList SimulatedAdbd::shellCommands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

QMap<QString, QByteArray> SimulatedAdbd::files() const
{
    std::lock_guard lock(m_mutex);
    return m_files;
}

QMap<QString, int> SimulatedAdbd::fileModes() const
{
    std::lock_guard lock(m_mutex);
    return m_modes;
}

QMap<QString, qint64> SimulatedAdbd::fileSizes() const
{
    std::lock_guard lock(m_mutex);
    return m_sizes;
}

QStringList SimulatedAdbd::installedPackages() const
{
    std::lock_guard lock(m_mutex);
    return m_installed;
}

QList<QByteArray> SimulatedAdbd::offeredKeys() const
{
    std::lock_guard lock(m_mutex);
    return m_offered;
}

int SimulatedAdbd::signaturesAccepted() const
{
    std::lock_guard lock(m_mutex);
    return m_signaturesAccepted;
}

int SimulatedAdbd::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return int(m_connections.size());
}

std::shared_ptr<SimulatedAdbdKey> SimulatedAdbd::trustedKeyFor(const QByteArray &token, const QByteArray &signature)
{
    std::lock_guard lock(m_mutex);
    for (const auto &key : std::as_const(m_trusted)) {
        if (key->verify(token, signature)) {
            ++m_signaturesAccepted;
            return key;
        }
    }
    return nullptr;
}

int SimulatedAdbd::keyOffered(const QByteArray &line)
{
    std::lock_guard lock(m_mutex);
    m_offered.append(line);
    return m_promptGeneration;
}

void SimulatedAdbd::storeFile(const QString &path, const QByteArray &data, int mode, qint64 size)
{
    std::lock_guard lock(m_mutex);
    m_files[path] = data;
    m_modes[path] = mode;
    m_sizes[path] = size;
}

SimulatedAdbd::ShellResult SimulatedAdbd::runShell(const QString &command)
{
    ShellHandler handler;
    {
        std::lock_guard lock(m_mutex);
        m_commands.append(command);
        handler = m_handler;
    }
    if (handler) {
        if (std::optional<ShellResult> answer = handler(command))
            return *answer;
    }
    return builtinShell(command);
}

SimulatedAdbd::ShellResult SimulatedAdbd::builtinShell(const QString &command)
{
    const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    std::lock_guard lock(m_mutex);
    ShellResult r;
    if (verb == QLatin1String("pm") && words.value(1) == QLatin1String("list") &&
        words.value(2) == QLatin1String("packages")) {
        QStringList listed = m_userPackages + m_installed;
        if (words.value(3) == QLatin1String("-s"))
            listed = {QStringLiteral("android"), QStringLiteral("com.android.phone")};
        else if (words.value(3) != QLatin1String("-3"))
            listed += {QStringLiteral("android"), QStringLiteral("com.android.phone")};
        for (const QString &p : std::as_const(listed))
            r.out += "package:" + p.toUtf8() + '\n';
        return r;
    }
    if (verb == QLatin1String("pm") && words.value(1) == QLatin1String("install")) {
        const QString path = words.value(words.size() - 1);
        if (!m_files.contains(path)) {
            r.err = "Failure [INSTALL_FAILED_INVALID_URI]\n";
            r.exitCode = 1;
        } else if (!m_files.value(path).startsWith("PK")) {
            r.err = "Failure [INSTALL_PARSE_FAILED_NOT_APK]\n";
            r.exitCode = 1;
        } else {
            m_installed.append(QStringLiteral("com.ferrovantis.contactssync"));
            m_installed.removeDuplicates();
            r.out = "Success\n";
        }
        return r;
    }
    if (verb == QLatin1String("rm")) {
        m_files.remove(words.value(words.size() - 1));
        return r;
    }
    if (command == QLatin1String("logcat -d")) {
        r.out = "12-10 16:00:00.000  1000  1000 I ActivityManager: Start proc com.ferrovantis.contactssync\n"
                "12-10 16:00:01.000  1000  1000 I ContactsSync: caf\xc3\xa9 ready\n";
        return r;
    }
    if (verb == QLatin1String("dumpsys") && words.value(1) == QLatin1String("package")) {
        if (m_installed.contains(words.value(2)) || m_userPackages.contains(words.value(2))) {
            r.out = "Packages:\n  Package [" + words.value(2).toUtf8() +
                    "] (4f2a):\n    versionCode=21 minSdk=14 targetSdk=28\n"
                    "    User 0: ceDataInode=1 installed=true hidden=false suspended=false stopped=false "
                    "notLaunched=false enabled=0\n";
        }
        return r;
    }
    if (command == QLatin1String("cat /system/build.prop")) {
        r.out = "# begin build properties\nro.product.model=Simulated 5\nro.build.version.release=9\n"
                "ro.build.version.sdk=28\n";
        return r;
    }
    if (verb == QLatin1String("am") && words.value(1) == QLatin1String("start")) {
        r.out = "Starting: Intent { cmp=" + words.value(3).toUtf8() + " }\n";
        return r;
    }
    if (verb == QLatin1String("am") && words.value(1) == QLatin1String("broadcast")) {
        r.out = "Broadcasting: Intent { dat=" + words.value(words.size() - 1).toUtf8() +
                " }\nBroadcast completed: result=0\n";
        return r;
    }
    if (verb == QLatin1String("echo")) {
        r.out = command.mid(5).toUtf8() + '\n';
        return r;
    }
    if (verb == QLatin1String("exit")) {
        r.exitCode = words.value(1).toInt();
        return r;
    }
    r.err = "/system/bin/sh: " + verb.toUtf8() + ": not found\n";
    r.exitCode = 127;
    return r;
}

} // namespace tarnwick::peers
