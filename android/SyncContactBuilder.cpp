#include "SyncContactBuilder.h"

#include "SyncRecordLayout.h"
#include "simpleprotocol.h"

#include "model/EntityType.h"

#include <QDate>
#include <QDateTime>

namespace SyncContactBuilder {

namespace {

QMap<int, QString> buildWordTable()
{
    struct Row
    {
        int type;
        std::initializer_list<std::pair<int, const char *>> words;
    };
    const Row rows[] = {
        {pim::ENTITY_PHONE,
         {{0, "other"},    {1, "home"},         {2, "mobile"},      {3, "work"},       {4, "work fax"},
          {5, "home fax"}, {6, "pager"},        {8, "callback"},    {9, "car"},        {10, "company main"},
          {11, "isdn"},    {12, "main"},        {13, "other fax"},  {14, "radio"},     {15, "telex"},
          {16, "ttytdd"},  {17, "work mobile"}, {18, "work pager"}, {19, "assistant"}, {20, "mms"}}},
        {pim::ENTITY_EMAIL, {{0, "other"}, {1, "home"}, {2, "work"}, {4, "mobile"}}},
        {pim::ENTITY_NICKNAME, {{1, "default"}, {2, "other"}, {4, "short"}, {5, "init"}}},
        {pim::ENTITY_EVENT, {{0, "other"}, {1, "anniversary"}, {3, "birthday"}}},
        {pim::ENTITY_IM, {{0, "other"}, {1, "home"}, {2, "work"}}},
        {pim::ENTITY_ORG, {{0, "other"}, {1, "work"}}},
        {pim::ENTITY_REL,
         {{1, "assistant"},
          {2, "brother"},
          {3, "child"},
          {4, "dom partner"},
          {5, "father"},
          {6, "friend"},
          {7, "manager"},
          {8, "mother"},
          {9, "parnet"},
          {10, "partner"},
          {11, "refby"},
          {12, "relative"},
          {13, "sister"},
          {14, "spouse"}}},
        {pim::ENTITY_ADDR, {{0, "other"}, {1, "home"}, {2, "work"}}},
        {pim::ENTITY_URL,
         {{0, "other"}, {1, "homepage"}, {2, "blog"}, {3, "profile"}, {4, "home"}, {5, "work"}, {6, "ftp"}}},
        {SyncRecordLayout::kProtocolWordType,
         {{1, "aim"},
          {2, "msn"},
          {3, "yahoo"},
          {4, "skype"},
          {5, "qq"},
          {6, "googletalk"},
          {7, "icq"},
          {8, "jabber"},
          {9, "netmeeting"}}},
    };
    QMap<int, QString> table;
    for (const Row &row : rows)
        for (const auto &[code, word] : row.words)
            table.insert(row.type * 100 + code, QString::fromLatin1(word));
    return table;
}

QMap<QString, int> buildReverseTable()
{
    QMap<QString, int> reverse;
    const QMap<int, QString> table = entSubTypeStrMap();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        const int type = it.key() / 100;
        reverse.insert(QStringLiteral("%1/%2").arg(type).arg(it.value()), it.key() - 100 * type);
    }
    return reverse;
}

// The date part of an ISO 8601 date or date-time text (a zone designator allowed) as "yyyy-MM-dd";
// empty when the text is no such date.
QString isoDatePart(const QString &text)
{
    QDate date = QDate::fromString(text, Qt::ISODate);
    if (!date.isValid()) {
        const QDateTime dateTime = QDateTime::fromString(text, Qt::ISODate);
        if (dateTime.isValid())
            date = dateTime.date();
    }
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
}

QString encodeField(const pim::Entity &e, const SyncRecordLayout::Field &field)
{
    using SyncRecordLayout::Encoding;
    const QVariant value = e.values.value(field.column);
    switch (field.encoding) {
    case Encoding::Text:
        return entStringPro(e, field.column);
    case Encoding::Word:
        return entSubTypeStr(field.wordType, value.toString().toInt());
    case Encoding::Date:
        return isoDatePart(value.toString());
    case Encoding::Bytes:
        return QString::fromLatin1(value.toByteArray().toBase64());
    }
    return QString();
}

} // namespace

QMap<int, QString> entSubTypeStrMap()
{
    // Built once, thread-safely, on first use by whichever session comes first.
    static const QMap<int, QString> table = buildWordTable();
    return table;
}

QString entSubTypeStr(int type, int subType)
{
    static const QMap<int, QString> table = entSubTypeStrMap();
    return table.value(type * 100 + subType);
}

QMap<QString, int> entSubTypeMap()
{
    static const QMap<QString, int> reverse = buildReverseTable();
    return reverse;
}

int entSubType(int type, QString word)
{
    static const QMap<QString, int> reverse = entSubTypeMap();
    return reverse.value(QStringLiteral("%1/%2").arg(type).arg(word), 0);
}

QString makeAndroidSyncId(int type, qint64 contactId, qint64 rawContactId, const pim::Entity &e)
{
    if (!e.srcId.isEmpty())
        return e.srcId;
    return QStringLiteral("%1/%2/%3/%4").arg(type).arg(contactId).arg(rawContactId).arg(-qint64(e.id));
}

bool fetchIdInfo(QString syncId, int *type, qint64 *contactId, qint64 *rawContactId, qint64 *dataId)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("(-?\\d+)/(-?\\d+)/(-?\\d+)/(-?\\d+)")));
    const QRegularExpressionMatch m = pattern.match(syncId);
    if (!m.hasMatch())
        return false;
    if (type)
        *type = m.captured(1).toInt();
    if (contactId)
        *contactId = m.captured(2).toLongLong();
    if (rawContactId)
        *rawContactId = m.captured(3).toLongLong();
    if (dataId)
        *dataId = m.captured(4).toLongLong();
    return true;
}

QString entStringPro(const pim::Entity &e, QString key)
{
    return simpleprotocol::encodeText(e.values.value(key).toString());
}

QString entitySyncCmd(int type, qint64 contactId, qint64 rawContactId, const pim::Entity &e)
{
    QString record = makeAndroidSyncId(type, contactId, rawContactId, e);
    for (const SyncRecordLayout::Field &field : SyncRecordLayout::fields(type)) {
        record += QLatin1Char(',');
        record += encodeField(e, field);
    }
    return record;
}

const QRegularExpression &idMappingPattern()
{
    static const QRegularExpression pattern(
        QStringLiteral("-?\\d+/-?(\\d+)/-?\\d+/-?(\\d+)=>(-?\\d+/-?\\d+/-?\\d+/-?\\d+)"));
    return pattern;
}

QList<IdMapping> idMappings(const QString &answer)
{
    QList<IdMapping> mappings;
    QRegularExpressionMatchIterator it = idMappingPattern().globalMatch(answer);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        const QString whole = m.captured(0);
        IdMapping mapping;
        mapping.oldId = whole.left(whole.indexOf(QLatin1String("=>")));
        mapping.contactId = m.captured(1).toULongLong();
        mapping.dataId = m.captured(2).toULongLong();
        mapping.newId = m.captured(3);
        mappings.append(mapping);
    }
    return mappings;
}

} // namespace SyncContactBuilder
