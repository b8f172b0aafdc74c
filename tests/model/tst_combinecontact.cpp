#include "EntityFixtures.h"
#include "ExceptionText.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "platform/sqlite/Sqlite3Cursor.h"

#include <sqlite3.h>

#include <cstring>

using pim::_Contact;
using pim::Entity;
using tarnwick::test::parseEntry;
using tarnwick::test::render;
using tarnwick::test::whatOf;

namespace {

_Contact parseContact(const QString &name, const QStringList &entries, const QString &srcId)
{
    _Contact c(0, QStringLiteral("incoming-src"), name);
    for (const QString &spec : entries) {
        auto [type, e] = parseEntry(spec, srcId);
        c.entities[type].append(e);
    }
    return c;
}

} // namespace

class CombineContactTest : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private:
    static QStringList groupList(LocalDb &db)
    {
        QStringList out;
        Sqlite3Cursor c = db.db.queryThrow("select _id,name from contact_group order by _id");
        while (c.moveNext())
            out << QStringLiteral("%1:%2").arg(c.getInt64(0)).arg(c.getText(1));
        return out;
    }

    // Every stored row of the data table, in row order.
    static QStringList rows(LocalDb &db)
    {
        QStringList out;
        Sqlite3Cursor c = db.db.queryThrow("select _id,contact_id,type,data1,data2 from data order by _id");
        while (c.moveNext())
            out << QStringLiteral("%1/%2/%3/%4/%5")
                       .arg(c.getInt64(0))
                       .arg(c.getInt64(1))
                       .arg(c.getInt(2))
                       .arg(c.getText(3), c.getText(4));
        return out;
    }

