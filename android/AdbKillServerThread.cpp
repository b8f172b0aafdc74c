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
    actions.askToQuit = [](quint16 port) { return requestServerQuit(port, kRequestTimeoutMs); };
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

QList<qint64> AdbKillServerThread::adbServers(const QByteArray &lsofFields, quint16 port, qint64 ownPid)
{
    QList<qint64> servers;
    // Field output: a line per field, its first character naming it. "p" opens a process, whose
    // "c" is its command; "f" opens one of its files, whose "n" is the name, followed by "TST=" with
    // the state.
    qint64 pid = -1;
    QByteArray command;
    bool listens = false;
    QByteArray name;
    QByteArray state;
    const auto endOfFile = [&] {
        if (listensOn(name, state, port))
            listens = true;
        name.clear();
        state.clear();
    };
    const auto endOfProcess = [&] {
        endOfFile();
        // 0 would name our own process group and 1 the system's init: neither is ever a server.
        if (listens && command == "adb" && pid > 1 && pid <= 0x7fffffff && pid != ownPid &&
            !servers.contains(pid))
            servers.append(pid);
        pid = -1;
        command.clear();
        listens = false;
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
            pid = plainNumber(value);
            break;
        case 'c':
            command = value;
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
    return servers;
}

bool AdbKillServerThread::requestServerQuit(quint16 port, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
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

QList<qint64> AdbKillServerThread::serversNow(qint64 ownPid)
{
    const std::optional<QByteArray> fields = m_actions.listListeners(m_actions.port);
    if (!fields) {
        if (!m_queryFailureLogged)
            qCWarning(lcAndroid)
                << "The listeners on the ADB server port cannot be listed (is lsof installed?)";
        m_queryFailureLogged = true;
        return {};
    }
    return adbServers(*fields, m_actions.port, ownPid);
}

bool AdbKillServerThread::endServers(qint64 ownPid)
{
    const QList<qint64> servers = serversNow(ownPid);
    if (servers.isEmpty())
        return false;
    qCInfo(lcAndroid) << "Asking the ADB server" << servers << "to quit, so that it frees the phones";
    m_actions.askToQuit(m_actions.port);

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
