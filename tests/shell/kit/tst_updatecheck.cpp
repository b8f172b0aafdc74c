#include "LoopbackHttpServer.h"
#include "shell/kit/Tips.h"
#include "shell/kit/UpdateCheck.h"
#include "platform/desktop/SystemOpener.h"

#include "TestMain.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {
constexpr quint32 kNow = 1700000000;

void writeCheckTime(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT

    QStringList m_opened;
    QList<MessageBoxRequest> m_boxes;
    int m_answer = 0;
    SystemOpener::Handler m_previousOpener;
    MessageBoxResponder::Function m_previousResponder;

private slots:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        m_previousOpener = SystemOpener::setHandler([this](const QString &t) { m_opened << t; });
        m_previousResponder = MessageBoxResponder::install([this](const MessageBoxRequest &r) {
            m_boxes << r;
            return m_answer;
        });
    }

    void cleanupTestCase()
    {
        SystemOpener::setHandler(m_previousOpener);
        MessageBoxResponder::install(m_previousResponder);
    }

    void init()
    {
        m_opened.clear();
        m_boxes.clear();
        m_answer = 0;
        qunsetenv("TARNWICK_UPDATE_HOST");
    }

    void gate_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("due");
        QTest::newRow("no file") << false << QByteArray() << true;
        QTest::newRow("86400 s old") << true << QByteArray::number(kNow - 86400) << false;
        QTest::newRow("86401 s old") << true << QByteArray::number(kNow - 86401) << true;
        QTest::newRow("just now") << true << QByteArray::number(kNow) << false;
        QTest::newRow("in the future") << true << QByteArray::number(kNow + 10) << true;
        QTest::newRow("zero") << true << QByteArray("0") << true;
        QTest::newRow("letters") << true << QByteArray("abc") << true;
        QTest::newRow("empty") << true << QByteArray() << true;
        QTest::newRow("cut at NUL") << true
                                    << QByteArray::number(kNow - 5) + QByteArray("\0"
                                                                                 "99",
                                                                                 3)
                                    << false;
    }

    void gate()
    {
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, content);
        QFETCH(bool, due);
        QTemporaryDir dir;
        UpdateCheck check(dir.path());
        check.setClock([] { return kNow; });
        if (fileExists)
            writeCheckTime(check.checkTimeFilePath(), content);
        QCOMPARE(check.isDue(), due);

        // The request itself goes out exactly when due.
        LoopbackHttpServer server;
        server.body = "no";
        qputenv("TARNWICK_UPDATE_HOST", server.host().toLatin1());
        QSignalSpy finished(&check, &UpdateCheck::finished);
        QCOMPARE(check.start(), due);
        if (due) {
            QVERIFY(finished.wait(10000));
            QCOMPARE(server.requests().size(), 1);
            QCOMPARE(server.requests()[0].method, QByteArray("GET"));
            QCOMPARE(server.requests()[0].path,
                     QByteArray("/sms_check_update.php?pid=5D13B7E0A9C24F68B1E07D3C92A4F5E6&ver=13&q=1"));
            QCOMPARE(readAll(check.checkTimeFilePath()), QByteArray::number(kNow));
        } else {
            QTest::qWait(50);
            QVERIFY(server.requests().isEmpty());
        }
    }

    void destroyedWhileWaiting()
    {
        LoopbackHttpServer server; // never answers before the check is gone
        server.body = "http://example.invalid/";
        qputenv("TARNWICK_UPDATE_HOST", server.host().toLatin1());
        QTemporaryDir dir;
        {
            UpdateCheck check(dir.path());
            QVERIFY(check.start());
            QVERIFY(check.isRunning());
            QVERIFY(!check.start()); // one check at a time
        }
        QTest::qWait(100);
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("last-check-version-time"))));
    }

    void noHostSendsNothing()
    {
        QTemporaryDir dir;
        UpdateCheck check(dir.path());
        QVERIFY(check.isDue());
        QVERIFY(!check.start());
        QVERIFY(UpdateCheck::helpPageUrl().isEmpty());
    }

    void reply_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("split");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("boxText"); // empty: no box
        QTest::addColumn<bool>("opened");
        QTest::addColumn<int>("exits");
        QTest::addColumn<bool>("recorded");

        const QString obsolete =
            QStringLiteral("This version of Ferrovantis software has become obsolete. Please "
                           "download the latest version to install on your computer.");
        const QString newer =
            QStringLiteral("A new version of Ferrovantis Tarnwick for Mac is available. To support "
                           "your phone, please download the latest version.");
        const QByteArray link = "http://example.invalid/get";
        QTest::newRow("no update") << true << 200 << QByteArray("latest") << false << 0 << QString() << false
                                   << 0 << true;
        QTest::newRow("404") << true << 404 << link << false << 0 << QString() << false << 0 << false;
        QTest::newRow("later") << true << 200 << link << false << 1 << newer << false << 0 << true;
        QTest::newRow("escape") << true << 200 << link << false << -1 << newer << false << 0 << true;
        QTest::newRow("download now") << true << 200 << link << false << 0 << newer << true << 1 << true;
        QTest::newRow("capital prefix") << true << 200 << QByteArray("HTTP://EXAMPLE.invalid/x") << false << 1
                                        << newer << false << 0 << true;
        QTest::newRow("first run obsolete")
            << false << 200 << link << false << 0 << obsolete << true << 1 << false;
        QTest::newRow("split reply") << true << 200
                                     << QByteArray("http://example.invalid/a-long-download-link") << true << 1
                                     << newer << false << 0 << true;
    }

    void reply()
    {
        QFETCH(bool, fileExists);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(bool, split);
        QFETCH(int, answer);
        QFETCH(QString, boxText);
        QFETCH(bool, opened);
        QFETCH(int, exits);
        QFETCH(bool, recorded);

        QTemporaryDir dir;
        UpdateCheck check(dir.path());
        check.setClock([] { return kNow; });
        if (fileExists)
            writeCheckTime(check.checkTimeFilePath(), QByteArray::number(kNow - 100000));
        LoopbackHttpServer server;
        server.status = status;
        server.body = body;
        server.splitBody = split;
        qputenv("TARNWICK_UPDATE_HOST", server.host().toLatin1());
        m_answer = answer;
        QStringList order;
        connect(&check, &UpdateCheck::closeMainWindowRequested, this, [&] { order << "close"; });
        connect(&check, &UpdateCheck::exitProgramRequested, this, [&] { order << "exit"; });
        QSignalSpy finished(&check, &UpdateCheck::finished);

        QVERIFY(check.start());
        QVERIFY(finished.wait(10000));

        if (boxText.isEmpty()) {
            QVERIFY(m_boxes.isEmpty());
        } else {
            QCOMPARE(m_boxes.size(), 1);
            QCOMPARE(m_boxes[0].text, boxText);
            QCOMPARE(m_boxes[0].title, QStringLiteral("Ferrovantis Tarnwick for Mac"));
        }
        QCOMPARE(m_opened, opened ? QStringList{QString::fromLatin1(body)} : QStringList());
        QCOMPARE(order.count(QStringLiteral("exit")), exits);
        if (exits && fileExists)
            QCOMPARE(order, QStringList({"close", "exit"}));
        if (recorded)
            QCOMPARE(readAll(check.checkTimeFilePath()), QByteArray::number(kNow));
        else if (fileExists)
            QCOMPARE(readAll(check.checkTimeFilePath()), QByteArray::number(kNow - 100000));
        else
            QVERIFY(!QFile::exists(check.checkTimeFilePath()));
    }

    void redirectIsNotFollowed()
    {
        // Only a 200 answer of the check itself counts: a redirect is an answer other than 200.
        QTemporaryDir dir;
        UpdateCheck check(dir.path());
        check.setClock([] { return kNow; });
        writeCheckTime(check.checkTimeFilePath(), QByteArray::number(kNow - 100000));
        LoopbackHttpServer elsewhere;
        elsewhere.body = "http://example.invalid/get";
        LoopbackHttpServer server;
        server.status = 302;
        server.location = "http://" + elsewhere.host().toLatin1() + "/moved";
        qputenv("TARNWICK_UPDATE_HOST", server.host().toLatin1());
        QSignalSpy finished(&check, &UpdateCheck::finished);

        QVERIFY(check.start());
        QVERIFY(finished.wait(10000));
        QCOMPARE(server.requests().size(), 1);
        QVERIFY(elsewhere.requests().isEmpty());
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(readAll(check.checkTimeFilePath()), QByteArray::number(kNow - 100000));
    }

    void boxesOfferTheirButtons()
    {
        QTemporaryDir dir;
        UpdateCheck check(dir.path());
        check.handleReply(200, "http://x.invalid/");
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].icon, QMessageBox::Warning);
        QCOMPARE(m_boxes[0].customButtons.size(), 1);
        QCOMPARE(m_boxes[0].customButtons[0].text, QStringLiteral("Download"));

        writeCheckTime(check.checkTimeFilePath(), "1");
        m_answer = 1;
        check.handleReply(200, "http://x.invalid/");
        QCOMPARE(m_boxes.size(), 2);
        QCOMPARE(m_boxes[1].icon, QMessageBox::Question);
        QCOMPARE(m_boxes[1].customButtons.size(), 2);
        QCOMPARE(m_boxes[1].customButtons[0].text, QStringLiteral("Download now"));
        QCOMPARE(m_boxes[1].customButtons[0].role, QMessageBox::AcceptRole);
        QCOMPARE(m_boxes[1].customButtons[1].text, QStringLiteral("Download later"));
        QCOMPARE(m_boxes[1].customButtons[1].role, QMessageBox::RejectRole);
    }

    void menuPages()
    {
        qputenv("TARNWICK_UPDATE_HOST", "www.example.invalid");
        QCOMPARE(UpdateCheck::updatePageUrl(),
                 QStringLiteral("http://www.example.invalid/sms_check_update.php"
                                "?pid=5D13B7E0A9C24F68B1E07D3C92A4F5E6&ver=13&vs=123456&sys=macx"));
        QCOMPARE(UpdateCheck::helpPageUrl(),
                 QStringLiteral("http://www.example.invalid/tarnwick-for-mac/help.html"));
        QCOMPARE(UpdateCheck::feedbackPageUrl(), QStringLiteral("http://www.example.invalid/support.html"));
    }
};

TARNWICK_TEST_MAIN(TestUpdateCheck)
#include "tst_updatecheck.moc"