private slots:
    void mergeMatrix_data()
    {
        QTest::addColumn<QStringList>("groupsBefore");
        QTest::addColumn<QStringList>("stored"); // entries of the stored contact "Ann"; empty: no contact
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<bool>("existed");
        QTest::addColumn<QStringList>("after");
        // Returned entries: "+" a new row, "=" a stored row rewritten in place.
        QTest::addColumn<QStringList>("returned");
        QTest::addColumn<QStringList>("groupsAfter");

        const QStringList none;
        const QStringList ann{"1|data1=Ann|data2=Ann"};

        QTest::newRow("new contact")
            << none << none << "Zed"
            << QStringList{"1|data1=Zed|data2=Zed", "3|data1=555|data2=2", "4|data1=z@x"} << false
            << QStringList{"1|data1=Zed|data2=Zed", "3|data1=555|data2=2", "4|data1=z@x"}
            << QStringList{"+1|data1=Zed|data2=Zed", "+3|data1=555|data2=2", "+4|data1=z@x"} << none;
        QTest::newRow("new contact without entries")
            << none << none << "Zed" << none << false << none << none << none;
        QTest::newRow("new contact takes the first name entry only")
            << none << none << "Zed" << QStringList{"1|data1=Zed|data2=Zed", "1|data1=Other|data2=Other"}
            << false << QStringList{"1|data1=Zed|data2=Zed"} << QStringList{"+1|data1=Zed|data2=Zed"} << none;
        QTest::newRow("same contact again writes nothing")
            << none << QStringList{"1|data1=Ann|data2=Ann", "3|data1=555|data2=2|data3=x"} << "ANN"
            << QStringList{"1|data1=Ann", "3|data1=555|data2=2|data3=x"} << true
            << QStringList{"1|data1=Ann|data2=Ann", "3|data1=555|data2=2|data3=x"} << none << none;
        QTest::newRow("identity match rewrites in place")
            << none << QStringList{"3|data1=555|data2=1|data3="} << "Ann"
            << QStringList{"3|data1=555|data2=2|data3="} << true << QStringList{"3|data1=555|data2=2"}
            << QStringList{"=3|data1=555|data2=2"} << none;
        QTest::newRow("only the first of equal stored entries is rewritten")
            << none << QStringList{"3|data1=555|data2=1|data3=", "3|data1=555|data2=3|data3="} << "Ann"
            << QStringList{"3|data1=555|data2=2|data3="} << true
            << QStringList{"3|data1=555|data2=2", "3|data1=555|data2=3"}
            << QStringList{"=3|data1=555|data2=2"} << none;
        QTest::newRow("an absent key counts as changed")
            << none << QStringList{"3|data1=555|data2=2|data3="} << "Ann"
            << QStringList{"3|data1=555|data2=2"} << true << QStringList{"3|data1=555|data2=2"}
            << QStringList{"=3|data1=555|data2=2"} << none;
        QTest::newRow("empty values never blank stored ones")
            << none << QStringList{"3|data1=555|data2=2|data3=x"} << "Ann"
            << QStringList{"3|data1=555|data2=|data3="} << true << QStringList{"3|data1=555|data2=2|data3=x"}
            << QStringList{"=3|data1=555|data2=2|data3=x"} << none;
        QTest::newRow("another phone is added") << none << QStringList{"3|data1=555|data2=2|data3="} << "Ann"
                                                << QStringList{"3|data1=777|data2=1"} << true
                                                << QStringList{"3|data1=555|data2=2", "3|data1=777|data2=1"}
                                                << QStringList{"+3|data1=777|data2=1"} << none;
        // A contact keeps several nicknames: each that differs is one more, never written over the
        // stored one.
        QTest::newRow("nicknames: each differing one is added")
            << none << QStringList{"5|data1=Nan|data2=|data3="} << "Ann"
            << QStringList{"5|data1=Nan", "5|data1=Annie", "5|data1=Bo"} << true
            << QStringList{"5|data1=Nan", "5|data1=Annie", "5|data1=Bo"}
            << QStringList{"=5|data1=Nan", "+5|data1=Annie", "+5|data1=Bo"} << none;
        QTest::newRow("nicknames without a stored one, with their types")
            << none << ann << "Ann" << QStringList{"5|data1=Nan|data2=4", "5|data1=Bo|data2=3"} << true
            << QStringList{"1|data1=Ann|data2=Ann", "5|data1=Nan|data2=4", "5|data1=Bo|data2=3"}
            << QStringList{"+5|data1=Nan|data2=4", "+5|data1=Bo|data2=3"} << none;
        // Two organisations stay two: the second is never completed with the first one's values.
        QTest::newRow("two organisations")
            << none << ann << "Ann" << QStringList{"10|data1=A|data2=1|data5=Dept A", "10|data1=B|data2=1"}
            << true
            << QStringList{"1|data1=Ann|data2=Ann", "10|data1=A|data2=1|data5=Dept A", "10|data1=B|data2=1"}
            << QStringList{"+10|data1=A|data2=1|data5=Dept A", "+10|data1=B|data2=1"} << none;
        QTest::newRow("one number twice under two sub-types")
            << none << ann << "Ann" << QStringList{"3|data1=555|data2=1", "3|data1=555|data2=2"} << true
            << QStringList{"1|data1=Ann|data2=Ann", "3|data1=555|data2=1", "3|data1=555|data2=2"}
            << QStringList{"+3|data1=555|data2=1", "+3|data1=555|data2=2"} << none;
        QTest::newRow("exact repeat inside one contact")
            << none << ann << "Ann" << QStringList{"3|data1=555|data2=1", "3|data1=555|data2=1"} << true
            << QStringList{"1|data1=Ann|data2=Ann", "3|data1=555|data2=1"}
            << QStringList{"+3|data1=555|data2=1"} << none;
        QTest::newRow("repeat carrying an empty valid key is stored again")
            << none << ann << "Ann" << QStringList{"3|data1=555|data3=", "3|data1=555|data3="} << true
            << QStringList{"1|data1=Ann|data2=Ann", "3|data1=555", "3|data1=555"}
            << QStringList{"+3|data1=555", "+3|data1=555"} << none;
        QTest::newRow("entry without any valid key writes nothing")
            << none << ann << "Ann" << QStringList{"3|data9=x"} << true << ann << none << none;
        QTest::newRow("entry with empty valid keys is stored empty")
            << none << ann << "Ann" << QStringList{"3|data1=|data2=|data3="} << true
            << QStringList{"1|data1=Ann|data2=Ann", "3"} << QStringList{"+3"} << none;
        QTest::newRow("names and unknown types are dropped")
            << none << ann << "Ann" << QStringList{"1|data1=Other|data2=Other", "14|data1=x", "0|data1=y"}
            << true << ann << none << none;
        QTest::newRow("messaging: same account, other protocol")
            << none << QStringList{"8|data1=acc|data2=|data3=|data5=1|data6="} << "Ann"
            << QStringList{"8|data1=acc|data2=|data3=|data5=2|data6="} << true
            << QStringList{"8|data1=acc|data5=1", "8|data1=acc|data5=2"}
            << QStringList{"+8|data1=acc|data5=2"} << none;
        QTest::newRow("address: new entry without data5 and data6")
            << none << none << "Zed"
            << QStringList{"12|data1=A|data4=St|data5=five|data6=six|data7=Town|data11=LD"} << false
            << QStringList{"12|data1=A|data4=St|data7=Town|data11=LD"}
            << QStringList{"+12|data1=A|data4=St|data7=Town|data11=LD"} << none;
        QTest::newRow("organisation: company, title, department, type and label only")
            << none << none << "Zed" << QStringList{"10|data1=Co|data2=1|data3=l|data4=Boss|data5=RD|data9=x"}
            << false << QStringList{"10|data1=Co|data2=1|data3=l|data4=Boss|data5=RD"}
            << QStringList{"+10|data1=Co|data2=1|data3=l|data4=Boss|data5=RD"} << none;
        QTest::newRow("membership is pointed at this database's group")
            << QStringList{"Old"} << QStringList{"7|data1=1|data2=Old"} << "Ann"
            << QStringList{"7|data1=99|data2=Friends"} << true << QStringList{"7|data1=2|data2=Friends"}
            << QStringList{"=7|data1=2|data2=Friends"} << QStringList{"1:Old", "2:Friends"};
        QTest::newRow("membership of a group named in other case")
            << QStringList{"friends"} << none << "Zed" << QStringList{"7|data1=42|data2=FRIENDS"} << false
            << QStringList{"7|data1=1|data2=FRIENDS"} << QStringList{"+7|data1=1|data2=FRIENDS"}
            << QStringList{"1:friends"};
        QTest::newRow("membership without names maps to the empty-named group")
            << none << QStringList{"7|data1=5|data2="} << "Ann" << QStringList{"7|data1=6"} << true
            << QStringList{"7|data1=1"} << QStringList{"=7|data1=1"} << QStringList{"1:"};
        QTest::newRow("same membership again writes nothing")
            << QStringList{"G"} << QStringList{"7|data1=1|data2=G"} << "Ann"
            << QStringList{"7|data1=1|data2=G"} << true << QStringList{"7|data1=1|data2=G"} << none
            << QStringList{"1:G"};
    }

    void mergeMatrix()
    {
        QFETCH(QStringList, groupsBefore);
        QFETCH(QStringList, stored);
        QFETCH(QString, name);
        QFETCH(QStringList, incoming);
        QFETCH(bool, existed);
        QFETCH(QStringList, after);
        QFETCH(QStringList, returned);
        QFETCH(QStringList, groupsAfter);

        auto db = freshDb();
        for (const QString &g : groupsBefore)
            db->getGroupIdOrAdd(g);
        QSet<unsigned long long> storedIds;
        if (!stored.isEmpty()) {
            _Contact ann(0, QStringLiteral("ann-src"), QStringLiteral("Ann"));
            db->insertContactBase(ann);
            for (const QString &spec : stored) {
                auto [type, e] = parseEntry(spec, QStringLiteral("stored-src"));
                db->insertEntity(ann.id, type, e);
                storedIds.insert(e.id);
            }
        }

        const _Contact in = parseContact(name, incoming, QStringLiteral("incoming-src"));
        _Contact out;
        bool wasExisting = !existed;
        db->beginEdit();
        const QMap<int, QList<Entity>> result = db->combineContact(in, out, wasExisting);
        db->endEdit(true);

        QCOMPARE(wasExisting, existed);
        QCOMPARE(count(*db, "select count(*) from contact"), 1);
        const _Contact read = db->contact(out.id);
        QCOMPARE(read.id, out.id);
        // The contact row is never changed by a merge, and a new one takes no source id.
        QCOMPARE(read.fullName, existed ? QStringLiteral("Ann") : name);
        QCOMPARE(read.srcId, existed ? QStringLiteral("ann-src") : QString());
        QCOMPARE(render(read.entities), after);

        QStringList got;
        for (auto it = result.constBegin(); it != result.constEnd(); ++it) {
            for (const Entity &e : it.value()) {
                QVERIFY(e.id != 0);
                const bool rewritten = storedIds.contains(e.id);
                QCOMPARE(e.srcId, rewritten ? QStringLiteral("stored-src") : QString());
                got << (rewritten ? QLatin1Char('=') : QLatin1Char('+')) + render(it.key(), e);
            }
        }
        QCOMPARE(got, returned);
        if (!groupsAfter.isEmpty() || !groupsBefore.isEmpty())
            QCOMPARE(groupList(*db), groupsAfter);
        QVERIFY(groupsAfter.isEmpty() == groupList(*db).isEmpty());

        // Every type the incoming contact brought has a list in `out`.
        for (auto it = in.entities.constBegin(); it != in.entities.constEnd(); ++it)
            QVERIFY(out.entities.contains(it.key()));
    }

    void outHoldsTheContactAsReadPlusNewEntries()
    {
        auto db = freshDb();
        _Contact ann(0, QString(), QStringLiteral("Ann"));
        db->insertContactBase(ann);
        Entity phone(0, QString());
        phone.values = {{"data1", "555"}, {"data2", "1"}, {"data3", ""}};
        db->insertEntity(ann.id, pim::ENTITY_PHONE, phone);

        _Contact in = parseContact("Ann", {"3|data1=555|data2=2|data3=", "4|data1=a@b"}, QString());
        in.entities[pim::ENTITY_NOTE]; // a type with an empty list brings nothing
        _Contact out;
        bool existed = false;
        const auto result = db->combineContact(in, out, existed);
        QVERIFY(existed);
        QVERIFY(!out.entities.contains(pim::ENTITY_NOTE));
        QCOMPARE(out.id, ann.id);
        // The rewritten phone keeps its values as read in `out`; the new e-mail shows with id 0.
        QCOMPARE(out.entities[pim::ENTITY_PHONE].size(), 1);
        QCOMPARE(out.entities[pim::ENTITY_PHONE].first().values.value("data2").toString(),
                 QStringLiteral("1"));
        QCOMPARE(out.entities[pim::ENTITY_EMAIL].size(), 1);
        QCOMPARE(out.entities[pim::ENTITY_EMAIL].first().id, 0ull);
        QVERIFY(result[pim::ENTITY_EMAIL].first().id != 0);
        QCOMPARE(result[pim::ENTITY_PHONE].first().id, phone.id);
    }

    void photoIsMergedByHashAndBytes()
    {
        auto db = freshDb();
        _Contact ann(0, QString(), QStringLiteral("Ann"));
        db->insertContactBase(ann);
        Entity photo;
        photo.values = {{"data15", QByteArray("old")}};
        db->insertEntity(ann.id, pim::ENTITY_PHOTO, photo);

        _Contact in(0, QString(), QStringLiteral("Ann"));
        Entity same;
        same.values = {{"data4", Entity::photoHash("old")}, {"data15", QByteArray("old")}};
        Entity other;
        other.values = {{"data4", Entity::photoHash("new")}, {"data15", QByteArray("new")}};
        in.entities[pim::ENTITY_PHOTO] = {same};
        _Contact out;
        bool existed = false;
        QVERIFY(db->combineContact(in, out, existed).isEmpty());

        in.entities[pim::ENTITY_PHOTO] = {other};
        out = _Contact();
        const auto result = db->combineContact(in, out, existed);
        QCOMPARE(result[pim::ENTITY_PHOTO].size(), 1);
        QCOMPARE(result[pim::ENTITY_PHOTO].first().id, photo.id);
        const Entity stored = db->contact(ann.id).entities[pim::ENTITY_PHOTO].first();
        QCOMPARE(stored.values.value("data15").toByteArray(), QByteArray("new"));
        QCOMPARE(stored.values.value("data4").toString(), Entity::photoHash("new"));
    }

    void duplicateNamesAcrossContacts_data()
    {
        QTest::addColumn<QStringList>("incomingNames");
        QTest::addColumn<QList<bool>>("existed");
        QTest::addColumn<QStringList>("storedNames");
        QTest::newRow("names differing in ASCII case merge")
            << QStringList{"Bob Ray", "BOB RAY", "bob ray"} << QList<bool>{false, true, true}
            << QStringList{"Bob Ray"};
        QTest::newRow("other letters keep their case")
            << QStringList{"Émile", "émile"} << QList<bool>{false, false} << QStringList{"Émile", "émile"};
        QTest::newRow("nameless contacts never merge")
            << QStringList{"", "", QString()} << QList<bool>{false, false, false} << QStringList{"", "", ""};
        QTest::newRow("wildcards are plain characters")
            << QStringList{"Ann", "%", "A_n", "_nn", "%"} << QList<bool>{false, false, false, false, true}
            << QStringList{"%", "A_n", "Ann", "_nn"};
        QTest::newRow("blanks count")
            << QStringList{"Ann", "Ann ", " Ann"} << QList<bool>{false, false, false}
            << QStringList{" Ann", "Ann", "Ann "};
    }

    void duplicateNamesAcrossContacts()
    {
        QFETCH(QStringList, incomingNames);
        QFETCH(QList<bool>, existed);
        QFETCH(QStringList, storedNames);
        for (const bool bracket : {true, false}) {
            auto db = freshDb();
            if (bracket)
                db->beginEdit();
            for (int i = 0; i < incomingNames.size(); ++i) {
                _Contact in =
                    parseContact(incomingNames[i], {QStringLiteral("9|data1=note %1").arg(i)}, QString());
                _Contact out;
                bool wasExisting = !existed[i];
                db->combineContact(in, out, wasExisting);
                QCOMPARE(wasExisting, existed[i]);
            }
            if (bracket)
                db->endEdit(true);
            QStringList names;
            Sqlite3Cursor c = db->db.queryThrow("select full_name from contact order by full_name");
            while (c.moveNext())
                names << c.getText(0);
            QCOMPARE(names, storedNames);
        }
    }

    void outerBracketDecidesAboutEveryMergedContact()
    {
        auto db = freshDb();
        for (const bool commit : {false, true}) {
            db->beginEdit();
            for (const char *n : {"Ann", "Bob", "ann"}) {
                _Contact out;
                bool existed = false;
                db->combineContact(
                    parseContact(n, {"3|data1=1", QStringLiteral("3|data1=%1").arg(n)}, QString()), out,
                    existed);
            }
            QCOMPARE(count(*db, "select count(*) from contact"), 2);
            db->endEdit(commit);
            QCOMPARE(count(*db, "select count(*) from contact"), commit ? 2 : 0);
            QCOMPARE(count(*db, "select count(*) from data"), commit ? 5 : 0); // "ann" adds a phone to Ann
        }
        QCOMPARE(db->db.transactionDepth(), 0);
    }

    void failureRollsBackItsOwnWorkAndRethrowsTheText()
    {
        auto db = freshDb();
        db->open_check();
        db->db.executeThrow("create trigger refuse before insert on data when new.data1='boom' "
                            "begin select raise(abort, 'boom refused'); end");
        Entity probe;
        probe.values = {{"data1", "boom"}};
        const QString direct = whatOf([&] { db->insertEntity(1, pim::ENTITY_PHONE, probe); });
        QVERIFY2(direct.contains("boom refused"), qPrintable(direct));

        db->beginEdit();
        _Contact ann;
        bool existed = true;
        db->combineContact(parseContact("Ann", {"3|data1=1"}, QString()), ann, existed);
        QVERIFY(!existed);

        for (const char *name : {"Bob", "ANN"}) {
            _Contact out;
            existed = QByteArray(name) == "Bob";
            QString merged;
            try {
                db->combineContact(parseContact(name, {"4|data1=ok", "3|data1=boom"}, QString()), out,
                                   existed);
                QFAIL("no exception");
            } catch (const std::runtime_error &e) {
                QVERIFY(typeid(e) == typeid(std::runtime_error));
                merged = QString::fromUtf8(e.what());
            }
            QCOMPARE(merged, direct);
            QCOMPARE(existed, QByteArray(name) == "ANN");
            QVERIFY(out.id != 0);
            QCOMPARE(db->db.transactionDepth(), 1);
            // Its own rows are gone; what the bracket held before stays.
            QCOMPARE(count(*db, "select count(*) from contact"), 1);
            QCOMPARE(count(*db, "select count(*) from data"), 1);
        }

        // The bracket goes on, and the rolled-back contact is not taken for a stored one.
        _Contact bob;
        db->combineContact(parseContact("Bob", {"4|data1=ok"}, QString()), bob, existed);
        QVERIFY(!existed);
        QCOMPARE(count(*db, "select count(*) from contact"), 2);
        db->endEdit(false);
        QCOMPARE(count(*db, "select count(*) from contact"), 0);
        QCOMPARE(count(*db, "select count(*) from data"), 0);
    }

    // A merge into a stored contact that writes one statement runs without a level of its own; one
    // that may write more keeps its level. Whichever failed, the stored contact and the groups are as
    // they were, and the next merge into the contact starts from what is stored.
    void failedMergeIntoAStoredContactLeavesItAsItWas_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QStringList>("incoming");

        QTest::newRow("one new row") << "before insert on data when new.data1='boom'"
                                     << QStringList{"3|data1=boom"};
        QTest::newRow("one rewritten row")
            << "before update on data when new.data2='boom'" << QStringList{"3|data1=1|data2=boom"};
        QTest::newRow("a new row after a rewritten one") << "before insert on data when new.data1='boom'"
                                                         << QStringList{"3|data1=1|data2=2", "4|data1=boom"};
        QTest::newRow("a membership of a group not stored yet")
            << "before insert on data when new.type=7" << QStringList{"7|data2=Friends"};
    }

    void failedMergeIntoAStoredContactLeavesItAsItWas()
    {
        QFETCH(QString, trigger);
        QFETCH(QStringList, incoming);
        auto db = freshDb();
        db->beginEdit();
        _Contact ann;
        bool existed = true;
        db->combineContact(parseContact("Ann", {"1|data1=Ann", "3|data1=1"}, QString()), ann, existed);
        const QStringList storedRows = rows(*db);
        db->db.executeThrow(
            QStringLiteral("create trigger refuse %1 begin select raise(abort, 'refused'); end")
                .arg(trigger));

        _Contact out;
        QVERIFY(whatOf([&] {
                    db->combineContact(parseContact("ANN", incoming, QString()), out, existed);
                }).contains("refused"));
        QCOMPARE(db->db.transactionDepth(), 1);
        QCOMPARE(rows(*db), storedRows);
        QCOMPARE(groupList(*db), QStringList());

        db->db.executeThrow("drop trigger refuse");
        _Contact again;
        db->combineContact(parseContact("Ann", {"3|data1=2"}, QString()), again, existed);
        QVERIFY(existed);
        QStringList phones;
        for (const Entity &e : db->contact(ann.id).entities.value(pim::ENTITY_PHONE))
            phones << e.values.value("data1").toString();
        QCOMPARE(phones, (QStringList{"1", "2"}));
        db->endEdit(true);
        QCOMPARE(count(*db, "select count(*) from data"), 3);
    }

    void ownTransactionThatCannotBeginLeavesTheBracketToTheCaller()
    {
        auto db = freshDb();
        db->beginEdit();
        _Contact ann;
        bool existed = true;
        db->combineContact(parseContact("Ann", {"3|data1=1"}, QString()), ann, existed);

        // Refuse every new savepoint: the merge must not run without a level of its own, or its
        // commit would end the caller's transaction.
        const auto refuseSavepoints = [](void *, int action, const char *arg1, const char *, const char *,
                                         const char *) {
            return action == SQLITE_SAVEPOINT && arg1 && std::strcmp(arg1, "BEGIN") == 0 ? SQLITE_DENY
                                                                                         : SQLITE_OK;
        };
        sqlite3_set_authorizer(db->db.handle(), refuseSavepoints, nullptr);
        _Contact out(7, "s", "keep");
        existed = true;
        QVERIFY(!whatOf([&] {
                     db->combineContact(parseContact("Bob", {"3|data1=2"}, QString()), out, existed);
                 }).isEmpty());
        sqlite3_set_authorizer(db->db.handle(), nullptr, nullptr);

        QVERIFY(existed);
        QCOMPARE(out.id, 7ull);
        QCOMPARE(db->db.transactionDepth(), 1);
        QCOMPARE(count(*db, "select count(*) from contact"), 1);
        db->endEdit(false);
        QCOMPARE(count(*db, "select count(*) from contact"), 0);
    }

    void lookUpFailureLeavesOutAndExistedAlone()
    {
        LocalDb db(filePath("missing.db"), QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
        _Contact out(5, "s", "keep");
        bool existed = true;
        QVERIFY(
            !whatOf([&] { db.combineContact(parseContact("Ann", {}, QString()), out, existed); }).isEmpty());
        QCOMPARE(out.id, 5ull);
        QCOMPARE(out.fullName, QStringLiteral("keep"));
        QVERIFY(existed);
    }
};

TARNWICK_TEST_MAIN(CombineContactTest)
#include "tst_combinecontact.moc"
