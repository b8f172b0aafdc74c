#include "ExceptionText.h"
#include "FolderImage.h"
#include "TestMain.h"

#include "platform/sqlite/Sqlite3Cursor.h"
#include "platform/sqlite/Sqlite3DB.h"
#include "platform/sqlite/Sqlite3Exception.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <sqlite3.h>

namespace {

// A subclass as the device-backup code makes one: only the destructor is virtual.
class CountingDb : public Sqlite3DB
{
public:
    explicit CountingDb(int *destroyed)
        : m_destroyed(destroyed)
    {}
    ~CountingDb() override { ++*m_destroyed; }

private:
    int *m_destroyed;
};

// The library's own faults come as runtime errors; any other kind fails the test.
const auto whatOf = &tarnwick::test::whatOf<std::runtime_error>;

} // namespace

class Sqlite3DBTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileNo = 0;

    QString newPath() { return m_dir.filePath(QStringLiteral("t%1.db").arg(++m_fileNo)); }

    // A fresh file with one table t(id, name, n, b).
    void openFresh(Sqlite3DB &db)
    {
        db.openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(ROWID integer primary key autoincrement, name text not null, "
                        "n integer, b blob)");
    }

    static int rows(Sqlite3DB &db, const char *sql = "select count(*) as c from t")
    {
        Sqlite3Cursor cursor = db.queryThrow(sql);
        return cursor.moveNext() ? cursor.getInt("c") : -1;
    }

    static void insertName(Sqlite3DB &db, const QString &name)
    {
        Sqlite3Sql sql("insert into t(name) values(?)");
        sql.addTextParam(name);
        db.executeThrow(sql);
    }

