#include "LoopbackHttpServer.h"
#include "model/MessageText.h"
#include "shell/kit/ErrorReport.h"
#include "shell/kit/ProductInfo.h"
#include "shell/kit/Tips.h"

#include "TestMain.h"

#include <QApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocument>

class TestTips : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
        qunsetenv("TARNWICK_UPDATE_HOST");
    }

    void base64Var_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("slash") << "???"
                               << "Pz8!";
        QTest::newRow("padding") << "?"
                                 << "Pw--";
        QTest::newRow("plus kept") << ">>>"
                                   << "Pj4+";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("utf8") << QString::fromUtf8("é") << "w6k-";
        QTest::newRow("version") << "3.1.13(13)"
                                 << "My4xLjEzKDEzKQ--";
    }

    void base64Var()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(base64_var(text), encoded);
    }

    void cleanMessage_data()
    {
        QTest::addColumn<QString>("msg");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("plain") << "disk full"
                               << "disk full";
        QTest::newRow("br forms") << "a<br/>b<BR>c< br />d<Br >e"
                                  << "a\r\nb\r\nc\r\nd\r\ne";
        QTest::newRow("other tags") << "x<img src=\":res/a.png\"/>"
                                    << "x&lt;img src=\":res/a.png\"/&gt;";
        QTest::newRow("lone brackets") << "1 < 2 > 0"
                                       << "1 &lt; 2 &gt; 0";
        QTest::newRow("not a break") << "<bra>"
                                     << "&lt;bra&gt;";
    }

    void cleanMessage()
    {
        QFETCH(QString, msg);
        QFETCH(QString, cleaned);
        QCOMPARE(ErrorReport::cleanMessage(msg), cleaned);
    }

    void boxesGoToTheResponder()
    {
        QList<MessageBoxRequest> seen;
        QList<int> answers{QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok,
                           QMessageBox::Ok};
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &r) {
            seen.append(r);
            return answers.takeFirst();
        });

        QVERIFY(Tips::question(QStringLiteral("Sure?")));
        QVERIFY(!Tips::question(QStringLiteral("Sure?")));
        QVERIFY(!Tips::question(QStringLiteral("Sure?"))); // any ending but Yes is a no
        Tips::info(QStringLiteral("i"));
        Tips::warning(QStringLiteral("w"));

        QCOMPARE(seen.size(), 5);
        QCOMPARE(seen[0].icon, QMessageBox::Question);
        QCOMPARE(seen[0].buttons, int(QMessageBox::Yes | QMessageBox::No));
        QCOMPARE(seen[0].text, QStringLiteral("Sure?"));
        QCOMPARE(seen[0].title, QStringLiteral("Ferrovantis Tarnwick for Mac"));
        QCOMPARE(seen[3].icon, QMessageBox::Information);
        QCOMPARE(seen[3].buttons, int(QMessageBox::Ok));
        QCOMPARE(seen[4].icon, QMessageBox::Warning);
        QCOMPARE(seen[4].text, QStringLiteral("w"));
    }

    void titleLineAndErrorText()
    {
        QList<MessageBoxRequest> seen;
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &r) {
            seen.append(r);
            return int(QMessageBox::Retry);
        });
        QCOMPARE(g_showMessageBox(QMessageBox::Warning, QStringLiteral("body"),
                                  QMessageBox::Retry | QMessageBox::Abort, true),
                 int(QMessageBox::Retry));
        Tips::error(QStringLiteral("broken"));

        QCOMPARE(seen.size(), 2);
        const QString title =
            QStringLiteral("<nobr><b>Ferrovantis Tarnwick for Mac v3.1.13</b></nobr><br/><br/>");
        QCOMPARE(seen[0].text, title + QStringLiteral("body"));
        QCOMPARE(seen[1].icon, QMessageBox::Critical);
        QCOMPARE(seen[1].buttons, int(QMessageBox::Ok));
        QCOMPARE(seen[1].text,
                 title + QStringLiteral("An Error Occurred. <br/><br/>broken<br/><br/> Or you can contact ") +
                     QString::fromLatin1(ProductInfo::supportEmail) + QStringLiteral(" for help."));
    }

    // A message shows as written, whatever it holds: file names, device names and database errors
    // may hold "<", ">" or "&". Only a text marked as markup renders its tags, its links among them.
    void messagesShowAsWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("seen");      // the box's text as the user reads it
        QTest::addColumn<QString>("markupHas"); // empty: nothing to look for
        QTest::newRow("invalid-name warning")
            << "warning"
            << "Invalid Local Database name(can't contain \\ / : * ? \" < > |)."
            << "Invalid Local Database name(can't contain \\ / : * ? \" < > |)."
            << "";
        QTest::newRow("error quoting a file name") << "error"
                                                   << "unable to open database file: /data/<b>x</b>.db"
                                                   << "unable to open database file: /data/<b>x</b>.db"
                                                   << "";
        QTest::newRow("ampersand and entity") << "info"
                                              << "Tom & Jerry &lt;3"
                                              << "Tom & Jerry &lt;3"
                                              << "";
        QTest::newRow("line feed") << "question"
                                   << "first\nsecond"
                                   << "first\nsecond"
                                   << "";
        QTest::newRow("markup on purpose")
            << "warning"
            << MessageText::rich("Click <a href=\"https://example.invalid/x\">HERE</a>.<br/>Done")
            << "Click HERE.\nDone"
            << "<a href=\"https://example.invalid/x\">HERE</a>";
        QTest::newRow("error with markup on purpose")
            << "error" << MessageText::rich("usb: " + MessageText::escaped("<1-2>") + "<br/>again")
            << "usb: <1-2>\nagain"
            << "usb: &lt;1-2&gt;<br/>again";
    }

    void messagesShowAsWritten()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(QString, seen);
        QFETCH(QString, markupHas);
        QList<MessageBoxRequest> boxes;
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &r) {
            boxes.append(r);
            return int(QMessageBox::Ok);
        });
        if (kind == "warning")
            Tips::warning(message);
        else if (kind == "info")
            Tips::info(message);
        else if (kind == "question")
            Tips::question(message);
        else
            Tips::error(message);
        QCOMPARE(boxes.size(), 1);
        QTextDocument shown;
        shown.setHtml(boxes.first().text);
        const QString text = shown.toPlainText();
        if (kind == "error")
            QVERIFY2(text.contains("An Error Occurred.") && text.contains("\n" + seen + "\n"),
                     qPrintable(text));
        else
            QCOMPARE(text, seen);
        if (!markupHas.isEmpty())
            QVERIFY2(boxes.first().text.contains(markupHas), qPrintable(boxes.first().text));
    }

    void responderScopesNest()
    {
        QStringList order;
        MessageBoxResponder::Scope outer([&](const MessageBoxRequest &) {
            order << "outer";
            return 0;
        });
        {
            MessageBoxResponder::Scope inner([&](const MessageBoxRequest &) {
                order << "inner";
                return 0;
            });
            Tips::info(QString());
        }
        Tips::info(QString());
        QCOMPARE(order, QStringList({"inner", "outer"}));
    }

    void realBoxIsFramelessAndAnswers()
    {
        QString seenText;
        QStringList buttonTexts;
        Qt::WindowFlags flags;
        bool styled = false;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            seenText = box->text();
            flags = box->windowFlags();
            styled = !box->styleSheet().isEmpty();
            QCOMPARE(box->textFormat(), Qt::RichText);
            QCOMPARE(box->windowTitle(), QStringLiteral("Ferrovantis Tarnwick for Mac"));
            for (QAbstractButton *b : box->buttons())
                buttonTexts << b->text();
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(g_showMessageBox(QMessageBox::Question, QStringLiteral("Go?"),
                                  QMessageBox::Yes | QMessageBox::No, false),
                 int(QMessageBox::No));
        QCOMPARE(seenText, QStringLiteral("Go?"));
        QCOMPARE(int(flags & (Qt::Dialog | Qt::FramelessWindowHint)), 0x803);
        QVERIFY(styled);
        buttonTexts.sort();
        QCOMPARE(buttonTexts, QStringList({"No", "Yes"}));
    }

    void realCustomBoxAnswersEscape()
    {
        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box);
            QTest::keyClick(box, Qt::Key_Escape);
        });
        QCOMPARE(g_showCustomMessageBox(QMessageBox::Question, QStringLiteral("New?"),
                                        {{QStringLiteral("Download now"), QMessageBox::AcceptRole},
                                         {QStringLiteral("Download later"), QMessageBox::RejectRole}},
                                        1),
                 1);
    }

    void boxesAreRefusedOffTheGuiThread()
    {
        int calls = 0;
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &) {
            ++calls;
            return int(QMessageBox::Yes);
        });
        bool answer = true;
        QScopedPointer<QThread> thread(
            QThread::create([&] { answer = Tips::question(QStringLiteral("from a worker")); }));
        QTest::ignoreMessage(QtWarningMsg, "Message box refused outside the GUI thread: from a worker");
        thread->start();
        QVERIFY(thread->wait(20000));
        QVERIFY(!answer);
        QCOMPARE(calls, 0);
    }

    void noHostNoReport()
    {
        MessageBoxResponder::Scope scope([](const MessageBoxRequest &) { return int(QMessageBox::Ok); });
        QVERIFY(ProductInfo::webHost().isEmpty());
        QVERIFY(!ErrorReport::send(QStringLiteral("x")));
        QVERIFY(ProductInfo::pageUrl(QStringLiteral("/support.html")).isEmpty());
    }

    void errorReportIsPostedAfterTheBox()
    {
        LoopbackHttpServer server;
        qputenv("TARNWICK_UPDATE_HOST", server.host().toLatin1());
        int boxes = 0;
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &) {
            ++boxes;
            // Nothing may have been sent while the box is open.
            return server.requests().isEmpty() ? int(QMessageBox::Ok) : -1;
        });

        Tips::error(QStringLiteral("Line one<br/>two <img src=\"x\"/> ü"));
        Tips::error(QString());
        QTRY_COMPARE_WITH_TIMEOUT(server.requests().size(), 2, 10000);
        qunsetenv("TARNWICK_UPDATE_HOST");
        QCOMPARE(boxes, 2);

        QList<QByteArray> bodies;
        for (const auto &request : server.requests()) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.path, QByteArray("/err_report.php"));
            QCOMPARE(request.header("Host"), server.host().toLatin1());
            QCOMPARE(request.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
            bodies << request.body;
        }
        std::sort(bodies.begin(), bodies.end());
        const QByteArray prefix =
            "prod=" + base64_var(QStringLiteral("Ferrovantis Tarnwick for Mac")).toLatin1() +
            "&ver=My4xLjEzKDEzKQ--&err=";
        QCOMPARE(bodies[0], prefix); // the empty message: "err=" ends the body
        QCOMPARE(bodies[1],
                 prefix +
                     base64_var(QString::fromUtf8("Line one\r\ntwo &lt;img src=\"x\"/&gt; ü")).toLatin1());
    }
};

TARNWICK_TEST_MAIN(TestTips)
#include "tst_tips.moc"
