#pragma once

#include "ConnectionStamp.h"

#include <QHash>
#include <QString>

class Sqlite3DB;

// Full names of the stored contacts, folded to lower case in the letters A to Z only (the one case
// rule of SQLite's LIKE), each to the lowest row id holding it. Finding a duplicate by name then
// costs a hash look-up instead of a scan of the contact table.
//
// The index is only trusted while its connection holds a transaction (no other connection can
// change the file then) and nothing unseen happened on that connection: every write that the owner
// does not report through noteWrite(), and every rollback, makes it stale.
class ContactNameIndex
{
public:
    static QString fold(const QString &name);

    // True when the index matches the file as the connection sees it now.
    bool isCurrent(const Sqlite3DB &db) const;
    // Reads every contact name; afterwards isCurrent() holds unless the connection holds no
    // transaction.
    void rebuild(Sqlite3DB &db);
    void invalidate() { m_valid = false; }

    // Lowest row id whose full name folds to the same text, 0 for none.
    unsigned long long find(const QString &name) const;

    // After a write of the owner's own on the connection: `id` with `name` was added (id 0: no
    // contact row was added). Call only when the index was current before the write.
    void noteWrite(const Sqlite3DB &db, unsigned long long id = 0, const QString &name = QString());

private:
    QHash<QString, unsigned long long> m_ids;
    // The last name asked for and its answer: merges of one batch often name one contact in a row.
    mutable QString m_lastName;
    mutable unsigned long long m_lastId = 0;
    bool m_valid = false;
    ConnectionStamp m_stamp;
};
