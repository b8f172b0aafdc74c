// Whole exports of hard contacts, read back by an independent vCard reader and re-imported into
// the database they came from.

#include "fileio/ImportContactsToLocalThread.h"
#include "fileio/VCardExport.h"

#include "EntityFixtures.h"
#include "ImageBytes.h"
#include "RecordingProgressSink.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

using tarnwick::test::contactOf;
using tarnwick::test::render;

namespace {

void addPhoto(pim::_Contact &c, const QByteArray &bytes)
{
    pim::Entity photo;
    photo.values.insert(pim::PhotoKey::Image, bytes);
    c.entities[pim::ENTITY_PHOTO] << photo;
}

// Commas, semicolons, backslashes and line breaks in every kind of text; several scripts; custom
// labels; photos; a year-less birthday; groups; full names that N cannot rebuild (punctuation,
// family name first, no name parts at all). Numbers and links hold none of the separators: they
// are no text in a vCard, and an independent reader may still cut them at a comma.
QList<pim::_Contact> hardContacts()
{
    QList<pim::_Contact> table;

    table << contactOf(
        QStringLiteral("Dr. Ann B. Lee, III"),
        {"1|data1=Dr. Ann B. Lee, III|data2=Ann|data3=Lee|data4=B.|data5=Dr.|data6=III|data7=Än; "
         "\\n|data8=Lï, x",
         "3|data1=+1 555 0100|data2=2", "3|data1=+1 555 0101|data2=0|data3=Boat, red; \\x",
         "3|data1=+1 555 0102|data2=4", "4|data1=ann.lee@example.com|data2=1",
         "4|data1=ann;lee,x\\y@example.org|data2=1", "5|data1=Taro, \"T\"; \\T", "6|data1=--05-12|data2=3",
         "6|data1=2001-01-01|data2=3", "7|data2=Golf, Tennis", "7|data2=Chess\\Go",
         "8|data1=ann.m|data2=2|data5=0|data6=Matrix, \"M\"; x", "8|data1=ann.s|data2=0|data3=Games|data5=4",
         "9|data1=Line one, with comma; semicolon\nC:\\new\\table\r\nlast line \\\\ end",
         "10|data1=ACME, Inc.; Ltd|data2=1|data4=Boss, CEO; \\ chief|data5=R&D; Labs",
         "10|data1=Club|data2=0|data3=Hobby, x",
         "12|data2=1|data4=1 Elm St, Apt 2; Rear\\Back\nBuilding 3|data7=Köln|data8=NRW|data9=50667|data10="
         "Deutschland",
         "13|data1=https://example.com/~ann/index.html|data2=1"});
    addPhoto(table.last(), tarnwick::test::imageBytes("PNG"));

    table << contactOf(QStringLiteral("王小明"),
                       {"1|data1=王小明|data2=小明|data3=王", "3|data1=+86 10 1234 5678|data2=1",
                        "7|data2=Work; Main \\ HQ", "8|data1=wang;xm,\\im|data2=1|data5=5",
                        "9|data1=日本語のメモ、カンマ, セミコロン; バックスラッシュ\\ "
                        "と改行\n二行目も長い行で、折り返されるはずの文章です。",
                        "11|data1=李, 四; \\x|data2=14",
                        "11|data1=Coach, \"Z\"|data2=0|data3=Trainer; gym, \\",
                        "13|data1=http://example.cn/wang|data2=0|data3=Blog, old; \\site"});
    addPhoto(table.last(), tarnwick::test::imageBytes("JPEG", QSize(200, 120), Qt::darkRed));

    table << contactOf(QStringLiteral("ACME, Inc.; Ltd \\ Holdings"),
                       {"3|data1=+1 555 0199|data2=3", "9|data1=Company card\nno name parts, none",
                        "10|data1=ACME, Inc.|data5=Sales; East",
                        "12|data2=2|data4=PO Box 7, Dock; 3|data7=Springfield|data10=USA|data11=US",
                        "12|data1=Typed on a phone, as one text;\nUnit 5\\B|data2=1"});

    table << contactOf(
        QStringLiteral("Петров, Иван"),
        {"1|data1=Петров, Иван|data2=Иван|data3=Петров|data4=Сергеевич",
         "4|data1=ivan@example.ru|data2=0|data3=Private; old, \\ box", "5|data1=😀 Smiley, \"S\"|data2=3",
         "5|data1=Ваня|data2=0|data3=Gamer, x", "6|data1=1980-07-15|data2=0|data3=Met, first; time",
         "9|data1=Ελληνικά, العربية; עברית\\ and Cyrillic: Съешь же ещё этих мягких французских "
         "булок, да выпей чаю;",
         "12|data2=0|data3=Dacha, summer|data4=ул. Ленина, д. 1; кв. 2|data7=Москва|data10=Россия"});

    table << contactOf(
        QStringLiteral("Mary J. Watson-Parker, Jr."),
        {"1|data1=Mary J. Watson-Parker, Jr.|data2=Mary|data3=Watson-Parker|data4=Jane|data6=Jr.",
         "3|data1=555-0123|data2=2", "7|data2=Golf, Tennis"});

    // Addresses carry their formatted text, as every stored one does; one typed as a single text
    // has that alone.
    for (pim::_Contact &c : table) {
        for (pim::Entity &e : c.entities[pim::ENTITY_ADDR]) {
            if (!e.formattedAddr().isEmpty())
                e.values.insert(pim::AddrKey::Formatted, e.formattedAddr());
        }
    }
    return table;
}

QString text(const pim::Entity &e, const QString &key)
{
    return e.values.value(key).toString();
}

// The label the card carries for an entry of a kind whose sub-type is given as a TYPE word: its
// own custom label, else none (the table uses no sub-type that needs a label of the kind's list).
QString ownLabel(const pim::Entity &e)
{
    return e.values.value(pim::ValueKey::SubType).toInt() == pim::SUBTYPE_OTHER
               ? text(e, pim::ValueKey::Label)
               : QString();
}

QString line(const QString &name, const QString &value, const QString &label = QString())
{
    return name + QLatin1Char('[') + label + QStringLiteral("]:") + value;
}

// The label line a writer adds for an entry of a kind whose usual sub-types go without one: the
// entry's own label, for the custom sub-type.
QString customLabel(const pim::Entity &e)
{
    return ownLabel(e);
}

// Every value of the contact as the independent reader should give it, in the form of
// vcard_values.py.
QStringList expectedValues(const pim::_Contact &c)
{
    QStringList out{line(QStringLiteral("FN"), c.fullName)};
    const QList<pim::Entity> names = c.entities.value(pim::ENTITY_NAME);
    if (names.isEmpty())
        out << line(QStringLiteral("N"), QStringLiteral("||||"));
    for (const pim::Entity &e : names) {
        out << line(QStringLiteral("N"),
                    QStringList{text(e, pim::NameKey::FamilyName), text(e, pim::NameKey::GivenName),
                                text(e, pim::NameKey::MiddleName), text(e, pim::NameKey::Prefix),
                                text(e, pim::NameKey::Suffix)}
                        .join(QLatin1Char('|')));
        if (!text(e, pim::NameKey::PhoneticGivenName).isEmpty())
            out << line(QStringLiteral("X-PHONETIC-FIRST-NAME"), text(e, pim::NameKey::PhoneticGivenName));
        if (!text(e, pim::NameKey::PhoneticFamilyName).isEmpty())
            out << line(QStringLiteral("X-PHONETIC-LAST-NAME"), text(e, pim::NameKey::PhoneticFamilyName));
    }
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_PHOTO))
        out << line(QStringLiteral("PHOTO"),
                    QString::fromLatin1(e.values.value(pim::PhotoKey::Image).toByteArray().toBase64()));
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_PHONE))
        out << line(QStringLiteral("TEL"), text(e, pim::ValueKey::Value), ownLabel(e));
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_EMAIL)) {
        // A home address says so to every reader.
        const bool home = e.values.value(pim::ValueKey::SubType).toInt() == pim::EMAIL_HOME;
        out << line(home ? QStringLiteral("EMAIL(home,internet)") : QStringLiteral("EMAIL(internet)"),
                    text(e, pim::ValueKey::Value), ownLabel(e));
    }
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_NICKNAME))
        out << line(QStringLiteral("NICKNAME"), text(e, pim::ValueKey::Value), customLabel(e));
    bool birthday = false;
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_EVENT)) {
        // One BDAY a card; further birthdays are dates like the others.
        const bool first = e.values.value(pim::ValueKey::SubType).toInt() == pim::EVENT_BIRTHDAY && !birthday;
        birthday = birthday || first;
        out << line(first ? QStringLiteral("BDAY") : QStringLiteral("X-EVENT"), text(e, pim::ValueKey::Value),
                    ownLabel(e));
    }
    QStringList groups;
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_GROUP))
        groups << text(e, pim::GroupKey::GroupName);
    if (groups.size() == 1)
        out << line(QStringLiteral("CATEGORIES"), groups.first());
    else if (!groups.isEmpty())
        out << line(QStringLiteral("CATEGORIES"),
                    QString::fromUtf8(
                        QJsonDocument(QJsonArray::fromStringList(groups)).toJson(QJsonDocument::Compact))
                        .replace(QStringLiteral("\",\""), QStringLiteral("\", \"")));
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_IM)) {
        const int sub = e.values.value(pim::ImKey::SubType).toInt();
        const QString label = sub == pim::IM_HOME || sub == pim::IM_WORK ? QString()
                              : ownLabel(e).isEmpty()                    ? QStringLiteral("Other")
                                                                         : ownLabel(e);
        out << line(QStringLiteral("X-IM"), text(e, pim::ImKey::Account), label);
        if (!text(e, pim::ImKey::CustomProtocol).isEmpty())
            out << line(QStringLiteral("X-IM-PROTOCOL"), text(e, pim::ImKey::CustomProtocol), label);
    }
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_NOTE))
        out << line(QStringLiteral("NOTE"), text(e, pim::NoteKey::Text));
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_ORG)) {
        out << line(QStringLiteral("TITLE"), text(e, pim::OrgKey::JobTitle))
            << line(QStringLiteral("ORG"),
                    text(e, pim::OrgKey::Company) + QLatin1Char('|') + text(e, pim::OrgKey::Department) +
                        QLatin1Char('|'),
                    customLabel(e));
    }
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_REL))
        out << line(QStringLiteral("X-REL"), text(e, pim::ValueKey::Value), ownLabel(e));
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_ADDR)) {
        // An address typed as one text is in the street, and on a label line of its own.
        const bool freeText = e.formattedAddr().isEmpty();
        out << line(QStringLiteral("ADR"),
                    QStringList{QString(), QString(),
                                freeText ? text(e, pim::AddrKey::Formatted) : text(e, pim::AddrKey::Street),
                                text(e, pim::AddrKey::City), text(e, pim::AddrKey::State),
                                text(e, pim::AddrKey::Postcode), text(e, pim::AddrKey::Country)}
                        .join(QLatin1Char('|')),
                    ownLabel(e));
        if (!text(e, pim::AddrKey::CountryCode).isEmpty())
            out << line(QStringLiteral("X-ABADR"), text(e, pim::AddrKey::CountryCode), ownLabel(e));
        if (freeText)
            out << line(QStringLiteral("LABEL"), text(e, pim::AddrKey::Formatted));
    }
    for (const pim::Entity &e : c.entities.value(pim::ENTITY_URL))
        out << line(QStringLiteral("URL"), text(e, pim::ValueKey::Value), ownLabel(e));
    std::sort(out.begin(), out.end());
    return out;
}

