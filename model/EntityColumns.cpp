#include "EntityColumns.h"

#include "Entity.h"
#include "EntityType.h"
#include "EntryKeys.h"
#include "UnloadedPhoto.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <array>
#include <map>

namespace {

QStringList dataKeys(std::initializer_list<int> numbers)
{
    QStringList keys;
    for (int n : numbers)
        keys << QStringLiteral("data%1").arg(n);
    return keys;
}

const QString &kPhotoHashKey = pim::PhotoKey::Hash;
const QString &kPhotoBytesKey = pim::PhotoKey::Image;

} // namespace

EntityColumns::EntityColumns(int type, QStringList written, QStringList read)
    : m_type(type)
    , m_written(std::move(written))
    , m_read(std::move(read))
{
    for (const QString &key : std::as_const(m_read))
        m_readNames << key.toUtf8();
    for (const QString &key : std::as_const(m_read))
        m_readIsWritten.push_back(m_written.contains(key));
    m_readOrder.resize(size_t(m_read.size()));
    for (size_t i = 0; i < m_readOrder.size(); ++i)
        m_readOrder[i] = qsizetype(i);
    std::sort(m_readOrder.begin(), m_readOrder.end(),
              [this](qsizetype a, qsizetype b) { return m_read.at(a) < m_read.at(b); });
    QStringList marks;
    QStringList assignments;
    for (const QString &key : std::as_const(m_written)) {
        marks << QStringLiteral("?");
        assignments << key + QStringLiteral("=?");
    }
    m_insertSql = QStringLiteral("insert into data(contact_id,type,src_id,%1) values(?,?,?,%2)")
                      .arg(m_written.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    m_updateSql =
        QStringLiteral("update data set src_id=?,%1 where _id=?").arg(assignments.join(QLatin1Char(',')));
}

const EntityColumns *EntityColumns::forType(int type)
{
    static const std::array<EntityColumns, 13> layouts = {{
        {pim::ENTITY_NAME, dataKeys({1, 2, 3, 4, 5, 6, 7, 8}), dataKeys({1, 2, 3, 4, 5, 6, 7, 8})},
        {pim::ENTITY_PHOTO, dataKeys({4, 15}), dataKeys({4, 15})},
        {pim::ENTITY_PHONE, dataKeys({1, 2, 3}), dataKeys({1, 2, 3})},
        {pim::ENTITY_EMAIL, dataKeys({1, 2, 3}), dataKeys({1, 2, 3})},
        {pim::ENTITY_NICKNAME, dataKeys({1, 2, 3}), dataKeys({1, 2, 3})},
        {pim::ENTITY_EVENT, dataKeys({1, 2, 3}), dataKeys({1, 2, 3})},
        {pim::ENTITY_GROUP, dataKeys({1, 2}), dataKeys({1, 2})},
        {pim::ENTITY_IM, dataKeys({1, 2, 3, 5, 6}), dataKeys({1, 2, 3, 5, 6})},
        {pim::ENTITY_NOTE, dataKeys({1}), dataKeys({1})},
        {pim::ENTITY_ORG, dataKeys({1, 2, 3, 4, 5, 6, 7, 9}), dataKeys({1, 2, 3, 4, 5, 6, 7, 9})},
        {pim::ENTITY_REL, dataKeys({1, 2, 3}), dataKeys({1, 2, 3})},
        {pim::ENTITY_ADDR, dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}),
         dataKeys({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11})},
        {pim::ENTITY_URL, dataKeys({1, 2, 3}), dataKeys({1, 2, 3})},
    }};
    if (type < pim::ENTITY_NAME || type > pim::ENTITY_URL)
        return nullptr;
    return &layouts[size_t(type - pim::ENTITY_NAME)];
}

QString EntityColumns::storedText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODate);
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODate);
    default:
        return value.toString();
    }
}

QString EntityColumns::textAsRead(const QString &text)
{
    if (text.isEmpty())
        return QLatin1String("");
    // Only a lone surrogate changes on its way through UTF-8: a text without any surrogate comes back
    // as it went, without the two conversions.
    const bool anySurrogate =
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
    return anySurrogate ? QString::fromUtf8(text.toUtf8()) : text;
}

pim::Entity EntityColumns::readBack(const pim::Entity &e) const
{
    // Built as a plain map in key order, each value placed at the end, and handed over whole: a merge
    // reads back every row it writes.
    std::map<QString, QVariant> values;
    for (const qsizetype i : m_readOrder) {
        const QString &key = m_read.at(i);
        const QVariant &value = e.valueAt(key);
        QVariant read;
        if (!m_readIsWritten[size_t(i)]) {
            read = QString(QLatin1String(""));
        } else if (key == kPhotoBytesKey) {
            // A zero-length blob reads back as no bytes at all.
            const QByteArray bytes = value.toByteArray();
            read = bytes.isEmpty() ? QByteArray() : bytes;
        } else if (m_type == pim::ENTITY_PHOTO && key == kPhotoHashKey) {
            read = textAsRead(e.photoHash());
        } else if (const QString *text = pim::textIn(value)) {
            read = textAsRead(*text);
        } else {
            read = textAsRead(storedText(value));
        }
        values.emplace_hint(values.end(), key, std::move(read));
    }
    pim::Entity row(e.id, textAsRead(e.srcId));
    row.values = QMap<QString, QVariant>(std::move(values));
    return row;
}

void EntityColumns::bindValues(Sqlite3Sql &sql, const pim::Entity &e, PhotoBytes bytes) const
{
    // Written, it would replace the stored photo by no bytes at all.
    if (m_type == pim::ENTITY_PHOTO)
        pim::UnloadedPhoto::checkStorable(e);
    for (const QString &key : m_written) {
        if (key == kPhotoBytesKey)
            sql.addBlobParam(bytes == PhotoBytes::Bound ? e.values.value(key).toByteArray() : QByteArray());
        else if (m_type == pim::ENTITY_PHOTO && key == kPhotoHashKey)
            sql.addTextParam(e.photoHash());
        else
            sql.addTextParam(storedText(e.values.value(key)));
    }
}
