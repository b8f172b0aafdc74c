#include "VCardExport.h"

#include "QVCardParser.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include <QHash>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

using Property = QVCardParser::_Property;

const QString kCharset = QStringLiteral("CHARSET");
const QString kEncoding = QStringLiteral("ENCODING");
const QString kType = QStringLiteral("TYPE");
const QString kUtf8 = QStringLiteral("UTF-8");

QString text(const pim::Entity &e, const QString &key)
{
    const auto it = e.values.constFind(key);
    return it == e.values.constEnd() ? QString() : it->toString();
}

int code(const pim::Entity &e, const QString &key)
{
    const auto it = e.values.constFind(key);
    return it == e.values.constEnd() ? 0 : it->toInt();
}

// A text value, a list item or one component of N, ORG or ADR with its backslashes, semicolons
// and commas escaped, so that no reader takes them for separators. Line breaks stay: a value
// holding them travels quoted-printable, which carries them byte for byte.
QString escapedText(const QString &value)
{
    // Most values hold no separator: they are written as they are, without a copy.
    const auto separator = [](QChar c) {
        return c == QLatin1Char('\\') || c == QLatin1Char(';') || c == QLatin1Char(',');
    };
    if (std::none_of(value.cbegin(), value.cend(), separator))
        return value;
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\') || c == QLatin1Char(';') || c == QLatin1Char(','))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

QString component(const pim::Entity &e, const QString &key)
{
    return escapedText(text(e, key));
}

bool hasLineBreak(const QString &value)
{
    return value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r'));
}

QString imageType(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG"))
        return QStringLiteral("PNG");
    if (bytes.startsWith("GIF8"))
        return QStringLiteral("GIF");
    return QStringLiteral("JPEG");
}

const QHash<int, QString> &phoneWords()
{
    static const QHash<int, QString> words{
        {pim::PHONE_HOME, QStringLiteral("home,voice")},   {pim::PHONE_MOBILE, QStringLiteral("cell")},
        {pim::PHONE_WORK, QStringLiteral("work,voice")},   {pim::PHONE_WORK_FAX, QStringLiteral("work,fax")},
        {pim::PHONE_HOME_FAX, QStringLiteral("home,fax")}, {pim::PHONE_PAGER, QStringLiteral("pager")},
        {pim::PHONE_CAR, QStringLiteral("car")},           {pim::PHONE_ISDN, QStringLiteral("isdn")},
        {pim::PHONE_OTHER_FAX, QStringLiteral("fax")},
    };
    return words;
}

const QHash<int, QString> &imWords()
{
    static const QHash<int, QString> words{
        {pim::IM_PROTOCOL_AIM, QStringLiteral("aim")},
        {pim::IM_PROTOCOL_MSN, QStringLiteral("msn")},
        {pim::IM_PROTOCOL_YAHOO, QStringLiteral("yahoo")},
        {pim::IM_PROTOCOL_SKYPE, QStringLiteral("skype")},
        {pim::IM_PROTOCOL_QQ, QStringLiteral("qq")},
        {pim::IM_PROTOCOL_GOOGLE_TALK, QStringLiteral("googletalk")},
        {pim::IM_PROTOCOL_ICQ, QStringLiteral("icq")},
        {pim::IM_PROTOCOL_JABBER, QStringLiteral("jabber")},
        {pim::IM_PROTOCOL_NETMEETING, QStringLiteral("netmetting")},
        {pim::IM_PROTOCOL_GADU_GADU, QStringLiteral("gadugadu")},
        {pim::IM_PROTOCOL_FACEBOOK, QStringLiteral("facebook")},
    };
    return words;
}

const QHash<int, QString> &nicknameWords()
{
    static const QHash<int, QString> words{
        {pim::SUBTYPE_OTHER, QStringLiteral("custom")}, {pim::NICKNAME_DEFAULT, QStringLiteral("default")},
        {pim::NICKNAME_OTHER, QStringLiteral("other")}, {pim::NICKNAME_MAIDEN, QStringLiteral("maiden")},
        {pim::NICKNAME_SHORT, QStringLiteral("short")}, {pim::NICKNAME_INITIALS, QStringLiteral("initials")},
    };
    return words;
}

const QHash<int, QString> &relWords()
{
    static const QHash<int, QString> words{
        {pim::REL_ASSISTANT, QStringLiteral("assistant")},
        {pim::REL_BROTHER, QStringLiteral("brother")},
        {pim::REL_CHILD, QStringLiteral("child")},
        {pim::REL_DOMESTIC_PARTNER, QStringLiteral("dompartner")},
        {pim::REL_FATHER, QStringLiteral("father")},
        {pim::REL_FRIEND, QStringLiteral("friend")},
        {pim::REL_MANAGER, QStringLiteral("manager")},
        {pim::REL_MOTHER, QStringLiteral("mother")},
        {pim::REL_PARENT, QStringLiteral("parent")},
        {pim::REL_PARTNER, QStringLiteral("partner")},
        {pim::REL_REFERRED_BY, QStringLiteral("ref")},
        {pim::REL_RELATIVE, QStringLiteral("relative")},
        {pim::REL_SISTER, QStringLiteral("sister")},
        {pim::REL_SPOUSE, QStringLiteral("spouse")},
    };
    return words;
}

const QHash<int, QString> &urlWords()
{
    static const QHash<int, QString> words{
        {pim::URL_HOMEPAGE, QStringLiteral("homepage")}, {pim::URL_BLOG, QStringLiteral("blog")},
        {pim::URL_PROFILE, QStringLiteral("profile")},   {pim::URL_HOME, QStringLiteral("home")},
        {pim::URL_WORK, QStringLiteral("work")},         {pim::URL_FTP, QStringLiteral("ftp")},
    };
    return words;
}

// Builds the property list of one card.
class CardWriter
{
public:
    QList<Property> props;

    // How a value reaches the card: text escaped here, or written as it is (structured values
    // whose components are escaped already, and the numbers and links that are no text).
    enum class Value { Text, AsIs };

    // A value: quoted-printable when it holds a line break (the card's lines must stay whole),
    // else UTF-8.
    Property &add(const QString &name, QMap<QString, QString> params, const QString &value,
                  Value kind = Value::Text)
    {
        Property p;
        p.name = name;
        const QString written = kind == Value::Text ? escapedText(value) : value;
        if (hasLineBreak(value)) {
            params.insert(kCharset, kUtf8);
            params.insert(kEncoding, QStringLiteral("QUOTED-PRINTABLE"));
            p.value = QVCardParser::encodeQuoted(written.toUtf8(), 0);
        } else {
            p.value = written.toUtf8();
        }
        p.params = std::move(params);
        props.append(std::move(p));
        return props.last();
    }

    // Gives the last property a group and a label line naming its sub-type, for the sub-types no
    // TYPE word carries: the entry's own label with code 0, else the kind's label for the code.
    void label(const pim::Entity &e, int subType, const QMap<int, QString> &labels)
    {
        group();
        add(lastGroup() + QStringLiteral(".X-ABLabel"), {}, labelText(e, subType, labels));
    }

    static QString labelText(const pim::Entity &e, int subType, const QMap<int, QString> &labels)
    {
        const QString own = text(e, pim::ValueKey::Label);
        return subType == pim::SUBTYPE_OTHER && !own.isEmpty() ? own : labels.value(subType, labels.value(0));
    }

    // Puts the last property into a group of its own, for the lines that qualify it.
    void group()
    {
        ++m_groups;
        props.last().name.prepend(lastGroup() + QLatin1Char('.'));
    }
    QString lastGroup() const { return QLatin1String("item") + QString::number(m_groups); }

    // The card's groups, each escaped, for its one CATEGORIES line.
    QStringList groups;
    bool birthdayWritten = false;

    static bool hasOwnLabel(const pim::Entity &e, int subType)
    {
        return subType == pim::SUBTYPE_OTHER && !text(e, pim::ValueKey::Label).isEmpty();
    }

    // A value of a kind whose sub-type travels as a TYPE word where there is one, else as a label.
    void labelled(const QString &name, QMap<QString, QString> params, const pim::Entity &e,
                  const QString &word, const QMap<int, QString> &labels, bool wordIsEnough = true,
                  Value kind = Value::Text)
    {
        if (!word.isEmpty())
            params.insert(kType, word);
        add(name, params, text(e, pim::ValueKey::Value), kind);
        const int subType = code(e, pim::ValueKey::SubType);
        if (word.isEmpty() || !wordIsEnough || hasOwnLabel(e, subType))
            label(e, subType, labels);
    }

private:
    int m_groups = 0;
};

void writeEntry(CardWriter &w, int type, const pim::Entity &e)
{
    static const QMap<QString, QString> utf8{{kCharset, kUtf8}};
    switch (type) {
    case pim::ENTITY_NAME: {
        w.add(QStringLiteral("N"), {},
              QStringList{component(e, pim::NameKey::FamilyName), component(e, pim::NameKey::GivenName),
                          component(e, pim::NameKey::MiddleName), component(e, pim::NameKey::Prefix),
                          component(e, pim::NameKey::Suffix)}
                  .join(QLatin1Char(';')),
              CardWriter::Value::AsIs);
        // How the name is spoken, as the phone makers' cards carry it.
        const QString phoneticGiven = text(e, pim::NameKey::PhoneticGivenName);
        const QString phoneticFamily = text(e, pim::NameKey::PhoneticFamilyName);
        if (!phoneticGiven.isEmpty())
            w.add(QStringLiteral("X-PHONETIC-FIRST-NAME"), utf8, phoneticGiven);
        if (!phoneticFamily.isEmpty())
            w.add(QStringLiteral("X-PHONETIC-LAST-NAME"), utf8, phoneticFamily);
        break;
    }
    case pim::ENTITY_PHOTO: {
        const QByteArray bytes = e.values.value(pim::PhotoKey::Image).toByteArray();
        Property p;
        p.name = QStringLiteral("PHOTO");
        p.params = {{kEncoding, QStringLiteral("B")}, {kType, imageType(bytes)}};
        // Folded with the rest of the line when the card is written.
        p.value = bytes.toBase64();
        w.props.append(std::move(p));
        break;
    }
    case pim::ENTITY_PHONE:
        // A number is no text: its commas are dialling pauses, not separators.
        w.labelled(QStringLiteral("TEL"), {}, e, phoneWords().value(code(e, pim::ValueKey::SubType)),
                   pim::phoneTypeMap(), true, CardWriter::Value::AsIs);
        break;
    case pim::ENTITY_EMAIL: {
        // Readers that do not know this program's default take a typeless address for no type.
        const bool home = code(e, pim::ValueKey::SubType) == pim::EMAIL_HOME;
        w.labelled(QStringLiteral("EMAIL"), {}, e,
                   home ? QStringLiteral("internet,home") : QStringLiteral("internet"), pim::emailTypeMap(),
                   home);
        break;
    }
    case pim::ENTITY_NICKNAME: {
        QMap<QString, QString> params = utf8;
        const QString word = nicknameWords().value(code(e, pim::ValueKey::SubType));
        if (!word.isEmpty() && !text(e, pim::ValueKey::SubType).isEmpty())
            params.insert(kType, word);
        w.add(QStringLiteral("NICKNAME"), params, text(e, pim::ValueKey::Value));
        if (CardWriter::hasOwnLabel(e, code(e, pim::ValueKey::SubType)))
            w.label(e, pim::SUBTYPE_OTHER, pim::nicknameTypeMap());
        break;
    }
    case pim::ENTITY_EVENT: {
        const int sub = code(e, pim::ValueKey::SubType);
        // A card has one birthday; further ones travel as the other dates do.
        if (sub == pim::EVENT_BIRTHDAY && !w.birthdayWritten) {
            w.birthdayWritten = true;
            w.add(QStringLiteral("BDAY"), {}, text(e, pim::ValueKey::Value));
            break;
        }
        w.labelled(QStringLiteral("X-EVENT"), {}, e,
                   sub == pim::EVENT_ANNIVERSARY ? QStringLiteral("anniversary")
                   : sub == pim::EVENT_BIRTHDAY  ? QStringLiteral("birthday")
                                                 : QStringLiteral("other"),
                   pim::eventTypeMap());
        break;
    }
    case pim::ENTITY_GROUP:
        // Gathered into one CATEGORIES line when the card is complete.
        w.groups << escapedText(text(e, pim::GroupKey::GroupName));
        break;
    case pim::ENTITY_IM: {
        QMap<QString, QString> params = utf8;
        const int sub = code(e, pim::ImKey::SubType);
        QStringList words;
        const QString protocol = imWords().value(code(e, pim::ImKey::Protocol));
        if (!protocol.isEmpty())
            words << protocol;
        if (sub == pim::IM_HOME)
            words << QStringLiteral("home");
        else if (sub == pim::IM_WORK)
            words << QStringLiteral("work");
        if (!words.isEmpty())
            params.insert(kType, words.join(QLatin1Char(',')));
        w.add(QStringLiteral("X-IM"), params, text(e, pim::ImKey::Account));
        const QString custom = text(e, pim::ImKey::CustomProtocol);
        // Without a type the reader takes the account for a home one, as it always has.
        const bool labelled =
            sub != pim::IM_HOME && sub != pim::IM_WORK && !text(e, pim::ImKey::SubType).isEmpty();
        if (labelled || !custom.isEmpty())
            w.group();
        if (labelled)
            w.add(w.lastGroup() + QStringLiteral(".X-ABLabel"), {}, w.labelText(e, sub, pim::imTypeMap()));
        // A protocol of the user's own, by its name: text of any kind, so a line of its own.
        if (!custom.isEmpty())
            w.add(w.lastGroup() + QStringLiteral(".X-IM-PROTOCOL"), utf8, custom);
        break;
    }
    case pim::ENTITY_NOTE: {
        Property p;
        p.name = QStringLiteral("NOTE");
        p.params = {{kCharset, kUtf8}, {kEncoding, QStringLiteral("QUOTED-PRINTABLE")}};
        p.value = QVCardParser::encodeQuoted(escapedText(text(e, pim::NoteKey::Text)).toUtf8(), 0);
        w.props.append(std::move(p));
        break;
    }
    case pim::ENTITY_ORG: {
        w.add(QStringLiteral("TITLE"), utf8, text(e, pim::OrgKey::JobTitle));
        const int sub = code(e, pim::OrgKey::SubType);
        QMap<QString, QString> params = utf8;
        if (!text(e, pim::OrgKey::SubType).isEmpty())
            params.insert(kType, sub == pim::ORG_WORK ? QStringLiteral("work") : QStringLiteral("other"));
        w.add(QStringLiteral("ORG"), params,
              component(e, pim::OrgKey::Company) + QLatin1Char(';') + component(e, pim::OrgKey::Department) +
                  QStringLiteral(";;"),
              CardWriter::Value::AsIs);
        if (CardWriter::hasOwnLabel(e, sub))
            w.label(e, sub, pim::orgTypeMap());
        break;
    }
    case pim::ENTITY_REL:
        w.labelled(QStringLiteral("X-REL"), utf8, e, relWords().value(code(e, pim::ValueKey::SubType)),
                   pim::relTypeMap());
        break;
    case pim::ENTITY_ADDR: {
        const int sub = code(e, pim::AddrKey::SubType);
        const QString word = sub == pim::ADDR_HOME   ? QStringLiteral("home")
                             : sub == pim::ADDR_WORK ? QStringLiteral("work")
                                                     : QStringLiteral("intl");
        Property p;
        p.name = QStringLiteral("ADR");
        p.params = {{kCharset, kUtf8}, {kEncoding, QStringLiteral("QUOTED-PRINTABLE")}, {kType, word}};
        // An address kept as one free text (as phones keep a typed one) stands where every reader
        // looks, in the street; the label line beside it says that it is that text, not a street.
        const QString parts[] = {text(e, pim::AddrKey::Street), text(e, pim::AddrKey::City),
                                 text(e, pim::AddrKey::State), text(e, pim::AddrKey::Postcode),
                                 text(e, pim::AddrKey::Country)};
        const bool noParts = std::all_of(std::begin(parts), std::end(parts),
                                         [](const QString &part) { return part.trimmed().isEmpty(); });
        const bool freeText = noParts && !e.shownAddr().isEmpty();
        QString value = QStringLiteral(";;");
        value += escapedText(freeText ? text(e, pim::AddrKey::Formatted) : parts[0]);
        for (int i = 1; i < 5; ++i) {
            value += QLatin1Char(';');
            value += escapedText(parts[i]);
        }
        p.value = QVCardParser::encodeQuoted(value.toUtf8(), 0);
        w.props.append(std::move(p));
        const QString countryCode = text(e, pim::AddrKey::CountryCode);
        if (CardWriter::hasOwnLabel(e, sub))
            w.label(e, sub, pim::addrTypeMap());
        else if (!countryCode.isEmpty())
            w.group();
        if (!countryCode.isEmpty())
            w.add(w.lastGroup() + QStringLiteral(".X-ABADR"), {}, countryCode);
        if (freeText)
            w.add(QStringLiteral("LABEL"), {{kCharset, kUtf8}, {kType, word}},
                  text(e, pim::AddrKey::Formatted));
        break;
    }
    case pim::ENTITY_URL: {
        const int sub = code(e, pim::ValueKey::SubType);
        // A link is no text: written as it is.
        w.labelled(QStringLiteral("URL"), {}, e, urlWords().value(sub, QStringLiteral("other")),
                   pim::urlTypeMap(), true, CardWriter::Value::AsIs);
        break;
    }
    default:
        break;
    }
}

} // namespace

