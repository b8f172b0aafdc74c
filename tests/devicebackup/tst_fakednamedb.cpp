#include "devicebackup/FakeDNameDb.h"

#include "TestMain.h"

#include <QTemporaryDir>

namespace {

QString names(const QList<Backup2ToolHook::DirItem> &items)
{
    QStringList lines;
    for (const Backup2ToolHook::DirItem &item : items)
        lines << QStringLiteral("%1:%2:%3:%4")
                     .arg(item.name)
                     .arg(item.type)
                     .arg(item.size)
                     .arg(item.lastModified.toSecsSinceEpoch());
    lines.sort();
    return lines.join(QLatin1Char(' '));
}

const QDateTime t1 = QDateTime::fromSecsSinceEpoch(1700000000);
const QDateTime t2 = QDateTime::fromSecsSinceEpoch(1700000500);

} // namespace

class TestFakeDNameDb : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_path = m_dir->filePath(QStringLiteral("dname.sqlite"));
    }

    void rowsAndListings();
    void closedConnectionAnswersEmpty();
    void rowsReachTheFileEveryTenThousandInserts();
    void unopenableFileReportsItsError();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestFakeDNameDb::rowsAndListings()
{
    FakeDNameDb db;
    QVERIFY(db.open(m_path, nullptr));
    QVERIFY(db.items(QString()).isEmpty());
    const QString name31 = QStringLiteral("a").repeated(31);
    const QString name32 = QStringLiteral("ab") + QStringLiteral("c").repeated(30);
    const QString other = QStringLiteral("ab") + QStringLiteral("d").repeated(38);
    db.insert(name31, QStringLiteral("/top"), true, t1);
    db.insert(name32, QStringLiteral("/first"), false, t1);
    db.update(name32, t1, 77);
    db.insert(other, QStringLiteral("/other"), true, t2);
    db.update(QStringLiteral("no such row"), t2, 5);
    db.remove(QStringLiteral("no such row"));

    QCOMPARE(names(db.items(QString())), QStringLiteral("%1:1:0:%2 ab:2:0:%3")
                                             .arg(name31)
                                             .arg(t1.toSecsSinceEpoch())
                                             .arg(t2.toSecsSinceEpoch()));
    QCOMPARE(names(db.items(QStringLiteral("ab"))), QStringLiteral("%1:1:77:%2 %3:1:0:%4")
                                                        .arg(name32)
                                                        .arg(t1.toSecsSinceEpoch())
                                                        .arg(other)
                                                        .arg(t2.toSecsSinceEpoch()));

    // The same name again replaces the row whole: size back to 0.
    db.insert(name32, QStringLiteral("/second"), true, t2);
    QCOMPARE(db.getDName(name32), QStringLiteral("/second"));
    QVERIFY(names(db.items(QStringLiteral("ab"))).startsWith(QStringLiteral("%1:1:0:").arg(name32)));
    db.remove(other);
    QCOMPARE(db.getDName(other), QString());
    QCOMPARE(db.insertCount, 4ULL);
}

void TestFakeDNameDb::closedConnectionAnswersEmpty()
{
    FakeDNameDb db;
    db.insert(QStringLiteral("x"), QStringLiteral("/x"), true, t1);
    QCOMPARE(db.insertCount, 0ULL);
    QCOMPARE(db.getDName(QStringLiteral("x")), QString());
    QVERIFY(db.items(QString()).isEmpty());
    QVERIFY(!QFileInfo::exists(m_path));
}

void TestFakeDNameDb::rowsReachTheFileEveryTenThousandInserts()
{
    auto countOnDisk = [this] {
        Sqlite3DB reader;
        reader.openThrow(m_path, Sqlite3DB::ReadWrite);
        Sqlite3Cursor cursor = reader.queryThrow("select count(*) as n from dname");
        return cursor.moveNext() ? cursor.getInt64("n") : -1;
    };
    {
        FakeDNameDb db;
        QVERIFY(db.open(m_path, nullptr));
        for (int i = 0; i < 10001; ++i)
            db.insert(QStringLiteral("%1").arg(i, 40, 10, QLatin1Char('0')), QStringLiteral("/d"), false, t1);
        QCOMPARE(countOnDisk(), 10000LL);
    }
    // The rest is committed when the table goes.
    QCOMPARE(countOnDisk(), 10001LL);

    FakeDNameDb again;
    QVERIFY(again.open(m_path, nullptr));
    QCOMPARE(again.getDName(QStringLiteral("%1").arg(10000, 40, 10, QLatin1Char('0'))), QStringLiteral("/d"));
}

void TestFakeDNameDb::unopenableFileReportsItsError()
{
    FakeDNameDb db;
    QString error;
    QVERIFY(!db.open(m_dir->filePath(QStringLiteral("missing/folder/dname.sqlite")), &error));
    QVERIFY(!error.isEmpty());
}

TARNWICK_TEST_MAIN(TestFakeDNameDb)
#include "tst_fakednamedb.moc"
