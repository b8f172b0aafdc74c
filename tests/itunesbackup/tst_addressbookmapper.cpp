// Persons of a backed-up address book as contacts, read from an address book the fixtures write.
#include "BackupBuilder.h"
#include "TestMain.h"
#include "itunesbackup/AddressBookMapper.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QTemporaryDir>

#include <time.h>

using namespace itunesfixture;

namespace {

MultiValue mv(int property, const QString &label, const QVariant &value,
              const QList<QPair<QString, QString>> &entries = {})
{
    MultiValue v;
    v.property = property;
    v.label = label;
    v.value = value;
    v.entries = entries;
    return v;
}

} // namespace

class TestAddressBookMapper : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<pim::_Contact> m_contacts;

    const pim::_Contact &contact(int i) const { return m_contacts.at(i); }
    static QVariant value(const pim::_Contact &c, int type, int index, const QString &key)
    {
        return c.entities.value(type).value(index).values.value(key);
    }

private slots:
    void initTestCase()
    {
        // Dates are local time: pin the zone.
        qputenv("TZ", "Europe/Berlin");
        tzset();

        Person empty;
        Person department;
        department.department = "Sales";
        Person anna;
        anna.first = "Anna";
        anna.last = "Berg";
        anna.middle = "M";
        anna.prefix = "Dr.";
        anna.suffix = "Jr.";
        anna.organization = "ACME";
        anna.jobTitle = "Boss";
        anna.note = "a note";
        anna.nickname = "Annie";
        anna.birthday = "-86400.000000";
        anna.photos = {QByteArray("first photo"), QByteArray("second photo")};
        anna.values = {
            mv(3, "_$!<Work>!$_", "+49 1"),
            mv(3, "Boat", "+49 2"),
            mv(3, "_$!<Other>!$_", "+49 3"),
            mv(3, "", "+49 unlabelled"),
            mv(7, "_$!<Home>!$_", "skipped"),
            mv(24, "_$!<Home>!$_", "skipped"),
            mv(4, "_$!<Home>!$_", "anna@example.com"),
            mv(22, "_$!<Home>!$_", "http://home"),
            mv(22, "_$!<HomePage>!$_", "http://page"),
            mv(12, "_$!<Anniversary>!$_", 0),
            mv(23, "_$!<Mother>!$_", "Eva"),
            mv(5, "_$!<Work>!$_", QVariant(),
               {{"Street", "Main St 1"}, {"City", "Berlin"}, {"State", "BE"}, {"ZIP", "10115"},
                {"Country", "Germany"}, {"CountryCode", "de"}, {"street", "ignored"}}),
            mv(5, "_$!<Home>!$_", QVariant(), {{"ZIP", "12345"}}),
            mv(13, "_$!<Home>!$_", QVariant(), {{"service", "Skype"}, {"username", "anna.skype"}}),
            mv(13, "Gaming", QVariant(), {{"service", "skype"}, {"username", "lower"}}),
            mv(13, "_$!<Work>!$_", QVariant(), {{"service", "Google Talk"}}),
            mv(13, "_$!<Work>!$_", QVariant(), {{"service", "GoogleTalk"}}),
            mv(5, "_$!<Home>!$_", QVariant()),
        };
        Person zero;
        zero.first = "Zero";
        zero.birthday = "0";
        zero.photos = {QByteArray()};

        const QString book = m_dir.filePath("ab.sqlitedb");
        const QString images = m_dir.filePath("images.sqlitedb");
        writeAddressBook(book, {empty, department, anna, zero}, images);

        Sqlite3DB bookDb;
        Sqlite3DB imagesDb;
        bookDb.openThrow(book, Sqlite3DB::ReadWrite);
        imagesDb.openThrow(images, Sqlite3DB::ReadWrite);
        AddressBookMapper mapper(bookDb, imagesDb);
        Sqlite3Cursor persons = bookDb.queryThrow(Sqlite3Sql(AddressBookMapper::personQuery));
        while (persons.moveNext())
            m_contacts << mapper.readPerson(persons);
        QCOMPARE(m_contacts.size(), 4);
    }

    void emptyNames()
    {
        const pim::_Contact &c = contact(0);
        QCOMPARE(c.fullName, QString(""));
        QCOMPARE(c.entities.keys(), QList<int>{pim::ENTITY_NAME});
        const pim::Entity name = c.entities.value(pim::ENTITY_NAME).value(0);
        for (const QString &key : {pim::NameKey::FullName, pim::NameKey::GivenName, pim::NameKey::FamilyName,
                                   pim::NameKey::MiddleName, pim::NameKey::Prefix, pim::NameKey::Suffix}) {
            QVERIFY2(name.values.contains(key), qPrintable(key));
            QCOMPARE(name.values.value(key).toString(), QString(""));
        }
    }

    void departmentOnly()
    {
        const pim::_Contact &c = contact(1);
        QCOMPARE(c.entities.value(pim::ENTITY_ORG).size(), 1);
        QCOMPARE(value(c, pim::ENTITY_ORG, 0, pim::OrgKey::Department).toString(), QString("Sales"));
        QCOMPARE(value(c, pim::ENTITY_ORG, 0, pim::OrgKey::Company).toString(), QString(""));
        QCOMPARE(value(c, pim::ENTITY_ORG, 0, pim::OrgKey::JobTitle).toString(), QString(""));
        QVERIFY(!c.entities.value(pim::ENTITY_ORG).value(0).values.contains(pim::OrgKey::SubType));
    }

    void personFields()
    {
        const pim::_Contact &c = contact(2);
        QCOMPARE(c.fullName, QString("Dr. Anna M Berg Jr."));
        QCOMPARE(value(c, pim::ENTITY_NAME, 0, pim::NameKey::FullName).toString(), c.fullName);
        QCOMPARE(c.entities.value(pim::ENTITY_PHOTO).size(), 1);
        QCOMPARE(value(c, pim::ENTITY_PHOTO, 0, pim::PhotoKey::Image).toByteArray(), QByteArray("first photo"));
        QCOMPARE(value(c, pim::ENTITY_ORG, 0, pim::OrgKey::Company).toString(), QString("ACME"));
        QCOMPARE(value(c, pim::ENTITY_ORG, 0, pim::OrgKey::JobTitle).toString(), QString("Boss"));
        QCOMPARE(value(c, pim::ENTITY_NOTE, 0, pim::NoteKey::Text).toString(), QString("a note"));
        QCOMPARE(value(c, pim::ENTITY_NICKNAME, 0, pim::ValueKey::Value).toString(), QString("Annie"));
        QCOMPARE(c.entities.value(pim::ENTITY_NICKNAME).value(0).values.size(), 1);
        // The birthday first, then the multi-value date.
        const QList<pim::Entity> events = c.entities.value(pim::ENTITY_EVENT);
        QCOMPARE(events.size(), 2);
        QCOMPARE(events.at(0).values.value(pim::ValueKey::Value).toString(), QString("2000-12-31T01:00:00"));
        QCOMPARE(events.at(0).values.value(pim::ValueKey::SubType).toInt(), int(pim::EVENT_BIRTHDAY));
        QCOMPARE(events.at(1).values.value(pim::ValueKey::Value).toString(), QString("2001-01-01T01:00:00"));
        QCOMPARE(events.at(1).values.value(pim::ValueKey::SubType).toInt(), int(pim::EVENT_ANNIVERSARY));
    }

    void noBirthdayNoPhoto()
    {
        const pim::_Contact &c = contact(3);
        QVERIFY(!c.entities.contains(pim::ENTITY_EVENT));
        QVERIFY(!c.entities.contains(pim::ENTITY_PHOTO));
    }

    void labels_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("subType");
        QTest::addColumn<QString>("label"); // "-" for no label column

        QTest::newRow("predefined phone label") << int(pim::ENTITY_PHONE) << 0 << "+49 1" << 3 << "-";
        QTest::newRow("typed label") << int(pim::ENTITY_PHONE) << 1 << "+49 2" << 0 << "Boat";
        QTest::newRow("Other without label") << int(pim::ENTITY_PHONE) << 2 << "+49 3" << 0 << "-";
        QTest::newRow("e-mail home") << int(pim::ENTITY_EMAIL) << 0 << "anna@example.com" << 1 << "-";
        QTest::newRow("URL Home is 4") << int(pim::ENTITY_URL) << 0 << "http://home" << 4 << "-";
        QTest::newRow("URL HomePage") << int(pim::ENTITY_URL) << 1 << "http://page" << 1 << "-";
        QTest::newRow("related Mother") << int(pim::ENTITY_REL) << 0 << "Eva" << 8 << "-";
    }
    void labels()
    {
        QFETCH(int, type);
        QFETCH(int, index);
        QFETCH(QString, value);
        QFETCH(int, subType);
        QFETCH(QString, label);
        const pim::Entity e = contact(2).entities.value(type).value(index);
        QCOMPARE(e.values.value(pim::ValueKey::Value).toString(), value);
        QCOMPARE(e.values.value(pim::ValueKey::SubType).toInt(), subType);
        if (label == "-")
            QVERIFY(!e.values.contains(pim::ValueKey::Label));
        else
            QCOMPARE(e.values.value(pim::ValueKey::Label).toString(), label);
    }

    void skippedEntries()
    {
        const pim::_Contact &c = contact(2);
        // Unlabelled phone, codes 7 and 24: nothing.
        QCOMPARE(c.entities.value(pim::ENTITY_PHONE).size(), 3);
        QCOMPARE(c.entities.keys(),
                 (QList<int>{pim::ENTITY_NAME, pim::ENTITY_PHOTO, pim::ENTITY_PHONE, pim::ENTITY_EMAIL,
                             pim::ENTITY_NICKNAME, pim::ENTITY_EVENT, pim::ENTITY_IM, pim::ENTITY_NOTE,
                             pim::ENTITY_ORG, pim::ENTITY_REL, pim::ENTITY_ADDR, pim::ENTITY_URL}));
    }

    void addresses()
    {
        const QList<pim::Entity> addrs = contact(2).entities.value(pim::ENTITY_ADDR);
        QCOMPARE(addrs.size(), 3);
        const pim::Entity &full = addrs.at(0);
        QCOMPARE(full.values.value(pim::AddrKey::SubType).toInt(), int(pim::ADDR_WORK));
        QCOMPARE(full.values.value(pim::AddrKey::Street).toString(), QString("Main St 1"));
        QCOMPARE(full.values.value(pim::AddrKey::City).toString(), QString("Berlin"));
        QCOMPARE(full.values.value(pim::AddrKey::State).toString(), QString("BE"));
        QCOMPARE(full.values.value(pim::AddrKey::Postcode).toString(), QString("10115"));
        QCOMPARE(full.values.value(pim::AddrKey::Country).toString(), QString("Germany"));
        QVERIFY(!full.values.contains(pim::AddrKey::CountryCode));
        QCOMPARE(full.values.value(pim::AddrKey::Formatted).toString(),
                 QString("Main St 1\nBerlin, BE 10115\nGermany"));

        const pim::Entity &zipOnly = addrs.at(1);
        QCOMPARE(zipOnly.values.value(pim::AddrKey::Postcode).toString(), QString("12345"));
        QVERIFY(zipOnly.values.contains(pim::AddrKey::Formatted));
        QCOMPARE(zipOnly.values.value(pim::AddrKey::Formatted).toString(), QString(""));

        const pim::Entity &none = addrs.at(2);
        QCOMPARE(none.values.keys(), QStringList{pim::AddrKey::SubType});
    }

    void messaging()
    {
        const QList<pim::Entity> ims = contact(2).entities.value(pim::ENTITY_IM);
        QCOMPARE(ims.size(), 4);
        QCOMPARE(ims.at(0).values.value(pim::ImKey::Protocol).toInt(), int(pim::IM_PROTOCOL_SKYPE));
        QCOMPARE(ims.at(0).values.value(pim::ImKey::Account).toString(), QString("anna.skype"));
        QCOMPARE(ims.at(0).values.value(pim::ImKey::SubType).toInt(), int(pim::IM_HOME));
        // Service names match exactly, case and blanks included.
        QVERIFY(!ims.at(1).values.contains(pim::ImKey::Protocol));
        QCOMPARE(ims.at(1).values.value(pim::ImKey::Account).toString(), QString("lower"));
        QCOMPARE(ims.at(1).values.value(pim::ImKey::Label).toString(), QString("Gaming"));
        QVERIFY(!ims.at(2).values.contains(pim::ImKey::Protocol));
        QVERIFY(!ims.at(2).values.contains(pim::ImKey::Account));
        QCOMPARE(ims.at(3).values.value(pim::ImKey::Protocol).toInt(), int(pim::IM_PROTOCOL_GOOGLE_TALK));
        for (const pim::Entity &im : ims)
            QVERIFY(!im.values.contains(pim::ImKey::CustomProtocol));
    }
};

TARNWICK_TEST_MAIN(TestAddressBookMapper)
#include "tst_addressbookmapper.moc"
