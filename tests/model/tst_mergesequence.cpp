// Merges of many contacts into one edit bracket, where a merge starts from what the previous ones
// learnt of a stored contact and finds entries through an index, held against a plain
// implementation of the merge (read the contact, scan its entries) run on a twin database. Every
// merge must give the same `existed`, `out` and returned entries, and the files the same rows.

#include "EntityFixtures.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "platform/sqlite/Sqlite3Cursor.h"

#include <QDateTime>

using pim::_Contact;
using pim::Entity;
using tarnwick::test::parseEntry;
using tarnwick::test::render;

namespace {

// A rule of another shape: phones matched on number and kind together, e-mails on a key that no
// row holds (absent on both sides), groups never merged.
class TwoKeyRule : public AbsContactCombineRule
{
public:
    TwoKeyRule()
        : AbsContactCombineRule(table())
    {}

private:
    static const Table &table()
    {
        static const Table keys = {
            {pim::ENTITY_PHONE,
             {"data1"},
             {"data1", "data2"},
             {"data1", "data2", "data3"},
             {"data1", "data2", "data3"},
             false},
            {pim::ENTITY_EMAIL, {"data1"}, {"data12"}, {"data1", "data2"}, {"data1", "data2"}, false},
            {pim::ENTITY_GROUP, {"data1"}, {"data1"}, {"data1"}, {}, true},
        };
        return keys;
    }
};

using Entries = QMap<int, QList<Entity>>;

// The merge as written out step by step, with nothing kept between calls: the stored contact read
// whole, each incoming entry matched by LocalDb::combine_entity's scan.
Entries plainMerge(LocalDb &db, const _Contact &in, _Contact &out, bool &existed)
{
    const unsigned long long storedId = db.isContactBaseExist(in.fullName);
    db.db.beginTran();
    Entries result = out.entities;
    if (storedId != 0) {
        existed = true;
        out = db.contact(storedId);
    } else {
        existed = false;
        out = _Contact(0, QLatin1String(""), in.fullName);
        db.insertContactBase(out);
        const QList<Entity> names = in.entities.value(pim::ENTITY_NAME);
        if (!names.isEmpty()) {
            Entity name = names.first();
            name.srcId = QLatin1String("");
            db.insertEntity(out.id, pim::ENTITY_NAME, name);
            out.entities[pim::ENTITY_NAME].append(name);
            result[pim::ENTITY_NAME].append(name);
        }
    }
    for (auto it = in.entities.constBegin(); it != in.entities.constEnd(); ++it) {
        for (const Entity &entry : it.value()) {
            Entity merged;
            if (!db.combine_entity(it.key(), out.entities[it.key()], entry, merged))
                continue;
            if (it.key() == pim::ENTITY_GROUP) {
                const QString group = merged.values.value(pim::GroupKey::GroupName).toString();
                merged.values.insert(pim::GroupKey::GroupId,
                                     QVariant::fromValue<qulonglong>(db.getGroupIdOrAdd(group)));
            }
            if (merged.id == 0)
                db.insertEntity(out.id, it.key(), merged);
            else
                db.updateEntity(it.key(), merged);
            result[it.key()].append(merged);
        }
    }
    db.db.commitTran();
    return result;
}

// Entries with their ids and every value, of any kind, as text.
QStringList dump(const Entries &entries)
{
    QStringList out;
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        out << QStringLiteral("[%1]").arg(it.key());
        for (const Entity &e : it.value()) {
            QString line = QStringLiteral("#%1 src=%2").arg(e.id).arg(e.srcId);
            for (auto v = e.values.constBegin(); v != e.values.constEnd(); ++v)
                line += QStringLiteral(" %1=%2(%3)").arg(v.key(), v.value().toString(), v.value().typeName());
            out << line;
        }
    }
    return out;
}

QStringList dump(const _Contact &c)
{
    return QStringList{QStringLiteral("contact #%1 src=%2 name=%3").arg(c.id).arg(c.srcId, c.fullName)} +
           dump(c.entities);
}

QStringList rows(LocalDb &db)
{
    QStringList out;
    Sqlite3Cursor c = db.db.queryThrow("select * from data order by _id");
    while (c.moveNext()) {
        QStringList cells;
        for (int i = 0; i < c.columnCount(); ++i)
            cells << c.getText(i);
        out << cells.join(QLatin1Char('|'));
    }
    Sqlite3Cursor g = db.db.queryThrow("select _id,name from contact_group order by _id");
    while (g.moveNext())
        out << QStringLiteral("group %1 %2").arg(g.getInt64(0)).arg(g.getText(1));
    Sqlite3Cursor k = db.db.queryThrow("select _id,src_id,full_name from contact order by _id");
    while (k.moveNext())
        out << QStringLiteral("contact %1 %2 %3").arg(k.getInt64(0)).arg(k.getText(1), k.getText(2));
    return out;
}

