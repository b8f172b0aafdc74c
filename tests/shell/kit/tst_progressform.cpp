#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

#include "TestMain.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>

#include <functional>

namespace {

// A worker thread running the given body against the dialog, as every task of the program does.
class Worker : public QThread
{
public:
    explicit Worker(std::function<void()> body)
        : m_body(std::move(body))
    {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

struct Seen
{
    QMessageBox::Icon icon;
    QString text;
    QString status;   // lbStatus when the box came up
    int bar;          // progress bar value when the box came up
    QString progress; // lbProgress when the box came up
};

} // namespace

class TestProgressForm : public QObject
{
    Q_OBJECT

    QLabel *label(ProgressForm &form, const char *name)
    {
        return form.findChild<QLabel *>(QLatin1String(name));
    }
    QProgressBar *bar(ProgressForm &form)
    {
        return form.findChild<QProgressBar *>(QStringLiteral("progressBar"));
    }
    QPushButton *cancelButton(ProgressForm &form)
    {
        return form.findChild<QPushButton *>(QStringLiteral("btnCancel"));
    }

    // Records every box with the dialog's state at that moment, answering with `answer`.
    std::function<int(const MessageBoxRequest &)>
    recorder(ProgressForm &form, QList<Seen> &seen, std::function<int(const MessageBoxRequest &)> answer)
    {
        return [this, &form, &seen, answer](const MessageBoxRequest &r) {
            seen.append({r.icon, r.text, label(form, "lbStatus")->text(), bar(form)->value(),
                         label(form, "lbProgress")->text()});
            return answer ? answer(r) : int(QMessageBox::Ok);
        };
    }

private slots:
    void initTestCase() { qunsetenv("TARNWICK_UPDATE_HOST"); }

    void builtState()
    {
        ProgressForm form(QStringLiteral("Backing up"));
        QCOMPARE(form.objectName(), QStringLiteral("ProgressForm"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Backing up"));
        QCOMPARE(label(form, "lbStatus")->text(), QStringLiteral("Backing up"));
        QCOMPARE(form.windowFlags() & (Qt::Dialog | Qt::FramelessWindowHint),
                 Qt::Dialog | Qt::FramelessWindowHint);
        QCOMPARE(bar(form)->value(), 0);
        QVERIFY(!form.canceled);
        QCOMPARE(cancelButton(form)->focusPolicy(), Qt::NoFocus);
        form.setCancelable(false);
        QVERIFY(!cancelButton(form)->isEnabled());
    }

    void reportsThenSuccessInOrder()
    {
        ProgressForm form(QStringLiteral("Title"));
        QList<Seen> seen;
        MessageBoxResponder::Scope scope(recorder(form, seen, {}));
        Worker worker([&form] {
            form.invokeUpdateProgress(QStringLiteral("Reading"), 10, QStringLiteral("Contacts:1/3"));
            form.invokeUpdateProgress(QString(), 50, QString());
            form.invokeUpdateProgress(QString(), -1, QString()); // keeps status and bar
            form.invokeSucceed(QStringLiteral("Done 3"));
        });
        worker.start();
        QCOMPARE(form.exec(), 1);
        worker.wait();
        QVERIFY(!form.canceled);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].icon, QMessageBox::Information);
        QCOMPARE(seen[0].text, QStringLiteral("Done 3"));
        QCOMPARE(seen[0].status, QStringLiteral("Reading"));
        QCOMPARE(seen[0].bar, 50);
        QCOMPARE(seen[0].progress, QStringLiteral("Progress:50%"));
        QVERIFY(!form.isVisible());
    }

    void emptySuccessShowsNothing()
    {
        ProgressForm form{QString()};
        QList<Seen> seen;
        MessageBoxResponder::Scope scope(recorder(form, seen, {}));
        Worker worker([&form] { form.invokeSucceed(QString()); });
        worker.start();
        QCOMPARE(form.exec(), 1);
        worker.wait();
        QVERIFY(seen.isEmpty());
        QVERIFY(!form.canceled);
    }

    void outOfRangeProgressIsClamped()
    {
        ProgressForm form{QString()};
        MessageBoxResponder::Scope scope([](const MessageBoxRequest &) { return int(QMessageBox::Ok); });
        Worker worker([&form] {
            form.invokeUpdateProgress(QString(), 250, QString());
            form.invokeSucceed(QString());
        });
        worker.start();
        form.exec();
        worker.wait();
        QCOMPARE(bar(form)->value(), 100);
        QCOMPARE(label(form, "lbProgress")->text(), QStringLiteral("Progress:100%"));
    }

    void errorEndsWithZeroAndSetsCanceled()
    {
        ProgressForm form{QString()};
        QList<Seen> seen;
        MessageBoxResponder::Scope scope(recorder(form, seen, {}));
        std::atomic_bool sawCanceled{false};
        QSemaphore reported;
        Worker worker([&] {
            form.invokeErrorOccurred(QStringLiteral("disk full"));
            // A worker still polling the flag stops as after a cancel.
            while (!form.canceled)
                QThread::msleep(5);
            sawCanceled = true;
        });
        worker.start();
        QCOMPARE(form.exec(), 0);
        worker.wait();
        QVERIFY(form.canceled);
        QVERIFY(sawCanceled);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].icon, QMessageBox::Critical);
        QVERIFY(seen[0].text.contains(QStringLiteral("An Error Occurred. <br/><br/>disk full<br/><br/>")));
    }

