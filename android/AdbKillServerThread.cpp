#include "AdbKillServerThread.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMutexLocker>
#include <QProcess>
#include <QTcpSocket>

#include <csignal>
#include <sys/types.h>

namespace {

constexpr int kQueryTimeoutMs = 10000;
constexpr int kRequestTimeoutMs = 1000;
// How often a server asked to quit is looked for again.
constexpr int kRecheckMs = 100;

// A process id as lsof gives it: plain decimal digits; -1 for anything else.
qint64 plainNumber(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 10)
        return -1;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
    }
    return text.toLongLong();
}

// Whether a file of lsof's output is a socket listening on the port: a local address alone (a
// connection reads "local->remote"), that port after its last colon, and a state of LISTEN where
// lsof gives one.
bool listensOn(const QByteArray &name, const QByteArray &state, quint16 port)
{
    if (!state.isEmpty() && state != "LISTEN")
        return false;
    if (name.contains("->"))
        return false;
    const qsizetype colon = name.lastIndexOf(':');
    return colon >= 0 && name.mid(colon + 1) == QByteArray::number(port);
}

std::optional<QByteArray> listListeners(quint16 port)
{
    QProcess lsof;
    lsof.start(QStringLiteral("lsof"), {QStringLiteral("-nP"), QStringLiteral("-iTCP:%1").arg(port),
                                        QStringLiteral("-sTCP:LISTEN"), QStringLiteral("-FpcfnT")});
    if (!lsof.waitForStarted(kQueryTimeoutMs))
        return std::nullopt;
    if (!lsof.waitForFinished(kQueryTimeoutMs) || lsof.exitStatus() != QProcess::NormalExit) {
        lsof.kill();
        lsof.waitForFinished();
        return std::nullopt;
    }
    // lsof ends with status 1 when nothing listens: an empty list, not a failure.
    return lsof.readAllStandardOutput();
}

void endProcess(qint64 pid)
{
    ::kill(pid_t(pid), SIGKILL);
}

} // namespace

AdbKillServerThread::AdbKillServerThread(QObject *parent)
    : AdbKillServerThread(parent, systemActions())
{}

AdbKillServerThread::AdbKillServerThread(QObject *parent, Actions actions)
    : QThread(parent)
    , m_actions(std::move(actions))
{}

AdbKillServerThread::~AdbKillServerThread()
{
    stop();
}

AdbKillServerThread::Actions AdbKillServerThread::systemActions()
{
    Actions actions;
    actions.listListeners = listListeners;
    actions.askToQuit = [](const QHostAddress &address, quint16 port) {
        return requestServerQuit(address, port, kRequestTimeoutMs);
    };
    actions.kill = endProcess;
    return actions;
}

bool AdbKillServerThread::stop()
{
    {
        QMutexLocker lock(&mutex);
        stopped = true;
    }
    return wait();
}

bool AdbKillServerThread::isStopped()
{
    QMutexLocker lock(&mutex);
    return stopped;
}

namespace {

// One process of lsof's field output, with the names of its sockets that listen on the port.
struct ListingProcess
{
    qint64 pid = -1;
    QByteArray command;
    QList<QByteArray> listening;
};

QList<ListingProcess> listingProcesses(const QByteArray &lsofFields, quint16 port)
{
    QList<ListingProcess> processes;
    // Field output: a line per field, its first character naming it. "p" opens a process, whose
    // "c" is its command; "f" opens one of its files, whose "n" is the name, followed by "TST=" with
    // the state.
    ListingProcess current;
    QByteArray name;
    QByteArray state;
    const auto endOfFile = [&] {
        if (listensOn(name, state, port) && !current.listening.contains(name))
            current.listening.append(name);
        name.clear();
        state.clear();
    };
    const auto endOfProcess = [&] {
        endOfFile();
        if (current.pid != -1 || !current.listening.isEmpty())
            processes.append(current);
        current = ListingProcess();
    };
    QByteArray fields = lsofFields;
    // With -0 the fields end in NUL instead.
    fields.replace('\0', '\n');
    for (const QByteArray &line : fields.split('\n')) {
        if (line.isEmpty())
            continue;
        const QByteArray value = line.mid(1);
        switch (line.at(0)) {
        case 'p':
            endOfProcess();
            current.pid = plainNumber(value);
            break;
        case 'c':
            current.command = value;
            break;
        case 'f':
            endOfFile();
            break;
        case 'n':
            // Without file fields a new name is the next file.
            if (!name.isEmpty())
                endOfFile();
            name = value;
            break;
        case 'T':
            if (value.startsWith("ST="))
                state = value.mid(3);
            break;
        default:
            break;
        }
    }
    endOfProcess();
    return processes;
}

bool isServer(const ListingProcess &process, qint64 ownPid)
{
    // 0 would name our own process group and 1 the system's init: neither is ever a server.
    return !process.listening.isEmpty() && process.command == "adb" && process.pid > 1 &&
           process.pid <= 0x7fffffff && process.pid != ownPid;
}

// Where a client reaches a socket that listens on `name` (lsof's "address:port", an IPv6 address in
// brackets): that address, or both loopbacks for every address ("*") and names that are no plain
// address.
QList<QHostAddress> reachableAt(const QByteArray &name)
{
    QByteArray host = name.left(name.lastIndexOf(':'));
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    QHostAddress address;
    if (host == "*" || !address.setAddress(QString::fromLatin1(host)) || address.isNull())
        return {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)};
    if (address == QHostAddress::AnyIPv4)
        return {QHostAddress(QHostAddress::LocalHost)};
    if (address == QHostAddress::AnyIPv6)
        return {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)};
    return {address};
}

} // namespace

