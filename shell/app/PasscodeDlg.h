#pragma once

#include "shell/kit/FramelessDialog.h"

#include <memory>

class BackupManifest;
class Ui_PasscodeDlg;

// Asks for the password of an encrypted backup and closes with 1 only once the password unlocked
// it; a refused password says "Invalid password." and asks again.
class PasscodeDlg : public FramelessDialog
{
    Q_OBJECT
public:
    PasscodeDlg(BackupManifest *backup, QWidget *parent = nullptr);
    ~PasscodeDlg() override;

    enum class Check { Unlocked, Refused, Stopped };
    // Runs the check on a worker behind the progress dialog, whose Cancel stops the key derivation;
    // the worker is always joined, never terminated. An error has been shown when Refused comes back
    // from one.
    static Check setPasscode(BackupManifest &backup, const QString &passcode);

protected slots:
    void btnOKPressed();

private:
    std::unique_ptr<Ui_PasscodeDlg> ui;
    BackupManifest *backup;
};