QByteArray VCardExport::initialize(const QList<pim::_Contact> &)
{
    return QByteArray();
}

QByteArray VCardExport::ct2Bytes(const pim::_Contact &contact)
{
    CardWriter w;
    // A card of the usual kinds holds a score of lines: their room is made once.
    w.props.reserve(24);
    Property version;
    version.name = QStringLiteral("VERSION");
    version.value = "3.0";
    w.props.append(std::move(version));
    w.add(QStringLiteral("FN"), {{kCharset, kUtf8}}, contact.fullName);
    // N is required; a card without name parts (a company's) has it with empty components.
    if (contact.entities.value(pim::ENTITY_NAME).isEmpty())
        w.add(QStringLiteral("N"), {}, QStringLiteral(";;;;"), CardWriter::Value::AsIs);
    for (auto it = contact.entities.constBegin(); it != contact.entities.constEnd(); ++it) {
        for (const pim::Entity &e : it.value())
            writeEntry(w, it.key(), e);
    }
    // One line for all groups: readers that keep one CATEGORIES line keep them all.
    if (!w.groups.isEmpty())
        w.add(QStringLiteral("CATEGORIES"), {{kCharset, kUtf8}}, w.groups.join(QLatin1Char(',')),
              CardWriter::Value::AsIs);
    return QVCardParser::vcard2Bytes(w.props);
}

QByteArray VCardExport::uninitialize()
{
    return QByteArray();
}
