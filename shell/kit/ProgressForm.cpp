#include "ProgressForm.h"

#include "Logging.h"
#include "Tips.h"
#include "Ui_ProgressForm.h"

#include <QThread>

#include <exception>

namespace {
// Slots run from the event loop: nothing may escape them.
template<typename F> void guarded(const char *where, F &&f)
{
    try {
        f();
    } catch (const std::exception &e) {
        qCWarning(lcKit, "ProgressForm::%s: %s", where, e.what());
    } catch (...) {
        qCWarning(lcKit, "ProgressForm::%s: unknown exception", where);
    }
}
} // namespace

ProgressForm::ProgressForm(QString title, QWidget *parent)
    : FramelessDialog(parent)
    , ui(new Ui_ProgressForm)
{
    ui->setupUi(this);
    makeFrameless();
    connect(this, &QDialog::finished, this, &ProgressForm::onFinish);
    connect(ui->btnCancel, &QPushButton::pressed, this, &ProgressForm::cancel);
    setWindowTitle(title);
    ui->lbStatus->setText(title);
    ui->btnCancel->clearFocus();
}

ProgressForm::~ProgressForm()
{
    delete ui;
}

int ProgressForm::exec()
{
    // A report handled before the loop started (an earlier nested loop) has already decided.
    if (m_decided)
        return result();
    return FramelessDialog::exec();
}

void ProgressForm::setCancelable(bool cancelable)
{
    ui->btnCancel->setEnabled(cancelable);
}

bool ProgressForm::waitForThread(QThread &thread, bool terminateOnCancel)
{
    for (;;) {
        if (thread.wait(1000))
            return true;
        if (canceled && terminateOnCancel) {
            thread.terminate();
            return thread.wait(1000);
        }
    }
}

bool ProgressForm::runWorker(QThread &worker)
{
    worker.start(QThread::InheritPriority);
    const int result = exec();
    worker.wait();
    return result == 1 && !canceled;
}

bool ProgressForm::invokeUpdateProgress(QString status, int curProgress, QString progressText)
{
    return QMetaObject::invokeMethod(this, "updateProgress", Qt::AutoConnection, Q_ARG(QString, status),
                                     Q_ARG(int, curProgress), Q_ARG(QString, progressText));
}

bool ProgressForm::invokeSucceed(QString tipsStr)
{
    return QMetaObject::invokeMethod(this, "succeed", Qt::AutoConnection, Q_ARG(QString, tipsStr));
}

bool ProgressForm::invokeErrorOccurred(QString err)
{
    return QMetaObject::invokeMethod(this, "errorOccurred", Qt::AutoConnection, Q_ARG(QString, err));
}

bool ProgressForm::invokeTipsWait(QString info)
{
    tipsWaiting = true;
    return QMetaObject::invokeMethod(this, "tipsWait", Qt::AutoConnection, Q_ARG(QString, info));
}

bool ProgressForm::invokeSetCancelBtnText(const QString &text)
{
    return QMetaObject::invokeMethod(this, "setCancelBtnText", Qt::AutoConnection, Q_ARG(QString, text));
}

void ProgressForm::updateProgress(QString status, int curProgress, QString progressText)
{
    if (m_decided)
        return;
    guarded("updateProgress", [&] {
        if (!status.isEmpty())
            ui->lbStatus->setText(status);
        const int value = curProgress < 0 ? ui->progressBar->value() : qBound(0, curProgress, 100);
        ui->progressBar->setValue(value);
        if (progressText.isEmpty())
            progressText = QStringLiteral("Progress:%1%").arg(value);
        ui->lbProgress->setText(progressText);
    });
}

void ProgressForm::succeed(QString tipsStr)
{
    if (m_decided)
        return;
    m_decided = true;
    guarded("succeed", [&] {
        if (!tipsStr.isEmpty())
            Tips::info(tipsStr);
    });
    done(1);
}

void ProgressForm::errorOccurred(QString err)
{
    if (m_decided)
        return;
    m_decided = true;
    guarded("errorOccurred", [&] { Tips::error(err); });
    done(0);
}

void ProgressForm::onFinish(int result)
{
    canceled = (result == 0);
}

void ProgressForm::tipsWait(QString info)
{
    guarded("tipsWait", [&] { Tips::info(info); });
    tipsWaiting = false;
}

void ProgressForm::cancel()
{
    if (m_decided)
        return;
    bool confirmed = false;
    guarded("cancel", [&] { confirmed = Tips::question(tr("Are You Sure You Want To Cancel?")); });
    // The worker may have finished while the question was open; its outcome then stands.
    if (!confirmed || m_decided)
        return;
    m_decided = true;
    emit userCacel();
    done(0);
}

void ProgressForm::setCancelBtnText(QString text)
{
    ui->btnCancel->setText(text);
}
