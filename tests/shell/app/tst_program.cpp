#include "DataFolder.h"
#include "MessageBoxResponder.h"
#include "Program.h"
#include "TestMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

namespace {

// A stand-in for the ADB server watcher that records its end.
class FakeWatcher : public QThread
{
public:
    explicit FakeWatcher(QStringList &log)
        : m_log(log)
    {}
    ~FakeWatcher() override
    {
        requestInterruption();
        wait();
        m_log << QStringLiteral("watcher");
    }

protected:
    void run() override
    {
        while (!isInterruptionRequested())
            msleep(5);
    }

private:
    QStringList &m_log;
};

} // namespace

class TestProgram : public QObject
{
    Q_OBJECT

    QStringList m_log;
    QList<MessageBoxRequest> m_boxes;
    QTemporaryDir m_noMux;

    Program::Hooks hooks(int version)
    {
        Program::Hooks h;
        h.wrapperVersion = [version] { return version; };
        h.powerAssertion = [this]() -> std::shared_ptr<void> {
            m_log << QStringLiteral("power taken");
            return std::shared_ptr<void>(new int(0), [this](void *p) {
                m_log << QStringLiteral("power released");
                delete static_cast<int *>(p);
            });
        };
        h.adbWatcher = [this]() -> std::unique_ptr<QThread> {
            m_log << QStringLiteral("watcher started");
            return std::make_unique<FakeWatcher>(m_log);
        };
        h.terminator = [this] { m_log << QStringLiteral("terminated"); };
        h.windowShown = [this](MainWindow &w) {
            m_log << QStringLiteral("window shown");
            QObject::connect(&w, &QObject::destroyed, [this] { m_log << QStringLiteral("window"); });
            QVERIFY(w.isVisible());
            QCOMPARE(w.windowTitle(), QStringLiteral("Ferrovantis Tarnwick for Mac"));
            QTimer::singleShot(0, &w, &QWidget::close);
        };
        return h;
    }

private slots:
    void initTestCase()
    {
        // No web site: neither the update check nor the error report may leave the machine.
        qunsetenv("TARNWICK_UPDATE_HOST");
        // The iPhone subscription of the window must never reach the system's multiplexing service:
        // it waits for one at a socket that never appears.
        QVERIFY(m_noMux.isValid());
        qputenv("USBMUXD_SOCKET_ADDRESS", "UNIX:" + m_noMux.filePath(QStringLiteral("absent")).toLocal8Bit());
        MessageBoxResponder::install([this](const MessageBoxRequest &r) {
            m_boxes << r;
            return int(QMessageBox::Ok);
        });
        // A recent check keeps the update check from running.
        QDir().mkpath(g_dataSaveDir().absolutePath());
        QFile f(g_dataSaveDir().filePath("last-check-version-time"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::number(QDateTime::currentSecsSinceEpoch()));
    }

    void init()
    {
        m_log.clear();
        m_boxes.clear();
    }

    void startsWithVersion8AndTearsDownInOrder()
    {
        const int code = Program::exec(hooks(8));
        QCOMPARE(code, 0);
        QCOMPARE(m_log, QStringList({"power taken", "watcher started", "window shown", "window", "watcher",
                                     "power released"}));
        QVERIFY(m_boxes.isEmpty());
    }

    void refusesOtherWrapperVersions_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("7") << 7;
        QTest::newRow("9") << 9;
    }

    void refusesOtherWrapperVersions()
    {
        QFETCH(int, version);
        const int code = Program::exec(hooks(version));
        QCOMPARE(code, 1);
        QCOMPARE(m_log, QStringList({"power taken", "power released"}));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().icon, QMessageBox::Critical);
        QVERIFY(m_boxes.first().text.contains("invalid libsqlite_qt."));
    }

    void runsWithoutPowerAssertion()
    {
        Program::Hooks h = hooks(8);
        h.powerAssertion = [] { return std::shared_ptr<void>(); };
        QCOMPARE(Program::exec(h), 0);
        QCOMPARE(m_log, QStringList({"watcher started", "window shown", "window", "watcher"}));
    }

    void realWrapperReportsVersion8()
    {
        QCOMPARE(Program::defaultHooks().wrapperVersion(), Program::kWrapperVersion);
    }
};

TARNWICK_TEST_MAIN(TestProgram)
#include "tst_program.moc"
