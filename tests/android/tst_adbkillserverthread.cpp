#include "TestMain.h"
#include "android/AdbKillServerThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

// lsof's field output (-F pcfnT) for one process with one TCP socket.
QByteArray process(qint64 pid, const QByteArray &command, const QByteArray &name, const QByteArray &state)
{
    QByteArray out = "p" + QByteArray::number(pid) + "\nc" + command + "\nf6\nn" + name + "\n";
    if (!state.isEmpty())
        out += "TST=" + state + "\nTQR=0\nTQS=0\n";
    return out;
}

QByteArray listener(qint64 pid, const QByteArray &command, quint16 port, const QByteArray &host = "127.0.0.1")
{
    return process(pid, command, host + ":" + QByteArray::number(port), "LISTEN");
}

QByteArray client(qint64 pid, const QByteArray &command, quint16 port)
{
    return process(pid, command, "127.0.0.1:41234->127.0.0.1:" + QByteArray::number(port), "ESTABLISHED");
}

// The computer as the watcher sees it: lsof's answer, the processes ended, and a stand-in ADB
// server on a loopback port of the test's own (never the real server port).
class FakeHost : public QObject
{
public:
    // What lsof lists besides the server: clients, other programs.
    QByteArray others;
    // The process listed as listening on the port while the stand-in listens.
    qint64 serverPid = 4242;
    QByteArray serverCommand = "adb";
    // Whether the stand-in closes its port when asked to quit.
    bool quitsWhenAsked = true;

    // Listens on a free port of a loopback; without a server, the port is one that nothing listens on.
    quint16 start(bool withServer, const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        m_server.listen(address, 0);
        m_host = address.protocol() == QAbstractSocket::IPv6Protocol
                     ? "[" + address.toString().toLatin1() + "]"
                     : address.toString().toLatin1();
        m_port = m_server.serverPort();
        if (withServer) {
            connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
        } else {
            m_server.close();
        }
        m_listed = true;
        return m_port;
    }

    AdbKillServerThread::Actions actions(int quitWaitMs)
    {
        AdbKillServerThread::Actions a = AdbKillServerThread::systemActions();
        a.listListeners = [this](quint16 port) {
            ++queries;
            QByteArray out = others;
            if (m_listed && port == m_port)
                out += listener(serverPid, serverCommand, port, m_host);
            return std::optional<QByteArray>(out);
        };
        a.kill = [this](qint64 pid) {
            std::lock_guard lock(m_mutex);
            m_killed.append(pid);
            if (pid == serverPid)
                m_listed = false;
        };
        a.port = m_port;
        a.pauseMs = 20;
        a.quitWaitMs = quitWaitMs;
        return a;
    }

    QList<qint64> killed()
    {
        std::lock_guard lock(m_mutex);
        return m_killed;
    }
    QList<QByteArray> requests() const { return m_requests; }

    std::atomic_int queries{0};

private:
    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_pending[socket] += socket->readAll();
                // A host request: four hex digits of length, then the request.
                const QByteArray &got = m_pending[socket];
                if (got.size() < 4 || got.size() < 4 + got.left(4).toInt(nullptr, 16))
                    return;
                m_requests.append(got);
                socket->write("OKAY");
                socket->flush();
                if (got.mid(4) == "host:kill" && quitsWhenAsked) {
                    m_server.close();
                    m_listed = false;
                    socket->disconnectFromHost();
                }
            });
        }
    }

    QTcpServer m_server;
    quint16 m_port = 0;
    QByteArray m_host;
    std::atomic_bool m_listed{false};
    QHash<QTcpSocket *, QByteArray> m_pending;
    QList<QByteArray> m_requests;
    std::mutex m_mutex;
    QList<qint64> m_killed;
};

// A query that always gives the same answer, and a kill that only records.
struct Recorder
{
    std::mutex mutex;
    QList<qint64> killed;
    std::atomic_int queries{0};

    AdbKillServerThread::Actions actions(std::function<std::optional<QByteArray>()> query, int pauseMs = 20)
    {
        AdbKillServerThread::Actions a;
        a.listListeners = [this, query](quint16) {
            ++queries;
            return query();
        };
        a.askToQuit = [](const QHostAddress &, quint16) { return false; };
        a.kill = [this](qint64 pid) {
            std::lock_guard lock(mutex);
            killed.append(pid);
        };
        a.port = 40999;
        a.pauseMs = pauseMs;
        a.quitWaitMs = 0;
        return a;
    }
    QList<qint64> kills()
    {
        std::lock_guard lock(mutex);
        return killed;
    }
};

} // namespace

