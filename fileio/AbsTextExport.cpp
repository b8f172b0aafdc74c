#include "AbsTextExport.h"

#include "model/Contact.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include "csvhelper.h"

#include <QPair>
#include <QVarLengthArray>

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

// The columns whose names are fixed, numbered before any other in this order: their cells name
// them by number alone.
enum FixedColumn {
    ColFullName,
    ColPrefix,
    ColFirstName,
    ColMiddleName,
    ColLastName,
    ColSuffix,
    ColPhoneticFirstName,
    ColPhoneticLastName,
    ColCategory,
    ColNotes,
    ColCompany,
    ColDepartment,
    ColJobTitle,
    ColOrganizationType,
    kFixedColumns
};
const char *const kFixedColumnNames[kFixedColumns] = {"Full Name",
                                                      "Prefix",
                                                      "First Name",
                                                      "Middle Name",
                                                      "Last Name",
                                                      "Suffix",
                                                      "Phonetic First Name",
                                                      "Phonetic Last Name",
                                                      "Category",
                                                      "Notes",
                                                      "Company",
                                                      "Department",
                                                      "Job Title",
                                                      "Organization Type"};

// The cells an entry of the kind gives, for a row's room to be made once.
int cellsPerEntry(int type)
{
    switch (type) {
    case pim::ENTITY_NAME:
    case pim::ENTITY_ADDR:
        return 7;
    case pim::ENTITY_ORG:
        return 4;
    default:
        return 1;
    }
}

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

AbsTextExport::AbsTextExport()
{
    for (const char *name : kFixedColumnNames)
        columnId(QString::fromLatin1(name));
}

int AbsTextExport::columnId(const QString &name) const
{
    const auto it = columnIds.constFind(name);
    if (it != columnIds.constEnd())
        return it.value();
    columnNames.append(name);
    return columnIds.insert(name, int(columnNames.size() - 1)).value();
}

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

int AbsTextExport::typedColumn(int type, int part, const pim::Entity &e) const
{
    const QString &codeKey = type == pim::ENTITY_IM     ? pim::ImKey::Protocol
                             : type == pim::ENTITY_ADDR ? pim::AddrKey::SubType
                                                        : pim::ValueKey::SubType;
    const auto code = e.values.constFind(codeKey);
    const qint64 key = (qint64(type) << 40) | (qint64(part) << 32) |
                       quint32(code == e.values.constEnd() ? 0 : code->toInt());
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
    return typedColumns.insert(key, columnId(namer(e))).value();
}

void AbsTextExport::cellsOf(int type, const pim::Entity &e, EntryCells &out) const
{
    const auto v = [&e](const QString &key) {
        const auto it = e.values.constFind(key);
        return it == e.values.constEnd() ? QString() : it->toString();
    };
    const auto typed = [&](int part = 0) { return typedColumn(type, part, e); };
    const auto cell = [&out](int column, QString value, bool always) {
        out.append(Cell{column, std::move(value), always});
    };
    switch (type) {
    case pim::ENTITY_NAME:
        cell(ColPrefix, v(pim::NameKey::Prefix), false);
        cell(ColFirstName, v(pim::NameKey::GivenName), false);
        cell(ColMiddleName, v(pim::NameKey::MiddleName), false);
        cell(ColLastName, v(pim::NameKey::FamilyName), false);
        cell(ColSuffix, v(pim::NameKey::Suffix), false);
        cell(ColPhoneticFirstName, v(pim::NameKey::PhoneticGivenName), false);
        cell(ColPhoneticLastName, v(pim::NameKey::PhoneticFamilyName), false);
        break;
    case pim::ENTITY_PHONE:
    case pim::ENTITY_EMAIL:
    case pim::ENTITY_EVENT:
    case pim::ENTITY_REL:
    case pim::ENTITY_URL:
        cell(typed(), v(pim::ValueKey::Value), true);
        break;
    case pim::ENTITY_NICKNAME:
        cell(columnId(nicknameCol(e)), v(pim::ValueKey::Value), true);
        break;
    case pim::ENTITY_GROUP:
        cell(ColCategory, v(pim::GroupKey::GroupName), true);
        break;
    case pim::ENTITY_IM:
        // Named by more than one code: not one of the typed columns made once.
        cell(columnId(imCol(e)), v(pim::ImKey::Account), true);
        break;
    case pim::ENTITY_NOTE:
        cell(ColNotes, v(pim::NoteKey::Text), true);
        break;
    case pim::ENTITY_ORG: {
        const QString sub = v(pim::OrgKey::SubType);
        cell(ColCompany, v(pim::OrgKey::Company), false);
        cell(ColDepartment, v(pim::OrgKey::Department), false);
        cell(ColJobTitle, v(pim::OrgKey::JobTitle), false);
        cell(ColOrganizationType,
             sub.isEmpty() ? QString() : label(pim::orgTypeMap(), e, pim::OrgKey::SubType), false);
        break;
    }
    case pim::ENTITY_ADDR: {
        const qsizetype first = out.size();
        cell(typed(0), v(pim::AddrKey::Country), false);
        cell(typed(1), v(pim::AddrKey::State), false);
        cell(typed(2), v(pim::AddrKey::City), false);
        cell(typed(3), v(pim::AddrKey::Street), false);
        cell(typed(4), v(pim::AddrKey::Postcode), false);
        cell(typed(5), v(pim::AddrKey::CountryCode), false);
        // An address kept as one free text (as phones keep a typed one) has a column of its own.
        const bool noParts = std::all_of(out.cbegin() + first, out.cbegin() + first + 5,
                                         [](const Cell &c) { return c.value.trimmed().isEmpty(); });
        cell(typed(6), noParts && !e.shownAddr().isEmpty() ? v(pim::AddrKey::Formatted) : QString(), false);
        break;
    }
    default:
        break;
    }
}

