#include "AbsTextExport.h"

#include "model/Contact.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include "csvhelper.h"

#include <QPair>
#include <QSet>
#include <QVarLengthArray>
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

// The name the contact is shown by, when its name parts do not make it (a company card, a card
// read with only its full name, a name written family name first): without its own column the
// table would give it back composed from the parts, or give none.
bool fullNameNeedsItsColumn(const pim::_Contact &c)
{
    if (c.fullName.isEmpty())
        return false;
    const QList<pim::Entity> names = c.entities.value(pim::ENTITY_NAME);
    return names.isEmpty() || names.first().fullName() != c.fullName;
}

// How several entries share a cell. Kinds whose entries fill one column each list their values;
// the parts of organisations and addresses stand in the same place of each of their columns'
// lists, so that the parts of one entry come back together; a name has one entry.
enum class Sharing { List, Positional, None };

Sharing sharingOf(int type)
{
    switch (type) {
    case pim::ENTITY_NAME:
        return Sharing::None;
    case pim::ENTITY_ORG:
    case pim::ENTITY_ADDR:
        return Sharing::Positional;
    default:
        return Sharing::List;
    }
}

QString nicknameCol(const pim::Entity &e)
{
    const int sub = e.values.value(pim::ValueKey::SubType).toInt();
    if (sub == pim::NICKNAME_DEFAULT || e.values.value(pim::ValueKey::SubType).toString().isEmpty())
        return QStringLiteral("Nickname");
    // Two kinds are labelled "Other"; the one without a label of the table is the user's own.
    if (sub == pim::SUBTYPE_OTHER)
        return QStringLiteral("Nickname:Custom");
    const QString label = pim::nicknameTypeMap().value(sub);
    return label.isEmpty() ? QStringLiteral("Nickname:Custom") : QStringLiteral("Nickname:") + label;
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
    // The protocol, the user's own by its name; then the type, unless the account is a home one.
    const QString custom = e.values.value(pim::ImKey::CustomProtocol).toString();
    QString name = QStringLiteral("IM:") +
                   (custom.isEmpty() ? label(pim::imProtocolMap(), e, pim::ImKey::Protocol) : custom);
    const QString sub = e.values.value(pim::ImKey::SubType).toString();
    if (sub.isEmpty() || sub.toInt() == pim::IM_HOME)
        return name;
    return name + QLatin1Char(':') + label(pim::imTypeMap(), e, pim::ImKey::SubType);
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

QString AbsTextExport::addrCountryCodeCol(const pim::Entity &e)
{
    return addrCol(e, ":Country Code");
}

QString AbsTextExport::addrTextCol(const pim::Entity &e)
{
    return addrCol(e, ":Text");
}

int AbsTextExport::colPriority(QString name)
{
    static const Rule fixed[] = {{"Full Name", 5},    {"Prefix", 10},    {"First Name", 20},
                                 {"Middle Name", 30}, {"Last Name", 40}, {"Suffix", 50},
                                 {"Nickname", 51},    {"Category", 60},  {"Company", 70},
                                 {"Department", 80},  {"Job Title", 90}};
    static const Rule leading[] = {{"Phonetic ", 52}, {"Nickname:", 51}, {"Organization Type", 91},
                                   {"Tel:", 100},     {"Email:", 200},   {"Date:", 300}};
    static const Rule addrParts[] = {{":Country Code", 406}, {":Country", 401}, {":State", 402},
                                     {":City", 403},         {":Street", 404},  {":Postcode", 405},
                                     {":Text", 407}};
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
    static const Namer addrParts[] = {addrCountryCol,  addrStateCol,       addrCityCol, addrStreetCol,
                                      addrPostcodeCol, addrCountryCodeCol, addrTextCol};
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
    const auto v = [&e](const QString &key) {
        const auto it = e.values.constFind(key);
        return it == e.values.constEnd() ? QString() : it->toString();
    };
    const auto typed = [&](int part = 0) { return typedColumn(type, part, e); };
    switch (type) {
    case pim::ENTITY_NAME:
        return {{QStringLiteral("Prefix"), v(pim::NameKey::Prefix), false},
                {QStringLiteral("First Name"), v(pim::NameKey::GivenName), false},
                {QStringLiteral("Middle Name"), v(pim::NameKey::MiddleName), false},
                {QStringLiteral("Last Name"), v(pim::NameKey::FamilyName), false},
                {QStringLiteral("Suffix"), v(pim::NameKey::Suffix), false},
                {QStringLiteral("Phonetic First Name"), v(pim::NameKey::PhoneticGivenName), false},
                {QStringLiteral("Phonetic Last Name"), v(pim::NameKey::PhoneticFamilyName), false}};
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        return {{typed(), v(pim::ValueKey::Value), true}};
    case pim::ENTITY_NICKNAME:
        return {{nicknameCol(e), v(pim::ValueKey::Value), true}};
    case pim::ENTITY_GROUP:
        return {{QStringLiteral("Category"), v(pim::GroupKey::GroupName), true}};
    case pim::ENTITY_IM:
        // Named by more than one code: not one of the typed columns made once.
        return {{imCol(e), v(pim::ImKey::Account), true}};
    case pim::ENTITY_NOTE:
        return {{QStringLiteral("Notes"), v(pim::NoteKey::Text), true}};
    case pim::ENTITY_ORG: {
        const QString sub = v(pim::OrgKey::SubType);
        return {{QStringLiteral("Company"), v(pim::OrgKey::Company), false},
                {QStringLiteral("Department"), v(pim::OrgKey::Department), false},
                {QStringLiteral("Job Title"), v(pim::OrgKey::JobTitle), false},
                {QStringLiteral("Organization Type"),
                 sub.isEmpty() ? QString() : label(pim::orgTypeMap(), e, pim::OrgKey::SubType), false}};
    }
    case pim::ENTITY_ADDR: {
        QList<Cell> cells{
            {typed(0), v(pim::AddrKey::Country), false},  {typed(1), v(pim::AddrKey::State), false},
            {typed(2), v(pim::AddrKey::City), false},     {typed(3), v(pim::AddrKey::Street), false},
            {typed(4), v(pim::AddrKey::Postcode), false}, {typed(5), v(pim::AddrKey::CountryCode), false}};
        // An address kept as one free text (as phones keep a typed one) has a column of its own.
        const bool noParts = std::all_of(cells.cbegin(), cells.cbegin() + 5,
                                         [](const Cell &c) { return c.value.trimmed().isEmpty(); });
        cells.append(
            {typed(6), noParts && !e.shownAddr().isEmpty() ? v(pim::AddrKey::Formatted) : QString(), false});
        return cells;
    }
    default:
        return {};
    }
}

AbsTextExport::RowCells AbsTextExport::rowCellsOf(const pim::_Contact &c) const
{
    RowCells row;
    row.contact = &c;
    row.fullName = fullNameNeedsItsColumn(c);
    for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it) {
        const Sharing sharing = sharingOf(it.key());
        // Entries of a positional kind seen so far, by their group of columns (its first column).
        QVarLengthArray<QPair<QString, int>, 4> entriesSeen;
        for (const pim::Entity &e : it.value()) {
            const QList<Cell> entryCells = cellsOf(it.key(), e);
            int place = 0;
            if (sharing == Sharing::Positional && !entryCells.isEmpty()) {
                const QString &group = entryCells.first().column;
                auto seen = std::find_if(entriesSeen.begin(), entriesSeen.end(),
                                         [&group](const QPair<QString, int> &g) { return g.first == group; });
                if (seen == entriesSeen.end())
                    entriesSeen.append({group, 1});
                else
                    place = seen->second++;
            }
            for (const Cell &cell : entryCells)
                row.cells.append({cell.column, cell.value, cell.always, int(sharing), place});
        }
    }
    return row;
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact> &contacts)
{
    QSet<QString> names;
    pendingRows.clear();
    pendingRows.reserve(contacts.size());
    nextRow = 0;
    for (const pim::_Contact &c : contacts) {
        pendingRows.append(rowCellsOf(c));
        const RowCells &row = pendingRows.last();
        if (row.fullName)
            names.insert(kFullNameColumn);
        for (const PlacedCell &cell : row.cells) {
            if (cell.always || !cell.value.isEmpty())
                names.insert(cell.column);
        }
    }
    QStringList columns(names.cbegin(), names.cend());
    // Equal priorities keep a stable, readable order: by name.
    std::sort(columns.begin(), columns.end());
    std::stable_sort(columns.begin(), columns.end(), compareColNameLess);
    for (int i = 0; i < columns.size(); ++i) {
        colIndex.insert(columns.at(i), i);
        columnAt.insert(columns.at(i), i);
    }
    return cols2Bytes(columns);
}