class TestAdbKillServerThread : public QObject
{
    Q_OBJECT

private slots:
    // Only a process named adb that listens on the port is a server to end.
    void adbServers_data()
    {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<QList<qint64>>("pids");

        const qint64 own = QCoreApplication::applicationPid();
        QTest::newRow("nothing on the port") << QByteArray() << QList<qint64>();
        QTest::newRow("an adb server") << listener(4242, "adb", 5037) << QList<qint64>{4242};
        QTest::newRow("a server on IPv4 and IPv6, named once")
            << listener(4242, "adb", 5037) + "f7\nn[::1]:5037\nTST=LISTEN\n"
            << QList<qint64>{4242};
        QTest::newRow("an IDE connected to the server is spared")
            << client(777, "studio.sh", 5037) + listener(4242, "adb", 5037) << QList<qint64>{4242};
        QTest::newRow("a terminal's adb logcat is a client, not the server")
            << client(778, "adb", 5037) << QList<qint64>();
        QTest::newRow("another program listening on the port")
            << listener(5151, "nc", 5037) << QList<qint64>();
        QTest::newRow("a name that merely starts with adb")
            << listener(5152, "adbd", 5037) << QList<qint64>();
        QTest::newRow("our own process") << listener(own, "adb", 5037) << QList<qint64>();
        QTest::newRow("a listener on another port") << listener(4243, "adb", 50370) << QList<qint64>();
        QTest::newRow("a socket on the port that does not listen")
            << process(4244, "adb", "127.0.0.1:5037", "CLOSE_WAIT") << QList<qint64>();
        QTest::newRow("lsof without file fields: the listener's state is its own")
            << QByteArray("p4247\ncadb\nn127.0.0.1:5037\nTST=LISTEN\nn127.0.0.1:5037->127.0.0.1:40000\n"
                          "TST=ESTABLISHED\n")
            << QList<qint64>{4247};
        QTest::newRow("lsof without file fields: a connection's state is its own")
            << QByteArray("p4248\ncadb\nn127.0.0.1:40000->127.0.0.1:5037\nTST=ESTABLISHED\nn127.0.0.1:5037\n"
                          "TST=CLOSED\n")
            << QList<qint64>();
        QTest::newRow("lsof without the state field")
            << QByteArray("p4245\ncadb\nf6\nn*:5037\n") << QList<qint64>{4245};
        QTest::newRow("fields ended by NUL")
            << QByteArray("p4246\0cadb\0f6\0n127.0.0.1:5037\0", 30) << QList<qint64>{4246};
        QTest::newRow("process group 0 and init are never named")
            << listener(0, "adb", 5037) + listener(1, "adb", 5037) << QList<qint64>();
        QTest::newRow("not a plain process number")
            << listener(-5, "adb", 5037) + QByteArray("p12x3\ncadb\nf6\nn127.0.0.1:5037\n") +
                   QByteArray("p99999999999999999999\ncadb\nf6\nn127.0.0.1:5037\n")
            << QList<qint64>();
        QTest::newRow("the columns of a plain lsof are not fields")
            << QByteArray("COMMAND  PID USER FD TYPE DEVICE SIZE/OFF NODE NAME\n"
                          "adb     4242 user 6u IPv4  81234      0t0  TCP 127.0.0.1:5037 (LISTEN)\n")
            << QList<qint64>();
    }
    void adbServers()
    {
        QFETCH(QByteArray, fields);
        QFETCH(QList<qint64>, pids);
        QCOMPARE(AdbKillServerThread::adbServers(fields, 5037, QCoreApplication::applicationPid()), pids);
    }