void AbsTextExport::rowCellsOf(const pim::_Contact &c, RowCells &row) const
{
    // Cleared, not made anew: the room of the last contact's cells serves the next.
    row.cells.clear();
    row.contact = &c;
    row.fullName = fullNameNeedsItsColumn(c);
    qsizetype cellCount = 0;
    for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it)
        cellCount += it.value().size() * cellsPerEntry(it.key());
    row.cells.reserve(cellCount);
    EntryCells entryCells;
    for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it) {
        const Sharing sharing = sharingOf(it.key());
        // Entries of a positional kind seen so far, by their group of columns (its first column).
        QVarLengthArray<QPair<int, int>, 4> entriesSeen;
        for (const pim::Entity &e : it.value()) {
            entryCells.clear();
            cellsOf(it.key(), e, entryCells);
            int place = 0;
            if (sharing == Sharing::Positional && !entryCells.isEmpty()) {
                const int group = entryCells.first().column;
                auto seen = std::find_if(entriesSeen.begin(), entriesSeen.end(),
                                         [group](const QPair<int, int> &g) { return g.first == group; });
                if (seen == entriesSeen.end())
                    entriesSeen.append({group, 1});
                else
                    place = seen->second++;
            }
            for (Cell &cell : entryCells)
                row.cells.append({cell.column, std::move(cell.value), cell.always, int(sharing), place});
        }
    }
}

QByteArray AbsTextExport::initialize(const QList<pim::_Contact> &contacts)
{
    // Whether each column number has a cell that gives its column.
    QList<bool> used(columnNames.size(), false);
    const auto use = [&used](int column) {
        if (column >= used.size())
            used.resize(column + 1, false);
        used[column] = true;
    };
    // The cells are worked out again when the row is written: kept from here for every contact,
    // they would hold memory in proportion to the whole export, and fresh memory costs more than
    // working them out twice.
    for (const pim::_Contact &c : contacts) {
        rowCellsOf(c, rowCells);
        if (rowCells.fullName)
            use(ColFullName);
        for (const PlacedCell &cell : std::as_const(rowCells.cells)) {
            if (cell.always || !cell.value.isEmpty())
                use(cell.column);
        }
    }
    QStringList columns;
    for (qsizetype id = 0; id < used.size(); ++id) {
        if (used.at(id))
            columns.append(columnNames.at(id));
    }
    // Equal priorities keep a stable, readable order: by name.
    std::sort(columns.begin(), columns.end());
    std::stable_sort(columns.begin(), columns.end(), compareColNameLess);
    columnPlace.fill(-1, columnNames.size());
    for (int i = 0; i < columns.size(); ++i)
        columnPlace[columnIds.value(columns.at(i))] = i;
    columnCount = columns.size();
    return cols2Bytes(columns);
}

QByteArray AbsTextExport::ct2Bytes(const pim::_Contact &contact)
{
    rowCellsOf(contact, rowCells);
    return rowOf(rowCells);
}

QByteArray AbsTextExport::rowOf(const RowCells &cells)
{
    // The values each cell holds so far; of a positional kind, the places it covers.
    rowValues.fill(QString(), columnCount);
    rowCounts.fill(0, columnCount);
    const auto placeOf = [this](int column) {
        return column < columnPlace.size() ? columnPlace.at(column) : -1;
    };
    for (const PlacedCell &cell : cells.cells) {
        // An empty value adds nothing: not to a list, and an empty place of a positional cell is
        // written only when a later place is filled.
        if (cell.value.isEmpty())
            continue;
        const int pos = placeOf(cell.column);
        if (pos < 0)
            continue;
        QString &target = rowValues[pos];
        int &n = rowCounts[pos];
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
        const int pos = placeOf(ColFullName);
        if (pos >= 0)
            rowValues[pos] = cells.contact->fullName;
    }
    return rowData2Bytes(rowValues.data(), int(columnCount));
}

QByteArray AbsTextExport::uninitialize()
{
    return QByteArray();
}
