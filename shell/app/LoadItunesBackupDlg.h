#pragma once

#include "ItemModelLoadBk.h"
#include "shell/kit/FramelessDialog.h"

#include <QSharedPointer>

#include <memory>

class BackupManifest;
class Ui_LoadItunesBackupDlg;

// The modal chooser of the backup to import from. Building it scans the user's backup folder and
// lists every readable backup, newest first (reporting unreadable ones); the user may add any other
// folder through the link under the list. After exec() returned 1, selectedBackup is the chosen one.
class LoadItunesBackupDlg : public FramelessDialog
{
    Q_OBJECT
public:
    explicit LoadItunesBackupDlg(QWidget *parent = nullptr);
    ~LoadItunesBackupDlg() override;

    QSharedPointer<BackupManifest> selectedBackup;

    // Where a help page of the product's site lies (the link of the "no backups" texts).
    static QString helpPageUrl(const QString &path);

protected slots:
    void btnAddOtherClicked(QString link);
    void btnLoadClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void scan();

    std::unique_ptr<Ui_LoadItunesBackupDlg> ui;
    ItemModelLoadBk model;
};
