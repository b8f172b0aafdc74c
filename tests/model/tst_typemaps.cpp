#include "model/TypeMaps.h"

#include "TestMain.h"

#include <QAtomicInt>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

namespace {

using TableFn = QMap<int, QString> (*)();

struct Table
{
    const char *name;
    TableFn fn;
    QMap<int, QString> expected;
};

QList<Table> tables()
{
    return {
        {"phone",
         pim::phoneTypeMap,
         {{0, "Other"},    {1, "Home"},         {2, "Mobile"},      {3, "Work"},       {4, "Work Fax"},
          {5, "Home Fax"}, {6, "Pager"},        {8, "Callback"},    {9, "Car"},        {10, "Company Main"},
          {11, "ISDN"},    {12, "Main"},        {13, "Other Fax"},  {14, "Radio"},     {15, "Telex"},
          {16, "TTY TDD"}, {17, "Work Mobile"}, {18, "Work Pager"}, {19, "Assistant"}, {20, "MMS"}}},
        {"email", pim::emailTypeMap, {{0, "Other"}, {1, "Home"}, {2, "Work"}, {4, "Mobile"}}},
        {"event", pim::eventTypeMap, {{0, "Other"}, {1, "Anniversary"}, {3, "Birthday"}}},
        {"im protocol",
         pim::imProtocolMap,
         {{0, "Other"},
          {1, "AIM"},
          {2, "MSN"},
          {3, "Yahoo"},
          {4, "Skype"},
          {5, "QQ"},
          {6, "Google Talk"},
          {7, "ICQ"},
          {8, "Jabber"},
          {9, "Net Meeting"},
          {10, "Gadu Gadu"},
          {11, "Facebook"}}},
        {"im", pim::imTypeMap, {{0, "Other"}, {1, "Home"}, {2, "Work"}}},
        {"nickname",
         pim::nicknameTypeMap,
         {{0, "Other"}, {1, "Default"}, {2, "Other"}, {3, "Maiden"}, {4, "Short"}, {5, "Initials"}}},
        {"org", pim::orgTypeMap, {{0, "Other"}, {1, "Work"}}},
        {"relation",
         pim::relTypeMap,
         {{0, "Other"},
          {1, "Assistant"},
          {2, "Brother"},
          {3, "Child"},
          {4, "Domestic Partner"},
          {5, "Father"},
          {6, "Friend"},
          {7, "Manager"},
          {8, "Mother"},
          {9, "Parent"},
          {10, "Partner"},
          {11, "Referred by"},
          {12, "Relative"},
          {13, "Sister"},
          {14, "Spouse"}}},
        {"address", pim::addrTypeMap, {{0, "Other"}, {1, "Home"}, {2, "Work"}}},
        {"url",
         pim::urlTypeMap,
         {{0, "Other"}, {1, "Home page"}, {2, "Blog"}, {3, "Profile"}, {4, "Home"}, {5, "Work"}, {6, "FTP"}}},
    };
}

} // namespace

class TestTypeMaps : public QObject
{
    Q_OBJECT

private slots:
    // Must stay the first test: it makes the first call of every table, from several threads at once.
    void concurrentFirstCall();
    void contents_data();
    void contents();
    void copiesDoNotChangeTable_data();
    void copiesDoNotChangeTable();
};

void TestTypeMaps::concurrentFirstCall()
{
    const QList<Table> all = tables();
    constexpr int threadCount = 8;
    QAtomicInt ready(0);
    QAtomicInt failures(0);

    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back(QThread::create([&all, &ready, &failures] {
            // Line up so that the first calls overlap as much as possible.
            ready.fetchAndAddOrdered(1);
            while (ready.loadAcquire() < threadCount) {
            }
            for (const Table &t : all) {
                if (t.fn() != t.expected)
                    failures.fetchAndAddOrdered(1);
            }
        }));
    }
    for (auto &t : threads)
        t->start();
    for (auto &t : threads)
        QVERIFY(t->wait(60000));
    QCOMPARE(failures.loadAcquire(), 0);
}

void TestTypeMaps::contents_data()
{
    QTest::addColumn<int>("index");
    const QList<Table> all = tables();
    for (int i = 0; i < all.size(); ++i)
        QTest::newRow(all.at(i).name) << i;
}

void TestTypeMaps::contents()
{
    QFETCH(int, index);
    const Table t = tables().at(index);
    const QMap<int, QString> map = t.fn();
    QCOMPARE(map, t.expected);
    QCOMPARE(map.value(0), QStringLiteral("Other"));
}

void TestTypeMaps::copiesDoNotChangeTable_data()
{
    contents_data();
}

void TestTypeMaps::copiesDoNotChangeTable()
{
    QFETCH(int, index);
    const Table t = tables().at(index);

    QMap<int, QString> copy = t.fn();
    // A code the table lacks reads as the empty text in the caller's copy only.
    QCOMPARE(copy[-1], QString());
    QCOMPARE(copy[99], QString());
    copy[0] = QStringLiteral("changed");
    copy.remove(1);
    copy.insert(1000, QStringLiteral("added"));

    const QMap<int, QString> again = t.fn();
    QCOMPARE(again, t.expected);
    QVERIFY(!again.contains(-1));
    QVERIFY(!again.contains(99));
}

TARNWICK_TEST_MAIN(TestTypeMaps)
#include "tst_typemaps.moc"
