#pragma once

#include "FramelessDialog.h"
#include "model/ProgressSink.h"

#include <QString>

class QThread;
class Ui_ProgressForm;

// The modal dialog behind every long task. A worker thread reports through the invoke...() calls
// (safe from any thread; each queues a slot on the GUI thread in call order) and polls `canceled`;
// exec() returns 1 after a success, 0 after an error or a confirmed cancel. The first final report
// (success, error or confirmed cancel) decides the outcome; anything arriving after it is dropped.
class ProgressForm : public FramelessDialog, public ProgressSink
{
    Q_OBJECT
public:
    explicit ProgressForm(QString title, QWidget *parent = nullptr);
    ~ProgressForm() override;

    int exec() override;
    void accept() override {}
    void reject() override {}

    void setCancelable(bool cancelable);

    // Joins a worker after exec(): waits in steps of a second; when `canceled` is set and
    // terminateOnCancel is true, terminates the thread and returns whether it ended within another
    // second. Processes no events meanwhile.
    bool waitForThread(QThread &thread, bool terminateOnCancel);
    // The pattern of every long operation: starts the worker, shows the dialog until the worker's
    // final report (or a confirmed cancel) and joins the worker without a time limit. True when the
    // work was done: exec() gave 1 and nothing was cancelled.
    bool runWorker(QThread &worker);

    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override;
    bool invokeSucceed(QString tipsStr) override;
    bool invokeErrorOccurred(QString err) override;
    bool invokeTipsWait(QString info) override;
    bool invokeSetCancelBtnText(const QString &text) override;

signals:
    void userCacel();

private slots:
    void updateProgress(QString status, int curProgress, QString progressText);
    void errorOccurred(QString err);
    void succeed(QString tipsStr);
    void onFinish(int result);
    void tipsWait(QString info);
    void cancel();
    void setCancelBtnText(QString text);

private:
    Ui_ProgressForm *ui = nullptr;
    bool m_decided = false; // a final outcome has been taken; later reports are dropped
};