    // One cycle against a stand-in server on a port of the test's own: a server is asked to quit
    // with "host:kill" and signalled only if it keeps listening; nobody else is asked or signalled.
    void endsOnlyTheServer_data()
    {
        QTest::addColumn<bool>("withServer");
        QTest::addColumn<bool>("quitsWhenAsked");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<bool>("ownPid");
        QTest::addColumn<QByteArray>("others");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("signalled");

        QTest::newRow("a server that quits when asked")
            << true << true << QByteArray("adb") << false << QByteArray() << true << false;
        QTest::newRow("a server that keeps listening")
            << true << false << QByteArray("adb") << false << QByteArray() << true << true;
        QTest::newRow("a server that does not answer")
            << false << false << QByteArray("adb") << false << QByteArray() << false << true;
        QTest::newRow("a server with its clients")
            << true << true << QByteArray("adb") << false << client(777, "java", 0) + client(778, "adb", 0)
            << true << false;
        QTest::newRow("another program on the port")
            << true << false << QByteArray("nc") << false << client(777, "java", 0) << false << false;
        QTest::newRow("our own process on the port")
            << true << false << QByteArray("adb") << true << QByteArray() << false << false;
    }
    void endsOnlyTheServer()
    {
        QFETCH(bool, withServer);
        QFETCH(bool, quitsWhenAsked);
        QFETCH(QByteArray, command);
        QFETCH(bool, ownPid);
        QFETCH(QByteArray, others);
        QFETCH(bool, asked);
        QFETCH(bool, signalled);

        FakeHost host;
        const quint16 port = host.start(withServer);
        QVERIFY(port != 0 && port != AdbKillServerThread::kServerPort);
        // The clients' lines name the test's port.
        host.others = others.replace(":0\n", ":" + QByteArray::number(port) + "\n");
        host.serverCommand = command;
        host.quitsWhenAsked = quitsWhenAsked;
        if (ownPid)
            host.serverPid = QCoreApplication::applicationPid();
        const bool ends = command == "adb" && !ownPid;

        int ended = 0;
        // A server that quits gets all the time it needs; one that does not is signalled soon.
        AdbKillServerThread watcher(nullptr, host.actions(quitsWhenAsked ? 30000 : 100));
        connect(&watcher, &AdbKillServerThread::adbServerEnded, this, [&ended] { ++ended; });
        watcher.start(QThread::InheritPriority);
        if (ends)
            QTRY_COMPARE(ended, 1);
        // A few more cycles change nothing: the port is free or holds nothing to end.
        const int queries = host.queries;
        QTRY_VERIFY(host.queries >= queries + 3);
        QVERIFY(watcher.stop());
        QCoreApplication::processEvents();

        QCOMPARE(ended, ends ? 1 : 0);
        QCOMPARE(host.requests(), asked ? QList<QByteArray>{"0009host:kill"} : QList<QByteArray>());
        QCOMPARE(host.killed(), signalled ? QList<qint64>{4242} : QList<qint64>());
    }

    // A server is asked on the address it listens on; every address stands for both loopbacks.
    void serverAddresses_data()
    {
        QTest::addColumn<QByteArray>("fields");
        QTest::addColumn<QStringList>("addresses");

        QTest::newRow("IPv4 loopback") << listener(4242, "adb", 5037) << QStringList{"127.0.0.1"};
        QTest::newRow("IPv6 loopback only") << listener(4242, "adb", 5037, "[::1]") << QStringList{"::1"};
        QTest::newRow("both loopbacks, each once")
            << listener(4242, "adb", 5037) + "f7\nn[::1]:5037\nTST=LISTEN\nf8\nn127.0.0.1:5037\nTST=LISTEN\n"
            << QStringList{"127.0.0.1", "::1"};
        QTest::newRow("every address") << listener(4242, "adb", 5037, "*") << QStringList{"127.0.0.1", "::1"};
        QTest::newRow("every IPv4 address written out")
            << listener(4242, "adb", 5037, "0.0.0.0") << QStringList{"127.0.0.1"};
        QTest::newRow("every IPv6 address written out")
            << listener(4242, "adb", 5037, "[::]") << QStringList{"127.0.0.1", "::1"};
        QTest::newRow("a name that is no address")
            << listener(4242, "adb", 5037, "localhost") << QStringList{"127.0.0.1", "::1"};
        QTest::newRow("another address of the computer")
            << listener(4242, "adb", 5037, "192.168.1.20") << QStringList{"192.168.1.20"};
        QTest::newRow("connections and other processes are no address of the server")
            << client(4242, "adb", 5037) + listener(4243, "adb", 5037, "[::1]") +
                   process(4242, "adb", "[::1]:5037", "CLOSE_WAIT")
            << QStringList();
    }
    void serverAddresses()
    {
        QFETCH(QByteArray, fields);
        QFETCH(QStringList, addresses);
        QStringList got;
        for (const QHostAddress &address : AdbKillServerThread::serverAddresses(fields, 5037, 4242))
            got << address.toString();
        QCOMPARE(got, addresses);
    }

