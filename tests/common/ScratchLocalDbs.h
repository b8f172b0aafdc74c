#pragma once

#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "platform/sqlite/Sqlite3Cursor.h"

#include <QSharedPointer>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::test {

// Local contact databases in a temporary folder of their own, each in a file of its own.
class ScratchLocalDbs
{
protected:
    // A path in the folder no database has taken yet.
    QString newPath() { return m_dir.filePath(QStringLiteral("db%1.db").arg(++m_fileNo)); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    // A new database with its tables in place, merging under `rule` (the local rule by default).
    std::unique_ptr<LocalDb> freshDb(QSharedPointer<AbsContactCombineRule> rule = {})
    {
        if (!rule)
            rule.reset(new LocalDbCombineRule);
        auto db = std::make_unique<LocalDb>(newPath(), rule);
        db->create();
        return db;
    }

    // The first column of the first row `sql` yields, or -1 when it yields no row.
    static int count(LocalDb &db, const QString &sql)
    {
        Sqlite3Cursor c = db.db.queryThrow(Sqlite3Sql(sql));
        return c.moveNext() ? c.getInt(0) : -1;
    }

private:
    QTemporaryDir m_dir;
    int m_fileNo = 0;
};

} // namespace tarnwick::test
