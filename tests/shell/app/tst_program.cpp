#include "TestMain.h"
#include "model/DataFolder.h"
#include "shell/app/Program.h"
#include "shell/kit/MessageBoxResponder.h"

#include <QApplication>
#include <QFileInfo>
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
    // For the last box: whether each main window was visible when it came.
    QList<bool> m_windowVisibleAtBox;

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
        h.window.terminator = [this] { m_log << QStringLiteral("terminated"); };
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
            m_windowVisibleAtBox.clear();
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (qobject_cast<MainWindow *>(w))
                    m_windowVisibleAtBox << w->isVisible();
            }
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

    // A default base folder that cannot be written to is reported once the window shows, and the
    // program runs on.
    void storageWarningWhenTheBaseFolderIsNotWritable()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        QFile plain(tmp.filePath(QStringLiteral("file")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        // Below a plain file nothing can be made, whoever runs the test.
        const QByteArray previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", tmp.filePath(QStringLiteral("file/share")).toLocal8Bit());
        QVERIFY(!QFileInfo(g_defaultSaveDirPath()).isWritable());
        const int code = Program::exec(hooks(8));
        if (previous.isEmpty())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", previous);

        QCOMPARE(code, 0);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().icon, QMessageBox::Warning);
        QVERIFY2(m_boxes.first().text.startsWith(
                     QStringLiteral("Please allow Ferrovantis to access storage on Mac. <a ")),
                 qPrintable(m_boxes.first().text));
        QVERIFY(m_boxes.first().text.contains(QStringLiteral(">How to?</a>")));
        QCOMPARE(m_windowVisibleAtBox, QList<bool>{true});
        QCOMPARE(m_log, QStringList({"power taken", "watcher started", "window shown", "window", "watcher",
                                     "power released"}));
    }

    // A redirect file whose folder cannot be used is named at start, with the folder in use.
    void unusableRedirectReported()
    {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString missing = tmp.filePath(QStringLiteral("unplugged disk"));
        QVERIFY(QDir().mkpath(g_defaultSaveDirPath()));
        g_setDataSaveDirLink(missing + QLatin1Char('\n'));
        const int code = Program::exec(hooks(8));
        QFile::remove(g_dataSaveDirRedirectFile());

        QCOMPARE(code, 0);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().icon, QMessageBox::Warning);
        QCOMPARE(m_boxes.first().text,
                 QStringLiteral(
                     "The redirect file %1 names the folder %2, which cannot be used as the data folder "
                     "(it does not exist, is not a folder, or cannot be written to). The data is kept in %3.")
                     .arg(g_dataSaveDirRedirectFile(), missing, g_dataSaveDir().absolutePath()));
        QCOMPARE(m_windowVisibleAtBox, QList<bool>{true});
    }

    void realWrapperReportsVersion8()
    {
        QCOMPARE(Program::defaultHooks().wrapperVersion(), Program::kWrapperVersion);
    }
};

TARNWICK_TEST_MAIN(TestProgram)
#include "tst_program.moc"
