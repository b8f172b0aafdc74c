#include "fileio/ExportToFileThread.h"
#include "fileio/ImportContactsToLocalThread.h"

#include "EntityFixtures.h"
#include "ExceptionText.h"
#include "RecordingProgressSink.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QFile>

#include <functional>
#include <thread>

namespace {

// Plays the user who confirms Cancel while contact `at` is being read.
class CancellingSink : public RecordingProgressSink
{
public:
    explicit CancellingSink(int at)
        : m_at(at)
    {}
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        RecordingProgressSink::invokeUpdateProgress(status, curProgress, progressText);
        if (++m_seen == m_at)
            canceled = true;
        return true;
    }

private:
    int m_at;
    int m_seen = 0;
};

QByteArray vcards(const QStringList &names)
{
    QByteArray out;
    for (const QString &n : names) {
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        if (!n.isEmpty())
            out += "N:" + n.toUtf8() + ";;;;\r\n";
        out += "TEL;TYPE=cell:555\r\nEND:VCARD\r\n";
    }
    return out;
}

QStringList progressValues(const QStringList &reports)
{
    QStringList out;
    for (const QString &r : reports) {
        if (r.startsWith(QLatin1String("progress|")))
            out << r.section(QLatin1Char('|'), 2, 2);
    }
    return out;
}

// Runs `act` once, while contact `at` is being read.
class ActingSink : public RecordingProgressSink
{
public:
    ActingSink(int at, std::function<void()> act)
        : m_at(at)
        , m_act(std::move(act))
    {}
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        RecordingProgressSink::invokeUpdateProgress(status, curProgress, progressText);
        if (++m_seen == m_at)
            m_act();
        return true;
    }

private:
    int m_at;
    std::function<void()> m_act;
    int m_seen = 0;
};

} // namespace

class TestImportContactsToLocalThread : public QObject, tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void outcome_data();
    void outcome();
    void progressDividesBeforeMultiplying_data();
    void progressDividesBeforeMultiplying();
    void progressOfAHundredRows();
    void csvFileByItsType();
    void csvExportImportKeepsEveryContact();
    void cancelRollsTheWholeFileBack();
    void failingMergeRollsTheWholeFileBack();
    void errorsBeforeTheTransaction_data();
    void errorsBeforeTheTransaction();
    void targetTakenAwayDuringTheImport_data();
    void targetTakenAwayDuringTheImport();
    void targetBusyWithAnotherWriter();

private:
    QString file(const QByteArray &bytes, const QString &name = QStringLiteral("in.vcf"))
    {
        const QString path = filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
        return path;
    }

    // Runs an import to its end and returns the reports.
    QStringList run(const QString &path, int type, LocalDb &db, RecordingProgressSink &sink)
    {
        ImportContactsToLocalThread worker(path, type, &db, &sink);
        worker.start();
        worker.wait();
        return sink.reports();
    }

    static int contacts(LocalDb &db)
    {
        db.open_check();
        return count(db, QStringLiteral("select count(*) from contact"));
    }
    static int entries(LocalDb &db) { return count(db, QStringLiteral("select count(*) from data")); }

    void storeOne(LocalDb &db, const QString &name)
    {
        pim::_Contact c(0, QString(), name);
        pim::Entity n;
        n.values.insert(pim::NameKey::FullName, name);
        n.values.insert(pim::NameKey::GivenName, name);
        c.entities[pim::ENTITY_NAME] << n;
        pim::_Contact out;
        bool existed = false;
        db.combineContact(c, out, existed);
    }
};

void TestImportContactsToLocalThread::outcome_data()
{
    QTest::addColumn<QStringList>("inFile");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("progress");
    QTest::addColumn<QString>("success");
    QTest::addColumn<int>("contactsAfter");

    QTest::newRow("no cards") << QStringList{} << QStringList{} << QStringList{}
                              << QStringLiteral("succeed|IDS_SUC_IMPORT_0_CONTACTS_TO_DB") << 0;
    QTest::newRow("three new") << QStringList{"Ann", "Bob", "Cy"} << QStringList{}
                               << QStringList{"33", "66", "100"}
                               << QStringLiteral("succeed|IDS_SUC_IMPORT_3_CONTACTS_TO_DB") << 3;
    // Nothing to match a contact without a name by: each comes in as a contact of its own.
    QTest::newRow("nameless cards stored and counted, never merged")
        << QStringList{"Ann", "", "Bob", "", "Cy"} << QStringList{}
        << QStringList{"20", "40", "60", "80", "100"}
        << QStringLiteral("succeed|IDS_SUC_IMPORT_5_CONTACTS_TO_DB") << 5;
    QTest::newRow("twice in one file")
        << QStringList{"Ann", "Ann"} << QStringList{} << QStringList{"50", "100"}
        << QStringLiteral("succeed|IDS_SUC_IMPORT_1_CONTACTS_TO_DB_1_MERGED") << 1;
    QTest::newRow("all stored already, letter case aside")
        << QStringList{"ann", "Bob"} << QStringList{"Ann", "Bob"} << QStringList{"50", "100"}
        << QStringLiteral("succeed|IDS_SUC_IMPORT_0_CONTACTS_TO_DB_2_MERGED") << 2;
}