QList<qint64> AdbKillServerThread::adbServers(const QByteArray &lsofFields, quint16 port, qint64 ownPid)
{
    QList<qint64> servers;
    for (const ListingProcess &process : listingProcesses(lsofFields, port)) {
        if (isServer(process, ownPid) && !servers.contains(process.pid))
            servers.append(process.pid);
    }
    return servers;
}

QList<QHostAddress> AdbKillServerThread::serverAddresses(const QByteArray &lsofFields, quint16 port,
                                                         qint64 pid)
{
    QList<QHostAddress> addresses;
    for (const ListingProcess &process : listingProcesses(lsofFields, port)) {
        if (process.pid != pid)
            continue;
        for (const QByteArray &name : process.listening) {
            for (const QHostAddress &address : reachableAt(name)) {
                if (!addresses.contains(address))
                    addresses.append(address);
            }
        }
    }
    return addresses;
}

bool AdbKillServerThread::requestServerQuit(const QHostAddress &address, quint16 port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    // A host request: its length in four hexadecimal digits, then the request itself.
    const QByteArray request("host:kill");
    socket.write(QByteArray::number(request.size(), 16).rightJustified(4, '0') + request);
    QByteArray answer;
    while (answer.size() < 4) {
        if (socket.bytesAvailable() == 0 &&
            (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))))
            break;
        answer += socket.read(4 - answer.size());
    }
    return answer == "OKAY";
}

QList<qint64> AdbKillServerThread::serversNow(qint64 ownPid, QByteArray *fields)
{
    const std::optional<QByteArray> listing = m_actions.listListeners(m_actions.port);
    if (!listing) {
        if (!m_queryFailureLogged)
            qCWarning(lcAndroid)
                << "The listeners on the ADB server port cannot be listed (is lsof installed?)";
        m_queryFailureLogged = true;
        return {};
    }
    if (fields)
        *fields = *listing;
    return adbServers(*listing, m_actions.port, ownPid);
}

bool AdbKillServerThread::endServers(qint64 ownPid)
{
    QByteArray fields;
    const QList<qint64> servers = serversNow(ownPid, &fields);
    if (servers.isEmpty())
        return false;
    qCInfo(lcAndroid) << "Asking the ADB server" << servers << "to quit, so that it frees the phones";
    // Asked where it listens: a server may listen on the IPv6 loopback alone.
    for (const qint64 pid : servers) {
        for (const QHostAddress &address : serverAddresses(fields, m_actions.port, pid)) {
            if (m_actions.askToQuit(address, m_actions.port))
                break;
        }
    }

    QElapsedTimer waited;
    waited.start();
    QList<qint64> left = serversNow(ownPid);
    while (!left.isEmpty() && waited.elapsed() < m_actions.quitWaitMs) {
        QThread::msleep(static_cast<unsigned long>(qMin(kRecheckMs, m_actions.quitWaitMs)));
        left = serversNow(ownPid);
    }
    for (const qint64 pid : std::as_const(left)) {
        qCInfo(lcAndroid) << "The ADB server" << pid << "still listens; ending it";
        m_actions.kill(pid);
    }
    return true;
}

void AdbKillServerThread::run()
{
    const qint64 ownPid = QCoreApplication::applicationPid();
    while (!isStopped()) {
        if (endServers(ownPid))
            emit adbServerEnded();
        QThread::msleep(static_cast<unsigned long>(m_actions.pauseMs));
    }
}
