#include "IOSContactRecord.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QHash>

#include <plist/plist.h>

const QString IOSContactRecord::KEY_RECORD_KIND = QStringLiteral("com.apple.syncservices.RecordEntityName");
const QString IOSContactRecord::KIND_CONTACT = QStringLiteral("com.apple.contacts.Contact");

namespace {

using WordTable = QHash<QString, int>;

const QHash<QString, int> &subRecordKinds()
{
    static const QHash<QString, int> kinds{
        {QStringLiteral("com.apple.contacts.Phone Number"), pim::ENTITY_PHONE},
        {QStringLiteral("com.apple.contacts.Email Address"), pim::ENTITY_EMAIL},
        {QStringLiteral("com.apple.contacts.Street Address"), pim::ENTITY_ADDR},
        {QStringLiteral("com.apple.contacts.URL"), pim::ENTITY_URL},
        {QStringLiteral("com.apple.contacts.IM"), pim::ENTITY_IM},
        {QStringLiteral("com.apple.contacts.Date"), pim::ENTITY_EVENT},
        {QStringLiteral("com.apple.contacts.Related Name"), pim::ENTITY_REL},
    };
    return kinds;
}

const WordTable &wordTable(int type)
{
    static const WordTable phone{{"other", 0},    {"home", 1},     {"mobile", 2}, {"work", 3},
                                 {"work fax", 4}, {"home fax", 5}, {"pager", 6},  {"main", 12}};
    static const WordTable homeWork{{"other", 0}, {"home", 1}, {"work", 2}};
    static const WordTable url{{"other", 0}, {"home page", 1}, {"home", 4}, {"work", 5}};
    static const WordTable date{{"other", 0}, {"anniversary", 1}};
    static const WordTable relation{{"other", 0},  {"assistant", 1}, {"brother", 2}, {"child", 3},
                                    {"father", 5}, {"friend", 6},    {"manager", 7}, {"mother", 8},
                                    {"parent", 9}, {"partner", 10},  {"sister", 13}, {"spouse", 14}};
    static const WordTable none;
    switch (type) {
    case pim::ENTITY_PHONE:
        return phone;
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_ADDR:
    case pim::ENTITY_IM:
        return homeWork;
    case pim::ENTITY_URL:
        return url;
    case pim::ENTITY_EVENT:
        return date;
    case pim::ENTITY_REL:
        return relation;
    default:
        return none;
    }
}

// A record holds a dozen keys at most and is read key by key for every record of a load: look the
// keys up by their Latin-1 bytes, with no handle made per lookup.
plist_t item(const PlistCFType &record, const char *key)
{
    return record.isCFDictionary() ? plist_dict_get_item(static_cast<plist_t>(record.ref()), key) : nullptr;
}

QString text(const PlistCFType &record, const char *key)
{
    const plist_t node = item(record, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return QString();
    uint64_t length = 0;
    const char *utf8 = plist_get_string_ptr(node, &length);
    return utf8 ? QString::fromUtf8(utf8, static_cast<qsizetype>(length)) : QString();
}

bool has(const PlistCFType &record, const char *key)
{
    return item(record, key) != nullptr;
}

// Sets a code column only for a word of the table; any other word or no word leaves it unset.
void setCode(pim::Entity &e, const QString &column, int code)
{
    if (code >= 0)
        e.values.insert(column, code);
}

} // namespace

QString IOSContactRecord::recordKind(const PlistCFType &record)
{
    return text(record, "com.apple.syncservices.RecordEntityName");
}

int IOSContactRecord::subRecordType(const QString &kind)
{
    return subRecordKinds().value(kind, 0);
}

int IOSContactRecord::typeCode(int type, const QString &word)
{
    return wordTable(type).value(word, -1);
}

int IOSContactRecord::protocolCode(const QString &word)
{
    return protocolTable().value(word, -1);
}

QString IOSContactRecord::typeWord(int type, int code)
{
    const QString word = wordTable(type).key(code);
    return word.isEmpty() ? QStringLiteral("other") : word;
}

QString IOSContactRecord::protocolWord(int code)
{
    return protocolTable().key(code);
}

QString IOSContactRecord::subRecordKind(int type)
{
    return subRecordKinds().key(type);
}

const QHash<QString, int> &IOSContactRecord::protocolTable()
{
    static const WordTable protocols{{"aim", 1},       {"msn", 2},        {"yahoo", 3}, {"skype", 4},
                                     {"qq", 5},        {"googletalk", 6}, {"icq", 7},   {"jabber", 8},
                                     {"gadugadu", 10}, {"facebook", 11}};
    return protocols;
}

QString IOSContactRecord::dateText(const PlistCFType &value)
{
    const QDateTime when = value.CFDateToDateTime(0);
    if (!when.isValid())
        return QString();
    // The wall clock in ISO form without a zone suffix, as every date column holds it.
    return when.date().toString(Qt::ISODate) + QLatin1Char('T') +
           when.time().toString(QStringLiteral("HH:mm:ss"));
}

QList<IOSContactRecord::_TypedEntity>
IOSContactRecord::contactEntries(const QString &rid, const PlistCFType &record, pim::_Contact &contact)
{
    QList<_TypedEntity> entries;

    pim::Entity name(0, rid);
    name.values.insert(pim::NameKey::GivenName, text(record, "first name"));
    name.values.insert(pim::NameKey::PhoneticGivenName, text(record, "first name yomi"));
    name.values.insert(pim::NameKey::MiddleName, text(record, "middle name"));
    name.values.insert(pim::NameKey::FamilyName, text(record, "last name"));
    name.values.insert(pim::NameKey::PhoneticFamilyName, text(record, "last name yomi"));
    name.values.insert(pim::NameKey::Prefix, text(record, "title"));
    name.values.insert(pim::NameKey::Suffix, text(record, "suffix"));
    const QString fullName = name.fullName();
    name.values.insert(pim::NameKey::FullName, fullName);
    contact = pim::_Contact(0, rid, fullName);
    entries.append({pim::ENTITY_NAME, name});

    if (has(record, "nickname")) {
        pim::Entity e(0, rid);
        // Sub-type 1 ("Default") and no custom label, as every other source stores a nickname: a
        // label column holding "1" would be shown, and sent on, as the nickname's label.
        e.values.insert(pim::ValueKey::SubType, pim::NICKNAME_DEFAULT);
        e.values.insert(pim::ValueKey::Value, text(record, "nickname"));
        entries.append({pim::ENTITY_NICKNAME, e});
    }
    if (has(record, "company name") || has(record, "department") || has(record, "job title")) {
        pim::Entity e(0, rid);
        e.values.insert(pim::OrgKey::SubType, pim::ORG_WORK);
        e.values.insert(pim::OrgKey::Company, text(record, "company name"));
        e.values.insert(pim::OrgKey::Department, text(record, "department"));
        e.values.insert(pim::OrgKey::JobTitle, text(record, "job title"));
        entries.append({pim::ENTITY_ORG, e});
    }
    if (has(record, "birthday")) {
        pim::Entity e(0, rid);
        e.values.insert(pim::ValueKey::SubType, pim::EVENT_BIRTHDAY);
        e.values.insert(pim::ValueKey::Value, dateText(record.get(QStringLiteral("birthday"))));
        entries.append({pim::ENTITY_EVENT, e});
    }
    if (has(record, "image")) {
        pim::Entity e(0, rid);
        e.values.insert(pim::PhotoKey::Image, record.get(QStringLiteral("image")).CFDataBytes());
        entries.append({pim::ENTITY_PHOTO, e});
    }
    if (has(record, "notes")) {
        pim::Entity e(0, rid);
        e.values.insert(pim::NoteKey::Text, text(record, "notes"));
        entries.append({pim::ENTITY_NOTE, e});
    }

    for (const _TypedEntity &entry : entries)
        contact.entities[entry.type].append(entry.entity);
    return entries;
}

pim::Entity IOSContactRecord::subRecordEntry(int type, const QString &sid, const PlistCFType &record)
{
    pim::Entity e(0, sid);
    auto set = [&](const QString &column, const QString &value) { e.values.insert(column, value); };
    const int code = typeCode(type, text(record, "type"));

    switch (type) {
    case pim::ENTITY_ADDR:
        set(pim::AddrKey::Postcode, text(record, "postal code"));
        set(pim::AddrKey::City, text(record, "city"));
        set(pim::AddrKey::State, text(record, "state"));
        set(pim::AddrKey::Country, text(record, "country"));
        set(pim::AddrKey::CountryCode, text(record, "country code"));
        set(pim::AddrKey::Street, text(record, "street"));
        set(pim::AddrKey::Label, text(record, "label"));
        set(pim::AddrKey::Formatted, e.formattedAddr());
        setCode(e, pim::AddrKey::SubType, code);
        break;
    case pim::ENTITY_IM:
        set(pim::ImKey::Account, text(record, "user"));
        set(pim::ImKey::Label, text(record, "label"));
        setCode(e, pim::ImKey::SubType, code);
        setCode(e, pim::ImKey::Protocol, protocolCode(text(record, "service")));
        break;
    case pim::ENTITY_EVENT:
        set(pim::ValueKey::Value, dateText(record.get(QStringLiteral("value"))));
        set(pim::ValueKey::Label, text(record, "label"));
        setCode(e, pim::ValueKey::SubType, code);
        break;
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_URL:
    case pim::ENTITY_REL:
        set(pim::ValueKey::Value, text(record, "value"));
        set(pim::ValueKey::Label, text(record, "label"));
        setCode(e, pim::ValueKey::SubType, code);
        break;
    default:
        break;
    }
    return e;
}

QStringList IOSContactRecord::parentIds(const PlistCFType &record)
{
    QStringList ids;
    const PlistCFType contacts = record.get(QStringLiteral("contact"));
    const int n = contacts.array_size();
    for (int i = 0; i < n; ++i)
        ids.append(contacts.at(i).CFStringQString());
    return ids;
}
