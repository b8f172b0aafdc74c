#include "EntityFixtures.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "ios/IOSContactCombineRule.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"
#include "platform/sqlite/Sqlite3Cursor.h"

using pim::_Contact;
using pim::Entity;
using tarnwick::test::parseEntry;
using tarnwick::test::render;

// The same incoming contacts merged under the iPhone rule and under the local rule.
class CombineContactIosTest : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void rulesDecideTheMerge_data()
    {
        QTest::addColumn<bool>("ios");
        QTest::addColumn<QStringList>("stored"); // entries of the stored contact "Ann"
        QTest::addColumn<QStringList>("incoming");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("returned");
        QTest::addColumn<int>("groups");

        const QStringList ann{"1|data1=Ann"};
        for (const bool ios : {false, true}) {
            const char *rule = ios ? "iPhone" : "local";
            QTest::addRow("%s: group membership", rule)
                << ios << ann << QStringList{"7|data1=3|data2=Team"}
                << (ios ? ann : QStringList{"1|data1=Ann", "7|data1=1|data2=Team"}) << (ios ? 0 : 1)
                << (ios ? 0 : 1);
            QTest::addRow("%s: a second note", rule)
                << ios << QStringList{"9|data1=a"} << QStringList{"9|data1=b"}
                << (ios ? QStringList{"9|data1=b"} : QStringList{"9|data1=a", "9|data1=b"}) << 1 << 0;
            QTest::addRow("%s: two events on one date", rule)
                << ios << QStringList{"6|data1=2000-01-01|data2=3|data3="}
                << QStringList{"6|data1=2000-01-01|data2=1|data3="}
                << (ios ? QStringList{"6|data1=2000-01-01|data2=3", "6|data1=2000-01-01|data2=1"}
                        : QStringList{"6|data1=2000-01-01|data2=1"})
                << 1 << 0;
            QTest::addRow("%s: messaging with another custom protocol name", rule)
                << ios << QStringList{"8|data1=acc|data2=|data3=|data5=1|data6=x"}
                << QStringList{"8|data1=acc|data2=|data3=|data5=1|data6=y"}
                << (ios ? QStringList{"8|data1=acc|data5=1|data6=x"}
                        : QStringList{"8|data1=acc|data5=1|data6=x", "8|data1=acc|data5=1|data6=y"})
                << (ios ? 0 : 1) << 0;
            // An iPhone contact has one nickname; a local one keeps each.
            QTest::addRow("%s: a second nickname", rule)
                << ios << QStringList{"5|data1=Nan|data2=|data3="} << QStringList{"5|data1=Bo|data2=|data3="}
                << (ios ? QStringList{"5|data1=Bo"} : QStringList{"5|data1=Nan", "5|data1=Bo"}) << 1 << 0;
            QTest::addRow("%s: a second organisation", rule)
                << ios << QStringList{"10|data1=A|data2=1|data3=|data4=|data5=Dept A"}
                << QStringList{"10|data1=B|data2=1|data3=|data4=|data5="}
                << (ios ? QStringList{"10|data1=B|data2=1|data5=Dept A"}
                        : QStringList{"10|data1=A|data2=1|data5=Dept A", "10|data1=B|data2=1"})
                << 1 << 0;
        }
    }

    void rulesDecideTheMerge()
    {
        QFETCH(bool, ios);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, incoming);
        QFETCH(QStringList, after);
        QFETCH(int, returned);
        QFETCH(int, groups);

        QSharedPointer<AbsContactCombineRule> rule(
            ios ? static_cast<AbsContactCombineRule *>(new IOSContactCombineRule) : new LocalDbCombineRule);
        const std::unique_ptr<LocalDb> db = freshDb(rule);
        _Contact annRow(0, QString(), QStringLiteral("Ann"));
        db->insertContactBase(annRow);
        for (const QString &spec : stored) {
            auto [type, e] = parseEntry(spec);
            db->insertEntity(annRow.id, type, e);
        }

        _Contact in(0, QString(), QStringLiteral("ann"));
        for (const QString &spec : incoming) {
            auto [type, e] = parseEntry(spec);
            in.entities[type].append(e);
        }
        db->beginEdit();
        _Contact out;
        bool existed = false;
        const QMap<int, QList<Entity>> result = db->combineContact(in, out, existed);
        db->endEdit(true);

        QVERIFY(existed);
        int written = 0;
        for (const QList<Entity> &list : result)
            written += int(list.size());
        QCOMPARE(written, returned);

        QCOMPARE(render(db->contact(annRow.id).entities), after);
        QCOMPARE(int(db->groups().size()), groups);
    }
};

TARNWICK_TEST_MAIN(CombineContactIosTest)
#include "tst_combinecontact_ios.moc"
