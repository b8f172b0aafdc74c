#include "EntityColumns.h"

#include "Entity.h"
#include "EntityType.h"
#include "EntryKeys.h"
#include "UnloadedPhoto.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QVarLengthArray>

#include <algorithm>
#include <array>

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

bool hasSurrogate(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSurrogate(); });
}

// True when the text reads back from the database as it is.
bool isReadText(const QString &text)
{
    return !text.isNull() && !hasSurrogate(text);
}

} // namespace

EntityColumns::EntityColumns(int type, QStringList written, QStringList read)
    : m_type(type)
    , m_written(std::move(written))
    , m_read(std::move(read))
{
    for (const QString &key : std::as_const(m_read))
        m_readNames << key.toUtf8();
    for (const QString &key : std::as_const(m_read)) {
        const bool written = m_written.contains(key);
        m_readIsWritten.push_back(written);
        const bool photoColumn =
            key == kPhotoBytesKey || (m_type == pim::ENTITY_PHOTO && key == kPhotoHashKey);
        m_readIsPlainText.push_back(written && !photoColumn);
    }
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
    return hasSurrogate(text) ? QString::fromUtf8(text.toUtf8()) : text;
}

std::optional<QVariant> EntityColumns::readValue(const pim::Entity &e, qsizetype column,
                                                 const QVariant *value) const
{
    static const QVariant absent;
    const QVariant &held = value ? *value : absent;
    const QString &key = m_read.at(column);
    if (!m_readIsWritten[size_t(column)]) {
        const QString *text = pim::textIn(held);
        if (text && text->isEmpty() && !text->isNull())
            return std::nullopt;
        return QVariant(QString(QLatin1String("")));
    }
    if (key == kPhotoBytesKey) {
        // A zero-length blob reads back as no bytes at all.
        if (held.typeId() == QMetaType::QByteArray && !held.toByteArray().isEmpty())
            return std::nullopt;
        const QByteArray bytes = held.toByteArray();
        return QVariant(bytes.isEmpty() ? QByteArray() : bytes);
    }
    if (m_type == pim::ENTITY_PHOTO && key == kPhotoHashKey)
        return QVariant(textAsRead(e.photoHash()));
    if (const QString *text = pim::textIn(held)) {
        if (isReadText(*text))
            return std::nullopt;
        return QVariant(textAsRead(*text));
    }
    return QVariant(textAsRead(storedText(held)));
}

void EntityColumns::toReadForm(pim::Entity &e) const
{
    if (!isReadText(e.srcId))
        e.srcId = textAsRead(e.srcId);
    // Looked at in place first, walking the entry's keys and the read columns side by side in key
    // order: an entry that already holds what a reader gets is left as it is, its values neither
    // copied nor touched (a merge brings every row it writes to this form).
    QVarLengthArray<std::pair<qsizetype, QVariant>, 12> changed;
    QVarLengthArray<QString, 4> unread;
    const QMap<QString, QVariant> &values = e.values;
    auto it = values.cbegin();
    const auto end = values.cend();
    for (const qsizetype column : m_readOrder) {
        const QString &key = m_read.at(column);
        const QVariant *value = nullptr;
        for (; it != end; ++it) {
            const int order = it.key().compare(key);
            if (order > 0)
                break;
            if (order == 0) {
                value = &it.value();
                ++it;
                break;
            }
            unread.append(it.key());
        }
        if (m_readIsPlainText[size_t(column)]) {
            if (!value) {
                // Written as the empty text.
                changed.append({column, QVariant(QString(QLatin1String("")))});
                continue;
            }
            if (const QString *text = pim::textIn(*value); text && isReadText(*text))
                continue;
        }
        if (std::optional<QVariant> read = readValue(e, column, value))
            changed.append({column, std::move(*read)});
    }
    for (; it != end; ++it)
        unread.append(it.key());
    if (changed.isEmpty() && unread.isEmpty())
        return;
    // Detached once up front, so that the hint below stays an iterator of the map written into.
    e.values.detach();
    for (const QString &key : std::as_const(unread))
        e.values.remove(key);
    // In key order: a column missing after the last key held (the usual case) goes in at the end
    // without a search.
    for (auto &[column, read] : changed)
        e.values.insert(e.values.cend(), m_read.at(column), std::move(read));
}

pim::Entity EntityColumns::readBack(const pim::Entity &e) const
{
    pim::Entity row = e;
    toReadForm(row);
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
        else if (const QVariant &value = e.valueAt(key); const QString *text = pim::textIn(value))
            sql.addTextParam(*text);
        else if (!value.isValid())
            // A column the entry does not hold is written as the empty text.
            sql.addTextParam(QString());
        else
            sql.addTextParam(storedText(value));
    }
}
