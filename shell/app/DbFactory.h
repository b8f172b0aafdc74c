#pragma once

#include <QSharedPointer>
#include <QString>

class LocalDb;

// Makes every contact database the shell holds, each with the merge rule of its kind, so that the
// pairing of a folder with its rule is written once.
class DbFactory
{
public:
    // A local database of the "data" folder (or any file that takes the local rule).
    static QSharedPointer<LocalDb> localDb(const QString &path);
    // A database of an iPhone: its cache or an offline copy.
    static QSharedPointer<LocalDb> iosDb(const QString &path);
    // An offline phone database of the given device kind (ItemModelMainTree::DeviceType). An
    // offline Android database is a phone mirror without a phone behind it (with the local rule):
    // nothing is ever sent from it or loaded into it.
    static QSharedPointer<LocalDb> offlineDb(const QString &path, int devType);

    // The local database named `fileName` in the "data" folder: an existing file is used as it is,
    // a missing one is made from the template. Throws std::runtime_error when it cannot be made.
    static QSharedPointer<LocalDb> openOrCreateLocalDb(const QString &fileName);
    // A fresh cache database of an arrived iPhone, in "ios_cache", named after its identifier.
    // Throws std::runtime_error when the identifier names another place than a file of that folder
    // or the file cannot be made.
    static QSharedPointer<LocalDb> createIosCache(const QString &devId);

    // The path of a device's cache file in `folder` of the data folder, which is made when missing.
    // Throws std::runtime_error for an identifier that is no plain file name, since making the cache
    // removes whatever is there.
    static QString cachePath(const QString &folder, const QString &devId);
};