private slots:
    void versionIsEight() { QCOMPARE(sqlite_qt_version(), 8); }

    void openFlagsDecideWhetherAFileIsMade()
    {
        const QString path = newPath();
        Sqlite3DB db;
        QVERIFY(!db.isOpen());
        QVERIFY(db.handle() == nullptr);

        const QString error = whatOf([&] { db.openThrow(path, Sqlite3DB::ReadWrite); });
        QVERIFY2(error.contains(path), qPrintable(error));
        QVERIFY(!db.isOpen());
        QVERIFY(!QFile::exists(path));

        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        QVERIFY(db.isOpen());
        QVERIFY(db.handle() != nullptr);
        db.executeThrow("create table x(a)");
        db.close();
        QVERIFY(db.handle() == nullptr);

        db.openThrow(path, 2);
        QCOMPARE(rows(db, "select count(*) as c from x"), 0);
    }

    // A database of someone else's folder (a backup's manifest) is read without a byte written
    // beside it, whatever its journal mode, and also when the folder cannot be written at all.
    void immutableOpenWritesNothing_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("wal");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("rollback journal") << "m.db" << false << false;
        QTest::newRow("WAL mode") << "m.db" << true << false;
        QTest::newRow("WAL mode, folder 0555") << "m.db" << true << true;
        QTest::newRow("URI characters in the name") << "a?b#c%41 \u00e9&mode=rwc.db" << true << false;
    }
    void immutableOpenWritesNothing()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, wal);
        QFETCH(bool, readOnlyFolder);
        const QString dir = m_dir.filePath(QStringLiteral("folder%1").arg(++m_fileNo));
        QVERIFY(QDir().mkpath(dir));
        const QString path = dir + QLatin1Char('/') + fileName;
        {
            Sqlite3DB writer;
            writer.openThrow(path, Sqlite3DB::ReadWriteCreate);
            if (wal)
                QCOMPARE(sqlite3_exec(writer.handle(), "pragma journal_mode=wal", nullptr, nullptr, nullptr),
                         SQLITE_OK);
            writer.executeThrow("create table t(name text)");
            insertName(writer, "a");
            insertName(writer, "b");
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(20).mid(18), wal ? QByteArray("\x02\x02") : QByteArray("\x01\x01"));
        file.close();
        QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{fileName});
        const QFile::Permissions writable = QFileInfo(dir).permissions();
        if (readOnlyFolder)
            QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const QStringList before = tarnwick::test::folderImage(dir);

        Sqlite3DB db;
        db.openImmutableThrow(path);
        QCOMPARE(rows(db), 2);
        QVERIFY(!whatOf([&] { insertName(db, "c"); }).isEmpty());
        db.close();
        const QStringList after = tarnwick::test::folderImage(dir);
        QFile::setPermissions(dir, writable);
        QCOMPARE(after, before);

        const QString missing = dir + QStringLiteral("/none.db");
        const QString error = whatOf([&] { db.openImmutableThrow(missing); });
        QVERIFY2(error.contains(missing), qPrintable(error));
        QVERIFY(!db.isOpen());
        QVERIFY(!QFile::exists(missing));
    }

    void valuesRoundTripAndNullReadsAsEmpty()
    {
        Sqlite3DB db;
        openFresh(db);
        const QString text = QStringLiteral("Zoë \u4e2d\u6587 'quoted'");
        const QByteArray bytes("\x00\x01\xffpng", 6);
        Sqlite3Sql sql("insert into t(name,n,b) values(?,?,?)");
        sql.addTextParam(text).addInt64Param(Q_INT64_C(1) << 40).addBlobParam(bytes);
        db.executeThrow(sql);
        QCOMPARE(db.lastInsertId(), 1LL);
        db.executeThrow(Sqlite3Sql("insert into t(name,n,b) values(?,NULL,NULL)").addTextParam("second"));
        QCOMPARE(db.lastInsertId(), 2LL);

        Sqlite3Cursor cursor = db.queryThrow("select ROWID, name, n, b, n as alias from t order by rowid");
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getInt64("rowid"), 1LL);
        QCOMPARE(cursor.getText("NAME"), text);
        QCOMPARE(cursor.getInt64("n"), Q_INT64_C(1) << 40);
        QCOMPARE(cursor.getInt64(2), Q_INT64_C(1) << 40);
        QCOMPARE(cursor.getBlob(QStringLiteral("B")), bytes);
        QCOMPARE(cursor.getInt64("Alias"), Q_INT64_C(1) << 40);

        QVERIFY(cursor.moveNext());
        QVERIFY(cursor.isNull("n"));
        QCOMPARE(cursor.getInt("n"), 0);
        QCOMPARE(cursor.getInt64("n"), 0LL);
        QCOMPARE(cursor.getText("n"), QString(""));
        QVERIFY(cursor.getBlob("b").isEmpty());
        QVERIFY(!cursor.moveNext());
        QVERIFY(!cursor.moveNext());

        const QString error = whatOf([&] { cursor.getText("name"); });
        QVERIFY(!error.isEmpty());
    }

    void nullTextAndEmptyBytesAreStoredAsEmptyValues()
    {
        Sqlite3DB db;
        openFresh(db);
        // The NOT NULL column takes a null QString: it goes in as the empty text.
        db.executeThrow(Sqlite3Sql("insert into t(name,b) values(?,?)")
                            .addTextParam(QString())
                            .addBlobParam(QByteArray()));
        Sqlite3Cursor cursor = db.queryThrow("select name, typeof(name) as tn, b, typeof(b) as tb from t");
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getText("name"), QString(""));
        QCOMPARE(cursor.getText("tn"), QStringLiteral("text"));
        QVERIFY(cursor.getBlob("b").isEmpty());
        QCOMPARE(cursor.getText("tb"), QStringLiteral("blob"));
    }

    void unknownColumnThrowsAndNamesTheStatement()
    {
        Sqlite3DB db;
        openFresh(db);
        insertName(db, "a");
        Sqlite3Cursor cursor = db.queryThrow("select name from t");
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.columnIndex("nope"), -1);
        const QString error = whatOf([&] { cursor.getText("nope"); });
        QVERIFY2(error.contains("select name from t"), qPrintable(error));
    }

    void countBeforeAndDuringIteration()
    {
        Sqlite3DB db;
        openFresh(db);
        for (int i = 0; i < 5; ++i)
            insertName(db, QString::number(i));

        Sqlite3Cursor cursor =
            db.queryThrow(Sqlite3Sql("select name from t where rowid > ? order by rowid").addInt64Param(1));
        QCOMPARE(cursor.count(), 4);
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.getText("name"), QStringLiteral("1"));
        QVERIFY(cursor.moveNext());
        QCOMPARE(cursor.count(), 4);
        QCOMPARE(cursor.getText("name"), QStringLiteral("2"));

        Sqlite3Cursor fresh = db.queryThrow("select name from t order by rowid");
        QVERIFY(fresh.moveNext());
        QVERIFY(fresh.moveNext());
        QCOMPARE(fresh.count(), 5);
        QCOMPARE(fresh.getText("name"), QStringLiteral("1"));
        QVERIFY(fresh.moveNext());
        QCOMPARE(fresh.getText("name"), QStringLiteral("2"));

        Sqlite3Cursor empty = db.queryThrow("select name from t where 0");
        QCOMPARE(empty.count(), 0);
        QVERIFY(!empty.moveNext());

        // A bound text outlives the statement's text and value it came from, through a count and
        // while another cursor runs the same statement with another value.
        const char *byName = "select name from t where name >= ? order by rowid";
        Sqlite3Cursor named = db.queryThrow(Sqlite3Sql(byName).addTextParam(QString::number(2)));
        QVERIFY(named.moveNext());
        Sqlite3Cursor other = db.queryThrow(Sqlite3Sql(byName).addTextParam(QString::number(4)));
        QCOMPARE(other.count(), 1);
        QCOMPARE(named.count(), 3);
        QCOMPARE(named.getText("name"), QStringLiteral("2"));
        QVERIFY(named.moveNext());
        QCOMPARE(named.getText("name"), QStringLiteral("3"));
    }

    void sameStatementRunsTwiceAtOnce()
    {
        Sqlite3DB db;
        openFresh(db);
        insertName(db, "a");
        insertName(db, "b");
        const char *sql = "select name from t order by rowid";
        Sqlite3Cursor outer = db.queryThrow(sql);
        QStringList seen;
        while (outer.moveNext()) {
            Sqlite3Cursor inner = db.queryThrow(sql);
            QVERIFY(inner.moveNext());
            QCOMPARE(inner.getText("name"), QStringLiteral("a"));
            seen << outer.getText("name");
        }
        QCOMPARE(seen, (QStringList{"a", "b"}));
        // The cached statement is usable again after the cursors ended mid-way and at the end.
        QCOMPARE(db.queryThrow(sql).count(), 2);
    }

    void transactionsNest_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("expected");
        // b: begin, c: commit, r: rollback, letters in quotes: insert that name
        QTest::newRow("inner commit kept by outer commit") << "b 'a' b 'b' c c" << QStringList{"a", "b"};
        QTest::newRow("inner commit undone by outer rollback") << "b 'a' b 'b' c r" << QStringList{};
        QTest::newRow("inner rollback, outer commit") << "b 'a' b 'b' r 'c' c" << QStringList{"a", "c"};
        QTest::newRow("three levels, middle rolled back") << "b 'a' b 'b' b 'c' c r c" << QStringList{"a"};
        QTest::newRow("commit and rollback with nothing open") << "c r 'a' r c" << QStringList{"a"};
        QTest::newRow("rollback after the outer commit") << "b 'a' c r" << QStringList{"a"};
        QTest::newRow("two brackets in turn") << "b 'a' r b 'b' c" << QStringList{"b"};
    }

    void transactionsNest()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, expected);
        const QString path = newPath();
        {
            Sqlite3DB db;
            db.openThrow(path, Sqlite3DB::ReadWriteCreate);
            db.executeThrow("create table t(ROWID integer primary key autoincrement, name text not null, "
                            "n integer, b blob)");
            for (const QString &step : steps.split(' ')) {
                if (step == "b")
                    db.beginTran();
                else if (step == "c")
                    QVERIFY(db.commitTran());
                else if (step == "r")
                    db.rollbackTran();
                else
                    insertName(db, step.mid(1, step.size() - 2));
            }
            QCOMPARE(db.transactionDepth(), 0);
        }
        Sqlite3DB check;
        check.openThrow(path, Sqlite3DB::ReadWrite);
        QStringList names;
        Sqlite3Cursor cursor = check.queryThrow("select name from t order by rowid");
        while (cursor.moveNext())
            names << cursor.getText("name");
        QCOMPARE(names, expected);
    }

    void closeWithATransactionOpenRollsItBack()
    {
        const QString path = newPath();
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(name text)");
        db.beginTran();
        db.beginTran();
        db.executeThrow("insert into t values('lost')");
        Sqlite3Cursor open = db.queryThrow("select name from t");
        QVERIFY(open.moveNext());
        db.close();
        db.close();
        QVERIFY(!db.isOpen());
        // A cursor that outlived its connection reads no more and does not crash.
        QVERIFY(!open.moveNext());
        QVERIFY(!whatOf([&] { open.getText("name"); }).isEmpty());
        db.commitTran();
        db.rollbackTran();
        db.beginTran();

        db.openThrow(path, Sqlite3DB::ReadWrite);
        QCOMPARE(db.transactionDepth(), 0);
        QCOMPARE(rows(db, "select count(*) as c from t"), 0);
        db.rollbackTran();
        db.executeThrow("insert into t values('kept')");
        QCOMPARE(rows(db, "select count(*) as c from t"), 1);
    }

    void failedCommitIsReportedAndLeavesNothingOpen()
    {
        const QString path = newPath();
        Sqlite3DB writer;
        writer.openThrow(path, Sqlite3DB::ReadWriteCreate);
        writer.executeThrow("create table t(name text)");
        sqlite3_busy_timeout(writer.handle(), 0);

        Sqlite3DB reader;
        reader.openThrow(path, Sqlite3DB::ReadWrite);
        // A read transaction (beginTran() would take the write lock).
        reader.executeThrow("BEGIN");
        Sqlite3Cursor holding = reader.queryThrow("select count(*) as c from t");
        QVERIFY(holding.moveNext()); // the reader now holds a shared lock until it ends

        writer.beginTran();
        writer.executeThrow("insert into t values('x')");
        QVERIFY(!writer.commitTran());
        QVERIFY(!writer.lastError().isEmpty());
        QCOMPARE(writer.transactionDepth(), 0);
        QVERIFY(sqlite3_get_autocommit(writer.handle()));

        reader.executeThrow("COMMIT");
        QCOMPARE(rows(writer, "select count(*) as c from t"), 0);
    }

    void transactionWaitsForAnotherWriter_data()
    {
        QTest::addColumn<int>("waitMs");
        QTest::addColumn<bool>("released"); // the other writer ends while this one waits
        QTest::newRow("other writer ends within the wait") << int(Sqlite3DB::kBusyWaitMs) << true;
        QTest::newRow("other writer holds on past the wait") << 100 << false;
    }

    void transactionWaitsForAnotherWriter()
    {
        QFETCH(int, waitMs);
        QFETCH(bool, released);
        const QString path = newPath();
        Sqlite3DB other;
        other.openThrow(path, Sqlite3DB::ReadWriteCreate);
        other.executeThrow("create table t(name text)");
        other.beginTran();
        other.executeThrow("insert into t values('theirs')");

        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWrite);
        std::thread releaser;
        std::atomic<bool> waiting{false};
        if (released) {
            releaser = std::thread([&] {
                while (!waiting)
                    std::this_thread::yield();
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                other.commitTran();
            });
        }
        waiting = true;
        db.beginTran(waitMs);
        if (releaser.joinable())
            releaser.join();
        if (!released) {
            QCOMPARE(db.transactionDepth(), 0);
            QVERIFY(db.lastFailureBusy());
            other.rollbackTran();
            return;
        }
        QCOMPARE(db.transactionDepth(), 1);
        db.executeThrow("insert into t values('ours')");
        QVERIFY(db.commitTran());
        QCOMPARE(rows(other, "select count(*) as c from t"), 2);
    }

    void fileMovedFollowsThePath_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("moved");
        QTest::newRow("untouched") << "none" << false;
        QTest::newRow("written over in place") << "overwrite" << false;
        QTest::newRow("removed") << "remove" << true;
        QTest::newRow("renamed away") << "rename" << true;
        QTest::newRow("another file put in its place") << "replace" << true;
    }

    void fileMovedFollowsThePath()
    {
        QFETCH(QString, change);
        QFETCH(bool, moved);
        const QString path = newPath();
        Sqlite3DB db;
        db.openThrow(path, Sqlite3DB::ReadWriteCreate);
        db.executeThrow("create table t(name text)");
        QVERIFY(!db.fileMoved());
        QFile file(path);
        if (change == "overwrite") {
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray bytes = file.readAll();
            QVERIFY(file.seek(0));
            QCOMPARE(file.write(bytes), bytes.size());
            file.close();
        } else if (change == "remove") {
            QVERIFY(file.remove());
        } else if (change == "rename") {
            QVERIFY(file.rename(path + ".old"));
        } else if (change == "replace") {
            QVERIFY(file.copy(path + ".copy"));
            QVERIFY(QFile::remove(path));
            QVERIFY(QFile::rename(path + ".copy", path));
        }
        QCOMPARE(db.fileMoved(), moved);
    }

    void errorsCarrySqliteTextAndStatement()
    {
        Sqlite3DB db;
        const QString closed = whatOf([&] { db.executeThrow("select 1"); });
        QVERIFY(!closed.isEmpty());

        openFresh(db);
        const QString syntax = whatOf([&] { db.executeThrow("selec nonsense"); });
        QVERIFY2(syntax.contains("syntax error") && syntax.contains("selec nonsense"), qPrintable(syntax));

        const QString constraint =
            whatOf([&] { db.executeThrow(Sqlite3Sql("insert into t(name) values(NULL)")); });
        QVERIFY2(constraint.contains("NOT NULL") && constraint.contains("insert into t"),
                 qPrintable(constraint));
        try {
            db.executeThrow("insert into t(name) values(NULL)");
            QFAIL("no exception");
        } catch (const Sqlite3Exception &e) {
            QCOMPARE(e.code() & 0xff, SQLITE_CONSTRAINT);
        }

        const QString tooFew = whatOf([&] { db.executeThrow("insert into t(name,n) values(?,?)"); });
        QVERIFY(!tooFew.isEmpty());
        const QString tooMany =
            whatOf([&] { db.queryThrow(Sqlite3Sql("select 1").addIntParam(1).addIntParam(2)); });
        QVERIFY(!tooMany.isEmpty());

        // The connection and its cached statements still work after the failures.
        insertName(db, "after");
        QCOMPARE(rows(db), 1);
    }

    void severalStatementsRunInTurn()
    {
        Sqlite3DB db;
        db.openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
        Sqlite3Sql sql("create table a(x); insert into a values(?); ");
        sql.appendSql("insert into a values(?);").addIntParam(1).addIntParam(2);
        db.executeThrow(sql);
        QCOMPARE(rows(db, "select sum(x) as c from a"), 3);
        QVERIFY(!whatOf([&] { db.queryThrow("select 1; select 2"); }).isEmpty());
    }

    void subclassAndNativeHandle()
    {
        int destroyed = 0;
        {
            std::unique_ptr<Sqlite3DB> db = std::make_unique<CountingDb>(&destroyed);
            db->openThrow(newPath(), Sqlite3DB::ReadWriteCreate);
            auto twice = [](sqlite3_context *ctx, int, sqlite3_value **argv) {
                sqlite3_result_int(ctx, 2 * sqlite3_value_int(argv[0]));
            };
            QCOMPARE(sqlite3_create_function_v2(db->handle(), "twice", 1, SQLITE_UTF8, nullptr, twice,
                                                nullptr, nullptr, nullptr),
                     SQLITE_OK);
            Sqlite3Cursor cursor = db->queryThrow("select twice(21) as v");
            QVERIFY(cursor.moveNext());
            QCOMPARE(cursor.getInt("v"), 42);
        }
        QCOMPARE(destroyed, 1);
    }

    void cursorMovesAndDefaultCursorIsEmpty()
    {
        Sqlite3Cursor none;
        QVERIFY(!none.moveNext());
        QCOMPARE(none.count(), 0);

        Sqlite3DB db;
        openFresh(db);
        insertName(db, "a");
        Sqlite3Cursor first = db.queryThrow("select name from t");
        Sqlite3Cursor second = std::move(first);
        QVERIFY(!first.moveNext());
        QVERIFY(second.moveNext());
        QCOMPARE(second.getText("name"), QStringLiteral("a"));
        none = std::move(second);
        QCOMPARE(none.getText("name"), QStringLiteral("a"));
    }
};

TARNWICK_TEST_MAIN(Sqlite3DBTest)
#include "tst_sqlite3db.moc"
