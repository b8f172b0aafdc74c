#include "VCardImport.h"

#include "WholeFile.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <initializer_list>
#include <stdexcept>

namespace {

using Property = QVCardParser::_Property;

// A label as one lower-case word: "Home page" and "HomePage" alike.
QString labelKey(const QString &label)
{
    QString key = label.toLower();
    key.remove(QLatin1Char(' '));
    return key;
}

// Turns the TYPE words and the group label of a property into the sub-type code of one entry
// kind. A set of words names a code when it equals the words of one of the kind's labels
// ("work fax"); failing that, the label with most words all present wins.
class SubTypeWords
{
public:
    SubTypeWords(const QMap<int, QString> &labels, std::initializer_list<std::pair<const char *, int>> extra,
                 int fallback)
        : m_labels(labels)
        , m_fallback(fallback)
    {
        for (auto it = labels.constBegin(); it != labels.constEnd(); ++it) {
            const QStringList words = it.value().toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            add(QSet<QString>(words.begin(), words.end()), it.key());
            if (words.size() > 1)
                add({labelKey(it.value())}, it.key());
        }
        for (const auto &e : extra) {
            const QStringList words = QString::fromLatin1(e.first).split(QLatin1Char(','));
            add(QSet<QString>(words.begin(), words.end()), e.second);
        }
    }

    int code(const QStringList &typeWords) const
    {
        QSet<QString> words;
        for (const QString &w : typeWords) {
            if (w == QLatin1String("voice") || w == QLatin1String("pref") || w == QLatin1String("internet"))
                continue;
            words.insert(w == QLatin1String("cell") ? QStringLiteral("mobile") : w);
        }
        if (words.isEmpty())
            return m_fallback;
        const Rule *best = nullptr;
        for (const Rule &r : m_rules) {
            if (r.words == words)
                return r.code;
            if (!r.words.isEmpty() && words.contains(r.words) &&
                (!best || r.words.size() > best->words.size()))
                best = &r;
        }
        return best ? best->code : m_fallback;
    }

    // The code whose label is `label` (regardless of case and blanks), or -1.
    int labelCode(const QString &label) const
    {
        const QString key = labelKey(label);
        for (auto it = m_labels.constBegin(); it != m_labels.constEnd(); ++it) {
            if (labelKey(it.value()) == key)
                return it.key();
        }
        return -1;
    }

private:
    struct Rule
    {
        QSet<QString> words;
        int code;
    };

    void add(QSet<QString> words, int code) { m_rules.append(Rule{std::move(words), code}); }

