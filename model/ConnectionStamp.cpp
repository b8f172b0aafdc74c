#include "ConnectionStamp.h"

#include "platform/sqlite/Sqlite3DB.h"

ConnectionStamp ConnectionStamp::of(const Sqlite3DB &db)
{
    ConnectionStamp stamp;
    stamp.m_handle = db.handle();
    stamp.m_changes = db.totalChanges();
    stamp.m_rollbacks = db.rollbackCount();
    return stamp;
}

bool ConnectionStamp::matches(const Sqlite3DB &db) const
{
    return m_handle && m_handle == db.handle() && db.holdsTransaction() && m_changes == db.totalChanges() &&
           m_rollbacks == db.rollbackCount();
}
