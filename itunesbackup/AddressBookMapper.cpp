#include "AddressBookMapper.h"

#include "Logging.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QDateTime>

#include <utility>

namespace {

// Seconds between 1970-01-01 and 2001-01-01, both UTC.
constexpr qint64 kReferenceMSecs = 978307200LL * 1000;

struct LabelCode
{
    const char *label;
    int code;
};

const LabelCode kPhoneLabels[] = {
    {"_$!<Mobile>!$_", pim::PHONE_MOBILE}, {"_$!<Main>!$_", pim::PHONE_MAIN},
    {"_$!<HomeFAX>!$_", pim::PHONE_HOME_FAX}, {"_$!<WorkFAX>!$_", pim::PHONE_WORK_FAX},
    {"_$!<Work>!$_", pim::PHONE_WORK}, {"_$!<Home>!$_", pim::PHONE_HOME},
    {"_$!<Pager>!$_", pim::PHONE_PAGER}, {"_$!<OtherFAX>!$_", pim::PHONE_OTHER_FAX},
    {"_$!<Other>!$_", pim::SUBTYPE_OTHER},
};
// E-mail, postal and messaging share the home/work codes.
const LabelCode kHomeWorkLabels[] = {
    {"_$!<Home>!$_", pim::EMAIL_HOME}, {"_$!<Work>!$_", pim::EMAIL_WORK}, {"_$!<Other>!$_", pim::SUBTYPE_OTHER},
};
const LabelCode kDateLabels[] = {
    {"_$!<Anniversary>!$_", pim::EVENT_ANNIVERSARY}, {"_$!<Other>!$_", pim::SUBTYPE_OTHER},
};
const LabelCode kUrlLabels[] = {
    {"_$!<Home>!$_", pim::URL_HOME}, {"_$!<HomePage>!$_", pim::URL_HOMEPAGE},
    {"_$!<Work>!$_", pim::URL_WORK}, {"_$!<Other>!$_", pim::SUBTYPE_OTHER},
};
const LabelCode kRelatedLabels[] = {
    {"_$!<Assistant>!$_", pim::REL_ASSISTANT}, {"_$!<Mother>!$_", pim::REL_MOTHER},
    {"_$!<Father>!$_", pim::REL_FATHER}, {"_$!<Friend>!$_", pim::REL_FRIEND},
    {"_$!<Parent>!$_", pim::REL_PARENT}, {"_$!<Partner>!$_", pim::REL_PARTNER},
    {"_$!<Child>!$_", pim::REL_CHILD}, {"_$!<Manager>!$_", pim::REL_MANAGER},
    {"_$!<Brother>!$_", pim::REL_BROTHER}, {"_$!<Sister>!$_", pim::REL_SISTER},
    {"_$!<Spouse>!$_", pim::REL_SPOUSE}, {"_$!<Other>!$_", pim::SUBTYPE_OTHER},
};

enum class ValueKind { Text, Date, None };
enum class Extra { None, Address, Messaging };

struct MultiValueKind
{
    int property;
    int entityType;
    ValueKind value;
    const LabelCode *labels;
    size_t labelCount;
    Extra extra;
};

template<size_t N> constexpr size_t countOf(const LabelCode (&)[N])
{
    return N;
}

const MultiValueKind kKinds[] = {
    {3, pim::ENTITY_PHONE, ValueKind::Text, kPhoneLabels, countOf(kPhoneLabels), Extra::None},
    {4, pim::ENTITY_EMAIL, ValueKind::Text, kHomeWorkLabels, countOf(kHomeWorkLabels), Extra::None},
    {5, pim::ENTITY_ADDR, ValueKind::None, kHomeWorkLabels, countOf(kHomeWorkLabels), Extra::Address},
    {12, pim::ENTITY_EVENT, ValueKind::Date, kDateLabels, countOf(kDateLabels), Extra::None},
    {13, pim::ENTITY_IM, ValueKind::None, kHomeWorkLabels, countOf(kHomeWorkLabels), Extra::Messaging},
    {22, pim::ENTITY_URL, ValueKind::Text, kUrlLabels, countOf(kUrlLabels), Extra::None},
    {23, pim::ENTITY_REL, ValueKind::Text, kRelatedLabels, countOf(kRelatedLabels), Extra::None},
};

const MultiValueKind *kindOf(int property)
{
    for (const MultiValueKind &k : kKinds)
        if (k.property == property)
            return &k;
    return nullptr;
}

const std::pair<const char *, const QString *> kAddressKeys[] = {
    {"Country", &pim::AddrKey::Country}, {"State", &pim::AddrKey::State}, {"City", &pim::AddrKey::City},
    {"Street", &pim::AddrKey::Street}, {"ZIP", &pim::AddrKey::Postcode},
};

const std::pair<const char *, int> kServices[] = {
    {"MSN", pim::IM_PROTOCOL_MSN},       {"Yahoo", pim::IM_PROTOCOL_YAHOO},
    {"Skype", pim::IM_PROTOCOL_SKYPE},   {"AIM", pim::IM_PROTOCOL_AIM},
    {"GaduGadu", pim::IM_PROTOCOL_GADU_GADU}, {"Facebook", pim::IM_PROTOCOL_FACEBOOK},
    {"Jabber", pim::IM_PROTOCOL_JABBER}, {"GoogleTalk", pim::IM_PROTOCOL_GOOGLE_TALK},
    {"ICQ", pim::IM_PROTOCOL_ICQ},       {"QQ", pim::IM_PROTOCOL_QQ},
};

Sqlite3Sql entriesOf(quint64 uid)
{
    Sqlite3Sql sql("select v.value,l.value as key from abmultivalueentry as v");
    sql.appendSql(QStringLiteral(" inner join abmultivalueentrykey as l on v.parent_id=? and v.key=l.rowid"));
    sql.addInt64Param(qint64(uid));
    return sql;
}

} // namespace