// What a merge answered and the rows it left, as text: twins are compared on the whole of it.
QStringList outcome(bool existed, const _Contact &out, const Entries &result, LocalDb &db)
{
    return QStringList{QStringLiteral("existed=%1").arg(existed)} + dump(out) +
           QStringList{QStringLiteral("returned")} + dump(result) + QStringList{QStringLiteral("rows")} +
           rows(db);
}

// One step of a sequence: "Name: entry; entry" merges a contact (entries in parseEntry()'s form;
// a value written "#555" is the integer 555, "@2001-06-30T10:00:00" a date-time, "~1" the text "1"
// behind a lone surrogate, "<null>" the null text); a step starting
// with "!" writes by another path: "!update <contact> <type> <n> <entry>", "!insert <contact>
// <entry>", "!remove <contact> <type> <n>", "!delete <contact>", "!rollback" (a level begun and
// rolled back after an insert).
Entity typedEntry(const QString &text, int &type)
{
    auto [t, e] = parseEntry(text);
    type = t;
    for (auto it = e.values.begin(); it != e.values.end(); ++it) {
        const QString v = it.value().toString();
        if (v.startsWith(QLatin1Char('#')))
            it.value() = v.mid(1).toLongLong();
        else if (v.startsWith(QLatin1Char('@')))
            it.value() = QDateTime::fromString(v.mid(1), Qt::ISODate);
        else if (v == QLatin1String("<absent>"))
            it.value() = QVariant();
        else if (v == QLatin1String("<null>"))
            it.value() = QString();
        else if (v.startsWith(QLatin1Char('~')))
            it.value() = QString(QChar(0xDC00)) + v.mid(1);
    }
    return e;
}

_Contact incomingOf(const QString &step)
{
    const qsizetype colon = step.indexOf(QLatin1Char(':'));
    _Contact c(0, QStringLiteral("from-source"), step.left(colon));
    for (const QString &part : step.mid(colon + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        int type = 0;
        const Entity e = typedEntry(part.trimmed(), type);
        c.entities[type] << e;
    }
    return c;
}

void writeByAnotherPath(LocalDb &db, const QString &step)
{
    const QStringList words = step.mid(1).split(QLatin1Char(' '));
    const auto stored = [&db](const QString &name) { return db.contact(db.isContactBaseExist(name)); };
    if (words[0] == QLatin1String("update")) {
        const _Contact c = stored(words[1]);
        int type = 0;
        Entity e = typedEntry(words[4], type);
        e.id = c.entities.value(words[2].toInt()).at(words[3].toInt()).id;
        db.updateEntity(type, e);
    } else if (words[0] == QLatin1String("insert")) {
        int type = 0;
        Entity e = typedEntry(words[2], type);
        db.insertEntity(stored(words[1]).id, type, e);
    } else if (words[0] == QLatin1String("remove")) {
        db.removeEntity(stored(words[1]).entities.value(words[2].toInt()).at(words[3].toInt()).id);
    } else if (words[0] == QLatin1String("delete")) {
        db.removeContact(stored(words[1]).id);
    } else if (words[0] == QLatin1String("rollback")) {
        db.db.beginTran();
        db.db.executeThrow(Sqlite3Sql("insert into contact_group(name) values('undone')"));
        db.db.rollbackTran();
    }
}

} // namespace

