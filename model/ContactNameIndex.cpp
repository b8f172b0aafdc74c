#include "ContactNameIndex.h"

#include "platform/sqlite/Sqlite3Cursor.h"
#include "platform/sqlite/Sqlite3DB.h"

QString ContactNameIndex::fold(const QString &name)
{
    QString folded = name;
    for (QChar &c : folded) {
        const char16_t u = c.unicode();
        if (u >= u'A' && u <= u'Z')
            c = QChar(char16_t(u - u'A' + u'a'));
    }
    return folded;
}

unsigned long long ContactNameIndex::find(const QString &name) const
{
    if (m_lastName.isNull() || name != m_lastName) {
        m_lastId = m_ids.value(fold(name), 0);
        m_lastName = name;
    }
    return m_lastId;
}

bool ContactNameIndex::isCurrent(const Sqlite3DB &db) const
{
    return m_valid && m_stamp.matches(db);
}

void ContactNameIndex::rebuild(Sqlite3DB &db)
{
    m_valid = false;
    m_ids.clear();
    m_lastName.clear();
    // Highest id first, so that of equal names the lowest id is the one left in the hash.
    Sqlite3Cursor cursor = db.queryThrow("select _id,full_name from contact order by _id desc");
    while (cursor.moveNext()) {
        const QString name = cursor.getText(1);
        // An empty (or NULL) name is never a duplicate of anything.
        if (!name.isEmpty())
            m_ids.insert(fold(name), static_cast<unsigned long long>(cursor.getInt64(0)));
    }
    m_stamp = ConnectionStamp::of(db);
    m_valid = true;
}

void ContactNameIndex::noteWrite(const Sqlite3DB &db, unsigned long long id, const QString &name)
{
    if (id != 0 && !name.isEmpty()) {
        const QString key = fold(name);
        if (!m_ids.contains(key)) {
            m_ids.insert(key, id);
            m_lastName.clear();
        }
    }
    m_stamp = ConnectionStamp::of(db);
}