const char *const AddressBookMapper::personQuery =
    "select rowid, first,last,middle,prefix,suffix,organization,department,jobtitle,note,birthday,nickname "
    "from Abperson order by rowid asc";

AddressBookMapper::AddressBookMapper(Sqlite3DB &addressBook, Sqlite3DB &images)
    : m_addressBook(addressBook)
    , m_images(images)
{}

void AddressBookMapper::indexCopies()
{
    const auto tryIndex = [](Sqlite3DB &db, const char *sql) {
        if (!db.isOpen())
            return;
        try {
            db.executeThrow(Sqlite3Sql(sql));
        } catch (const std::exception &e) {
            qCDebug(lcITunesBackup) << "no index:" << e.what();
        }
    };
    // Throw-away copies: no journal file and no waiting for the disk while the indexes are written.
    for (Sqlite3DB *db : {&m_addressBook, &m_images}) {
        tryIndex(*db, "pragma journal_mode=memory");
        tryIndex(*db, "pragma synchronous=off");
    }
    tryIndex(m_addressBook, "create index if not exists tarnwick_multivalue_person on ABMultiValue(record_id)");
    tryIndex(m_addressBook,
             "create index if not exists tarnwick_multivalue_entry on ABMultiValueEntry(parent_id)");
    tryIndex(m_images, "create index if not exists tarnwick_image_person on ABFullSizeImage(record_id)");
}

QString AddressBookMapper::dateText(qint64 seconds)
{
    return QDateTime::fromMSecsSinceEpoch(kReferenceMSecs + seconds * 1000).toString(Qt::ISODate);
}

