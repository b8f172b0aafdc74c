#include "AbsTextExport.h"

#include "model/Contact.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include <QSet>
#include <QVector>

#include <algorithm>

namespace {

QString label(const QMap<int, QString> &labels, const pim::Entity &e, const QString &codeKey)
{
    // A code outside the table would name a column such as "Tel:" that no reader knows, and its
    // values would be lost on the way back: such an entry is filed under "Other".
    const QString text = labels.value(e.values.value(codeKey).toInt());
    return text.isEmpty() ? labels.value(pim::SUBTYPE_OTHER) : text;
}

QString addrCol(const pim::Entity &e, const char *part)
{
    return QStringLiteral("Addr:") + label(pim::addrTypeMap(), e, pim::AddrKey::SubType) +
           QLatin1String(part);
}

const QString kFullNameColumn = QStringLiteral("Full Name");

// The separator of several values in one cell; the CSV reader splits on it.
const QString kMultiValueSeparator = QStringLiteral(" ::: ");

// A contact whose name entries hold no part (a company card, a card read with only its full name)
// would otherwise come back from the table without any name, and be skipped on import.
bool fullNameNeedsItsColumn(const pim::_Contact &c)
{
    if (c.fullName.isEmpty())
        return false;
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_NAME)) {
        for (const QString *key : {&pim::NameKey::Prefix, &pim::NameKey::GivenName, &pim::NameKey::MiddleName,
                                   &pim::NameKey::FamilyName, &pim::NameKey::Suffix}) {
            if (!e.values.value(*key).toString().isEmpty())
                return false;
        }
    }
    return true;
}

// Kinds whose entries fill one column each: several values of such a column share its cell. The
// parts of a name, an organisation or an address stay one value per cell, since the reader could
// not tell which parts belong together.
bool sharesCells(int type)
{
    switch (type) {
    case pim::ENTITY_NAME:
    case pim::ENTITY_ORG:
    case pim::ENTITY_ADDR:
        return false;
    default:
        return true;
    }
}

struct Rule
{
    const char *text;
    int priority;
};

} // namespace

QString AbsTextExport::telCol(const pim::Entity &e)
{
    return QStringLiteral("Tel:") + label(pim::phoneTypeMap(), e, pim::ValueKey::SubType);
}

QString AbsTextExport::emailCol(const pim::Entity &e)
{
    return QStringLiteral("Email:") + label(pim::emailTypeMap(), e, pim::ValueKey::SubType);
}

QString AbsTextExport::eventCol(const pim::Entity &e)
{
    return QStringLiteral("Date:") + label(pim::eventTypeMap(), e, pim::ValueKey::SubType);
}

QString AbsTextExport::imCol(const pim::Entity &e)
{
    return QStringLiteral("IM:") + label(pim::imProtocolMap(), e, pim::ImKey::Protocol);
}

QString AbsTextExport::relCol(const pim::Entity &e)
{
    return QStringLiteral("Rel:") + label(pim::relTypeMap(), e, pim::ValueKey::SubType);
}

QString AbsTextExport::urlCol(const pim::Entity &e)
{
    return QStringLiteral("Url:") + label(pim::urlTypeMap(), e, pim::ValueKey::SubType);
}

QString AbsTextExport::addrCountryCol(const pim::Entity &e)
{
    return addrCol(e, ":Country");
}

QString AbsTextExport::addrStateCol(const pim::Entity &e)
{
    return addrCol(e, ":State");
}

QString AbsTextExport::addrCityCol(const pim::Entity &e)
{
    return addrCol(e, ":City");
}

QString AbsTextExport::addrStreetCol(const pim::Entity &e)
{
    return addrCol(e, ":Street");
}

QString AbsTextExport::addrPostcodeCol(const pim::Entity &e)
{
    return addrCol(e, ":Postcode");
}

int AbsTextExport::colPriority(QString name)
{
    static const Rule fixed[] = {{"Full Name", 5},    {"Prefix", 10},    {"First Name", 20},
                                 {"Middle Name", 30}, {"Last Name", 40}, {"Suffix", 50},
                                 {"Nickname", 51},    {"Category", 60},  {"Company", 70},
                                 {"Department", 80},  {"Job Title", 90}};
    static const Rule leading[] = {{"Tel:", 100}, {"Email:", 200}, {"Date:", 300}};
    static const Rule addrParts[] = {
        {":Country", 401}, {":State", 402}, {":City", 403}, {":Street", 404}, {":Postcode", 405}};
    static const Rule trailing[] = {{"IM:", 500}, {"Rel:", 600}, {"Url:", 700}};

    for (const Rule &r : fixed) {
        if (name == QLatin1String(r.text))
            return r.priority;
    }
    for (const Rule &r : leading) {
        if (name.startsWith(QLatin1String(r.text)))
            return r.priority;
    }
    if (name.startsWith(QLatin1String("Addr:"))) {
        for (const Rule &r : addrParts) {
            if (name.endsWith(QLatin1String(r.text)))
                return r.priority;
        }
        return 1000;
    }
    for (const Rule &r : trailing) {
        if (name.startsWith(QLatin1String(r.text)))
            return r.priority;
    }
    if (name == QLatin1String("Notes"))
        return 800;
    return 1000;
}

bool AbsTextExport::compareColNameLess(QString a, QString b)
{
    return colPriority(a) < colPriority(b);
}

