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
    fixed("Nickname", pim::ENTITY_NICKNAME, pim::NICKNAME_DEFAULT, none, pim::ValueKey::Value);
    composed("Date:", pim::eventTypeMap(), pim::ENTITY_EVENT, pim::ValueKey::SubType);
    fixed("Category", pim::ENTITY_GROUP, 0, none, pim::GroupKey::GroupName);
    composed("IM:", pim::imProtocolMap(), pim::ENTITY_IM, pim::ImKey::Protocol);
    fixed("Notes", pim::ENTITY_NOTE, 0, none, pim::NoteKey::Text);
    fixed("Company", pim::ENTITY_ORG, 0, pim::OrgKey::SubType, pim::OrgKey::Company);
    fixed("Department", pim::ENTITY_ORG, 0, pim::OrgKey::SubType, pim::OrgKey::Department);
    fixed("Job Title", pim::ENTITY_ORG, 0, pim::OrgKey::SubType, pim::OrgKey::JobTitle);
    composed("Rel:", pim::relTypeMap(), pim::ENTITY_REL, pim::ValueKey::SubType);
    const QMap<int, QString> addr = pim::addrTypeMap();
    for (auto it = addr.constBegin(); it != addr.constEnd(); ++it) {
        const QString base = QStringLiteral("Addr:") + it.value();
        const int sub = it.key();
        t.insert(base + QStringLiteral(":Country"),
                 ColInfo(pim::ENTITY_ADDR, sub, pim::AddrKey::SubType, pim::AddrKey::Country));
        t.insert(base + QStringLiteral(":State"),
                 ColInfo(pim::ENTITY_ADDR, sub, pim::AddrKey::SubType, pim::AddrKey::State));
        t.insert(base + QStringLiteral(":City"),
                 ColInfo(pim::ENTITY_ADDR, sub, pim::AddrKey::SubType, pim::AddrKey::City));
        t.insert(base + QStringLiteral(":Street"),
                 ColInfo(pim::ENTITY_ADDR, sub, pim::AddrKey::SubType, pim::AddrKey::Street));
        t.insert(base + QStringLiteral(":Postcode"),
                 ColInfo(pim::ENTITY_ADDR, sub, pim::AddrKey::SubType, pim::AddrKey::Postcode));
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
    fixed("Nickname", pim::ENTITY_NICKNAME, pim::NICKNAME_DEFAULT, none, pim::ValueKey::Value);
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
        return true;
    default:
        return false;
    }
}

// The separator of several values in one cell, as a widespread address book exports them.
const QString kMultiValueSeparator = QStringLiteral(" ::: ");

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
    return table.value(header);
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

    for (qsizetype i = 0; i < header.size(); ++i) {
        const QString cell = i < row.size() ? row.at(i) : QString();
        const ColInfo info = colInfo(header.at(i));
        if (cell.isEmpty() || info.entityType == 0)
            continue;
        Group &group = groups[QStringLiteral("%1-%2").arg(info.entityType).arg(info.subType)];
        group.type = info.entityType;
        auto newEntry = [&]() -> pim::Entity & {
            group.entries.append(pim::Entity());
            pim::Entity &e = group.entries.last();
            if (!info.typeKey.isEmpty() && info.subType != 0)
                e.values.insert(info.typeKey, info.subType);
            return e;
        };
        if (isListKind(info.entityType)) {
            for (const QString &value : cell.split(kMultiValueSeparator)) {
                if (value.isEmpty())
                    continue;
                pim::Entity *e = group.entries.isEmpty() ? nullptr : &group.entries.last();
                if (!e || e->values.contains(info.valueKey))
                    e = &newEntry();
                e->values.insert(info.valueKey, value);
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
                e.values.insert(pim::AddrKey::Formatted, e.formattedAddr());
                break;
            case pim::ENTITY_IM:
                e.values.insert(pim::ImKey::SubType, pim::IM_HOME);
                break;
            case pim::ENTITY_NAME: {
                // The parts make the name; a card without parts keeps the full name it was written with.
                const QString composed = e.fullName();
                contact.fullName =
                    composed.isEmpty() ? e.values.value(pim::NameKey::FullName).toString() : composed;
                e.values.insert(pim::NameKey::FullName, contact.fullName);
                break;
            }
            default:
                break;
            }
            contact.entities[type].append(e);
        }
    }
    return contact;
}

void CSVImport::uninitialize() {}