QByteArray AbsTextExport::ct2Bytes(const pim::_Contact &contact)
{
    // The row initialize() made for this very contact, else one made now.
    if (nextRow < pendingRows.size() && pendingRows.at(nextRow).contact == &contact) {
        const RowCells row = std::move(pendingRows[nextRow]);
        pendingRows[nextRow++] = RowCells();
        return rowOf(row);
    }
    return rowOf(rowCellsOf(contact));
}

QByteArray AbsTextExport::rowOf(const RowCells &cells)
{
    const qsizetype count = columnAt.size();
    QVector<QString> row(count);
    // The values each cell holds so far; of a positional kind, the places it covers.
    QVector<int> placed(count, 0);
    for (const PlacedCell &cell : cells.cells) {
        // An empty value adds nothing: not to a list, and an empty place of a positional cell is
        // written only when a later place is filled.
        if (cell.value.isEmpty())
            continue;
        const auto pos = columnAt.constFind(cell.column);
        if (pos == columnAt.constEnd())
            continue;
        QString &target = row[pos.value()];
        int &n = placed[pos.value()];
        switch (Sharing(cell.sharing)) {
        case Sharing::Positional:
            for (; n <= cell.place; ++n) {
                if (n > 0)
                    target += csvhelper::kValueSeparator;
            }
            csvhelper::appendValue(target, cell.value);
            break;
        case Sharing::List:
            if (n++ > 0)
                target += csvhelper::kValueSeparator;
            csvhelper::appendValue(target, cell.value);
            break;
        case Sharing::None:
            // A name has one entry; a later one's values take the cells they fill.
            target = cell.value;
            break;
        }
    }
    if (cells.fullName) {
        const auto pos = columnAt.constFind(kFullNameColumn);
        if (pos != columnAt.constEnd())
            row[pos.value()] = cells.contact->fullName;
    }
    return rowData2Bytes(row.data(), int(row.size()));
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
