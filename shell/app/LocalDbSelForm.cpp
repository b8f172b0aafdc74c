#include "LocalDbSelForm.h"

#include "DatabaseListing.h"
#include "Logging.h"
#include "shell/kit/Tips.h"
#include "model/LocalDb.h"
#include "ui_LocalDbSelForm.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <exception>

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

bool LocalDbSelForm::isInvalidDbName(const QString &name)
{
    static const QRegularExpression refused(QStringLiteral("[\\\\/:*?\"<>|\\n\\r\\t]"));
    // A leading dot would make a hidden file, which file listings leave out.
    return name.startsWith(QLatin1Char('.')) || name.contains(refused);
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
        accept();
    } catch (const std::exception &e) {
        qCWarning(lcApp) << "database chooser:" << e.what();
    }
}

QString LocalDbSelForm::execGetDbName()
{
    if (exec() != QDialog::Accepted || dbName.isEmpty())
        return QString();
    if (!dbName.endsWith(QStringLiteral(".db")))
        dbName += QStringLiteral(".db");
    return dbName;
}
