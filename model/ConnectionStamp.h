#pragma once

class Sqlite3DB;

// What a connection had done at one moment: its handle, the rows it had changed and the rollbacks
// it had run. A cache of file content that takes a stamp after its own last write can later tell
// whether anything else was written or undone since: only then does the stamp still match. A stamp
// matches only while the connection holds a transaction, since no other connection can change the
// file then.
class ConnectionStamp
{
public:
    ConnectionStamp() = default;
    static ConnectionStamp of(const Sqlite3DB &db);

    bool matches(const Sqlite3DB &db) const;

private:
    const void *m_handle = nullptr;
    long long m_changes = 0;
    unsigned long long m_rollbacks = 0;
};
