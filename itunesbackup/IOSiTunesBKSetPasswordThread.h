#pragma once

#include <QString>
#include <QThread>

#include <atomic>

class BackupManifest;
class ProgressSink;

// Checks a backup password off the GUI thread, behind the progress dialog: shows the key
// derivation's progress under "Verifying. Please wait..." and stops it when the user cancels.
class IOSiTunesBKSetPasswordThread : public QThread
{
    Q_OBJECT
public:
    IOSiTunesBKSetPasswordThread(BackupManifest &backup, QString password, ProgressSink &progress,
                                 QObject *parent = nullptr);
    ~IOSiTunesBKSetPasswordThread() override;

    // Whether the password unlocked the backup; read after the thread has been joined.
    bool result = false;
    // Whether the user's Cancel stopped the check (then no report closes the dialog: it is closed).
    std::atomic_bool stoppedByUser{false};

protected:
    void run() override;

private:
    BackupManifest &backup;
    QString password;
    ProgressSink &progress;
};
