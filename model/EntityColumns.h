#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

class Sqlite3Sql;
namespace pim {
class Entity;
}

// The column layout of one entity type in the data table: which value columns the row writers
// name (and in which order they bind them) and which ones the readers take back. The one table
// that insertion, update and reading share.
class EntityColumns
{
public:
    // Layout of an entity type code; null for a code without one (outside 1 to 13).
    static const EntityColumns *forType(int type);

    const QStringList &read() const { return m_read; }
    // The read list as column names for the cursor (UTF-8), in the same order.
    const QList<QByteArray> &readNames() const { return m_readNames; }
    // Positions in the read list in the order of the keys themselves, so that an entry's values
    // can be filled by appending at the end of its map ("data10" comes before "data2").
    const std::vector<qsizetype> &readInKeyOrder() const { return m_readOrder; }

    // "insert into data(contact_id,type,src_id,<written>) values(?,...)"
    const QString &insertSql() const { return m_insertSql; }
    // "update data set src_id=?,<written>=?... where _id=?"
    const QString &updateSql() const { return m_updateSql; }

    enum class PhotoBytes { Bound, HeldBack };
    // Binds the entry's values of the written columns in their order: texts as text (the photo's
    // "data4" as the hash of its bytes), "data15" as bytes, or as no bytes when they are held back
    // to be written later (the hash is that of the real bytes either way).
    void bindValues(Sqlite3Sql &sql, const pim::Entity &e, PhotoBytes bytes = PhotoBytes::Bound) const;

    // Text stored for a value: numbers as decimal digits, dates and times as ISO 8601 text
    // without milliseconds, an absent value as the null text.
    static QString storedText(const QVariant &value);

    // The entry as a reader of the row that bindValues() wrote gets it back: every read column,
    // texts as stored (the empty text for none), the photo's bytes as bytes.
    pim::Entity readBack(const pim::Entity &e) const;
    // The same, in place: values already as read are kept as they are, shared with any copy.
    void toReadForm(pim::Entity &e) const;
    // A text as it reads back from the database (UTF-8 on the way, never the null text).
    static QString textAsRead(const QString &text);

private:
    EntityColumns(int type, QStringList written, QStringList read);

    // The value a reader gets in read column `column` for `value` (null: none held), or none when
    // `value` is that already.
    std::optional<QVariant> readValue(const pim::Entity &e, qsizetype column, const QVariant *value) const;

    int m_type;
    QStringList m_written;
    QStringList m_read;
    QList<QByteArray> m_readNames;
    std::vector<qsizetype> m_readOrder;
    std::vector<bool> m_readIsWritten;
    // Read columns written as the text held, neither the photo's hash nor its bytes: a text there
    // that reads back as it is needs no further look.
    std::vector<bool> m_readIsPlainText;
    QString m_insertSql;
    QString m_updateSql;
};
