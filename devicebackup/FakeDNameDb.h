#pragma once

#include "Backup2ToolHook.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The table "dname" of a selective backup (the file "dname.sqlite" in the device's folder): one
// row per file the phone sent, kept or not, with its bucket folder, its path on the phone, its size,
// when the row was last written and whether the file reached the disk. Rows are written in one long
// transaction that is committed every 10,000 inserts and when the object goes. Writes and lookups
// fail silently: a missing row reads as the empty text.
class FakeDNameDb : public Sqlite3DB
{
public:
    FakeDNameDb() = default;
    ~FakeDNameDb() override;

    // Opens or creates the table file; true also when already open (then `path` is ignored).
    bool open(QString path, QString *error);
    void insert(QString f, QString d, bool incl, QDateTime lastm);
    void update(QString f, QDateTime lastm, long long size);
    void remove(QString f);
    QString getDName(QString f);
    // The empty bucket lists one folder entry per bucket and then the top-level files; any other
    // bucket lists its files.
    QList<Backup2ToolHook::DirItem> items(QString p);

    unsigned long long insertCount = 0;

    static constexpr unsigned long long commitEvery = 10000;
};
