#pragma once

#include <QString>

#include <atomic>

// What a worker thread sees of the progress dialog that waits for it: reports that may be made from
// any thread (each is delivered, in call order, on the thread that owns the sink) and the cooperative
// cancel flag. The dialog implements it; libraries below the shell and their tests need nothing else.
class ProgressSink
{
public:
    virtual ~ProgressSink();

    virtual bool invokeUpdateProgress(QString status, int curProgress, QString progressText) = 0;
    virtual bool invokeSucceed(QString tipsStr) = 0;
    virtual bool invokeErrorOccurred(QString err) = 0;
    // Shows `info` and keeps `tipsWaiting` set until the user has closed it.
    virtual bool invokeTipsWait(QString info) = 0;
    virtual bool invokeSetCancelBtnText(const QString &text) = 0;

    // Set on every ending of the dialog: true after a cancel or an error, false after a success.
    // Workers read it between items.
    std::atomic_bool canceled{false};
    // True from invokeTipsWait() until the user has closed the box it asked for.
    std::atomic_bool tipsWaiting{false};

protected:
    ProgressSink() = default;
    ProgressSink(const ProgressSink &) = delete;
    ProgressSink &operator=(const ProgressSink &) = delete;
};