void TestImportContactsToLocalThread::outcome()
{
    QFETCH(QStringList, inFile);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, progress);
    QFETCH(QString, success);
    QFETCH(int, contactsAfter);

    auto db = freshDb();
    for (const QString &name : stored)
        storeOne(*db, name);
    RecordingProgressSink sink;
    const QStringList reports = run(file(vcards(inFile)), ImportContactsToLocalThread::TYPE_VCARD, *db, sink);
    QCOMPARE(progressValues(reports), progress);
    QCOMPARE(reports.last(), success);
    if (!progress.isEmpty()) {
        QCOMPARE(reports.first(), QStringLiteral("progress|IDS_IMPORTING_CONTACTS_TO_DB|%1|Contacts:1/%2")
                                      .arg(progress.first())
                                      .arg(inFile.size()));
    }
    QCOMPARE(contacts(*db), contactsAfter);
}

void TestImportContactsToLocalThread::progressDividesBeforeMultiplying_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("percent");
    QTest::newRow("29 of 100") << 29 << 100 << 28;
    QTest::newRow("57 of 100") << 57 << 100 << 56;
    QTest::newRow("58 of 100") << 58 << 100 << 57;
    QTest::newRow("100 of 100") << 100 << 100 << 100;
    QTest::newRow("1 of 3") << 1 << 3 << 33;
    QTest::newRow("3 of 3") << 3 << 3 << 100;
}

void TestImportContactsToLocalThread::progressDividesBeforeMultiplying()
{
    QFETCH(int, number);
    QFETCH(int, total);
    QFETCH(int, percent);
    QCOMPARE(ImportContactsToLocalThread::percent(number, total), percent);
}

void TestImportContactsToLocalThread::progressOfAHundredRows()
{
    QByteArray csv("First Name,Tel:Mobile\n");
    for (int i = 1; i <= 100; ++i)
        csv += "Person " + QByteArray::number(i) + ",555\n";
    auto db = freshDb();
    RecordingProgressSink sink;
    const QStringList values = progressValues(
        run(file(csv, QStringLiteral("in.csv")), ImportContactsToLocalThread::TYPE_CSV, *db, sink));
    QCOMPARE(values.size(), 100);
    QCOMPARE(values.at(28), QStringLiteral("28"));
    QCOMPARE(values.at(99), QStringLiteral("100"));
    QCOMPARE(contacts(*db), 100);
}

