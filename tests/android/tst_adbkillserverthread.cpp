#include "android/AdbKillServerThread.h"
#include "TestMain.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <atomic>
#include <mutex>

namespace {

// Actions that record instead of acting: no test ever runs a real kill.
struct Recorder
{
    std::mutex mutex;
    QList<qint64> killed;
    std::atomic_int queries{0};

    AdbKillServerThread::Actions actions(std::function<std::optional<QList<QByteArray>>()> query, int pauseMs = 20)
    {
        AdbKillServerThread::Actions a;
        a.query = [this, query] {
            ++queries;
            return query();
        };
        a.kill = [this](qint64 pid) {
            std::lock_guard lock(mutex);
            killed.append(pid);
        };
        a.pauseMs = pauseMs;
        return a;
    }
    QList<qint64> kills()
    {
        std::lock_guard lock(mutex);
        return killed;
    }
};

const QByteArray kHeader = "COMMAND   PID  USER   FD   TYPE DEVICE SIZE/OFF NODE NAME\n";

QByteArray line(const QByteArray &command, const QByteArray &pid)
{
    return command + "  " + pid + " user    6u  IPv4  81234      0t0  TCP localhost:5037 (LISTEN)\n";
}

} // namespace

class TestAdbKillServerThread : public QObject
{
    Q_OBJECT

private slots:
    void processesToEnd_data()
    {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<qint64>>("pids");

        const QByteArray own = QByteArray::number(QCoreApplication::applicationPid());
        QTest::newRow("nothing on the port") << QList<QByteArray>() << QList<qint64>();
        QTest::newRow("header only") << QList<QByteArray>{kHeader} << QList<qint64>();
        QTest::newRow("a server") << QList<QByteArray>{kHeader, line("adb", "4242")} << QList<qint64>{4242};
        QTest::newRow("listed twice, ended twice")
            << QList<QByteArray>{kHeader, line("adb", "4242"), line("adb", "4242")} << QList<qint64>{4242, 4242};
        QTest::newRow("line starting with a blank") << QList<QByteArray>{" " + line("adb", "4242")}
                                                    << QList<qint64>();
        QTest::newRow("our own process is spared")
            << QList<QByteArray>{line("tarnwick", own), line("adb", "5151")} << QList<qint64>{5151};
        QTest::newRow("process group 0 is never named") << QList<QByteArray>{line("adb", "0")} << QList<qint64>();
        QTest::newRow("init is never named") << QList<QByteArray>{line("adb", "1")} << QList<qint64>();
        QTest::newRow("number out of range") << QList<QByteArray>{line("adb", "99999999999999999999")}
                                             << QList<qint64>();
        QTest::newRow("not a plain number") << QList<QByteArray>{"adb 12x3 user 6u\n", "adb -5 user 6u\n"}
                                            << QList<qint64>();
        QTest::newRow("a long line in pieces") << QList<QByteArray>{line("adb", "777"), QByteArray(8190, 'x')}
                                               << QList<qint64>{777};
    }

    void processesToEnd()
    {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<qint64>, pids);
        QCOMPARE(AdbKillServerThread::processesToEnd(lines, QCoreApplication::applicationPid()), pids);
    }

    void cyclesUntilDestroyed()
    {
        Recorder recorder;
        {
            AdbKillServerThread watcher(nullptr, recorder.actions([] {
                return std::optional<QList<QByteArray>>(QList<QByteArray>{kHeader, line("adb", "4242")});
            }));
            watcher.start(QThread::InheritPriority);
            QTRY_VERIFY(recorder.queries >= 3);
        }
        const int queries = recorder.queries;
        QVERIFY(recorder.kills().size() >= 3);
        for (const qint64 pid : recorder.kills())
            QCOMPARE(pid, qint64(4242));
        QTest::qWait(100);
        QCOMPARE(int(recorder.queries), queries);
    }

    void failedQueryKeepsTheLoopGoing()
    {
        Recorder recorder;
        AdbKillServerThread watcher(nullptr, recorder.actions([] { return std::optional<QList<QByteArray>>(); }));
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
                                                         return std::optional<QList<QByteArray>>(
                                                             QList<QByteArray>{line("adb", "31337")});
                                                     },
                                                     200));
            watcher.start(QThread::InheritPriority);
            QTRY_VERIFY(inQuery);
        }
        QVERIFY(queryDone);
        QVERIFY(sinceQuery.elapsed() >= 200);
        QCOMPARE(recorder.queries.load(), 1);
        QCOMPARE(recorder.kills(), QList<qint64>{31337});
    }

    void neverStartedStopsAtOnce()
    {
        Recorder recorder;
        AdbKillServerThread watcher(nullptr, recorder.actions([] { return std::optional<QList<QByteArray>>(); }));
        QVERIFY(watcher.stop());
        QCOMPARE(recorder.queries.load(), 0);
    }
};

TARNWICK_TEST_MAIN(TestAdbKillServerThread)
#include "tst_adbkillserverthread.moc"
