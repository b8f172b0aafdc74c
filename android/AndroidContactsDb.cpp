#include "AndroidContactsDb.h"

#include "AdbConnector.h"

#include "model/DataFolder.h"
#include "model/LocalDbCombineRule.h"

#include <QDir>
#include <QFileInfo>

#include <stdexcept>

AndroidContactsDb::AndroidContactsDb(QString path, PAndroidConnector connector)
    : LocalDb(std::move(path), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule))
    , m_connector(std::move(connector))
{}

AndroidContactsDb::~AndroidContactsDb() = default;

PAndroidConnector AndroidContactsDb::connector() const
{
    return m_connector;
}

QString AndroidContactsDb::cachePath(const QString &devId)
{
    if (devId.isEmpty() || devId == QLatin1String(".") || devId == QLatin1String("..") ||
        devId.contains(QLatin1Char('/')) || devId.contains(QLatin1Char('\\')) || devId.contains(QChar(0)))
        throw std::runtime_error(
            QStringLiteral("Invalid device identifier: %1").arg(devId).toUtf8().toStdString());
    const QDir cacheDir(g_dataSaveDir().filePath(QStringLiteral("android_cache")));
    if (!cacheDir.mkpath(QStringLiteral(".")))
        throw std::runtime_error(QStringLiteral("Cannot create the folder %1")
                                     .arg(cacheDir.absolutePath())
                                     .toUtf8()
                                     .toStdString());
    return cacheDir.filePath(devId);
}

QSharedPointer<AndroidContactsDb> AndroidContactsDb::createForDevice(const QString &devId,
                                                                     PAndroidConnector connector)
{
    QSharedPointer<AndroidContactsDb> mirror(new AndroidContactsDb(cachePath(devId), std::move(connector)));
    mirror->create();
    return mirror;
}

QSharedPointer<AndroidContactsDb> AndroidContactsDb::openOffline(const QString &path)
{
    QSharedPointer<AndroidContactsDb> db(new AndroidContactsDb(
        QFileInfo(path).absoluteFilePath(), PAndroidConnector(new AdbConnector(PAdbUSBHandle()))));
    db->m_offline = true;
    return db;
}
