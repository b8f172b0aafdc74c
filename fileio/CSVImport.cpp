#include "CSVImport.h"

#include "WholeFile.h"
#include "csvhelper.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QHash>
#include <QMap>
#include <QStringDecoder>

#include <algorithm>
#include <stdexcept>

namespace {

using ColInfo = CSVImport::_ColInfo;

QHash<QString, ColInfo> buildColumnTable()
{
    QHash<QString, ColInfo> t;
    const QString none;
    auto fixed = [&](const char *header, int type, int sub, const QString &typeKey, const QString &valueKey) {
        t.insert(QString::fromLatin1(header), ColInfo(type, sub, typeKey, valueKey));
    };
    auto composed = [&](const char *prefix, const QMap<int, QString> &labels, int type,
                        const QString &typeKey) {
        for (auto it = labels.constBegin(); it != labels.constEnd(); ++it)
            t.insert(QLatin1String(prefix) + it.value(),
                     ColInfo(type, it.key(), typeKey, pim::ValueKey::Value));
    };

    // The program's own table columns.
    fixed("Full Name", pim::ENTITY_NAME, 0, none, pim::NameKey::FullName);
    fixed("Prefix", pim::ENTITY_NAME, 0, none, pim::NameKey::Prefix);
    fixed("First Name", pim::ENTITY_NAME, 0, none, pim::NameKey::GivenName);
    fixed("Middle Name", pim::ENTITY_NAME, 0, none, pim::NameKey::MiddleName);
    fixed("Last Name", pim::ENTITY_NAME, 0, none, pim::NameKey::FamilyName);
    fixed("Suffix", pim::ENTITY_NAME, 0, none, pim::NameKey::Suffix);
    composed("Tel:", pim::phoneTypeMap(), pim::ENTITY_PHONE, pim::ValueKey::SubType);
    composed("Email:", pim::emailTypeMap(), pim::ENTITY_EMAIL, pim::ValueKey::SubType);
    fixed("Phonetic First Name", pim::ENTITY_NAME, 0, none, pim::NameKey::PhoneticGivenName);
    fixed("Phonetic Last Name", pim::ENTITY_NAME, 0, none, pim::NameKey::PhoneticFamilyName);
    fixed("Nickname", pim::ENTITY_NICKNAME, pim::NICKNAME_DEFAULT, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    fixed("Nickname:Custom", pim::ENTITY_NICKNAME, pim::SUBTYPE_OTHER, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    for (const int sub :
         {pim::NICKNAME_OTHER, pim::NICKNAME_MAIDEN, pim::NICKNAME_SHORT, pim::NICKNAME_INITIALS})
        t.insert(QStringLiteral("Nickname:") + pim::nicknameTypeMap().value(sub),
                 ColInfo(pim::ENTITY_NICKNAME, sub, pim::ValueKey::SubType, pim::ValueKey::Value));
    composed("Date:", pim::eventTypeMap(), pim::ENTITY_EVENT, pim::ValueKey::SubType);
    fixed("Category", pim::ENTITY_GROUP, 0, none, pim::GroupKey::GroupName);
    fixed("Notes", pim::ENTITY_NOTE, 0, none, pim::NoteKey::Text);
    const auto positional = [&](const QString &header, int type, int sub, const QString &typeKey,
                                const QString &valueKey) {
        ColInfo info(type, sub, typeKey, valueKey);
        info.positional = true;
        t.insert(header, info);
    };
    positional(QStringLiteral("Company"), pim::ENTITY_ORG, 0, none, pim::OrgKey::Company);
    positional(QStringLiteral("Department"), pim::ENTITY_ORG, 0, none, pim::OrgKey::Department);
    positional(QStringLiteral("Job Title"), pim::ENTITY_ORG, 0, none, pim::OrgKey::JobTitle);
    positional(QStringLiteral("Organization Type"), pim::ENTITY_ORG, 0, none, pim::OrgKey::SubType);
    composed("Rel:", pim::relTypeMap(), pim::ENTITY_REL, pim::ValueKey::SubType);
    const QMap<int, QString> addr = pim::addrTypeMap();
    for (auto it = addr.constBegin(); it != addr.constEnd(); ++it) {
        const QString base = QStringLiteral("Addr:") + it.value();
        const int sub = it.key();
        const auto part = [&](const char *name, const QString &key) {
            positional(base + QLatin1String(name), pim::ENTITY_ADDR, sub, pim::AddrKey::SubType, key);
        };
        part(":Country", pim::AddrKey::Country);
        part(":State", pim::AddrKey::State);
        part(":City", pim::AddrKey::City);
        part(":Street", pim::AddrKey::Street);
        part(":Postcode", pim::AddrKey::Postcode);
        part(":Country Code", pim::AddrKey::CountryCode);
        part(":Text", pim::AddrKey::Formatted);
    }
    composed("Url:", pim::urlTypeMap(), pim::ENTITY_URL, pim::ValueKey::SubType);

    // A widespread desktop mail program's export columns.
    fixed("Title", pim::ENTITY_NAME, 0, none, pim::NameKey::Prefix);
    fixed("Web Page", pim::ENTITY_URL, pim::URL_HOMEPAGE, pim::ValueKey::SubType, pim::ValueKey::Value);
    fixed("Birthday", pim::ENTITY_EVENT, pim::EVENT_BIRTHDAY, pim::ValueKey::SubType, pim::ValueKey::Value);
    fixed("Anniversary", pim::ENTITY_EVENT, pim::EVENT_ANNIVERSARY, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    fixed("E-mail Address", pim::ENTITY_EMAIL, pim::EMAIL_HOME, pim::ValueKey::SubType, pim::ValueKey::Value);
    fixed("E-mail 2 Address", pim::ENTITY_EMAIL, pim::EMAIL_WORK, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    fixed("E-mail 3 Address", pim::ENTITY_EMAIL, pim::SUBTYPE_OTHER, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    const struct
    {
        const char *header;
        int sub;
    } phones[] = {
        {"Primary Phone", pim::PHONE_MAIN},    {"Home Phone", pim::PHONE_HOME},
        {"Home Phone 2", pim::PHONE_HOME},     {"Mobile Phone", pim::PHONE_MOBILE},
        {"Pager", pim::PHONE_PAGER},           {"Company Main Phone", pim::PHONE_COMPANY_MAIN},
        {"Business Phone", pim::PHONE_WORK},   {"Business Phone 2", pim::PHONE_WORK_MOBILE},
        {"Business Fax", pim::PHONE_WORK_FAX}, {"Assistant's Phone", pim::PHONE_ASSISTANT},
        {"Other Phone", pim::SUBTYPE_OTHER},   {"Other Fax", pim::PHONE_OTHER_FAX},
        {"Home Fax", pim::PHONE_HOME_FAX},     {"Callback", pim::PHONE_CALLBACK},
        {"Car Phone", pim::PHONE_CAR},         {"ISDN", pim::PHONE_ISDN},
        {"Radio Phone", pim::PHONE_RADIO},     {"TTY/TDD Phone", pim::PHONE_TTY_TDD},
        {"Telex", pim::PHONE_TELEX},
    };
    for (const auto &p : phones)
        fixed(p.header, pim::ENTITY_PHONE, p.sub, pim::ValueKey::SubType, pim::ValueKey::Value);
    const struct
    {
        const char *place;
        int sub;
    } places[] = {{"Home", pim::ADDR_HOME}, {"Business", pim::ADDR_WORK}, {"Other", pim::SUBTYPE_OTHER}};
    const QString relKey = pim::ValueKey::SubType;
    for (const auto &pl : places) {
        const QString place = QString::fromLatin1(pl.place);
        for (const char *street : {" Street", " Street 2", " Street 3"})
            t.insert(place + QLatin1String(street),
                     ColInfo(pim::ENTITY_ADDR, pl.sub, pim::AddrKey::SubType, pim::AddrKey::Street));
        t.insert(place + QStringLiteral(" City"),
                 ColInfo(pim::ENTITY_ADDR, pl.sub, pim::AddrKey::SubType, pim::AddrKey::City));
        t.insert(place + QStringLiteral(" State"),
                 ColInfo(pim::ENTITY_ADDR, pl.sub, pim::AddrKey::SubType, pim::AddrKey::State));
        t.insert(place + QStringLiteral(" Postal Code"),
                 ColInfo(pim::ENTITY_ADDR, pl.sub, pim::AddrKey::SubType, pim::AddrKey::Postcode));
        t.insert(place + QStringLiteral(" Country"),
                 ColInfo(pim::ENTITY_ADDR, pl.sub, pim::AddrKey::SubType, pim::AddrKey::Country));
        if (pl.sub == pim::ADDR_HOME) {
            // The relations sit between the home and the business address columns.
            fixed("Spouse", pim::ENTITY_REL, pim::REL_SPOUSE, relKey, pim::ValueKey::Value);
            fixed("Children", pim::ENTITY_REL, pim::REL_CHILD, relKey, pim::ValueKey::Value);
            fixed("Manager's Name", pim::ENTITY_REL, pim::REL_MANAGER, relKey, pim::ValueKey::Value);
            fixed("Assistant's Name", pim::ENTITY_REL, pim::REL_ASSISTANT, relKey, pim::ValueKey::Value);
            fixed("Referred By", pim::ENTITY_REL, pim::REL_REFERRED_BY, relKey, pim::ValueKey::Value);
        }
    }
    fixed("Categories", pim::ENTITY_GROUP, 0, none, pim::GroupKey::GroupName);

    // A widespread web address book's export columns.
    fixed("Given Name", pim::ENTITY_NAME, 0, none, pim::NameKey::GivenName);
    fixed("Additional Name", pim::ENTITY_NAME, 0, none, pim::NameKey::MiddleName);
    fixed("Family Name", pim::ENTITY_NAME, 0, none, pim::NameKey::FamilyName);
    fixed("Name Prefix", pim::ENTITY_NAME, 0, none, pim::NameKey::Prefix);
    fixed("Name Suffix", pim::ENTITY_NAME, 0, none, pim::NameKey::Suffix);
    fixed("Nickname", pim::ENTITY_NICKNAME, pim::NICKNAME_DEFAULT, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    fixed("Birthday", pim::ENTITY_EVENT, pim::EVENT_BIRTHDAY, pim::ValueKey::SubType, pim::ValueKey::Value);
    fixed("E-mail 1 - Value", pim::ENTITY_EMAIL, pim::EMAIL_HOME, pim::ValueKey::SubType,
          pim::ValueKey::Value);
    return t;
}

// Kinds of which a contact commonly has several: each filled cell is an entry of its own.
bool isListKind(int type)
{
    switch (type) {
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_IM:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
    case pim::ENTITY_NICKNAME:
    case pim::ENTITY_GROUP:
    case pim::ENTITY_NOTE:
        return true;
    default:
        return false;
    }
}

// An account's column: "IM:" and its protocol, the program's own or the user's, then ":Work" or
// ":Other" for an account that is not a home one.
ColInfo imColumn(const QString &header)
{
    if (!header.startsWith(QLatin1String("IM:")) || header.size() <= 3)
        return ColInfo();
    QString protocol = header.mid(3);
    int type = pim::IM_HOME;
    const QMap<int, QString> types = pim::imTypeMap();
    for (auto it = types.constBegin(); it != types.constEnd(); ++it) {
        const QString suffix = QLatin1Char(':') + it.value();
        if (protocol.endsWith(suffix) && protocol.size() > suffix.size()) {
            type = it.key();
            protocol.chop(suffix.size());
            break;
        }
    }
    ColInfo info(pim::ENTITY_IM, 0, QString(), pim::ImKey::Account);
    info.fixedValues.insert(pim::ImKey::SubType, type);
    const QMap<int, QString> protocols = pim::imProtocolMap();
    const int code = protocols.key(protocol, -1);
    info.fixedValues.insert(pim::ImKey::Protocol, code < 0 ? int(pim::SUBTYPE_OTHER) : code);
    info.fixedValues.insert(pim::ImKey::CustomProtocol, code < 0 ? protocol : QString());
    return info;
}

// The separator the header line shows: tabs or semicolons when it holds them and no comma.
char separatorOf(const QByteArray &data)
{
    const qsizetype lf = data.indexOf('\n');
    const qsizetype cr = data.indexOf('\r');
    const qsizetype end = lf < 0 ? cr : cr < 0 ? lf : std::min(lf, cr);
    const QByteArray first = end < 0 ? data : data.left(end);
    if (first.contains(','))
        return ',';
    if (first.contains('\t'))
        return '\t';
    if (first.contains(';'))
        return ';';
    return ',';
}

// UTF-16 files (marked by their byte-order mark) as UTF-8; anything else unchanged.
QByteArray asUtf8(const QByteArray &data)
{
    QStringDecoder::Encoding encoding;
    if (data.startsWith("\xFF\xFE"))
        encoding = QStringDecoder::Utf16LE;
    else if (data.startsWith("\xFE\xFF"))
        encoding = QStringDecoder::Utf16BE;
    else
        return data;
    QStringDecoder decoder(encoding);
    return QString(decoder.decode(data)).toUtf8();
}

bool anyNonEmpty(const QStringList &cells)
{
    for (const QString &c : cells) {
        if (!c.isEmpty())
            return true;
    }
    return false;
}

} // namespace

CSVImport::_ColInfo::_ColInfo(int entityType, int subType, QString typeKey, QString valueKey)
    : entityType(entityType)
    , subType(subType)
    , typeKey(std::move(typeKey))
    , valueKey(std::move(valueKey))
{}

CSVImport::_ColInfo CSVImport::colInfo(const QString &header)
{
    // Built once and never changed: lookups insert nothing, so any thread may read it.
    static const QHash<QString, ColInfo> table = buildColumnTable();
    const auto it = table.constFind(header);
    return it != table.constEnd() ? it.value() : imColumn(header);
}

void CSVImport::initialize(QString path)
{
    load(readWholeFile(path));
}

void CSVImport::load(const QByteArray &bytes)
{
    QByteArray data = asUtf8(bytes);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    const char separator = separatorOf(data.startsWith("\xEF\xBB\xBF") ? data.mid(3) : data);

    QStringList headerCells;
    QList<QStringList> dataRows;
    if (csvhelper::utf8CSVRow(headerCells, &buffer, true, separator)) {
        QStringList row;
        for (;;) {
            const bool ended = csvhelper::utf8CSVRow(row, &buffer, false, separator);
            // A last line without its line feed still counts when it holds anything.
            if (ended || anyNonEmpty(row))
                dataRows << row;
            if (!ended)
                break;
            row.clear();
        }
    }

    if (!dataRows.isEmpty()) {
        bool known = false;
        for (const QString &h : std::as_const(headerCells))
            known = known || colInfo(h).entityType != 0;
        if (!known) {
            throw std::runtime_error(
                QCoreApplication::translate("CSVImport", "IDS_CSV_NO_KNOWN_COLUMN").toUtf8().toStdString());
        }
    }
    header = headerCells;
    rows = dataRows;
    cursor = 0;
}

int CSVImport::total()
{
    return int(rows.size());
}

bool CSVImport::hasNext()
{
    return cursor < rows.size();
}

pim::_Contact CSVImport::nextContact()
{
    pim::_Contact contact;
    if (cursor >= rows.size())
        return contact;
    const QStringList row = rows.at(cursor++);

    struct Group
    {
        int type = 0;
        QList<pim::Entity> entries;
    };
    // Keyed "<kind>-<sub-type>"; the key text orders the entries within the contact.
    QMap<QString, Group> groups;

    QString fullName;
    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString cell = i < row.size() ? row.at(i) : QString();
        const ColInfo info = colInfo(header.at(i));
        if (cell.isEmpty() || info.entityType == 0)
            continue;
        if (info.entityType == pim::ENTITY_NAME && info.valueKey == pim::NameKey::FullName) {
            fullName = cell;
            continue;
        }
        const bool list = isListKind(info.entityType);
        // Entries of a list kind come from their own column; the parts of one entry of the other
        // kinds are gathered from the columns of its kind and type.
        Group &group = groups[list ? QStringLiteral("%1-%2-%3").arg(info.entityType).arg(info.subType).arg(i)
                                   : QStringLiteral("%1-%2").arg(info.entityType).arg(info.subType)];
        group.type = info.entityType;
        auto newEntry = [&]() -> pim::Entity & {
            group.entries.append(pim::Entity());
            pim::Entity &e = group.entries.last();
            if (!info.typeKey.isEmpty())
                e.values.insert(info.typeKey, info.subType);
            for (auto it = info.fixedValues.constBegin(); it != info.fixedValues.constEnd(); ++it)
                e.values.insert(it.key(), it.value());
            return e;
        };
        if (list) {
            for (const QString &value : csvhelper::splitValues(cell)) {
                if (!value.isEmpty())
                    newEntry().values.insert(info.valueKey, value);
            }
            continue;
        }
        if (info.positional) {
            const QStringList values = csvhelper::splitValues(cell);
            for (qsizetype k = 0; k < values.size(); ++k) {
                while (group.entries.size() <= k)
                    newEntry();
                if (values.at(k).isEmpty())
                    continue;
                QVariant value = values.at(k);
                if (info.entityType == pim::ENTITY_ORG && info.valueKey == pim::OrgKey::SubType) {
                    const int code = pim::orgTypeMap().key(values.at(k), -1);
                    if (code < 0)
                        continue;
                    value = code;
                }
                group.entries[k].values.insert(info.valueKey, value);
            }
            continue;
        }
        pim::Entity &e = group.entries.isEmpty() ? newEntry() : group.entries.last();
        const QString have = e.values.value(info.valueKey).toString();
        e.values.insert(info.valueKey, have.isEmpty() ? cell : have + QLatin1Char(' ') + cell);
    }

    for (auto it = groups.begin(); it != groups.end(); ++it) {
        const int type = it.value().type;
        for (pim::Entity &e : it.value().entries) {
            switch (type) {
            case pim::ENTITY_ADDR:
                // A free text stands for the address only where its parts compose none.
                if (!e.formattedAddr().isEmpty() ||
                    e.values.value(pim::AddrKey::Formatted).toString().isEmpty())
                    e.values.insert(pim::AddrKey::Formatted, e.formattedAddr());
                break;
            case pim::ENTITY_NAME: {
                // The name the contact was shown by where the table gives it, else its parts make it.
                contact.fullName = fullName.isEmpty() ? e.fullName() : fullName;
                e.values.insert(pim::NameKey::FullName, contact.fullName);
                break;
            }
            default:
                break;
            }
            contact.entities[type].append(e);
        }
    }
    if (!contact.entities.contains(pim::ENTITY_NAME) && !fullName.isEmpty()) {
        pim::Entity name;
        name.values.insert(pim::NameKey::FullName, fullName);
        contact.fullName = fullName;
        contact.entities[pim::ENTITY_NAME].append(name);
    }
    return contact;
}

void CSVImport::uninitialize() {}
