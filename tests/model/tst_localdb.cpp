#include "EntityFixtures.h"
#include "ExceptionText.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "model/UnloadedPhoto.h"
#include "platform/sqlite/Sqlite3Cursor.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>

#include <functional>

using pim::_Contact;
using pim::Entity;
using Values = QMap<QString, QVariant>;
using tarnwick::test::entity;
using tarnwick::test::whatOf;

class LocalDbTest : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private:
    static _Contact addContact(LocalDb &db, const QString &name,
                               const QMap<int, QList<Entity>> &entities = {})
    {
        _Contact c(0, QString(), name);
        db.insertContactBase(c);
        for (auto it = entities.constBegin(); it != entities.constEnd(); ++it) {
            for (Entity e : it.value()) {
                db.insertEntity(c.id, it.key(), e);
                c.entities[it.key()].append(e);
            }
        }
        return c;
    }

    static _Contact named(LocalDb &db, const QString &name)
    {
        return addContact(db, name, {{pim::ENTITY_NAME, {entity({{"data1", name}, {"data2", name}})}}});
    }

    // Every row of both tables as text, in row order.
    static QString rowsText(LocalDb &db)
    {
        QStringList rows;
        Sqlite3Cursor c =
            db.db.queryThrow(Sqlite3Sql("select _id,src_id,full_name from contact order by _id"));
        while (c.moveNext())
            rows << QStringLiteral("c %1|%2|%3")
                        .arg(c.getInt64(0))
                        .arg(c.getText("src_id"), c.getText("full_name"));
        Sqlite3Cursor d =
            db.db.queryThrow(Sqlite3Sql("select _id,type,contact_id,src_id,data1 from data order by _id"));
        while (d.moveNext())
            rows << QStringLiteral("d %1|%2|%3|%4|%5")
                        .arg(d.getInt64(0))
                        .arg(d.getInt64(1))
                        .arg(d.getInt64(2))
                        .arg(d.getText("src_id"), d.getText("data1"));
        return rows.join(QLatin1Char('\n'));
    }

    static QStringList names(const QList<_Contact> &list)
    {
        QStringList out;
        for (const _Contact &c : list)
            out << c.fullName;
        return out;
    }

