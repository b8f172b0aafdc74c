#include "DbFactory.h"

#include "ItemModelMainTree.h"
#include "android/AndroidContactsDb.h"
#include "ios/IOSContactCombineRule.h"
#include "model/DataFolder.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

QSharedPointer<LocalDb> DbFactory::localDb(const QString &path)
{
    return QSharedPointer<LocalDb>(
        new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
}

QSharedPointer<LocalDb> DbFactory::iosDb(const QString &path)
{
    return QSharedPointer<LocalDb>(
        new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule)));
}

QSharedPointer<LocalDb> DbFactory::offlineDb(const QString &path, int devType)
{
    if (devType == ItemModelMainTree::IOS)
        return iosDb(path);
    return AndroidContactsDb::openOffline(path);
}

QSharedPointer<LocalDb> DbFactory::openOrCreateLocalDb(const QString &fileName)
{
    const QString path = LocalDb::dbDir().absoluteFilePath(fileName);
    QSharedPointer<LocalDb> db = localDb(path);
    // An existing file is the user's database: never replaced by the template. Only a regular file
    // is one; making the database over a folder of that name fails with a clear error.
    if (!QFileInfo(path).isFile())
        db->create();
    return db;
}

QString DbFactory::cachePath(const QString &folder, const QString &devId)
{
    if (devId.isEmpty() || devId == QLatin1String(".") || devId == QLatin1String("..") ||
        devId.contains(QLatin1Char('/')) || devId.contains(QLatin1Char('\\')) || devId.contains(QChar(0)))
        throw std::runtime_error(QStringLiteral("Invalid device identifier: %1").arg(devId).toStdString());
    const QDir dir(g_dataSaveDir().filePath(folder));
    if (!dir.mkpath(QStringLiteral(".")))
        throw std::runtime_error(
            QStringLiteral("Cannot create the folder %1").arg(dir.absolutePath()).toStdString());
    return dir.filePath(devId);
}

QSharedPointer<LocalDb> DbFactory::createIosCache(const QString &devId)
{
    QSharedPointer<LocalDb> db = iosDb(cachePath(QStringLiteral("ios_cache"), devId));
    db->create();
    return db;
}
