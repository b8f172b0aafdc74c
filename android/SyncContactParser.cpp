#include "SyncContactParser.h"

#include "SyncContactBuilder.h"
#include "SyncRecordLayout.h"
#include "simpleprotocol.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QDate>
#include <QDateTime>

namespace SyncContactParser {

namespace {

// Types whose second field is a custom label that, when given, overrides the sub-type word.
bool hasLabel(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_IM:
    case pim::ENTITY_ORG:
    case pim::ENTITY_REL:
    case pim::ENTITY_ADDR:
    case pim::ENTITY_URL:
        return true;
    default:
        return false;
    }
}

// A "yyyy-MM-dd" field as the ISO 8601 text of that day's midnight; empty when it is no such date.
QString midnightOf(const QString &field)
{
    const QDate date = QDate::fromString(field, QStringLiteral("yyyy-MM-dd"));
    return date.isValid() ? QDateTime(date, QTime(0, 0)).toString(Qt::ISODate) : QString();
}

QVariant decodeField(const SyncRecordLayout::Field &field, const QString &text)
{
    using SyncRecordLayout::Encoding;
    switch (field.encoding) {
    case Encoding::Text:
        return fromStrBase64(text);
    case Encoding::Word:
        return SyncContactBuilder::entSubType(field.wordType, text);
    case Encoding::Date:
        return midnightOf(text);
    case Encoding::Bytes:
        return simpleprotocol::decodeBytes(text);
    }
    return QVariant();
}

} // namespace

QString fromStrBase64(QString field)
{
    return simpleprotocol::decodeText(field);
}

void fillEntityInfo(QStringList fields, int type, pim::Entity &e)
{
    const QList<SyncRecordLayout::Field> &layout = SyncRecordLayout::fields(type);
    if (layout.isEmpty())
        return;
    const int parts = int(fields.size());

    if (type == pim::ENTITY_NICKNAME) {
        // The phone keeps a single kind of nickname: word and label are not read.
        e.values[pim::ValueKey::SubType] = int(pim::NICKNAME_DEFAULT);
        if (parts > 3)
            e.values[pim::ValueKey::Value] = fromStrBase64(fields.at(3));
        return;
    }

    for (int i = 1; i <= layout.size() && i < parts; ++i)
        e.values[layout.at(i - 1).column] = decodeField(layout.at(i - 1), fields.at(i));

    // A custom label (or custom protocol) replaces the sub-type word (or protocol word).
    if (hasLabel(type) && parts > 2 && !fields.at(2).isEmpty())
        e.values[pim::ValueKey::SubType] = int(pim::SUBTYPE_OTHER);
    if (type == pim::ENTITY_IM && parts > 4 && !fields.at(4).isEmpty())
        e.values[pim::ImKey::Protocol] = 0;

    if (type == pim::ENTITY_NAME)
        e.values[pim::NameKey::FullName] = e.fullName();
    else if (type == pim::ENTITY_ADDR)
        e.values[pim::AddrKey::Formatted] = e.formattedAddr();
}

} // namespace SyncContactParser