    void confirmedCancelDropsLateReports()
    {
        ProgressForm form{QString()};
        QSignalSpy userCancel(&form, &ProgressForm::userCacel);
        QList<Seen> seen;
        MessageBoxResponder::Scope scope(
            recorder(form, seen, [](const MessageBoxRequest &) { return int(QMessageBox::Yes); }));
        Worker worker([&form] {
            while (!form.canceled) {
                form.invokeUpdateProgress(QString(), 5, QStringLiteral("working"));
                QThread::msleep(5);
            }
            form.invokeUpdateProgress(QStringLiteral("late"), 90, QStringLiteral("late"));
            form.invokeErrorOccurred(QStringLiteral("late error"));
            form.invokeSucceed(QStringLiteral("late success"));
        });
        worker.start();
        QTimer::singleShot(100, &form, [&] { QTest::mousePress(cancelButton(form), Qt::LeftButton); });
        QCOMPARE(form.exec(), 0);
        worker.wait();
        QVERIFY(form.canceled);
        QCOMPARE(userCancel.count(), 1);
        // Another event loop while the ended dialog still exists: the late reports change nothing.
        QCoreApplication::processEvents();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].icon, QMessageBox::Question);
        QCOMPARE(seen[0].text, QStringLiteral("Are You Sure You Want To Cancel?"));
        QVERIFY(form.canceled);
        QVERIFY(label(form, "lbStatus")->text() != QStringLiteral("late"));
        QVERIFY(!form.isVisible());
    }

    void cancelAnsweredNoKeepsRunning()
    {
        ProgressForm form{QString()};
        QSemaphore asked;
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &) {
            asked.release();
            return int(QMessageBox::No);
        });
        Worker worker([&] {
            asked.acquire();
            QThread::msleep(20);
            form.invokeSucceed(QString());
        });
        worker.start();
        QTimer::singleShot(50, &form, [&] { QTest::mousePress(cancelButton(form), Qt::LeftButton); });
        QCOMPARE(form.exec(), 1);
        worker.wait();
        QVERIFY(!form.canceled);
    }

    void successDuringCancelQuestionStands()
    {
        ProgressForm form{QString()};
        QSemaphore questionOpen;
        Worker worker([&] {
            questionOpen.acquire();
            form.invokeSucceed(QString());
        });
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &r) {
            if (r.icon != QMessageBox::Question)
                return int(QMessageBox::Ok);
            // The worker finishes while the user still reads the question.
            questionOpen.release();
            if (!QTest::qWaitFor([&] { return !form.isVisible(); }, 5000))
                return int(QMessageBox::No);
            return int(QMessageBox::Yes);
        });
        worker.start();
        QTimer::singleShot(50, &form, [&] { QTest::mousePress(cancelButton(form), Qt::LeftButton); });
        QCOMPARE(form.exec(), 1);
        worker.wait();
        QVERIFY(!form.canceled);
    }

    void escapeAndCloseDoNotEnd()
    {
        ProgressForm form{QString()};
        form.setCancelable(false);
        MessageBoxResponder::Scope scope([](const MessageBoxRequest &) { return int(QMessageBox::Yes); });
        QSemaphore go;
        Worker worker([&] {
            go.acquire();
            form.invokeSucceed(QString());
        });
        worker.start();
        QTimer::singleShot(30, &form, [&] {
            QTest::keyClick(&form, Qt::Key_Escape);
            form.close();
            QTest::mousePress(cancelButton(form), Qt::LeftButton); // disabled: no question
            QVERIFY(form.isVisible());
            go.release();
        });
        QCOMPARE(form.exec(), 1);
        worker.wait();
    }

    void tipsWaitClearsTheFlag()
    {
        ProgressForm form{QString()};
        QStringList infos;
        MessageBoxResponder::Scope scope([&](const MessageBoxRequest &r) {
            infos << r.text;
            return int(QMessageBox::Ok);
        });
        std::atomic_bool waited{false};
        Worker worker([&] {
            form.invokeTipsWait(QStringLiteral("Unlock the phone"));
            while (form.tipsWaiting)
                QThread::msleep(5);
            waited = true;
            form.invokeSetCancelBtnText(QStringLiteral("Stop"));
            form.invokeSucceed(QString());
        });
        worker.start();
        QCOMPARE(form.exec(), 1);
        worker.wait();
        QVERIFY(waited);
        QCOMPARE(infos, QStringList{QStringLiteral("Unlock the phone")});
        QCOMPARE(cancelButton(form)->text(), QStringLiteral("Stop"));
    }

    void waitForThread()
    {
        ProgressForm form{QString()};
        Worker quick([] { QThread::msleep(10); });
        quick.start();
        QVERIFY(form.waitForThread(quick, true));

        std::atomic_bool stop{false};
        Worker stuck([&] {
            while (!stop)
                QThread::msleep(10);
        });
        stuck.start();
        form.canceled = true;
        QElapsedTimer timer;
        timer.start();
        const bool ended = form.waitForThread(stuck, true);
        // Without the cancel the wait would never end; the bound only has to tell "ended" from that.
        QVERIFY(timer.elapsed() < 60 * 1000);
        stop = true;
        if (!ended)
            stuck.wait();
        QVERIFY(stuck.isFinished());
    }
};

TARNWICK_TEST_MAIN(TestProgressForm)
#include "tst_progressform.moc"