    QMap<int, QString> m_labels;
    QList<Rule> m_rules;
    int m_fallback;
};

// The tables are built once and only read afterwards.
const SubTypeWords &phoneWords()
{
    static const SubTypeWords t(
        pim::phoneTypeMap(),
        {{"fax", pim::PHONE_OTHER_FAX}, {"home,voice", pim::PHONE_HOME}, {"work,voice", pim::PHONE_WORK}},
        pim::PHONE_MOBILE);
    return t;
}
const SubTypeWords &emailWords()
{
    static const SubTypeWords t(pim::emailTypeMap(), {}, pim::EMAIL_HOME);
    return t;
}
const SubTypeWords &eventWords()
{
    static const SubTypeWords t(pim::eventTypeMap(), {}, pim::SUBTYPE_OTHER);
    return t;
}
const SubTypeWords &imWords()
{
    static const SubTypeWords t(pim::imProtocolMap(), {{"netmetting", pim::IM_PROTOCOL_NETMEETING}}, -1);
    return t;
}
// Nicknames have two labels "Other": the TYPE words tell them apart.
const SubTypeWords &nicknameWords()
{
    static const SubTypeWords t({{pim::SUBTYPE_OTHER, QStringLiteral("Custom")},
                                 {pim::NICKNAME_DEFAULT, QStringLiteral("Default")},
                                 {pim::NICKNAME_OTHER, QStringLiteral("Other")},
                                 {pim::NICKNAME_MAIDEN, QStringLiteral("Maiden")},
                                 {pim::NICKNAME_SHORT, QStringLiteral("Short")},
                                 {pim::NICKNAME_INITIALS, QStringLiteral("Initials")}},
                                {}, -1);
    return t;
}
const SubTypeWords &imTypeWords()
{
    static const SubTypeWords t(pim::imTypeMap(), {}, pim::IM_HOME);
    return t;
}
const SubTypeWords &orgWords()
{
    static const SubTypeWords t(pim::orgTypeMap(), {}, -1);
    return t;
}
const SubTypeWords &relWords()
{
    static const SubTypeWords t(pim::relTypeMap(),
                                {{"dompartner", pim::REL_DOMESTIC_PARTNER}, {"ref", pim::REL_REFERRED_BY}},
                                pim::SUBTYPE_OTHER);
    return t;
}
const SubTypeWords &addrWords()
{
    static const SubTypeWords t(pim::addrTypeMap(), {}, pim::SUBTYPE_OTHER);
    return t;
}
const SubTypeWords &urlWords()
{
    static const SubTypeWords t(pim::urlTypeMap(), {}, pim::SUBTYPE_OTHER);
    return t;
}

// "_$!<HomePage>!$_" as "HomePage"; any other label as written.
QString plainLabel(QString label)
{
    label = label.trimmed();
    if (label.startsWith(QLatin1String("_$!<")) && label.endsWith(QLatin1String(">!$_")))
        label = label.mid(4, label.size() - 8);
    return label;
}

// An event date: ISO 8601 in its extended or basic form as a date-time; anything else kept as
// the text it is, so that nothing the file said is lost.
QVariant eventDate(const QString &text)
{
    const QString t = text.trimmed();
    QDateTime dt = QDateTime::fromString(t, Qt::ISODate);
    if (dt.isValid())
        return dt;
    static const QRegularExpression basic(
        QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})(?:T(\\d{2})(\\d{2})(\\d{2})?(Z)?)?$"));
    const QRegularExpressionMatch m = basic.match(t);
    if (m.hasMatch()) {
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (date.isValid() && time.isValid()) {
            dt = m.captured(7).isEmpty() ? QDateTime(date, time) : QDateTime(date, time, Qt::UTC);
            return dt;
        }
    }
    return t;
}

// The image bytes of a PHOTO, or nothing for a link to an image elsewhere.
QByteArray photoBytes(const Property &p)
{
    if (p.isBase64())
        return p.value;
    const QByteArray v = p.value.trimmed();
    if (v.left(5).compare("data:", Qt::CaseInsensitive) == 0) {
        const qsizetype comma = v.indexOf(',');
        if (comma < 0)
            return QByteArray();
        const QByteArray meta = v.mid(5, comma - 5).toLower();
        const QByteArray payload = v.mid(comma + 1);
        return meta.endsWith(";base64") ? QByteArray::fromBase64(payload)
                                        : QByteArray::fromPercentEncoding(payload);
    }
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    const QString kind = p.param(QStringLiteral("VALUE")).toLower();
    if (kind == QLatin1String("uri") || kind == QLatin1String("url") ||
        scheme.match(QString::fromLatin1(v.left(64))).hasMatch())
        return QByteArray();
    return p.value;
}

