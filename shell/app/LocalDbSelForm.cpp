#include "LocalDbSelForm.h"

#include "DatabaseListing.h"
#include "Logging.h"
#include "shell/kit/Tips.h"
#include "model/LocalDb.h"
#include "ui_LocalDbSelForm.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <exception>

#include <unistd.h>

LocalDbSelForm::LocalDbSelForm(QWidget *parent, QString defaultName)
    : FramelessDialog(parent)
    , ui(new Ui_LocalDbSelForm)
{
    ui->setupUi(this);
    makeFrameless();
    connect(ui->btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);

    ui->cbLocalDbNames->addItem(QString());
    const QFileInfoList files = DatabaseListing::localDatabaseFiles();
    // Whole file names: the answer gets ".db" appended only when it lacks it, so a listed
    // "Archive.db.db" must be offered as such to lead back to that file.
    for (const QFileInfo &file : files)
        ui->cbLocalDbNames->addItem(file.fileName());
    ui->cbLocalDbNames->setCurrentIndex(-1);
    if (!defaultName.isEmpty())
        ui->cbLocalDbNames->setEditText(defaultName);
}

LocalDbSelForm::~LocalDbSelForm()
{
    delete ui;
}

namespace {

// Of "-journal", "-wal" and "-shm", the suffix that makes the longest name beside the file.
constexpr const char *kLongestCompanion = "-journal";

} // namespace

bool LocalDbSelForm::isInvalidDbName(const QString &name)
{
    static const QRegularExpression refused(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]"));
    // A leading dot would make a hidden file, which file listings leave out.
    return name.startsWith(QLatin1Char('.')) || name.contains(refused);
}

QString LocalDbSelForm::fileNameOf(const QString &name)
{
    return name.endsWith(QStringLiteral(".db")) ? name : name + QStringLiteral(".db");
}

int LocalDbSelForm::longestFileName(const QString &folder)
{
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? int(qMin<long>(limit, 4096)) : 255;
}

bool LocalDbSelForm::isTooLongDbName(const QString &name, int longestFileName)
{
    // SQLite keeps its journal beside the file under the longest of the companion names; a
    // database whose journal cannot be made takes no write at all.
    return QFile::encodeName(fileNameOf(name) + QLatin1String(kLongestCompanion)).size() > longestFileName;
}

void LocalDbSelForm::onBtnOkPress()
{
    // A slot: nothing may leave it.
    try {
        dbName = ui->cbLocalDbNames->currentText();
        if (dbName.trimmed().isEmpty()) {
            Tips::warning(tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
            return;
        }
        if (isInvalidDbName(dbName)) {
            Tips::warning(tr("IDS_INVALID_LOCALDB_NAME"));
            return;
        }
        const int longest = longestFileName(LocalDb::dbDir().absolutePath());
        if (isTooLongDbName(dbName, longest)) {
            const int room = longest - int(qstrlen(kLongestCompanion));
            Tips::warning(tr("IDS_LOCALDB_NAME_TOO_LONG_%1").arg(room));
            return;
        }
        accept();
    } catch (const std::exception &e) {
        qCWarning(lcApp) << "database chooser:" << e.what();
    }
}

QString LocalDbSelForm::execGetDbName()
{
    if (exec() != QDialog::Accepted || dbName.isEmpty())
        return QString();
    dbName = fileNameOf(dbName);
    return dbName;
}
