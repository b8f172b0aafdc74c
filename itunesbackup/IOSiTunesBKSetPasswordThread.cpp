#include "IOSiTunesBKSetPasswordThread.h"

#include "BackupManifest.h"
#include "model/ProgressSink.h"

IOSiTunesBKSetPasswordThread::IOSiTunesBKSetPasswordThread(BackupManifest &backup, QString password,
                                                           ProgressSink &progress, QObject *parent)
    : QThread(parent)
    , backup(backup)
    , password(std::move(password))
    , progress(progress)
{}

IOSiTunesBKSetPasswordThread::~IOSiTunesBKSetPasswordThread() = default;

void IOSiTunesBKSetPasswordThread::run()
{
    result = false;
    const QString status = tr("Verifying. Please wait...");
    try {
        progress.invokeUpdateProgress(status, 0, QString());
        const bool unlocked = backup.setPasscodeNoUIThrow(password, [&](int percent) {
            if (progress.canceled) {
                stoppedByUser = true;
                return false;
            }
            progress.invokeUpdateProgress(status, percent, QString());
            return true;
        });
        if (stoppedByUser)
            return;
        result = unlocked;
        progress.invokeSucceed(QString());
    } catch (const std::exception &e) {
        result = false;
        progress.invokeErrorOccurred(QStringLiteral("IOSiTunesBKSetPasswordThread: %1").arg(QString::fromUtf8(e.what())));
    }
}
