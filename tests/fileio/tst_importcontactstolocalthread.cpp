#include "fileio/ImportContactsToLocalThread.h"

#include "RecordingProgressSink.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"

#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QFile>

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
    void cancelRollsTheWholeFileBack();
    void failingMergeRollsTheWholeFileBack();
    void errorsBeforeTheTransaction_data();
    void errorsBeforeTheTransaction();

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
    QTest::newRow("nameless card read, not stored")
        << QStringList{"Ann", "", "Bob", "Cy"} << QStringList{} << QStringList{"25", "50", "75", "100"}
        << QStringLiteral("succeed|IDS_SUC_IMPORT_3_CONTACTS_TO_DB") << 3;
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

TARNWICK_TEST_MAIN(TestImportContactsToLocalThread)
#include "tst_importcontactstolocalthread.moc"
