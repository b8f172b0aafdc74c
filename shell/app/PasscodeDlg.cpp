#include "PasscodeDlg.h"

#include "Ui_PasscodeDlg.h"
#include "itunesbackup/BackupManifest.h"
#include "itunesbackup/IOSiTunesBKSetPasswordThread.h"
#include "shell/kit/ProgressForm.h"
#include "shell/kit/Tips.h"

PasscodeDlg::PasscodeDlg(BackupManifest *backup, QWidget *parent)
    : FramelessDialog(parent)
    , ui(std::make_unique<Ui_PasscodeDlg>())
    , backup(backup)
{
    ui->setupUi(this);
    makeFrameless();
    connect(ui->btnOK, &QPushButton::pressed, this, &PasscodeDlg::btnOKPressed);
}

PasscodeDlg::~PasscodeDlg() = default;

PasscodeDlg::Check PasscodeDlg::setPasscode(BackupManifest &backup, const QString &passcode)
{
    ProgressForm progress(QString(), nullptr);
    IOSiTunesBKSetPasswordThread worker(backup, passcode, progress);
    worker.start(QThread::InheritPriority);
    progress.exec();
    // The worker reads the cancel flag between slices of the derivation, so it ends soon.
    worker.wait();
    if (worker.stoppedByUser)
        return Check::Stopped;
    return worker.result ? Check::Unlocked : Check::Refused;
}

void PasscodeDlg::btnOKPressed()
{
    const QString text = ui->txtPasscode->text();
    if (text.isEmpty()) {
        Tips::warning(tr("IDS_PWD_IS_NULL"));
        return;
    }
    const Check check = setPasscode(*backup, text);
    if (check == Check::Unlocked) {
        accept();
        return;
    }
    if (check == Check::Refused)
        Tips::warning(tr("IDS_INVALID_PASSWORD"));
    ui->txtPasscode->clear();
}
