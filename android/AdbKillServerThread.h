#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QThread>

#include <functional>
#include <optional>

// Keeps a foreign ADB server from holding the phones' USB interfaces that our own client needs:
// once a second it looks for an ADB server, a process named "adb" that listens on the server port
// (5037). A server found is asked to quit the way its own clients ask ("host:kill"), and ended with
// a signal only if it still listens a moment later. Programs connected to the server (an IDE, a
// terminal's "adb logcat"), other programs on the port and our own process are never signalled.
class AdbKillServerThread : public QThread
{
    Q_OBJECT
public:
    static constexpr quint16 kServerPort = 5037;

    // What one cycle does outside the thread; a test puts stand-ins in place of the real ones.
    struct Actions
    {
        // The processes listening on the port, as lsof's field output (-F pcfnT); nothing when the
        // query could not be run.
        std::function<std::optional<QByteArray>(quint16 port)> listListeners;
        // Asks the server listening at address:port to quit; whether it agreed.
        std::function<bool(const QHostAddress &address, quint16 port)> askToQuit;
        // Ends one process with a signal.
        std::function<void(qint64 pid)> kill;
        quint16 port = kServerPort;
        // Pause between cycles.
        int pauseMs = 1000;
        // How long a server asked to quit may keep listening before it is signalled.
        int quitWaitMs = 1000;
    };

    explicit AdbKillServerThread(QObject *parent);
    AdbKillServerThread(QObject *parent, Actions actions);
    // Asks the loop to end and waits for it, however long the cycle in hand takes.
    ~AdbKillServerThread() override;

    bool stop();
    bool isStopped();

    // The ADB servers in lsof's field output: processes named "adb" with a TCP socket listening on
    // `port`, once each, in order. Processes with only connections to the port, other programs,
    // our own process (ownPid), and numbers that are no plain process id are left out.
    static QList<qint64> adbServers(const QByteArray &lsofFields, quint16 port, qint64 ownPid);
    // Where process `pid` of lsof's field output can be reached on the sockets it listens on at
    // `port`, once each, in order: the address it listens on, or both loopbacks (IPv4 first) when
    // it listens on every address.
    static QList<QHostAddress> serverAddresses(const QByteArray &lsofFields, quint16 port, qint64 pid);
    // Sends the ADB host protocol's "host:kill" request to address:port; true when the server
    // answered OKAY within timeoutMs.
    static bool requestServerQuit(const QHostAddress &address, quint16 port, int timeoutMs);
    // The real actions: lsof, requestServerQuit and SIGKILL.
    static Actions systemActions();

signals:
    // An ADB server was ended in this cycle: phones it held may be free now.
    void adbServerEnded();

protected:
    void run() override;

private:
    // Ends the ADB servers listening now; whether there were any.
    bool endServers(qint64 ownPid);
    // The servers listening now; `fields` receives the listing they were found in.
    QList<qint64> serversNow(qint64 ownPid, QByteArray *fields = nullptr);

    QMutex mutex;
    bool stopped = false;
    const Actions m_actions;
    bool m_queryFailureLogged = false;
};