QByteArray exported(const QList<pim::_Contact> &contacts)
{
    VCardExport writer;
    QByteArray out = writer.initialize(contacts);
    for (const pim::_Contact &c : contacts)
        out += writer.ct2Bytes(c);
    return out + writer.uninitialize();
}

// A Python interpreter that has vobject, or nothing.
QString pythonWithVobject()
{
    for (const QString &python :
         {QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")}),
          QStandardPaths::findExecutable(QStringLiteral("python3"))}) {
        if (python.isEmpty())
            continue;
        QProcess probe;
        probe.start(python, {QStringLiteral("-c"), QStringLiteral("import vobject")});
        if (probe.waitForFinished(60000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return python;
    }
    return QString();
}

// The contacts of the database, each rendered with its full name first; ids and the database's
// own columns (photo hash, group id) are left out, as they say nothing of the values.
QStringList stored(LocalDb &db)
{
    QStringList out;
    for (pim::_Contact c : db.contacts(0, QString())) {
        for (pim::Entity &e : c.entities[pim::ENTITY_PHOTO]) {
            e.values.remove(pim::PhotoKey::Hash);
            e.values.insert(
                pim::PhotoKey::Image,
                QString::fromLatin1(e.values.value(pim::PhotoKey::Image).toByteArray().toBase64()));
        }
        for (pim::Entity &e : c.entities[pim::ENTITY_GROUP])
            e.values.remove(pim::GroupKey::GroupId);
        out << (QStringList{c.fullName} + render(c.entities)).join(QStringLiteral("\n¦ "));
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

class TestVCardRoundTrip : public QObject, tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void independentReaderReadsEveryValue();
    void reimportIntoTheSourceMergesEveryContact();
};

void TestVCardRoundTrip::independentReaderReadsEveryValue()
{
    const QString python = pythonWithVobject();
    if (python.isEmpty())
        QSKIP("python3-vobject is not installed (scripts/install-deps installs it)");

    const QList<pim::_Contact> table = hardContacts();
    const QString path = filePath(QStringLiteral("hard.vcf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(exported(table));
    file.close();

    QProcess reader;
    reader.start(python, {QStringLiteral(VCARD_VALUES_SCRIPT), path});
    QVERIFY(reader.waitForFinished(120000));
    const QByteArray errors = reader.readAllStandardError();
    QVERIFY2(reader.exitStatus() == QProcess::NormalExit && reader.exitCode() == 0, errors.constData());

    QJsonParseError parseError;
    const QJsonArray cards = QJsonDocument::fromJson(reader.readAllStandardOutput(), &parseError).array();
    QVERIFY2(parseError.error == QJsonParseError::NoError, qPrintable(parseError.errorString()));
    QCOMPARE(cards.size(), table.size());
    for (qsizetype i = 0; i < table.size(); ++i) {
        QStringList got;
        for (const QJsonValue &v : cards.at(i).toArray())
            got << v.toString();
        std::sort(got.begin(), got.end());
        QCOMPARE(got, expectedValues(table.at(i)));
    }
}

void TestVCardRoundTrip::reimportIntoTheSourceMergesEveryContact()
{
    auto db = freshDb();
    for (pim::_Contact c : hardContacts()) {
        // A merge moves a stored contact into the group the file names, one at a time: a contact
        // in several groups would end in the last.
        QList<pim::Entity> &groups = c.entities[pim::ENTITY_GROUP];
        if (groups.size() > 1)
            groups = {groups.first()};
        pim::_Contact out;
        bool existed = false;
        db->combineContact(c, out, existed);
    }
    const QStringList before = stored(*db);
    QCOMPARE(before.size(), hardContacts().size());

    const QString path = filePath(QStringLiteral("export.vcf"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(exported(db->contacts(0, QString())));
    file.close();

    RecordingProgressSink sink;
    ImportContactsToLocalThread worker(path, ImportContactsToLocalThread::TYPE_VCARD, db.get(), &sink);
    worker.start();
    worker.wait();
    QCOMPARE(sink.reports().last(),
             QStringLiteral("succeed|IDS_SUC_IMPORT_0_CONTACTS_TO_DB_%1_MERGED").arg(before.size()));
    const QStringList after = stored(*db);
    QCOMPARE(after.size(), before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        QCOMPARE(after.at(i).split(QLatin1Char('\n')), before.at(i).split(QLatin1Char('\n')));
}

TARNWICK_TEST_MAIN(TestVCardRoundTrip)
#include "tst_vcardroundtrip.moc"
