#pragma once

#include <QFileInfoList>
#include <QString>

class ContactSelection;
class ItemModelMainTree;

// What the tree holds when the window opens: the offline phone databases and the local
// databases found in the data folder. No database is opened here; a file that is no usable
// database shows its error when its node is first used.
class DatabaseListing
{
public:
    // One device node per "*.db" file of `folder` in the data folder, by file name, named by the
    // file's base name; each node is expanded and made current as it comes, so the last is current.
    static void listOfflineDevices(ContactSelection &selection, const QString &folder, int devType);
    // One node per "*.db" file of the local-database folder, the oldest first, named by file name.
    static void listLocalDatabases(ItemModelMainTree &tree);
    // The "*.db" files of the local-database folder, the oldest first. Hidden ones count too: a
    // database whose name starts with a dot must never drop out of sight.
    static QFileInfoList localDatabaseFiles();
};