void TestImportContactsToLocalThread::csvFileByItsType()
{
    auto db = freshDb();
    RecordingProgressSink sink;
    // The type decides the reader, not the file's name.
    const QString path = file("First Name,Last Name\nAnn,Lee\n", QStringLiteral("looks-like.vcf"));
    run(path, ImportContactsToLocalThread::TYPE_CSV, *db, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_IMPORT_1_CONTACTS_TO_DB"));
    QCOMPARE(db->contacts(0, QString()).value(0).fullName, QStringLiteral("Ann Lee"));
}

// A table written by the program and read into an empty database gives back every contact with
// its full name and every value a table has a column for.
void TestImportContactsToLocalThread::csvExportImportKeepsEveryContact()
{
    using tarnwick::test::contactOf;
    const QList<pim::_Contact> table{
        contactOf("Ann Lee", {"1|data1=Ann Lee|data2=Ann|data3=Lee", "3|data1=+1 555 1|data2=2",
                              "3|data1=+1 555 2|data2=2", "4|data1=ann@a.example|data2=1",
                              "4|data1=ann@b.example|data2=1", "5|data1=Annie|data2=1", "5|data1=A.|data2=1",
                              "7|data2=Friends", "7|data2=Golf", "6|data1=1980-05-12|data2=3",
                              "9|data1=two\nlines, \"quoted\""}),
        // A company card: no name parts, its full name is the company's.
        contactOf("ACME, Inc.", {"10|data1=ACME, Inc.|data4=Sales", "3|data1=0800 1|data2=3"}),
        // A card read with its full name alone.
        contactOf("Dr. Bo", {"1|data1=Dr. Bo", "13|data1=http://bo.example|data2=1"}),
        // A custom-labelled phone and one whose code has no label: both are filed as "Other".
        contactOf("Cy", {"1|data1=Cy|data2=Cy", "3|data1=111|data2=0|data3=Boat", "3|data1=222|data2=77"}),
    };
    const QString path = filePath(QStringLiteral("table.csv"));
    RecordingProgressSink exported;
    ExportToFileThread writer(table, ExportToFileThread::TYPE_CSV, path, &exported);
    writer.start();
    writer.wait();
    QCOMPARE(exported.outcome(), QStringLiteral("succeed|IDS_SUC_EXPORT_4_CONTACTS_TO_FILE"));

    auto db = freshDb();
    RecordingProgressSink sink;
    run(path, ImportContactsToLocalThread::TYPE_CSV, *db, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_IMPORT_4_CONTACTS_TO_DB"));

    // What the table carries: every value, the codes a label table knows (a custom label and an
    // unknown code both read back as "Other").
    const auto values = [](const pim::_Contact &c) {
        QStringList out;
        for (auto it = c.entities.constBegin(); it != c.entities.constEnd(); ++it) {
            for (const pim::Entity &e : it.value()) {
                QStringList parts;
                for (auto v = e.values.constBegin(); v != e.values.constEnd(); ++v) {
                    const QString text = v.value().toString();
                    // The full name is compared as the contact's; a group's row id is the database's.
                    const bool skipped =
                        it.key() == pim::ENTITY_NAME ? v.key() == pim::NameKey::FullName
                        : it.key() == pim::ENTITY_GROUP
                            ? v.key() == pim::GroupKey::GroupId
                            : it.key() == pim::ENTITY_PHONE &&
                                  (v.key() == pim::ValueKey::Label ||
                                   (v.key() == pim::ValueKey::SubType && (text == "77" || text == "0")));
                    if (!text.isEmpty() && !skipped)
                        parts << v.key() + '=' + text;
                }
                if (!parts.isEmpty())
                    out << QString::number(it.key()) + '|' + parts.join('|');
            }
        }
        out.sort();
        return out;
    };
    QMap<QString, QStringList> expected;
    for (const pim::_Contact &c : table)
        expected.insert(c.fullName, values(c));
    QMap<QString, QStringList> got;
    for (const pim::_Contact &c : db->contacts(0, QString()))
        got.insert(c.fullName, values(c));
    QCOMPARE(got.keys(), expected.keys());
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
        QCOMPARE(got.value(it.key()), it.value());
}

void TestImportContactsToLocalThread::cancelRollsTheWholeFileBack()
{
    auto db = freshDb();
    storeOne(*db, QStringLiteral("Kept"));
    const int before = entries(*db);
    CancellingSink sink(2);
    const QStringList reports =
        run(file(vcards({"Ann", "Bob", "Cy", "Kept"})), ImportContactsToLocalThread::TYPE_VCARD, *db, sink);
    // The contact being read when the user confirmed is finished; then nothing more, no message.
    QCOMPARE(progressValues(reports), (QStringList{"25", "50"}));
    QCOMPARE(sink.outcome(), QString());
    QCOMPARE(contacts(*db), 1);
    QCOMPARE(entries(*db), before);
}

void TestImportContactsToLocalThread::failingMergeRollsTheWholeFileBack()
{
    auto db = freshDb();
    storeOne(*db, QStringLiteral("Kept"));
    const int before = entries(*db);
    // The third new contact row cannot be written.
    db->db.executeThrow(Sqlite3Sql(QStringLiteral(
        "create trigger refuse_third before insert on contact when (select count(*) from contact) >= 3 "
        "begin select raise(abort, 'no room for a third'); end")));
    RecordingProgressSink sink;
    const QStringList reports =
        run(file(vcards({"Ann", "Bob", "Cy", "Dee"})), ImportContactsToLocalThread::TYPE_VCARD, *db, sink);
    QVERIFY2(sink.outcome().startsWith(QLatin1String("error|")), qPrintable(sink.outcome()));
    QVERIFY2(sink.outcome().contains(QLatin1String("no room for a third")), qPrintable(sink.outcome()));
    QCOMPARE(progressValues(reports), (QStringList{"25", "50", "75"}));
    QCOMPARE(contacts(*db), 1);
    QCOMPARE(entries(*db), before);
}

void TestImportContactsToLocalThread::errorsBeforeTheTransaction_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<bool>("emptyText");

    QTest::newRow("type 0") << 0 << true << true;
    QTest::newRow("type 3") << 3 << true << true;
    QTest::newRow("missing vCard file") << int(ImportContactsToLocalThread::TYPE_VCARD) << false << false;
    QTest::newRow("missing CSV file") << int(ImportContactsToLocalThread::TYPE_CSV) << false << false;
}

void TestImportContactsToLocalThread::errorsBeforeTheTransaction()
{
    QFETCH(int, type);
    QFETCH(bool, fileExists);
    QFETCH(bool, emptyText);
    auto db = freshDb();
    const QString path = fileExists ? file(vcards({"Ann"})) : filePath(QStringLiteral("missing.vcf"));
    RecordingProgressSink sink;
    const QStringList reports = run(path, type, *db, sink);
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports.first().startsWith(QLatin1String("error|")));
    QCOMPARE(reports.first() == QLatin1String("error|"), emptyText);
    // The database was not even opened.
    QVERIFY(!db->db.handle());
}

