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
    for (const QFileInfo &file : dir.entryInfoList({QStringLiteral("*.db")}, QDir::Files, QDir::Name)) {
        QSharedPointer<LocalDb> db = DbFactory::offlineDb(file.absoluteFilePath(), devType);
        selection.selectNode(selection.tree().addDevice(db, file.baseName(), file.fileName(), devType));
    }
}

void DatabaseListing::listLocalDatabases(ItemModelMainTree &tree)
{
    const QFileInfoList files =
        LocalDb::dbDir().entryInfoList({QStringLiteral("*.db")}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo &file : files)
        tree.addLocalDb(DbFactory::localDb(file.absoluteFilePath()), file.fileName());
}
