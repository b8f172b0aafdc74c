#include "TestMain.h"

#include "EntityType.h"
#include "IOSContactCombineRule.h"
#include "LocalDb.h"
#include "LocalDbCombineRule.h"
#include "Sqlite3Cursor.h"

#include <QTemporaryDir>

#include <algorithm>

using pim::_Contact;
using pim::Entity;

namespace {

// "9|data1=text": an entry of type 9 with those values ("data3=" holds the empty text).
std::pair<int, Entity> parseEntry(const QString &spec)
{
    const QStringList parts = spec.split(QLatin1Char('|'));
    Entity e;
    for (int i = 1; i < parts.size(); ++i) {
        const int eq = parts[i].indexOf(QLatin1Char('='));
        e.values.insert(parts[i].left(eq), parts[i].mid(eq + 1));
    }
    return {parts.first().toInt(), e};
}

// Non-empty values only, keys in number order.
QString render(int type, const Entity &e)
{
    QStringList keys = e.values.keys();
    std::sort(keys.begin(), keys.end(),
              [](const QString &a, const QString &b) { return a.mid(4).toInt() < b.mid(4).toInt(); });
    QString out = QString::number(type);
    for (const QString &key : keys) {
        const QString value = e.values.value(key).toString();
        if (!value.isEmpty())
            out += QLatin1Char('|') + key + QLatin1Char('=') + value;
    }
    return out;
}

} // namespace

// The same incoming contacts merged under the iPhone rule and under the local rule.
class CombineContactIosTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNo = 0;

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
            QTest::addRow("%s: nickname stays single", rule)
                << ios << QStringList{"5|data1=Nan|data2=|data3="} << QStringList{"5|data1=Bo|data2=|data3="}
                << QStringList{"5|data1=Bo"} << 1 << 0;
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
        LocalDb db(m_dir.filePath(QStringLiteral("i%1.db").arg(++m_fileNo)), rule);
        db.create();
        _Contact annRow(0, QString(), QStringLiteral("Ann"));
        db.insertContactBase(annRow);
        for (const QString &spec : stored) {
            auto [type, e] = parseEntry(spec);
            db.insertEntity(annRow.id, type, e);
        }

        _Contact in(0, QString(), QStringLiteral("ann"));
        for (const QString &spec : incoming) {
            auto [type, e] = parseEntry(spec);
            in.entities[type].append(e);
        }
        db.beginEdit();
        _Contact out;
        bool existed = false;
        const QMap<int, QList<Entity>> result = db.combineContact(in, out, existed);
        db.endEdit(true);

        QVERIFY(existed);
        int written = 0;
        for (const QList<Entity> &list : result)
            written += int(list.size());
        QCOMPARE(written, returned);

        QStringList got;
        const _Contact read = db.contact(annRow.id);
        for (auto it = read.entities.constBegin(); it != read.entities.constEnd(); ++it) {
            for (const Entity &e : it.value())
                got << render(it.key(), e);
        }
        QCOMPARE(got, after);
        QCOMPARE(int(db.groups().size()), groups);
    }
};

TARNWICK_TEST_MAIN(CombineContactIosTest)
#include "tst_combinecontact_ios.moc"