const QString &AbsTextExport::typedColumn(int type, int part, const pim::Entity &e) const
{
    const QString &codeKey = type == pim::ENTITY_IM     ? pim::ImKey::Protocol
                             : type == pim::ENTITY_ADDR ? pim::AddrKey::SubType
                                                        : pim::ValueKey::SubType;
    const qint64 key = (qint64(type) << 40) | (qint64(part) << 32) | quint32(e.values.value(codeKey).toInt());
    auto it = typedColumns.constFind(key);
    if (it != typedColumns.constEnd())
        return it.value();
    using Namer = QString (*)(const pim::Entity &);
    static const Namer addrParts[] = {addrCountryCol, addrStateCol, addrCityCol, addrStreetCol,
                                      addrPostcodeCol};
    Namer namer = nullptr;
    switch (type) {
    case pim::ENTITY_PHONE:
        namer = telCol;
        break;
    case pim::ENTITY_EMAIL:
        namer = emailCol;
        break;
    case pim::ENTITY_EVENT:
        namer = eventCol;
        break;
    case pim::ENTITY_IM:
        namer = imCol;
        break;
    case pim::ENTITY_REL:
        namer = relCol;
        break;
    case pim::ENTITY_URL:
        namer = urlCol;
        break;
    case pim::ENTITY_ADDR:
        namer = addrParts[part];
        break;
    default:
        Q_UNREACHABLE();
    }
    return typedColumns.insert(key, namer(e)).value();
}

QList<AbsTextExport::Cell> AbsTextExport::cellsOf(int type, const pim::Entity &e) const
{
    const auto v = [&e](const QString &key) { return e.values.value(key).toString(); };
    const auto typed = [&](int part = 0) { return typedColumn(type, part, e); };
    switch (type) {
    case pim::ENTITY_NAME:
        return {{QStringLiteral("Prefix"), v(pim::NameKey::Prefix), false},
                {QStringLiteral("First Name"), v(pim::NameKey::GivenName), false},
                {QStringLiteral("Middle Name"), v(pim::NameKey::MiddleName), false},
                {QStringLiteral("Last Name"), v(pim::NameKey::FamilyName), false},
                {QStringLiteral("Suffix"), v(pim::NameKey::Suffix), false}};
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        return {{typed(), v(pim::ValueKey::Value), true}};
    case pim::ENTITY_NICKNAME:
        return {{QStringLiteral("Nickname"), v(pim::ValueKey::Value), true}};
    case pim::ENTITY_GROUP:
        return {{QStringLiteral("Category"), v(pim::GroupKey::GroupName), true}};
    case pim::ENTITY_IM:
        return {{typed(), v(pim::ImKey::Account), true}};
    case pim::ENTITY_NOTE:
        return {{QStringLiteral("Notes"), v(pim::NoteKey::Text), true}};
    case pim::ENTITY_ORG:
        return {{QStringLiteral("Company"), v(pim::OrgKey::Company), false},
                {QStringLiteral("Department"), v(pim::OrgKey::Department), false},
                {QStringLiteral("Job Title"), v(pim::OrgKey::JobTitle), false}};
    case pim::ENTITY_ADDR:
        return {{typed(0), v(pim::AddrKey::Country), false},
                {typed(1), v(pim::AddrKey::State), false},
                {typed(2), v(pim::AddrKey::City), false},
                {typed(3), v(pim::AddrKey::Street), false},
                {typed(4), v(pim::AddrKey::Postcode), false}};
    default:
        return {};
    }
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact> &contacts)
{
    QSet<QString> names;
    for (const pim::_Contact &c : contacts) {
        if (fullNameNeedsItsColumn(c))
            names.insert(kFullNameColumn);
        for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it) {
            for (const pim::Entity &e : it.value()) {
                for (const Cell &cell : cellsOf(it.key(), e)) {
                    if (cell.always || !cell.value.isEmpty())
                        names.insert(cell.column);
                }
            }
        }
    }
    QStringList columns(names.cbegin(), names.cend());
    // Equal priorities keep a stable, readable order: by name.
    std::sort(columns.begin(), columns.end());
    std::stable_sort(columns.begin(), columns.end(), compareColNameLess);
    for (int i = 0; i < columns.size(); ++i)
        colIndex.insert(columns.at(i), i);
    return cols2Bytes(columns);
}

QByteArray AbsTextExport::ct2Bytes(const pim::_Contact &contact)
{
    QVector<QString> cells(colIndex.size());
    if (fullNameNeedsItsColumn(contact)) {
        const auto pos = colIndex.constFind(kFullNameColumn);
        if (pos != colIndex.constEnd())
            cells[pos.value()] = contact.fullName;
    }
    for (auto it = contact.entities.constBegin(); it != contact.entities.constEnd(); ++it) {
        const bool shared = sharesCells(it.key());
        for (const pim::Entity &e : it.value()) {
            for (const Cell &cell : cellsOf(it.key(), e)) {
                // An empty value never blanks what an earlier entry of the same column wrote.
                if (cell.value.isEmpty())
                    continue;
                const auto pos = colIndex.constFind(cell.column);
                if (pos == colIndex.constEnd())
                    continue;
                QString &target = cells[pos.value()];
                target =
                    shared && !target.isEmpty() ? target + kMultiValueSeparator + cell.value : cell.value;
            }
        }
    }
    return rowData2Bytes(cells.data(), int(cells.size()));
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
