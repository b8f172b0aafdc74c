#include "LoadItunesBackupDlg.h"

#include "Ui_LoadItunesBackupDlg.h"
#include "itunesbackup/BackupManifest.h"
#include "model/MessageText.h"
#include "shell/kit/FileDialogs.h"
#include "shell/kit/ProductInfo.h"
#include "shell/kit/Tips.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QResizeEvent>

namespace {

const QString kMojavePage = QStringLiteral("/tutorial/access-iphone-backups-on-mac-os-mojave.html");

// The error of a backup folder that cannot be read; the reader's text may carry a link of its own.
QString loadError(const QString &path, const std::exception &e)
{
    return MessageText::rich(QCoreApplication::translate("LoadItunesBackupDlg", "load %1 error. %2")
                                 .arg(MessageText::escaped(path),
                                      MessageText::toHtml(QString::fromUtf8(e.what()))));
}

} // namespace

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget *parent)
    : FramelessDialog(parent)
    , ui(std::make_unique<Ui_LoadItunesBackupDlg>())
    , model(this)
{
    ui->setupUi(this);
    connect(ui->lbAddOther, &QLabel::linkActivated, this, &LoadItunesBackupDlg::btnAddOtherClicked);
    connect(ui->btnLoad, &QPushButton::pressed, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(ui->listBackups, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::btnLoadClicked);
    makeFrameless();
    ui->listBackups->setModel(&model);
    BackupManifest::helpPageUrl = &LoadItunesBackupDlg::helpPageUrl;
    scan();
}

LoadItunesBackupDlg::~LoadItunesBackupDlg() = default;

QString LoadItunesBackupDlg::helpPageUrl(const QString &path)
{
    const QString url = ProductInfo::pageUrl(path);
    return url.isEmpty() ? path : url;
}

void LoadItunesBackupDlg::scan()
{
    for (const QDir &root : BackupManifest::iTunesBackupDirs()) {
        const QFileInfoList folders =
            root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Time | QDir::Reversed);
        for (const QFileInfo &folder : folders) {
            const QDir dir(folder.absoluteFilePath());
            const bool hasManifest = QFile::exists(dir.absoluteFilePath(QStringLiteral("Manifest.mbdb")))
                                     || QFile::exists(dir.absoluteFilePath(QStringLiteral("Manifest.db")));
            if (!hasManifest || !QFile::exists(dir.absoluteFilePath(QStringLiteral("Manifest.plist"))))
                continue;
            QSharedPointer<BackupManifest> backup(new BackupManifest(folder.absoluteFilePath()));
            try {
                backup->readManifestInfo();
                model.addBackup(backup);
            } catch (const std::exception &e) {
                qWarning("%s", e.what());
                Tips::error(loadError(folder.absoluteFilePath(), e));
            }
        }
    }
    ui->listBackups->setCurrentIndex(QModelIndex());
    if (model.rowCount() == 0) {
        Tips::warning(MessageText::rich(
            MessageText::escaped(
                tr("Can't find any backups. If you are using MacOS 10.14 or above,  please click "))
            + QStringLiteral("<a href=\"%1\">HERE</a>.").arg(helpPageUrl(kMojavePage).toHtmlEscaped())));
    }
}

void LoadItunesBackupDlg::btnAddOtherClicked(QString)
{
    const QString path =
        FileDialogs::getExistingDirectory(nullptr, QString(), QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (path.isEmpty())
        return;
    QSharedPointer<BackupManifest> backup(new BackupManifest(path));
    const QString md5 = backup->dirPathMd5();
    for (const QSharedPointer<BackupManifest> &listed : model.backups()) {
        if (listed->dirPathMd5() == md5) {
            Tips::warning(tr("IDS_LOAD_BK_EXISTS"));
            return;
        }
    }
    try {
        backup->readManifestInfo();
        const ItemModelLoadBk::_BKItemNode *node = model.addBackup(backup);
        ui->listBackups->setCurrentIndex(model.indexOfItemNode(node));
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
        Tips::error(loadError(path, e));
    }
}

void LoadItunesBackupDlg::btnLoadClicked()
{
    const auto *node = static_cast<const ItemModelLoadBk::_BKItemNode *>(
        model.nodeOf(ui->listBackups->currentIndex()));
    if (!node) {
        Tips::warning(tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    selectedBackup = node->backup;
    accept();
}

void LoadItunesBackupDlg::resizeEvent(QResizeEvent *event)
{
    const double w = event->size().width() - 80;
    QHeaderView *header = ui->listBackups->header();
    header->resizeSection(0, int(w * 0.4));
    header->resizeSection(1, int(w * 0.25));
    header->resizeSection(2, int(w * 0.35));
}