class MergeSequenceTest : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void sameAsPlainMerge_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("otherRule");

        const QString ann = QStringLiteral("Ann: 1|data1=Ann|data2=Ann");
        QTest::newRow("one name, a new phone each time")
            << QStringList{ann + "; 3|data1=1|data2=2", "ANN: 3|data1=2|data2=2", "Ann: 3|data1=3|data2=1",
                           "ann: 3|data1=1|data2=7", "Ann: 3|data1=2|data2=2"}
            << false;
        QTest::newRow("equal on identity: the first stored entry is rewritten")
            << QStringList{ann + "; 3|data1=5|data2=1; 3|data1=5|data2=2", "Ann: 3|data1=5|data2=3|data3=x",
                           "Ann: 3|data1=5|data2=4"}
            << false;
        QTest::newRow("equal to an entry appended earlier in the same call")
            << QStringList{ann + "; 3|data1=9|data2=1; 3|data1=9|data2=2; 3|data1=9|data2=2",
                           "Ann: 3|data1=9|data2=5; 3|data1=9|data2=6"}
            << false;
        QTest::newRow("empty and absent incoming values")
            << QStringList{ann + "; 3|data1=7|data2=1|data3=lbl",
                           "Ann: 3|data1=7|data2=|data3=",
                           "Ann: 3|data1=7",
                           "Ann: 3|data1=|data2=",
                           "Ann: 3|data1=|data2=",
                           "Ann: 4|data2=1"}
            << false;
        QTest::newRow("single kinds: the stored one, then unsaved copies")
            << QStringList{"Bo: 5|data1=Bobby; 5|data1=B", "Bo: 5|data1=Bob",
                           "Bo: 9|data1=Acme; 9|data4=Boss", "Bo: 9|data5=Dept", "Bo: 5|data1=Bobby"}
            << false;
        QTest::newRow("groups") << QStringList{"Cy: 7|data1=3|data2=Friends", "Cy: 7|data1=4|data2=Work",
                                               "Cy: 7|data1=4|data2=Work", "Di: 7|data1=1|data2=Friends"}
                                << false;
        QTest::newRow("values that are not texts")
            << QStringList{ann + "; 3|data1=#555|data2=#1",
                           "Ann: 3|data1=555|data2=2",
                           "Ann: 3|data1=#555",
                           "Ann: 6|data1=@2001-06-30T10:00:00|data2=#3",
                           "Ann: 6|data1=2001-06-30T10:00:00|data2=1",
                           "Ann: 3|data1=0555"}
            << false;
        QTest::newRow("texts the file gives back changed, keys a kind does not keep")
            << QStringList{ann + "; 3|data1=~1|data2=<null>", "Ann: 3|data1=~1|data2=2; 3|data1=5|data7=x",
                           "Ann: 3|data1=5|data2=1; 3|data1=~1|data3=y; 3|data1=6|data2=<null>",
                           "Ann: 6|data1=#20010630|data2=<null>; 3|data1=6|data2=3"}
            << false;
        // Names have no row: a contact stored without one keeps none, however often one comes in.
        QTest::newRow("a name where none is stored, then kinds left alone")
            << QStringList{"Cy: 3|data1=1", "Cy: 1|data1=Cy; 3|data1=2", "Cy: 4|data1=c@x", "Cy: 1|data1=Cy",
                           "Cy: 3|data1=2; 4|data1=c@x"}
            << false;
        QTest::newRow("interleaved names")
            << QStringList{ann + "; 4|data1=a@x", "Bo: 4|data1=b@x",          "Ann: 4|data1=a2@x",
                           "Bo: 4|data1=a@x",     "Ann: 4|data1=a@x|data2=2", "Bo: 4|data1=b@x|data2=3"}
            << false;
        QTest::newRow("a write by another path in between is seen")
            << QStringList{ann + "; 3|data1=1|data2=2", "!update Ann 3 0 3|data1=42|data2=9",
                           "Ann: 3|data1=42|data2=5",   "!insert Ann 3|data1=77|data2=1",
                           "Ann: 3|data1=77|data2=3",   "!remove Ann 3 0",
                           "Ann: 3|data1=42|data2=5",   "!rollback",
                           "Ann: 3|data1=100"}
            << false;
        QTest::newRow("a contact deleted in between is created again")
            << QStringList{ann + "; 3|data1=1", "!delete Ann", "Ann: 3|data1=1; 3|data1=2",
                           "Ann: 3|data1=2|data2=1"}
            << false;
        // Past a handful of entries of a kind they are found through a hash instead of one by one.
        QString many = ann;
        for (int i = 1; i <= 12; ++i)
            many += QStringLiteral("; 3|data1=%1|data2=1").arg(i);
        QTest::newRow("many entries of a kind")
            << QStringList{many + "; 3|data1=5|data2=2; 3|data1=11|data2=3",
                           "Ann: 3|data1=5|data2=3; 3|data1=12|data2=4; 3|data1=#7|data2=5; "
                           "3|data1=13|data2=1; "
                           "3|data1=13|data2=2; 3|data1=|data2=1",
                           "Ann: 3|data1=1|data2=9; 3|data1=13|data2=3; 3|data1=#11; 3|data1=7|data2=6",
                           "Ann: 3|data1=14; 3|data1=2|data2=2"}
            << false;
        QTest::newRow("a rule of two identity keys")
            << QStringList{ann + "; 3|data1=1|data2=2; 4|data1=a@x",
                           "Ann: 3|data1=1|data2=3; 7|data1=1|data2=G",
                           "Ann: 3|data1=2; 4|data1=a@x|data2=1; 4|data1=c@x"}
            << true;
    }

    void sameAsPlainMerge()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, otherRule);

        const auto rule = [&]() -> QSharedPointer<AbsContactCombineRule> {
            if (otherRule)
                return QSharedPointer<AbsContactCombineRule>(new TwoKeyRule);
            return QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule);
        };
        auto kept = freshDb(rule());
        auto plain = freshDb(rule());
        kept->beginEdit();
        plain->beginEdit();
        for (const QString &step : steps) {
            if (step.startsWith(QLatin1Char('!'))) {
                writeByAnotherPath(*kept, step);
                writeByAnotherPath(*plain, step);
                continue;
            }
            const _Contact in = incomingOf(step);
            _Contact outKept;
            _Contact outPlain;
            bool existedKept = false;
            bool existedPlain = true;
            const Entries resultKept = kept->combineContact(in, outKept, existedKept);
            const Entries resultPlain = plainMerge(*plain, in, outPlain, existedPlain);
            QCOMPARE(outcome(existedKept, outKept, resultKept, *kept),
                     outcome(existedPlain, outPlain, resultPlain, *plain));
        }
        kept->endEdit(true);
        plain->endEdit(true);
        QCOMPARE(rows(*kept), rows(*plain));
    }

    // A caller may hand one object in as what comes in and what goes out; the merge must read what
    // came in, not what it has begun to write. The twin starts its `out` as the same contact, since
    // the returned entries begin with what `out` held.
    void oneObjectInAndOut()
    {
        auto both = freshDb();
        auto apart = freshDb();
        both->beginEdit();
        apart->beginEdit();
        const QStringList steps{"Ann: 1|data1=Ann; 3|data1=1", "Ann: 3|data1=2; 4|data1=a@x", "Bo: 3|data1=9",
                                "Ann: 3|data1=1|data2=2; 3|data1=3"};
        for (const QString &step : steps) {
            _Contact c = incomingOf(step);
            _Contact out = c;
            bool existedApart = false;
            bool existedBoth = true;
            const Entries resultApart = apart->combineContact(c, out, existedApart);
            const Entries resultBoth = both->combineContact(c, c, existedBoth);
            QCOMPARE(outcome(existedBoth, c, resultBoth, *both),
                     outcome(existedApart, out, resultApart, *apart));
        }
        both->endEdit(true);
        apart->endEdit(true);
        QCOMPARE(rows(*both), rows(*apart));
    }

    // The caller that keeps the `out` of one merge while the next runs shares its lists with what
    // the database object knows; the next merge must not change that `out`.
    void outKeptByTheCallerStaysAsHandedOut()
    {
        auto db = freshDb();
        db->beginEdit();
        _Contact first;
        bool existed = false;
        db->combineContact(incomingOf("Ann: 1|data1=Ann; 3|data1=1"), first, existed);
        const QStringList before = dump(first);
        _Contact second;
        db->combineContact(incomingOf("Ann: 3|data1=2"), second, existed);
        db->combineContact(incomingOf("Ann: 3|data1=1|data2=4"), second, existed);
        QCOMPARE(dump(first), before);
        db->endEdit(true);
        QCOMPARE(render(db->contact(first.id).entities),
                 (QStringList{"1|data1=Ann", "3|data1=1|data2=4", "3|data1=2"}));
    }

    // A failed merge leaves nothing behind that a later merge of the same bracket could trust.
    void mergeAfterAFailedOneReadsTheContactAgain_data()
    {
        QTest::addColumn<QString>("failing");
        // The first phone is written, the second refused: the merge's own level rolls back both.
        QTest::newRow("two writes") << QStringLiteral("Ann: 3|data1=2; 3|data1=boom");
        // One write, refused: SQLite undoes the statement and nothing on the connection changed.
        QTest::newRow("one write") << QStringLiteral("Ann: 3|data1=boom");
    }

    void mergeAfterAFailedOneReadsTheContactAgain()
    {
        QFETCH(QString, failing);
        auto db = freshDb();
        db->open_check();
        db->db.executeThrow("create trigger refuse before insert on data when new.data1='boom' "
                            "begin select raise(abort, 'boom refused'); end");
        db->beginEdit();
        _Contact out;
        bool existed = false;
        db->combineContact(incomingOf("Ann: 1|data1=Ann; 3|data1=1"), out, existed);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, db->combineContact(incomingOf(failing), out, existed));
        _Contact again;
        const Entries result = db->combineContact(incomingOf("Ann: 3|data1=2"), again, existed);
        QCOMPARE(render(result), QStringList{"3|data1=2"});
        const QStringList stored{"1|data1=Ann", "3|data1=1", "3|data1=2"};
        QCOMPARE(render(again.entities), stored);
        // The merge after it starts from the contact as stored as well.
        _Contact third;
        db->combineContact(incomingOf("Ann: 3|data1=3"), third, existed);
        QCOMPARE(render(third.entities), stored + QStringList{"3|data1=3"});
        db->endEdit(true);
        QCOMPARE(render(db->contact(again.id).entities), stored + QStringList{"3|data1=3"});
    }
};

TARNWICK_TEST_MAIN(MergeSequenceTest)
#include "tst_mergesequence.moc"
