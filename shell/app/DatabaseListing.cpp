#include "DatabaseListing.h"

#include "ContactSelection.h"
#include "DbFactory.h"
#include "model/DataFolder.h"
#include "model/LocalDb.h"

#include <QDir>

void DatabaseListing::listOfflineDevices(ContactSelection &selection, const QString &folder, int devType)
{
    const QDir dir(g_dataSaveDir().filePath(folder));
    if (!dir.exists())
        return;
    for (const QFileInfo &file :
         dir.entryInfoList({QStringLiteral("*.db")}, QDir::Files | QDir::Hidden, QDir::Name)) {
        QSharedPointer<LocalDb> db = DbFactory::offlineDb(file.absoluteFilePath(), devType);
        // A hidden file's base name is empty; its node is then named by the whole file name.
        const QString name = file.baseName().isEmpty() ? file.fileName() : file.baseName();
        selection.selectNode(selection.tree().addDevice(db, name, file.fileName(), devType));
    }
}

QFileInfoList DatabaseListing::localDatabaseFiles()
{
    return LocalDb::dbDir().entryInfoList({QStringLiteral("*.db")}, QDir::Files | QDir::Hidden,
                                          QDir::Time | QDir::Reversed);
}

void DatabaseListing::listLocalDatabases(ItemModelMainTree &tree)
{
    for (const QFileInfo &file : localDatabaseFiles())
        tree.addLocalDb(DbFactory::localDb(file.absoluteFilePath()), file.fileName());
}