    // A server that listens on one loopback only is asked there, and quits without a signal.
    void asksWhereTheServerListens_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("IPv4 loopback") << QStringLiteral("127.0.0.1");
        QTest::newRow("IPv6 loopback") << QStringLiteral("::1");
    }
    void asksWhereTheServerListens()
    {
        QFETCH(QString, address);
        FakeHost host;
        const quint16 port = host.start(true, QHostAddress(address));
        if (port == 0)
            QSKIP("This computer has no such loopback");
        int ended = 0;
        AdbKillServerThread watcher(nullptr, host.actions(30000));
        connect(&watcher, &AdbKillServerThread::adbServerEnded, this, [&ended] { ++ended; });
        watcher.start(QThread::InheritPriority);
        QTRY_COMPARE(ended, 1);
        QVERIFY(watcher.stop());
        QCOMPARE(host.requests(), QList<QByteArray>{"0009host:kill"});
        QVERIFY(host.killed().isEmpty());
    }

    // The request on its own: true only for the server's OKAY.
    void requestServerQuit()
    {
        FakeHost host;
        const quint16 port = host.start(true);
        bool agreed = false;
        QThread *asker = QThread::create([&] {
            agreed = AdbKillServerThread::requestServerQuit(QHostAddress(QHostAddress::LocalHost), port, 30000);
        });
        asker->start();
        QTRY_VERIFY(asker->isFinished());
        delete asker;
        QVERIFY(agreed);
        QCOMPARE(host.requests(), QList<QByteArray>{"0009host:kill"});

        FakeHost nobody;
        QVERIFY(!AdbKillServerThread::requestServerQuit(QHostAddress(QHostAddress::LocalHost), nobody.start(false),
                                                        5000));
    }

    // The real query lists a listener with its process and leaves its connections out.
    void systemQueryListsListeners()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("lsof")).isEmpty())
            QSKIP("lsof is not installed");
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QTcpSocket connection;
        connection.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(connection.waitForConnected(5000));
        const std::optional<QByteArray> fields =
            AdbKillServerThread::systemActions().listListeners(server.serverPort());
        QVERIFY(fields);
        const QByteArray port = QByteArray::number(server.serverPort());
        QVERIFY2(fields->contains("p" + QByteArray::number(QCoreApplication::applicationPid()) + "\n"),
                 fields->constData());
        QVERIFY2(fields->contains("n127.0.0.1:" + port + "\nTST=LISTEN\n"), fields->constData());
        QVERIFY2(!fields->contains("->"), fields->constData());
    }

    void cyclesUntilDestroyed()
    {
        Recorder recorder;
        {
            AdbKillServerThread watcher(nullptr, recorder.actions([] {
                return std::optional<QByteArray>(listener(4242, "adb", 40999));
            }));
            watcher.start(QThread::InheritPriority);
            QTRY_VERIFY(recorder.kills().size() >= 3);
        }
        const int queries = recorder.queries;
        for (const qint64 pid : recorder.kills())
            QCOMPARE(pid, qint64(4242));
        QTest::qWait(100);
        QCOMPARE(int(recorder.queries), queries);
    }

    void failedQueryKeepsTheLoopGoing()
    {
        Recorder recorder;
        AdbKillServerThread watcher(nullptr, recorder.actions([] { return std::optional<QByteArray>(); }));
        watcher.start(QThread::InheritPriority);
        QTRY_VERIFY(recorder.queries >= 3);
        QVERIFY(watcher.stop());
        QVERIFY(watcher.isStopped());
        QVERIFY(recorder.kills().isEmpty());
    }

    // Destroying the watcher mid-query returns only once that cycle and its pause are over.
    void destructionWaitsForTheCycleInHand()
    {
        Recorder recorder;
        std::atomic_bool inQuery{false};
        std::atomic_bool queryDone{false};
        // Started by the watcher's thread as its query returns, so the pause is measured from where
        // it begins, however late this thread gets round to destroying the watcher.
        QElapsedTimer sinceQuery;
        {
            AdbKillServerThread watcher(nullptr, recorder.actions(
                                                     [&] {
                                                         inQuery = true;
                                                         QThread::msleep(300);
                                                         sinceQuery.start();
                                                         queryDone = true;
                                                         return std::optional<QByteArray>(QByteArray());
                                                     },
                                                     200));
            watcher.start(QThread::InheritPriority);
            QTRY_VERIFY(inQuery);
        }
        QVERIFY(queryDone);
        QVERIFY(sinceQuery.elapsed() >= 200);
        QCOMPARE(recorder.queries.load(), 1);
    }

    void neverStartedStopsAtOnce()
    {
        Recorder recorder;
        AdbKillServerThread watcher(nullptr, recorder.actions([] { return std::optional<QByteArray>(); }));
        QVERIFY(watcher.stop());
        QCOMPARE(recorder.queries.load(), 0);
    }
};

TARNWICK_TEST_MAIN(TestAdbKillServerThread)
#include "tst_adbkillserverthread.moc"