// The number of a TEL, also when 4.0 writes it as a "tel:" link.
QString phoneNumber(const Property &p)
{
    const QString text = p.linkText();
    if (text.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
        return text.mid(4);
    return text;
}

void setComponents(pim::Entity &e, const QStringList &values,
                   std::initializer_list<std::pair<int, const QString *>> map)
{
    for (const auto &m : map) {
        if (m.first < values.size())
            e.values.insert(*m.second, values.at(m.first));
    }
}

// Builds one contact from one card's properties.
class CardReader
{
public:
    explicit CardReader(const QList<Property> &card)
        : m_card(card)
    {
        for (const Property &p : card) {
            const QString base = p.baseName().toUpper();
            if (base == QLatin1String("VERSION"))
                m_version = QString::fromLatin1(p.value.trimmed());
            else if (base == QLatin1String("N"))
                m_olderOwnCard = m_olderOwnCard || !p.param(QStringLiteral("CHARSET")).isEmpty();
            else if (base == QLatin1String("FN"))
                m_formattedName = p.toString().trimmed();
            else if (base == QLatin1String("X-ABLABEL") && !p.group().isEmpty())
                m_labels.insert(p.group().toLower(), plainLabel(p.toString()));
            else if (base == QLatin1String("X-IM-PROTOCOL") && !p.group().isEmpty())
                m_protocols.insert(p.group().toLower(), p.toString());
            else if (base == QLatin1String("X-ABADR") && !p.group().isEmpty())
                m_countryCodes.insert(p.group().toLower(), p.toString().trimmed());
            else if (base == QLatin1String("LABEL"))
                m_addressTexts.insert(p.toString());
        }
    }

    pim::_Contact read()
    {
        for (const Property &p : m_card)
            readProperty(p);
        if (!m_formattedName.isEmpty()) {
            // The formatted name is the name the writer shows, as it shows it ("Dr. Ann B. Lee
            // III", "Lee Ann", "ACME, Inc."); rebuilt from N it would lose its order and its
            // punctuation, and a card read back into the database it came from would not find
            // its contact. Cards without a structured name (4.0 makes it optional; companies
            // leave it empty) are known by it alone.
            m_contact.fullName = m_formattedName;
            single(pim::ENTITY_NAME).values.insert(pim::NameKey::FullName, m_formattedName);
        }
        // An entry without a label of its own says so, as its stored twin does with an empty
        // column: read again from its own export, it is the same entry, not a changed one.
        for (const int kind :
             {pim::ENTITY_PHONE, pim::ENTITY_EMAIL, pim::ENTITY_NICKNAME, pim::ENTITY_EVENT, pim::ENTITY_IM,
              pim::ENTITY_ORG, pim::ENTITY_REL, pim::ENTITY_ADDR, pim::ENTITY_URL}) {
            const auto found = m_contact.entities.find(kind);
            if (found == m_contact.entities.end())
                continue;
            for (pim::Entity &e : found.value()) {
                if (!e.values.contains(pim::ValueKey::Label))
                    e.values.insert(pim::ValueKey::Label, QString());
            }
        }
        if (!m_phoneticGiven.isEmpty())
            single(pim::ENTITY_NAME).values.insert(pim::NameKey::PhoneticGivenName, m_phoneticGiven);
        if (!m_phoneticFamily.isEmpty())
            single(pim::ENTITY_NAME).values.insert(pim::NameKey::PhoneticFamilyName, m_phoneticFamily);
        return m_contact;
    }

private:
    pim::Entity &single(int type)
    {
        QList<pim::Entity> &list = m_contact.entities[type];
        if (list.isEmpty())
            list.append(pim::Entity());
        return list.first();
    }

    pim::Entity &added(int type)
    {
        QList<pim::Entity> &list = m_contact.entities[type];
        list.append(pim::Entity());
        return list.last();
    }

    // The sub-type of a labelled kind: the group's label when the file gives one, else the TYPE
    // words. A label the kind's table lacks is kept as the entry's own label.
    void setSubType(pim::Entity &e, const Property &p, const SubTypeWords &words)
    {
        const auto label = m_labels.isEmpty() || !p.name.contains(QLatin1Char('.'))
                               ? m_labels.constEnd()
                               : m_labels.constFind(p.group().toLower());
        if (label != m_labels.constEnd() && !label.value().isEmpty()) {
            const int code = words.labelCode(label.value());
            if (code >= 0) {
                e.values.insert(pim::ValueKey::SubType, code);
            } else {
                e.values.insert(pim::ValueKey::SubType, int(pim::SUBTYPE_OTHER));
                e.values.insert(pim::ValueKey::Label, label.value());
            }
            return;
        }
        e.values.insert(pim::ValueKey::SubType, words.code(p.typeWords()));
    }

    // The group's entry of a table of grouped lines, or an empty text.
    static QString grouped(const QHash<QString, QString> &table, const Property &p)
    {
        if (table.isEmpty() || !p.name.contains(QLatin1Char('.')))
            return QString();
        return table.value(p.group().toLower());
    }

    // The entry's own label when the group gives one; false when it gives none.
    bool setLabel(pim::Entity &e, const Property &p, const SubTypeWords &words)
    {
        const QString label = grouped(m_labels, p);
        if (label.isEmpty())
            return false;
        const int code = words.labelCode(label);
        if (code >= 0) {
            e.values.insert(pim::ValueKey::SubType, code);
        } else {
            e.values.insert(pim::ValueKey::SubType, int(pim::SUBTYPE_OTHER));
            e.values.insert(pim::ValueKey::Label, label);
        }
        return true;
    }

    void readNickname(const Property &p)
    {
        pim::Entity &e = added(pim::ENTITY_NICKNAME);
        e.values.insert(pim::ValueKey::Value, p.toString());
        if (setLabel(e, p, nicknameWords()))
            return;
        const int code = nicknameWords().code(p.typeWords());
        if (code >= 0)
            e.values.insert(pim::ValueKey::SubType, code);
    }

    void readIm(const Property &p)
    {
        pim::Entity &e = added(pim::ENTITY_IM);
        e.values.insert(pim::ImKey::Account, p.toString());
        const QStringList words = p.typeWords();
        if (!setLabel(e, p, imTypeWords()))
            e.values.insert(pim::ImKey::SubType,
                            words.contains(QLatin1String("work")) ? int(pim::IM_WORK) : int(pim::IM_HOME));
        // A card names no protocol of its own unless its group does: the entry says so, so that it
        // is the same account as its stored twin, whose column is empty rather than missing.
        e.values.insert(pim::ImKey::CustomProtocol, grouped(m_protocols, p));
        // An account of no protocol the program knows is one of "Other", as the editor shows it.
        const int protocol = imWords().code(words);
        e.values.insert(pim::ImKey::Protocol, protocol >= 0 ? protocol : int(pim::SUBTYPE_OTHER));
    }

    void readAddress(const Property &p)
    {
        pim::Entity &e = added(pim::ENTITY_ADDR);
        const QStringList parts = p.values();
        setComponents(e, parts,
                      {{2, &pim::AddrKey::Street},
                       {3, &pim::AddrKey::City},
                       {4, &pim::AddrKey::State},
                       {5, &pim::AddrKey::Postcode},
                       {6, &pim::AddrKey::Country}});
        setSubType(e, p, addrWords());
        const QString countryCode = grouped(m_countryCodes, p);
        if (!countryCode.isEmpty())
            e.values.insert(pim::AddrKey::CountryCode, countryCode);
        // Only a street, and a label line of the same text: an address kept as one free text.
        const QString street = e.values.value(pim::AddrKey::Street).toString();
        const bool onlyStreet = std::all_of(parts.cbegin(), parts.cend(), [&street](const QString &part) {
            return part.isEmpty() || part == street;
        });
        if (!street.isEmpty() && onlyStreet && parts.count(street) == 1 && m_addressTexts.contains(street)) {
            e.values.remove(pim::AddrKey::Street);
            e.values.insert(pim::AddrKey::Formatted, street);
            return;
        }
        e.values.insert(pim::AddrKey::Formatted, e.formattedAddr());
    }

    void readGroups(const Property &p)
    {
        // One line with a list of groups, or (the program's older cards) one line per group
        // whose commas are part of the name.
        const QStringList names = m_olderOwnCard ? QStringList{p.toString()} : p.listValues();
        for (const QString &name : std::as_const(names)) {
            if (!name.isEmpty() || names.size() == 1)
                added(pim::ENTITY_GROUP).values.insert(pim::GroupKey::GroupName, name);
        }
    }

    void readName(const Property &p)
    {
        const QStringList c = p.values();
        // "N:;;;;" says there are no name parts, as company cards write it.
        if (std::all_of(c.cbegin(), c.cend(), [](const QString &part) { return part.isEmpty(); }) &&
            m_contact.entities.value(pim::ENTITY_NAME).isEmpty())
            return;
        pim::Entity &e = single(pim::ENTITY_NAME);
        if (isGivenFirst(p, c))
            setComponents(e, c,
                          {{0, &pim::NameKey::GivenName},
                           {1, &pim::NameKey::FamilyName},
                           {2, &pim::NameKey::MiddleName},
                           {3, &pim::NameKey::Prefix},
                           {4, &pim::NameKey::Suffix}});
        else
            setComponents(e, c,
                          {{0, &pim::NameKey::FamilyName},
                           {1, &pim::NameKey::GivenName},
                           {2, &pim::NameKey::MiddleName},
                           {3, &pim::NameKey::Prefix},
                           {4, &pim::NameKey::Suffix}});
        m_contact.fullName = e.fullName();
        e.values.insert(pim::NameKey::FullName, m_contact.fullName);
    }

    // The program's own older cards put the given name first. Only they are 3.0 cards marking N
    // with CHARSET=UTF-8, and their FN is that order's full name.
    bool isGivenFirst(const Property &p, const QStringList &c) const
    {
        if (m_version != QLatin1String("3.0") ||
            p.param(QStringLiteral("CHARSET")).compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) != 0)
            return false;
        pim::Entity probe;
        setComponents(probe, c,
                      {{0, &pim::NameKey::GivenName},
                       {1, &pim::NameKey::FamilyName},
                       {2, &pim::NameKey::MiddleName},
                       {3, &pim::NameKey::Prefix},
                       {4, &pim::NameKey::Suffix}});
        const QString formatted = m_formattedName.simplified();
        return !formatted.isEmpty() && probe.fullName().simplified() == formatted;
    }

    void readOrganisation(const Property &p, bool title)
    {
        QList<pim::Entity> &orgs = m_contact.entities[pim::ENTITY_ORG];
        const QString &column = title ? pim::OrgKey::JobTitle : pim::OrgKey::Company;
        // Each ORG or TITLE line completes the last organisation until that has its column.
        if (orgs.isEmpty() || orgs.last().values.contains(column))
            orgs.append(pim::Entity());
        pim::Entity &e = orgs.last();
        if (title) {
            e.values.insert(pim::OrgKey::JobTitle, p.toString());
            return;
        }
        const QStringList c = p.values();
        e.values.insert(pim::OrgKey::Company, c.value(0));
        if (c.size() > 1)
            e.values.insert(pim::OrgKey::Department, c.at(1));
        if (!setLabel(e, p, orgWords())) {
            const int code = orgWords().code(p.typeWords());
            if (code >= 0)
                e.values.insert(pim::OrgKey::SubType, code);
        }
    }

    void readProperty(const Property &p)
    {
        const qsizetype dot = p.name.lastIndexOf(QLatin1Char('.'));
        const QStringView base = dot < 0 ? QStringView(p.name) : QStringView(p.name).mid(dot + 1);
        const auto is = [base](const char *wanted) {
            return base.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
        };
        if (is("N")) {
            readName(p);
        } else if (is("PHOTO")) {
            const QByteArray bytes = photoBytes(p);
            if (!bytes.isEmpty())
                single(pim::ENTITY_PHOTO).values.insert(pim::PhotoKey::Image, bytes);
        } else if (is("TEL")) {
            pim::Entity &e = added(pim::ENTITY_PHONE);
            e.values.insert(pim::ValueKey::Value, phoneNumber(p));
            setSubType(e, p, phoneWords());
        } else if (is("EMAIL")) {
            pim::Entity &e = added(pim::ENTITY_EMAIL);
            e.values.insert(pim::ValueKey::Value, p.toString());
            setSubType(e, p, emailWords());
        } else if (is("NICKNAME")) {
            readNickname(p);
        } else if (is("BDAY")) {
            pim::Entity &e = added(pim::ENTITY_EVENT);
            e.values.insert(pim::ValueKey::Value, eventDate(p.toString()));
            e.values.insert(pim::ValueKey::SubType, int(pim::EVENT_BIRTHDAY));
        } else if (is("ANNIVERSARY")) {
            pim::Entity &e = added(pim::ENTITY_EVENT);
            e.values.insert(pim::ValueKey::Value, eventDate(p.toString()));
            e.values.insert(pim::ValueKey::SubType, int(pim::EVENT_ANNIVERSARY));
        } else if (is("X-EVENT") || is("X-ABDATE")) {
            pim::Entity &e = added(pim::ENTITY_EVENT);
            e.values.insert(pim::ValueKey::Value, eventDate(p.toString()));
            setSubType(e, p, eventWords());
        } else if (is("CATEGORIES")) {
            readGroups(p);
        } else if (is("X-IM")) {
            readIm(p);
        } else if (is("X-PHONETIC-FIRST-NAME")) {
            m_phoneticGiven = p.toString();
        } else if (is("X-PHONETIC-LAST-NAME")) {
            m_phoneticFamily = p.toString();
        } else if (is("NOTE")) {
            added(pim::ENTITY_NOTE).values.insert(pim::NoteKey::Text, p.toString());
        } else if (is("ORG")) {
            readOrganisation(p, false);
        } else if (is("TITLE")) {
            readOrganisation(p, true);
        } else if (is("X-REL") || is("X-ABRELATEDNAMES")) {
            pim::Entity &e = added(pim::ENTITY_REL);
            e.values.insert(pim::ValueKey::Value, p.toString());
            setSubType(e, p, relWords());
        } else if (is("ADR")) {
            readAddress(p);
        } else if (is("URL")) {
            pim::Entity &e = added(pim::ENTITY_URL);
            e.values.insert(pim::ValueKey::Value, p.linkText());
            setSubType(e, p, urlWords());
        }
    }

    const QList<Property> &m_card;
    QString m_version;
    QString m_formattedName;
    QHash<QString, QString> m_labels; // lower-case group to label
    QHash<QString, QString> m_protocols;    // lower-case group to custom IM protocol
    QHash<QString, QString> m_countryCodes; // lower-case group to address country code
    QSet<QString> m_addressTexts;           // LABEL lines: addresses as one text
    QString m_phoneticGiven;
    QString m_phoneticFamily;
    // The program's own cards before they escaped text mark N with a character set.
    bool m_olderOwnCard = false;
    pim::_Contact m_contact;
};

} // namespace

void VCardImport::initialize(QString path)
{
    // Parsed straight from a mapping of the file where the system offers one: a copy of a file
    // full of photos is the largest single cost of reading it.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() > 0) {
        if (uchar *mapped = file.map(0, file.size())) {
            cards = QVCardParser::parse(
                QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), qsizetype(file.size())));
            file.unmap(mapped);
            cursor = 0;
            return;
        }
    }
    cards = QVCardParser::parse(readWholeFile(path));
    cursor = 0;
}

int VCardImport::total()
{
    return int(cards.size());
}

bool VCardImport::hasNext()
{
    return cursor < cards.size();
}

pim::_Contact VCardImport::nextContact()
{
    if (cursor >= cards.size())
        return pim::_Contact();
    return toContact(cards.at(cursor++));
}

void VCardImport::uninitialize() {}

pim::_Contact VCardImport::toContact(const QList<QVCardParser::_Property> &card)
{
    return CardReader(card).read();
}
