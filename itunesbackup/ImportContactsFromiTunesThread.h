#pragma once

#include "model/Contact.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QThread>

class BackupManifest;
class LocalDb;
class ProgressSink;

// Imports the address book of an opened backup into a local database: copies the address book and
// its images database into a private temporary folder, reads every person into memory, then merges
// them all inside one edit bracket. Reports only through the progress sink; a cancel between items
// ends it quietly, rolling the merge back.
class ImportContactsFromiTunesThread : public QThread
{
    Q_OBJECT
public:
    ImportContactsFromiTunesThread(BackupManifest &backup, LocalDb *db, ProgressSink *progress,
                                   QObject *parent = nullptr);
    ~ImportContactsFromiTunesThread() override;

    void readAddr(unsigned long long uid, pim::Entity &e);
    void readIM(unsigned long long uid, pim::Entity &e);

protected:
    void run() override;

private:
    // The reading phase; false when it ended by a cancel or an error (already reported).
    bool readContacts(QList<pim::_Contact> &contacts);
    void mergeContacts(const QList<pim::_Contact> &contacts);
    void closeCopies();

    BackupManifest &backup;
    LocalDb *db;
    ProgressSink *progress;
    Sqlite3DB addressBookDb;
    Sqlite3DB imagesDb;
};