pim::_Contact AddressBookMapper::readPerson(const Sqlite3Cursor &person)
{
    pim::_Contact c;
    const qint64 rowid = person.getInt64("rowid");

    pim::Entity name;
    name.values[pim::NameKey::GivenName] = person.getText("first");
    name.values[pim::NameKey::FamilyName] = person.getText("last");
    name.values[pim::NameKey::MiddleName] = person.getText("middle");
    name.values[pim::NameKey::Prefix] = person.getText("prefix");
    name.values[pim::NameKey::Suffix] = person.getText("suffix");
    c.fullName = name.fullName();
    name.values[pim::NameKey::FullName] = c.fullName;
    c.entities[pim::ENTITY_NAME].append(name);

    if (m_images.isOpen()) {
        Sqlite3Sql sql("select data from ABFullSizeImage where record_id=? limit 1");
        sql.addInt64Param(rowid);
        Sqlite3Cursor photo = m_images.queryThrow(sql);
        if (photo.moveNext()) {
            const QByteArray bytes = photo.getBlob("data");
            if (!bytes.isEmpty()) {
                pim::Entity e;
                e.values[pim::PhotoKey::Image] = bytes;
                c.entities[pim::ENTITY_PHOTO].append(e);
            }
        }
    }

    const QString organization = person.getText("organization");
    const QString department = person.getText("department");
    const QString jobTitle = person.getText("jobtitle");
    if (!organization.isEmpty() || !department.isEmpty() || !jobTitle.isEmpty()) {
        pim::Entity e;
        e.values[pim::OrgKey::Company] = organization;
        e.values[pim::OrgKey::Department] = department;
        e.values[pim::OrgKey::JobTitle] = jobTitle;
        c.entities[pim::ENTITY_ORG].append(e);
    }

    const QString note = person.getText("note");
    if (!note.isEmpty()) {
        pim::Entity e;
        e.values[pim::NoteKey::Text] = note;
        c.entities[pim::ENTITY_NOTE].append(e);
    }

    const qint64 birthday = person.getInt64("birthday");
    if (birthday != 0) {
        pim::Entity e;
        e.values[pim::ValueKey::Value] = dateText(birthday);
        e.values[pim::ValueKey::SubType] = int(pim::EVENT_BIRTHDAY);
        c.entities[pim::ENTITY_EVENT].append(e);
    }

    const QString nickname = person.getText("nickname");
    if (!nickname.isEmpty()) {
        pim::Entity e;
        e.values[pim::ValueKey::Value] = nickname;
        c.entities[pim::ENTITY_NICKNAME].append(e);
    }

    Sqlite3Sql sql("select v.UID,v.property,v.value,l.value as subType");
    sql.appendSql(QStringLiteral(" from abmultivalue as v inner join abmultivaluelabel as l on v.record_id=? "
                                 "and v.label=l.rowid"));
    sql.addInt64Param(rowid);
    Sqlite3Cursor entries = m_addressBook.queryThrow(sql);
    while (entries.moveNext()) {
        const MultiValueKind *kind = kindOf(entries.getInt("property"));
        if (!kind)
            continue;
        pim::Entity e;
        if (kind->value == ValueKind::Text)
            e.values[pim::ValueKey::Value] = entries.getText("value");
        else if (kind->value == ValueKind::Date)
            e.values[pim::ValueKey::Value] = dateText(entries.getInt64("value"));

        const QString label = entries.getText("subType");
        const LabelCode *match = nullptr;
        for (size_t i = 0; i < kind->labelCount && !match; ++i)
            if (label == QLatin1String(kind->labels[i].label))
                match = &kind->labels[i];
        if (match) {
            e.values[pim::ValueKey::SubType] = match->code;
        } else {
            e.values[pim::ValueKey::SubType] = int(pim::SUBTYPE_OTHER);
            e.values[pim::ValueKey::Label] = label;
        }

        if (kind->extra == Extra::Address)
            readAddr(quint64(entries.getInt64("UID")), e);
        else if (kind->extra == Extra::Messaging)
            readIM(quint64(entries.getInt64("UID")), e);
        c.entities[kind->entityType].append(e);
    }
    return c;
}

void AddressBookMapper::readAddr(quint64 uid, pim::Entity &e)
{
    Sqlite3Cursor rows = m_addressBook.queryThrow(entriesOf(uid));
    while (rows.moveNext()) {
        const QString key = rows.getText("key");
        for (const auto &[name, column] : kAddressKeys) {
            if (key == QLatin1String(name)) {
                e.values[*column] = rows.getText("value");
                break;
            }
        }
        e.values[pim::AddrKey::Formatted] = e.formattedAddr();
    }
}

void AddressBookMapper::readIM(quint64 uid, pim::Entity &e)
{
    Sqlite3Cursor rows = m_addressBook.queryThrow(entriesOf(uid));
    while (rows.moveNext()) {
        const QString key = rows.getText("key");
        if (key == QLatin1String("service")) {
            const QString service = rows.getText("value");
            for (const auto &[name, code] : kServices) {
                if (service == QLatin1String(name)) {
                    e.values[pim::ImKey::Protocol] = code;
                    break;
                }
            }
        } else if (key == QLatin1String("username")) {
            e.values[pim::ImKey::Account] = rows.getText("value");
        }
    }
}