private slots:
    // ---- The file and its connection ---------------------------------------------------------

    void objectWithoutFileFailsOnFirstUseUntilCreated()
    {
        const QString path = newPath();
        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QVERIFY(!QFile::exists(path));
        QVERIFY(!db.db.isOpen());
        const QString error = whatOf([&] { db.contacts(0, QString()); });
        QVERIFY2(error.contains(path), qPrintable(error));
        QVERIFY(!QFile::exists(path)); // opening never creates

        db.create();
        QVERIFY(!db.db.isOpen()); // create leaves the connection alone
        QVERIFY(db.contacts(0, QString()).isEmpty());
        QVERIFY(db.db.isOpen());
    }

    void createReplacesAFilledDatabaseWithMode0600()
    {
        auto db = freshDb();
        named(*db, "Ann");
        QCOMPARE(db->contacts(0, QString()).size(), 1);
        QFile::setPermissions(db->path, QFile::ReadUser | QFile::WriteUser | QFile::ReadOther);
        db->create();
        QCOMPARE(QFile::permissions(db->path) & 0x0777, QFile::ReadUser | QFile::WriteUser);
        QVERIFY(db->contacts(0, QString()).isEmpty());
        QCOMPARE(count(*db, "select count(*) from contact"), 0);
    }

    void createReportsTheFileError()
    {
        LocalDb db(filePath("no/such/folder/x.db"),
                   QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QVERIFY(!whatOf([&] { db.create(); }).isEmpty());
    }

    void createDropsTheJournalOfTheOldFile()
    {
        // A run that ended inside a write transaction leaves the database with its hot journal;
        // copying both while a transaction is open gives that state without a crash.
        auto source = freshDb();
        source->beginEdit();
        for (int i = 0; i < 200; ++i)
            named(*source, QStringLiteral("Committed %1").arg(i));
        source->endEdit(true);
        source->db.executeThrow("pragma synchronous=off");
        source->beginEdit();
        for (int i = 0; i < 200; ++i)
            named(*source, QStringLiteral("Pending %1").arg(i));
        source->removeContact(1);
        const QString journal = source->path + QLatin1String("-journal");
        QVERIFY(QFile::exists(journal));

        const QString path = newPath();
        QVERIFY(QFile::copy(source->path, path));
        QVERIFY(QFile::copy(journal, path + QLatin1String("-journal")));
        source->endEdit(false);

        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        db.create();
        QVERIFY(!QFile::exists(path + QLatin1String("-journal")));
        QVERIFY(db.contacts(0, QString()).isEmpty());
        QCOMPARE(count(db, "select count(*) from contact"), 0);
        Sqlite3Cursor check = db.db.queryThrow("pragma integrity_check");
        QVERIFY(check.moveNext());
        QCOMPARE(check.getText(0), QStringLiteral("ok"));
    }

    void everyOperationFailsOnAFileWithoutTheSchema_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty database") << QByteArray();
        QTest::newRow("not a database") << QByteArray(4096, 'x');
    }

    void everyOperationFailsOnAFileWithoutTheSchema()
    {
        QFETCH(QByteArray, content);
        const QString path = newPath();
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        _Contact c(0, QString(), QStringLiteral("Ann"));
        Entity e = entity({{"data1", "1"}});
        const QList<std::pair<const char *, std::function<void()>>> calls{
            {"contacts", [&] { db.contacts(0, QString()); }},
            {"contacts by group and text", [&] { db.contacts(1, QStringLiteral("a")); }},
            {"contact", [&] { db.contact(1); }},
            {"isContactBaseExist", [&] { db.isContactBaseExist(QStringLiteral("Ann")); }},
            {"insertContactBase", [&] { db.insertContactBase(c); }},
            {"insertEntity", [&] { db.insertEntity(1, pim::ENTITY_PHONE, e); }},
            {"updateEntity", [&] { db.updateEntity(pim::ENTITY_PHONE, e); }},
            {"updateContactBase", [&] { db.updateContactBase(c); }},
            {"removeContact", [&] { db.removeContact(1); }},
            {"groups", [&] { db.groups(); }},
            {"getGroupIdOrAdd", [&] { db.getGroupIdOrAdd(QStringLiteral("G")); }},
            {"removeGroupOnly", [&] { db.removeGroupOnly(1); }},
            {"combineContact",
             [&] {
                 _Contact out;
                 bool existed = false;
                 db.combineContact(c, out, existed);
             }},
        };
        for (const auto &[name, call] : calls)
            QVERIFY2(!whatOf(call).isEmpty(), name);
        QCOMPARE(c.id, 0ull);
        QCOMPARE(e.id, 0ull);
    }

    void rowIdsStartAtOneAndAreNeverReused()
    {
        auto db = freshDb();
        _Contact c = named(*db, "Ann");
        QCOMPARE(c.id, 1ull);
        QCOMPARE(c.entities[pim::ENTITY_NAME].first().id, 1ull);
        QCOMPARE(db->getGroupIdOrAdd("g"), 1ull);
        db->removeContact(c.id);
        db->removeGroupOnly(1);
        _Contact d = named(*db, "Bob");
        QCOMPARE(d.id, 2ull);
        QCOMPARE(d.entities[pim::ENTITY_NAME].first().id, 2ull);
        QCOMPARE(db->getGroupIdOrAdd("g"), 2ull);
    }

    void editBracketDecidesWhatIsStored()
    {
        auto db = freshDb();
        db->endEdit(false); // nothing open: no effect
        db->endEdit(true);

        db->beginEdit();
        named(*db, "Kept");
        db->endEdit(true);
        db->endEdit(false); // after the commit: no effect

        db->beginEdit();
        named(*db, "Dropped");
        db->endEdit(false);

        named(*db, "Outside"); // commits by itself

        LocalDb other(db->path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        QCOMPARE(names(other.contacts(0, QString())), (QStringList{"Kept", "Outside"}));
    }

    void closeAndReopen()
    {
        auto db = freshDb();
        db->close(); // closed already
        named(*db, "Ann");
        db->beginEdit();
        named(*db, "Lost");
        db->close(); // with a bracket open: rolled back
        QVERIFY(!db->db.isOpen());
        db->endEdit(false); // reopens, nothing to end
        QCOMPARE(names(db->contacts(0, QString())), QStringList{"Ann"});
    }

    void removeDbClosesAndDeletes()
    {
        auto db = freshDb();
        named(*db, "Ann");
        QVERIFY(db->db.isOpen());
        QVERIFY(db->removeDB());
        QVERIFY(!db->db.isOpen());
        QVERIFY(!QFile::exists(db->path));
        QVERIFY(!db->removeDB());
        QVERIFY(!whatOf([&] { db->contacts(0, QString()); }).isEmpty());
    }

    void dbDirIsMadeAgainWhenDeleted()
    {
        const QDir dir = LocalDb::dbDir();
        QVERIFY(dir.exists());
        QCOMPARE(dir.dirName(), QStringLiteral("data"));
        QVERIFY(dir.absolutePath().startsWith(QDir::homePath()));
        QVERIFY(QDir(dir.absolutePath()).removeRecursively());
        QVERIFY(LocalDb::dbDir().exists());
    }

    // ---- Entity rows ---------------------------------------------------------------------------

    void entityRoundTrip_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<Values>("given");
        QTest::addColumn<Values>("expected");

        const QByteArray png("\x89PNG\r\n\x1a\n\x00\x01", 10);
        Values name{{"data1", "Dr Ann B Lee"}, {"data2", "Ann"}, {"data3", "Lee"}, {"data4", "B"},
                    {"data5", "Dr"},           {"data6", "Jr"},  {"data7", "an"},  {"data8", "li"}};
        QTest::newRow("name") << int(pim::ENTITY_NAME) << name << name;
        QTest::newRow("photo hash written from the bytes")
            << int(pim::ENTITY_PHOTO) << Values{{"data15", png}, {"data4", "stale"}}
            << Values{{"data15", png}, {"data4", Entity::photoHash(png)}};
        QTest::newRow("photo without bytes")
            << int(pim::ENTITY_PHOTO) << Values{}
            << Values{{"data15", QByteArray()}, {"data4", Entity::photoHash(QByteArray())}};
        QTest::newRow("phone with number only") << int(pim::ENTITY_PHONE) << Values{{"data1", "+44 1"}}
                                                << Values{{"data1", "+44 1"}, {"data2", ""}, {"data3", ""}};
        QTest::newRow("e-mail with sub-type as a number")
            << int(pim::ENTITY_EMAIL) << Values{{"data1", "a@b.c"}, {"data2", 2}, {"data3", "x"}}
            << Values{{"data1", "a@b.c"}, {"data2", "2"}, {"data3", "x"}};
        QTest::newRow("nickname") << int(pim::ENTITY_NICKNAME) << Values{{"data1", "Nan"}, {"data2", "1"}}
                                  << Values{{"data1", "Nan"}, {"data2", "1"}, {"data3", ""}};
        QTest::newRow("event date-time as ISO text without milliseconds")
            << int(pim::ENTITY_EVENT)
            << Values{{"data1", QDateTime(QDate(1990, 5, 17), QTime(10, 11, 12, 345), Qt::UTC)}, {"data2", 3}}
            << Values{{"data1", "1990-05-17T10:11:12Z"}, {"data2", "3"}, {"data3", ""}};
        QTest::newRow("event date") << int(pim::ENTITY_EVENT) << Values{{"data1", QDate(2001, 2, 3)}}
                                    << Values{{"data1", "2001-02-03"}, {"data2", ""}, {"data3", ""}};
        QTest::newRow("group id as a 64-bit number")
            << int(pim::ENTITY_GROUP)
            << Values{{"data1", QVariant::fromValue<qulonglong>(12)}, {"data2", "Work"}}
            << Values{{"data1", "12"}, {"data2", "Work"}};
        QTest::newRow("messaging skips data4")
            << int(pim::ENTITY_IM) << Values{{"data1", "acc"},  {"data2", "1"}, {"data3", "l"},
                                             {"data4", "gone"}, {"data5", "4"}, {"data6", "p"}}
            << Values{{"data1", "acc"}, {"data2", "1"}, {"data3", "l"}, {"data5", "4"}, {"data6", "p"}};
        QTest::newRow("note") << int(pim::ENTITY_NOTE) << Values{{"data1", "line 1\nline 2"}, {"data2", "x"}}
                              << Values{{"data1", "line 1\nline 2"}};
        Values org{{"data1", "Co"},  {"data2", "1"}, {"data3", "l"}, {"data4", "Boss"},
                   {"data5", "R&D"}, {"data6", "6"}, {"data7", "7"}, {"data9", "9"}};
        Values orgGiven = org;
        orgGiven.insert("data8", "gone");
        QTest::newRow("organisation skips data8") << int(pim::ENTITY_ORG) << orgGiven << org;
        QTest::newRow("relation") << int(pim::ENTITY_REL)
                                  << Values{{"data1", "Bo"}, {"data2", "2"}, {"data3", ""}}
                                  << Values{{"data1", "Bo"}, {"data2", "2"}, {"data3", ""}};
        // The update writes back what was read: a country code left unread would be wiped.
        QTest::newRow("address keeps its country code through an update")
            << int(pim::ENTITY_ADDR)
            << Values{{"data1", "1 St\nTown"}, {"data2", "1"},     {"data4", "1 St"}, {"data7", "Town"},
                      {"data9", "99"},         {"data10", "Land"}, {"data11", "LD"}}
            << Values{{"data1", "1 St\nTown"}, {"data2", "1"},     {"data3", ""},     {"data4", "1 St"},
                      {"data5", ""},           {"data6", ""},      {"data7", "Town"}, {"data8", ""},
                      {"data9", "99"},         {"data10", "Land"}, {"data11", "LD"}};
        QTest::newRow("website") << int(pim::ENTITY_URL) << Values{{"data1", "http://x"}, {"data2", "1"}}
                                 << Values{{"data1", "http://x"}, {"data2", "1"}, {"data3", ""}};
    }

    void entityRoundTrip()
    {
        QFETCH(int, type);
        QFETCH(Values, given);
        QFETCH(Values, expected);
        auto db = freshDb();
        _Contact c(0, "csrc", "Ann");
        db->insertContactBase(c);
        Entity e = entity(given, "esrc");
        db->insertEntity(c.id, type, e);
        QVERIFY(e.id != 0);

        const _Contact stored = db->contact(c.id);
        QCOMPARE(stored.srcId, QStringLiteral("csrc"));
        QCOMPARE(stored.entities.value(type).size(), 1);
        const Entity back = stored.entities.value(type).first();
        QCOMPARE(back.id, e.id);
        QCOMPARE(back.srcId, QStringLiteral("esrc"));
        QCOMPARE(back.values, expected);
        for (const QVariant &v : back.values)
            QVERIFY(v.typeId() == QMetaType::QString || v.typeId() == QMetaType::QByteArray);

        // The list reads the same entry.
        const QList<_Contact> listed = db->contacts(0, QString());
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed.first().srcId, QStringLiteral("csrc"));
        QCOMPARE(listed.first().entities.value(type).first().values, expected);

        // An update writes the same layout.
        Entity changed = back;
        changed.srcId = "new";
        db->updateEntity(type, changed);
        QCOMPARE(db->contact(c.id).entities.value(type).first().values, expected);
        QCOMPARE(db->contact(c.id).entities.value(type).first().srcId, QStringLiteral("new"));
    }

    void unknownEntityTypeIsRefused_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("0") << 0;
        QTest::newRow("14") << 14;
        QTest::newRow("-1") << -1;
    }

    void unknownEntityTypeIsRefused()
    {
        QFETCH(int, type);
        auto db = freshDb();
        _Contact c = named(*db, "Ann");
        Entity e = entity({{"data1", "x"}});
        e.id = 77;
        const QString error = whatOf([&] { db->insertEntity(c.id, type, e); });
        QVERIFY2(error.contains(QString::number(type)), qPrintable(error));
        QCOMPARE(e.id, 77ull);
        QCOMPARE(count(*db, "select count(*) from data"), 1);

        Entity stored = c.entities[pim::ENTITY_NAME].first();
        QVERIFY(!whatOf([&] { db->updateEntity(type, stored); }).isEmpty());
        QCOMPARE(db->contact(c.id).entities.value(pim::ENTITY_NAME).first().values.value("data1"),
                 QVariant(QStringLiteral("Ann")));

        // A row of such a type (written by someone else) reads back without values.
        db->db.executeThrow(Sqlite3Sql("insert into data(contact_id,type,data1) values(?,?,'v')")
                                .addInt64Param(qint64(c.id))
                                .addIntParam(type));
        const _Contact back = db->contact(c.id);
        QCOMPARE(back.entities.value(type).size(), 1);
        QVERIFY(back.entities.value(type).first().values.isEmpty());
    }

    void entryOfAMissingContactIsStillWritten()
    {
        auto db = freshDb();
        Entity e = entity({{"data1", "1"}});
        db->insertEntity(0, pim::ENTITY_PHONE, e);
        Entity f = entity({{"data1", "2"}});
        db->insertEntity(0, pim::ENTITY_PHONE, f);
        QVERIFY(e.id > 0 && f.id > e.id);
        QCOMPARE(count(*db, "select count(*) from data where contact_id=0"), 2);
    }

    // ---- Reading -----------------------------------------------------------------------------

    void listIsSortedByCodeUnit()
    {
        auto db = freshDb();
        for (const QString &n : {QStringLiteral("b"), QStringLiteral("Ba"), QStringLiteral("ä"),
                                 QStringLiteral("B"), QString(), QStringLiteral("a"), QStringLiteral("1")})
            addContact(*db, n, {{pim::ENTITY_NOTE, {entity({{"data1", "n"}})}}});
        QCOMPARE(names(db->contacts(0, QString())), (QStringList{"", "1", "B", "Ba", "a", "b", "ä"}));
    }

    void contactWithoutEntriesIsFoundButNotListed()
    {
        auto db = freshDb();
        _Contact bare(0, "s", "Bare");
        db->insertContactBase(bare);
        QVERIFY(db->contacts(0, QString()).isEmpty());
        QVERIFY(db->contacts(0, "Bare").isEmpty());
        const _Contact read = db->contact(bare.id);
        QCOMPARE(read.id, bare.id);
        QCOMPARE(read.fullName, QStringLiteral("Bare"));
        QVERIFY(read.entities.isEmpty());
        QCOMPARE(db->isContactBaseExist("bare"), bare.id);
    }

    void missingContactReadsAsDefault()
    {
        auto db = freshDb();
        Entity orphan = entity({{"data1", "1"}});
        db->insertEntity(5, pim::ENTITY_PHONE, orphan);
        const _Contact c = db->contact(5);
        QCOMPARE(c.id, 0ull);
        QVERIFY(c.fullName.isEmpty());
        QVERIFY(c.entities.isEmpty());
    }

    void entriesKeepTheirStoredOrder()
    {
        auto db = freshDb();
        const _Contact c =
            addContact(*db, "Ann",
                       {{pim::ENTITY_PHONE,
                         {entity({{"data1", "3"}}), entity({{"data1", "1"}}), entity({{"data1", "2"}})}},
                        {pim::ENTITY_NOTE, {entity({{"data1", "n"}})}}});
        auto numbers = [](const _Contact &x) {
            QStringList out;
            for (const Entity &e : x.entities.value(pim::ENTITY_PHONE))
                out << e.values.value("data1").toString();
            return out;
        };
        QCOMPARE(numbers(db->contact(c.id)), (QStringList{"3", "1", "2"}));
        QCOMPARE(numbers(db->contacts(0, QString()).first()), (QStringList{"3", "1", "2"}));
    }

    void searchAndGroupFilter_data()
    {
        QTest::addColumn<quint64>("group");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        // Ann: name, phone 555-0100, member of group 12; Bob: e-mail BOB@X.ORG, photo, member of 1;
        // Cy: note "Met at 12 Oak", member of "012"; Dee: an empty note only.
        QTest::newRow("everything") << quint64(0) << QString() << QStringList{"Ann", "Bob", "Cy", "Dee"};
        QTest::newRow("phone digits") << quint64(0) << "0100" << QStringList{"Ann"};
        QTest::newRow("lower case finds upper") << quint64(0) << "bob@x" << QStringList{"Bob"};
        QTest::newRow("name entry") << quint64(0) << "ann" << QStringList{"Ann"};
        QTest::newRow("group ids and photos are not searched") << quint64(0) << "12" << QStringList{"Cy"};
        QTest::newRow("percent lists entries other than groups and photos")
            << quint64(0) << "%" << QStringList{"Ann", "Bob", "Cy", "Dee"};
        QTest::newRow("underscore needs a non-empty value")
            << quint64(0) << "_" << QStringList{"Ann", "Bob", "Cy"};
        QTest::newRow("accented letter only in its own case") << quint64(0) << "É" << QStringList{};
        QTest::newRow("group by exact id text") << quint64(12) << QString() << QStringList{"Ann"};
        QTest::newRow("group nobody is in") << quint64(99) << QString() << QStringList{};
        QTest::newRow("group and search together") << quint64(12) << "555" << QStringList{"Ann"};
        QTest::newRow("group and search excluding") << quint64(1) << "555" << QStringList{};
    }

    void searchAndGroupFilter()
    {
        QFETCH(quint64, group);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        auto db = freshDb();
        addContact(*db, "Ann",
                   {{pim::ENTITY_NAME, {entity({{"data1", "Ann"}})}},
                    {pim::ENTITY_PHONE, {entity({{"data1", "555-0100"}})}},
                    {pim::ENTITY_GROUP, {entity({{"data1", "12"}, {"data2", "G"}})}}});
        addContact(*db, "Bob",
                   {{pim::ENTITY_EMAIL, {entity({{"data1", "BOB@X.ORG"}})}},
                    {pim::ENTITY_PHOTO, {entity({{"data15", QByteArray("12")}})}},
                    {pim::ENTITY_GROUP, {entity({{"data1", "1"}, {"data2", "H"}})}}});
        addContact(*db, "Cy",
                   {{pim::ENTITY_NOTE, {entity({{"data1", "Met at 12 Oak, é"}})}},
                    {pim::ENTITY_GROUP, {entity({{"data1", "012"}})}}});
        addContact(*db, "Dee", {{pim::ENTITY_NOTE, {entity({{"data1", ""}})}}});

        const QList<_Contact> listed = db->contacts(group, search);
        QCOMPARE(names(listed), expected);
        // Each listed contact comes whole, whichever entry matched.
        for (const _Contact &c : listed)
            QCOMPARE(c.entities.size(), db->contact(c.id).entities.size());
    }

    // A list holds each photo as its entry without the bytes; the rest of every contact is whole.
    void listReadLeavesPhotoBytesInTheFile_data()
    {
        QTest::addColumn<quint64>("group");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("everything") << quint64(0) << QString() << QStringList{"Ann", "Bob", "Cy"};
        QTest::newRow("search") << quint64(0) << "555" << QStringList{"Ann"};
        QTest::newRow("group") << quint64(7) << QString() << QStringList{"Ann", "Cy"};
    }

    void listReadLeavesPhotoBytesInTheFile()
    {
        QFETCH(quint64, group);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        auto db = freshDb();
        const QByteArray first(20000, '\x01');
        const QByteArray second("\xff\xd8 second");
        const Entity member = entity({{"data1", "7"}, {"data2", "G"}});
        addContact(*db, "Ann",
                   {{pim::ENTITY_PHONE, {entity({{"data1", "555"}})}},
                    {pim::ENTITY_PHOTO, {entity({{"data15", first}}, "p1"), entity({{"data15", second}})}},
                    {pim::ENTITY_GROUP, {member}}});
        addContact(*db, "Bob", {{pim::ENTITY_NOTE, {entity({{"data1", "n"}})}}});
        addContact(
            *db, "Cy",
            {{pim::ENTITY_PHOTO, {entity({{"data15", QByteArray()}})}}, {pim::ENTITY_GROUP, {member}}});

        const QList<_Contact> light = db->contactsWithoutPhotoBytes(group, search);
        const QList<_Contact> whole = db->contacts(group, search);
        QCOMPARE(names(light), expected);
        QCOMPARE(names(whole), expected);
        int photos = 0;
        for (qsizetype i = 0; i < light.size(); ++i) {
            QCOMPARE(light[i].id, whole[i].id);
            QCOMPARE(light[i].entities.keys(), whole[i].entities.keys());
            for (auto it = whole[i].entities.constBegin(); it != whole[i].entities.constEnd(); ++it) {
                const QList<Entity> &lightEntries = light[i].entities.value(it.key());
                QCOMPARE(lightEntries.size(), it.value().size());
                for (qsizetype j = 0; j < lightEntries.size(); ++j) {
                    const Entity &l = lightEntries[j];
                    Values expectedValues = it.value()[j].values;
                    if (it.key() == pim::ENTITY_PHOTO) {
                        ++photos;
                        // Even a photo of no bytes is a stored photo: its bytes are left unread too.
                        QVERIFY(pim::UnloadedPhoto::isIn(l));
                        QVERIFY(l.values.value("data15").toByteArray().isEmpty());
                        QCOMPARE(l.values.value("data4").toString(),
                                 Entity::photoHash(it.value()[j].values.value("data15").toByteArray()));
                        expectedValues.insert("data15", pim::UnloadedPhoto::value());
                    }
                    QCOMPARE(l.id, it.value()[j].id);
                    QCOMPARE(l.srcId, it.value()[j].srcId);
                    QCOMPARE(l.values, expectedValues);
                }
            }
        }
        QCOMPARE(photos, expected.contains("Cy") ? 3 : (expected.contains("Ann") ? 2 : 0));
        QVERIFY(!pim::UnloadedPhoto::isIn(whole.value(0)));
    }

    // The whole contacts behind a list's rows, bytes included, in the rows' order.
    void contactsOfGivenIds_data()
    {
        QTest::addColumn<QList<int>>("picks"); // positions among the stored contacts; -1: no contact
        QTest::addColumn<int>("stored");
        QTest::newRow("rows' order, not the ids'") << QList<int>{2, 0} << 3;
        QTest::newRow("an id of no contact is left out") << QList<int>{1, -1, 0} << 3;
        QTest::newRow("none") << QList<int>{} << 3;
        QTest::newRow("more ids than one statement binds") << QList<int>{1100, 3, 0, 1199, 640} << 1200;
    }

    void contactsOfGivenIds()
    {
        QFETCH(QList<int>, picks);
        QFETCH(int, stored);
        auto db = freshDb();
        QList<_Contact> made;
        {
            LocalDb::EditScope edit(*db);
            for (int n = 0; n < stored; ++n) {
                const QByteArray bytes = QByteArray::number(n).repeated(50 + n % 7);
                made << addContact(*db, QStringLiteral("P%1").arg(n),
                                   {{pim::ENTITY_NAME, {entity({{"data1", QStringLiteral("P%1").arg(n)}})}},
                                    {pim::ENTITY_PHOTO, {entity({{"data15", bytes}})}}});
            }
            edit.commit();
        }
        QList<unsigned long long> ids;
        QStringList expected;
        for (int pick : picks) {
            ids << (pick < 0 ? 999999ull : made[pick].id);
            if (pick >= 0)
                expected << made[pick].fullName;
        }

        const QList<_Contact> read = db->contactsOf(ids);
        QCOMPARE(names(read), expected);
        for (const _Contact &c : read) {
            const _Contact one = db->contact(c.id);
            QCOMPARE(c.entities.keys(), one.entities.keys());
            const Entity &photo = c.entities.value(pim::ENTITY_PHOTO).value(0);
            QCOMPARE(photo.values.value("data15").toByteArray(),
                     one.entities.value(pim::ENTITY_PHOTO).value(0).values.value("data15").toByteArray());
            QCOMPARE(photo.values.value("data15").toByteArray(), made[c.fullName.mid(1).toInt()]
                                                                     .entities.value(pim::ENTITY_PHOTO)
                                                                     .value(0)
                                                                     .values.value("data15")
                                                                     .toByteArray());
        }
    }

    void photoBytesOfOneEntry()
    {
        auto db = freshDb();
        const QByteArray bytes("\x89PNG\r\n\x1a\n\x00 bytes", 14);
        const _Contact ann = addContact(*db, "Ann",
                                        {{pim::ENTITY_PHOTO, {entity({{"data15", bytes}})}},
                                         {pim::ENTITY_PHONE, {entity({{"data1", "555"}})}}});
        QCOMPARE(db->photoBytes(ann.entities[pim::ENTITY_PHOTO].first().id), bytes);
        // A row of another type, or none, holds no photo.
        const QString error = whatOf([&] { db->photoBytes(ann.entities[pim::ENTITY_PHONE].first().id); });
        QVERIFY2(error.contains(db->path), qPrintable(error));
        QVERIFY(!whatOf([&] { db->photoBytes(12345); }).isEmpty());
    }

    // Stored, a photo read without its bytes would replace the photo by nothing.
    void photoWithoutItsBytesIsNeverStored_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("update of the entry") << "update";
        QTest::newRow("new entry") << "insert";
        QTest::newRow("merge into another database") << "merge";
    }

    void photoWithoutItsBytesIsNeverStored()
    {
        QFETCH(QString, how);
        auto db = freshDb();
        const QByteArray bytes(3000, 'j');
        addContact(*db, "Ann",
                   {{pim::ENTITY_NAME, {entity({{"data1", "Ann"}})}},
                    {pim::ENTITY_PHOTO, {entity({{"data15", bytes}})}}});
        const _Contact light = db->contactsWithoutPhotoBytes(0, QString()).first();
        Entity photo = light.entities.value(pim::ENTITY_PHOTO).first();
        auto other = freshDb();

        QString error;
        if (how == "update") {
            error = whatOf([&] { db->updateEntity(pim::ENTITY_PHOTO, photo); });
        } else if (how == "insert") {
            error = whatOf([&] { db->insertEntity(light.id, pim::ENTITY_PHOTO, photo); });
        } else {
            _Contact out;
            bool existed = false;
            error = whatOf([&] { other->combineContact(light, out, existed); });
        }
        QVERIFY2(error.contains("without its bytes"), qPrintable(error));
        const QList<_Contact> after = db->contacts(0, QString());
        QCOMPARE(after.size(), 1);
        QCOMPARE(after.first().entities.value(pim::ENTITY_PHOTO).size(), 1);
        QCOMPARE(after.first().entities.value(pim::ENTITY_PHOTO).first().values.value("data15").toByteArray(),
                 bytes);
        QVERIFY(other->contacts(0, QString()).isEmpty());
    }

    void duplicateLookUp_data()
    {
        QTest::addColumn<bool>("inBracket");
        QTest::newRow("outside a bracket") << false;
        QTest::newRow("inside a bracket") << true;
    }

    void duplicateLookUp()
    {
        QFETCH(bool, inBracket);
        auto db = freshDb();
        const _Contact mixed = named(*db, "Ann Lee");
        const _Contact second = named(*db, "ANN LEE");
        const _Contact wild = named(*db, "a%b_c\\d");
        const _Contact umlaut = named(*db, "Ärzte");
        _Contact empty(0, QString(), QString());
        db->insertContactBase(empty);
        db->db.executeThrow("insert into contact(full_name) values(NULL)");

        if (inBracket)
            db->beginEdit();
        QCOMPARE(db->isContactBaseExist("ann lee"), mixed.id);
        QCOMPARE(db->isContactBaseExist("ANN LEE"), mixed.id); // the lowest id
        QCOMPARE(db->isContactBaseExist("Ann"), 0ull);
        QCOMPARE(db->isContactBaseExist("Ann Lee "), 0ull);
        QCOMPARE(db->isContactBaseExist("A%b_C\\D"), wild.id);
        QCOMPARE(db->isContactBaseExist("%"), 0ull);
        QCOMPARE(db->isContactBaseExist("a%b_c%"), 0ull);
        QCOMPARE(db->isContactBaseExist("axbxc\\d"), 0ull);
        QCOMPARE(db->isContactBaseExist("a%b_c\\\\d"), 0ull);
        QCOMPARE(db->isContactBaseExist("ärzte"), 0ull);
        QCOMPARE(db->isContactBaseExist("Ärzte"), umlaut.id);
        QCOMPARE(db->isContactBaseExist(QString()), 0ull);
        QCOMPARE(db->isContactBaseExist(""), 0ull);
        Q_UNUSED(second);
        if (inBracket)
            db->endEdit(true);
    }

    void nameIndexFollowsEveryChangeInsideABracket()
    {
        auto db = freshDb();
        const _Contact ann = named(*db, "Ann");
        db->beginEdit();
        QCOMPARE(db->isContactBaseExist("ann"), ann.id);
        QCOMPARE(db->isContactBaseExist("bob"), 0ull);

        // A write straight on the connection.
        db->db.executeThrow("insert into contact(full_name) values('Bob')");
        const auto bob = static_cast<unsigned long long>(db->db.lastInsertId());
        QCOMPARE(db->isContactBaseExist("BOB"), bob);

        // A rename.
        _Contact renamed = db->contact(ann.id);
        renamed.fullName = "Anna";
        db->updateContactBase(renamed);
        QCOMPARE(db->isContactBaseExist("ann"), 0ull);
        QCOMPARE(db->isContactBaseExist("anna"), ann.id);

        // A removal.
        db->removeContact(bob);
        QCOMPARE(db->isContactBaseExist("bob"), 0ull);

        // A contact added and rolled back at an inner level.
        db->db.beginTran();
        const _Contact cy = named(*db, "Cy");
        QCOMPARE(db->isContactBaseExist("cy"), cy.id);
        db->db.rollbackTran();
        QCOMPARE(db->isContactBaseExist("cy"), 0ull);

        // A removal rolled back at an inner level brings the name back.
        db->db.beginTran();
        db->removeContact(ann.id);
        QCOMPARE(db->isContactBaseExist("anna"), 0ull);
        db->db.rollbackTran();
        QCOMPARE(db->isContactBaseExist("anna"), ann.id);

        // New names through the row writer are seen at once.
        const _Contact dee = named(*db, "Dee");
        QCOMPARE(db->isContactBaseExist("DEE"), dee.id);
        db->endEdit(false);
        QCOMPARE(db->isContactBaseExist("dee"), 0ull);
        QCOMPARE(db->isContactBaseExist("ann"), ann.id);
    }

    // ---- Changing and removing ---------------------------------------------------------------

    void updateRewritesEveryColumnOfTheType()
    {
        auto db = freshDb();
        const _Contact c =
            addContact(*db, "Ann",
                       {{pim::ENTITY_PHONE, {entity({{"data1", "1"}, {"data2", "2"}, {"data3", "l"}})}},
                        {pim::ENTITY_PHOTO, {entity({{"data15", QByteArray("img")}})}},
                        {pim::ENTITY_GROUP, {entity({{"data1", "1"}, {"data2", "G"}})}}});

        Entity phone = c.entities[pim::ENTITY_PHONE].first();
        phone.values = {{"data1", "9"}};
        const Entity before = phone;
        db->updateEntity(pim::ENTITY_PHONE, phone);
        QCOMPARE(phone.values, before.values); // the argument is left alone
        QCOMPARE(db->contact(c.id).entities[pim::ENTITY_PHONE].first().values,
                 (Values{{"data1", "9"}, {"data2", ""}, {"data3", ""}}));

        Entity photo = c.entities[pim::ENTITY_PHOTO].first();
        photo.values = {{"data4", "old"}};
        db->updateEntity(pim::ENTITY_PHOTO, photo);
        QCOMPARE(db->contact(c.id).entities[pim::ENTITY_PHOTO].first().values,
                 (Values{{"data4", Entity::photoHash(QByteArray())}, {"data15", QByteArray()}}));

        Entity group = c.entities[pim::ENTITY_GROUP].first();
        group.values["data1"] = QVariant::fromValue<qulonglong>(42);
        db->updateEntity(pim::ENTITY_GROUP, group);
        QCOMPARE(db->contact(c.id).entities[pim::ENTITY_GROUP].first().values.value("data1"),
                 QVariant(QStringLiteral("42")));

        // No row behind the id: nothing changes, nothing is thrown.
        Entity ghost = entity({{"data1", "x"}});
        db->updateEntity(pim::ENTITY_PHONE, ghost);
        ghost.id = 999;
        db->updateEntity(pim::ENTITY_PHONE, ghost);
        QCOMPARE(count(*db, "select count(*) from data where data1='x'"), 0);
    }

    // Held back, a photo's bytes reach its row with its source id, before any read, at the commit,
    // or never when the edit is rolled back; outside an edit nothing is held back. A row id that a
    // rolled-back level gave out comes again and must not take the bytes of the row it had first.
    void photoBytesHeldBack_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("rowsWithBytes");
        QTest::addColumn<QString>("srcId");
        QTest::newRow("id given") << "id" << 1 << "2/7/7/70";
        QTest::newRow("committed without an id") << "commit" << 1 << "";
        QTest::newRow("read first") << "read" << 1 << "";
        QTest::newRow("rolled back") << "rollback" << 0 << "";
        QTest::newRow("outside an edit") << "outside" << 1 << "";
        QTest::newRow("row id given out again") << "reused" << 1 << "";
    }
    void photoBytesHeldBack()
    {
        QFETCH(QString, action);
        QFETCH(int, rowsWithBytes);
        QFETCH(QString, srcId);
        auto db = freshDb();
        const QByteArray bytes(5000, 'p');
        const QByteArray other(4000, 'q');
        const _Contact ann = named(*db, "Ann");
        const LocalDb::LatePhotoBytes late(*db);
        const QString withBytes = "select count(*) from data where type=2 and length(data15)>0";

        if (action == "outside") {
            Entity photo = entity({{"data15", bytes}});
            db->insertEntity(ann.id, pim::ENTITY_PHOTO, photo);
            QCOMPARE(count(*db, withBytes), 1);
            return;
        }
        db->beginEdit();
        Entity photo = entity({{"data15", bytes}});
        if (action == "reused") {
            db->db.beginTran();
            db->insertEntity(ann.id, pim::ENTITY_PHOTO, photo);
            db->db.rollbackTran();
            Entity phone = entity({{"data1", "555"}});
            db->insertEntity(ann.id, pim::ENTITY_PHONE, phone);
            QCOMPARE(phone.id, photo.id); // the case this row is about
            photo = entity({{"data15", other}});
        }
        db->insertEntity(ann.id, pim::ENTITY_PHOTO, photo);
        QCOMPARE(count(*db, withBytes), 0);
        QCOMPARE(count(*db, "select count(*) from data where type=2 and data4<>''"), 1);

        if (action == "id")
            db->updateEntitySrcId(photo.id, srcId);
        if (action == "read")
            QCOMPARE(db->contact(ann.id).entities.value(pim::ENTITY_PHOTO).value(0).values.value("data15"),
                     QVariant(bytes));
        if (action == "id" || action == "read")
            QCOMPARE(count(*db, withBytes), 1);
        db->endEdit(action != "rollback");

        QCOMPARE(count(*db, withBytes), rowsWithBytes);
        if (rowsWithBytes == 0)
            return;
        const Entity stored = db->contact(ann.id).entities.value(pim::ENTITY_PHOTO).value(0);
        const QByteArray expected = action == "reused" ? other : bytes;
        QCOMPARE(stored.values.value("data15").toByteArray(), expected);
        QCOMPARE(stored.values.value("data4").toString(), Entity::photoHash(expected));
        QCOMPARE(stored.srcId, srcId);
        if (action == "reused")
            QCOMPARE(count(*db, "select count(*) from data where type<>2 and length(data15)>0"), 0);
    }

    void nameEntryAndContactRowChangeSeparately()
    {
        auto db = freshDb();
        const _Contact c = named(*db, "Ann");
        Entity name = c.entities[pim::ENTITY_NAME].first();
        name.values["data1"] = "Anna";
        db->updateEntity(pim::ENTITY_NAME, name);
        QCOMPARE(db->contact(c.id).fullName, QStringLiteral("Ann"));
        _Contact row = c;
        row.fullName = "Anna";
        row.srcId = "s1";
        db->updateContactBase(row);
        QCOMPARE(db->contact(c.id).fullName, QStringLiteral("Anna"));
        QCOMPARE(db->contact(c.id).srcId, QStringLiteral("s1"));

        db->removeEntity(name.id);
        const _Contact after = db->contact(c.id);
        QCOMPARE(after.fullName, QStringLiteral("Anna"));
        QVERIFY(after.entities.value(pim::ENTITY_NAME).isEmpty());
    }

    void sourceIdentifiers()
    {
        auto db = freshDb();
        QList<_Contact> contacts;
        for (int i = 0; i < 4; ++i) {
            _Contact c(0, i < 3 ? "dup" : "other", QString::number(i));
            db->insertContactBase(c);
            Entity e = entity({{"data1", "n"}}, i < 3 ? "edup" : "eother");
            db->insertEntity(c.id, pim::ENTITY_NOTE, e);
            c.entities[pim::ENTITY_NOTE] << e;
            contacts << c;
        }
        db->updateContactBaseSrcId(QStringLiteral("dup"), QStringLiteral("new"));
        db->updateEntitySrcId(QStringLiteral("edup"), QStringLiteral("enew"));
        QCOMPARE(count(*db, "select count(*) from contact where src_id='new'"), 3);
        QCOMPARE(count(*db, "select count(*) from data where src_id='enew'"), 3);
        QCOMPARE(db->contact(contacts[3].id).srcId, QStringLiteral("other"));

        db->updateContactBaseSrcId(contacts[3].id, QStringLiteral("phone-7"));
        db->updateEntitySrcId(contacts[3].entities[pim::ENTITY_NOTE].first().id, QStringLiteral("phone-8"));
        const _Contact read = db->contact(contacts[3].id);
        QCOMPARE(read.srcId, QStringLiteral("phone-7"));
        QCOMPARE(read.entities[pim::ENTITY_NOTE].first().srcId, QStringLiteral("phone-8"));
        QCOMPARE(count(*db, "select count(*) from contact where src_id='new'"), 3);
    }

    void removeContactTakesItsRowsOnly()
    {
        auto db = freshDb();
        const quint64 group = db->getGroupIdOrAdd("G");
        const _Contact ann = named(*db, "Ann");
        const _Contact bob = named(*db, "Bob");
        db->setGroup(ann.id, group, "G");
        db->setGroup(bob.id, group, "G");
        db->removeContact(ann.id);
        QCOMPARE(db->contact(ann.id).id, 0ull);
        QCOMPARE(count(*db, QStringLiteral("select count(*) from data where contact_id=%1").arg(ann.id)), 0);
        QCOMPARE(db->groups().size(), 1);
        QCOMPARE(names(db->contacts(group, QString())), QStringList{"Bob"});
        db->removeContact(12345); // nothing there
    }

    // ---- Groups ------------------------------------------------------------------------------

    void groupNamesMatchExactlyButForAsciiCase()
    {
        auto db = freshDb();
        db->open_check();
        const quint64 friends = db->getGroupIdOrAdd("Friends");
        QCOMPARE(db->getGroupIdOrAdd("friends"), friends);
        QCOMPARE(db->getGroupIdOrAdd("FRIENDS"), friends);

        const quint64 arzte = db->getGroupIdOrAdd("Ärzte");
        const quint64 lower = db->getGroupIdOrAdd("ärzte");
        QVERIFY(lower != arzte);

        const quint64 percent = db->getGroupIdOrAdd("100%");
        QVERIFY(db->getGroupIdOrAdd("100x") != percent);
        const quint64 underscore = db->getGroupIdOrAdd("A_B");
        QVERIFY(db->getGroupIdOrAdd("AxB") != underscore);
        QCOMPARE(db->getGroupIdOrAdd("a_b"), underscore);
        const quint64 backslash = db->getGroupIdOrAdd("a\\b");
        QCOMPARE(db->getGroupIdOrAdd("A\\B"), backslash);

        const quint64 empty = db->getGroupIdOrAdd("");
        QCOMPARE(db->getGroupIdOrAdd(QString()), empty);
        QVERIFY(db->getGroupIdOrAdd("%") != empty);
        QCOMPARE(count(*db, "select count(*) from contact_group where name=''"), 1);
        QCOMPARE(count(*db, "select count(*) from contact_group where name='Friends'"), 1);
    }

    void nullGroupNameIsStoredAsEmptyText()
    {
        auto db = freshDb();
        db->open_check();
        const quint64 id = db->getGroupIdOrAdd(QString());
        QVERIFY(id != 0);
        QCOMPARE(count(*db, "select count(*) from contact_group where name=''"), 1);
        QCOMPARE(db->getGroupIdOrAdd(""), id);
    }

    void groupsAreListedByByteOrder()
    {
        auto db = freshDb();
        QVERIFY(db->groups().isEmpty());
        const quint64 apple = db->getGroupIdOrAdd("apple");
        const quint64 zoo = db->getGroupIdOrAdd("Zoo");
        const QList<pim::_Group> groups = db->groups();
        QCOMPARE(groups.size(), 2);
        QCOMPARE(groups[0].name, QStringLiteral("Zoo"));
        QCOMPARE(groups[0].id, zoo);
        QCOMPARE(groups[1].name, QStringLiteral("apple"));
        QCOMPARE(groups[1].id, apple);
    }

    void setGroupLeavesOneMembership()
    {
        auto db = freshDb();
        const _Contact c = addContact(
            *db, "Ann",
            {{pim::ENTITY_GROUP,
              {entity({{"data1", "1"}, {"data2", "a"}}), entity({{"data1", "2"}, {"data2", "b"}})}}});
        db->beginEdit();
        const Entity member = db->setGroup(c.id, 77, "friends");
        db->endEdit(true);
        QVERIFY(member.id != 0);
        QVERIFY(member.srcId.isEmpty());
        QCOMPARE(member.values.size(), 2);
        QCOMPARE(member.values.value("data1").toULongLong(), 77ull);
        QCOMPARE(member.values.value("data2").toString(), QStringLiteral("friends"));

        const QList<Entity> stored = db->contact(c.id).entities.value(pim::ENTITY_GROUP);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().id, member.id);
        QCOMPARE(stored.first().values, (Values{{"data1", "77"}, {"data2", "friends"}}));
        QCOMPARE(count(*db, "select count(*) from data where type=7 and src_id is null"), 1);

        db->ungroup(c.id);
        db->ungroup(4242);
        QVERIFY(db->contact(c.id).entities.value(pim::ENTITY_GROUP).isEmpty());
    }

    void removedGroupKeepsMembershipsAndItsIdIsNotReused()
    {
        auto db = freshDb();
        const quint64 g = db->getGroupIdOrAdd("G");
        const _Contact c = named(*db, "Ann");
        db->setGroup(c.id, g, "G");
        db->removeGroupOnly(g);
        db->removeGroupOnly(999);
        QVERIFY(db->groups().isEmpty());
        QCOMPARE(db->contact(c.id).entities.value(pim::ENTITY_GROUP).size(), 1);
        QVERIFY(db->getGroupIdOrAdd("G") > g);
    }

    // ---- Writes that name their contact -------------------------------------------------------

    void writesNamingTheirContactRefuseAnotherContactsRow_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<bool>("refused");

        QTest::newRow("update, own row") << "update own" << false;
        QTest::newRow("update, row of another contact") << "update other" << true;
        QTest::newRow("update, other type") << "update type" << true;
        QTest::newRow("update, row gone") << "update gone" << true;
        QTest::newRow("remove, own row") << "remove own" << false;
        QTest::newRow("remove, row of another contact") << "remove other" << true;
        QTest::newRow("remove, other type") << "remove type" << true;
        QTest::newRow("source id, own row") << "srcid own" << false;
        QTest::newRow("source id, row of another contact") << "srcid other" << true;
        QTest::newRow("contact base, contact gone") << "base gone" << true;
        QTest::newRow("contact present") << "require own" << false;
        QTest::newRow("contact gone") << "require gone" << true;
        QTest::newRow("contact renamed") << "require renamed" << true;
    }

    void writesNamingTheirContactRefuseAnotherContactsRow()
    {
        QFETCH(QString, write);
        QFETCH(bool, refused);

        auto db = freshDb();
        const _Contact bob = addContact(*db, "Bob", {{pim::ENTITY_PHONE, {entity({{"data1", "222"}})}}});
        const _Contact cy = addContact(*db, "Cy", {{pim::ENTITY_PHONE, {entity({{"data1", "333"}})}}});
        Entity phone = bob.entities.value(pim::ENTITY_PHONE).first();
        phone.values.insert("data1", "999");
        if (write.endsWith("gone")) {
            db->removeContact(bob.id);
        }
        const QString before = rowsText(*db);

        db->beginEdit();
        const QString error = whatOf([&] {
            if (write == "update own" || write == "update gone")
                db->updateEntity(bob.id, pim::ENTITY_PHONE, phone);
            else if (write == "update other")
                db->updateEntity(cy.id, pim::ENTITY_PHONE, phone);
            else if (write == "update type")
                db->updateEntity(bob.id, pim::ENTITY_EMAIL, phone);
            else if (write == "remove own")
                db->removeEntity(bob.id, pim::ENTITY_PHONE, phone.id);
            else if (write == "remove other")
                db->removeEntity(cy.id, pim::ENTITY_PHONE, phone.id);
            else if (write == "remove type")
                db->removeEntity(bob.id, pim::ENTITY_NAME, phone.id);
            else if (write == "srcid own")
                db->updateEntitySrcId(bob.id, phone.id, "3/7/0");
            else if (write == "srcid other")
                db->updateEntitySrcId(cy.id, phone.id, "3/7/0");
            else if (write == "base gone")
                db->updateContactBase(_Contact(bob.id, QString(), "Robert"));
            else if (write == "require own")
                db->requireContact(bob.id, "Bob");
            else if (write == "require gone")
                db->requireContact(bob.id, "Bob");
            else if (write == "require renamed")
                db->requireContact(cy.id, "Bob");
        });
        db->endEdit(!refused);

        if (!refused) {
            QCOMPARE(error, QString());
            return;
        }
        QCOMPARE(error, QStringLiteral("IDS_CONTACT_CHANGED_OUTSIDE"));
        // Nothing changed: Cy keeps his number, and no row of anyone else moved.
        QCOMPARE(rowsText(*db), before);
    }

    void editOnTheWindowThreadGivesUpSoonWhileAnotherProgramWrites()
    {
        auto db = freshDb();
        named(*db, "Ann");
        Sqlite3DB other;
        other.openThrow(db->path, Sqlite3DB::ReadWrite);
        other.beginTran();
        other.executeThrow(Sqlite3Sql("insert into contact(full_name) values('Theirs')"));

        // This test runs on the application's thread, as the window's edits do.
        QElapsedTimer clock;
        clock.start();
        const QString error = whatOf([&] { db->beginEdit(); });
        QVERIFY2(clock.elapsed() < Sqlite3DB::kBusyWaitMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(error, QStringLiteral("IDS_DATABASE_BUSY_%1").arg(QFileInfo(db->path).fileName()));
        QCOMPARE(db->db.transactionDepth(), 0);

        other.commitTran();
        db->beginEdit();
        named(*db, "Bob");
        db->endEdit(true);
        QCOMPARE(count(*db, "select count(*) from contact"), 3);
    }

    void commitRefusedWhenTheFileLeftItsPath()
    {
        auto db = freshDb();
        named(*db, "Ann");
        db->beginEdit();
        named(*db, "Bob");
        QVERIFY(QFile::rename(db->path, db->path + ".moved"));
        QCOMPARE(whatOf([&] { db->endEdit(true); }),
                 QStringLiteral("IDS_DATABASE_REPLACED_%1").arg(QFileInfo(db->path).fileName()));
        QVERIFY(!db->db.isOpen());
        // The moved file holds what was committed before, nothing of the refused bracket.
        LocalDb moved(db->path + ".moved", db->rule);
        QCOMPARE(names(moved.contacts(0, QString())), QStringList{"Ann"});
    }
};

TARNWICK_TEST_MAIN(LocalDbTest)
#include "tst_localdb.moc"