void TestImportContactsToLocalThread::targetTakenAwayDuringTheImport_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("removed") << "remove";
    QTest::newRow("removed with its journal") << "remove journal";
    QTest::newRow("another file put in its place") << "replace";
}

void TestImportContactsToLocalThread::targetTakenAwayDuringTheImport()
{
    QFETCH(QString, how);
    auto db = freshDb();
    storeOne(*db, QStringLiteral("Kept"));
    const QString replacement = filePath(QStringLiteral("replacement of %1.db").arg(QTest::currentDataTag()));
    QVERIFY(QFile::copy(db->path, replacement));

    // Another program takes the file away while the third card is read.
    ActingSink sink(3, [&] {
        QFile::remove(db->path);
        if (how == "remove journal")
            QFile::remove(db->path + QStringLiteral("-journal"));
        if (how == "replace")
            QFile::copy(replacement, db->path);
    });
    run(file(vcards({"Ann", "Bob", "Cy", "Dee"})), ImportContactsToLocalThread::TYPE_VCARD, *db, sink);
    // Never a success for contacts that went into a file no longer there.
    QVERIFY2(sink.outcome().startsWith(QLatin1String("error|IDS_DATABASE_REPLACED_")), qPrintable(sink.outcome()));

    if (how == "replace") {
        // The next use reads what the path holds now, untouched.
        QCOMPARE(contacts(*db), 1);
        QFile now(db->path);
        QFile before(replacement);
        QVERIFY(now.open(QIODevice::ReadOnly) && before.open(QIODevice::ReadOnly));
        QVERIFY(now.readAll() == before.readAll());
    } else {
        // Nothing reads the removed file any more: the next use finds no database.
        QVERIFY(!QFile::exists(db->path));
        QVERIFY(!tarnwick::test::whatOf([&] { db->contacts(0, QString()); }).isEmpty());
    }
}

void TestImportContactsToLocalThread::targetBusyWithAnotherWriter()
{
    auto db = freshDb();
    storeOne(*db, QStringLiteral("Kept"));
    // Another program writes the file when the import starts, and ends a moment later.
    Sqlite3DB other;
    other.openThrow(db->path, Sqlite3DB::ReadWrite);
    other.beginTran();
    other.executeThrow(Sqlite3Sql("insert into contact(full_name) values('Theirs')"));
    QCOMPARE(other.transactionDepth(), 1);

    RecordingProgressSink sink;
    ImportContactsToLocalThread worker(file(vcards({"Ann", "Bob"})), ImportContactsToLocalThread::TYPE_VCARD,
                                       db.get(), &sink);
    worker.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QVERIFY(other.commitTran());
    QVERIFY(worker.wait(60000));
    // It waited for the other writer instead of failing at once.
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_IMPORT_2_CONTACTS_TO_DB"));
    QCOMPARE(contacts(*db), 4);
}

TARNWICK_TEST_MAIN(TestImportContactsToLocalThread)
#include "tst_importcontactstolocalthread.moc"
