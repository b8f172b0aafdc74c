#include "TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>

#include <sqlite3.h>

class TemplateDatabaseTest : public QObject
{
    Q_OBJECT

private:
    static quint32 readBigEndian(const QByteArray &bytes, int offset, int size)
    {
        quint32 value = 0;
        for (int i = 0; i < size; ++i)
            value = (value << 8) | quint8(bytes.at(offset + i));
        return value;
    }

private slots:
    void headerHasTheStoredFormat()
    {
        QFile file(QStringLiteral(":res/db.db"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 12288);
        QVERIFY(bytes.startsWith(QByteArray("SQLite format 3\0", 16)));
        QCOMPARE(readBigEndian(bytes, 16, 2), 1024u); // page size
        QCOMPARE(readBigEndian(bytes, 18, 1), 1u);    // write version: rollback journal
        QCOMPARE(readBigEndian(bytes, 19, 1), 1u);    // read version
        QCOMPARE(readBigEndian(bytes, 20, 1), 0u);    // reserved bytes per page
        QCOMPARE(readBigEndian(bytes, 28, 4), 12u);   // pages in the file
        QCOMPARE(readBigEndian(bytes, 44, 4), 4u);    // schema format
        QCOMPARE(readBigEndian(bytes, 52, 4), 0u);    // no auto-vacuum
        QCOMPARE(readBigEndian(bytes, 56, 4), 1u);    // UTF-8
        QCOMPARE(readBigEndian(bytes, 60, 4), 0u);    // user version
        QCOMPARE(readBigEndian(bytes, 68, 4), 0u);    // application id
    }

    void schemaObjectsComeInOrderAndTablesAreEmpty()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("copy.db"));
        QVERIFY(QFile::copy(QStringLiteral(":res/db.db"), path));
        QFile::setPermissions(path, QFile::ReadUser | QFile::WriteUser);

        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        auto strings = [db](const char *sql) {
            QStringList out;
            sqlite3_stmt *stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
                while (sqlite3_step(stmt) == SQLITE_ROW)
                    out << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
            }
            sqlite3_finalize(stmt);
            return out;
        };
        const QStringList names = strings("select name from sqlite_master order by rowid");
        QCOMPARE(names, (QStringList{"contact_group", "sqlite_sequence", "contact", "index_contacts_src_id",
                                     "index_contacts_full_name", "data", "index_data_contact",
                                     "index_data_data", "index_data_src_id"}));
        QCOMPARE(strings("select count(*) from contact_group"), QStringList{"0"});
        QCOMPARE(strings("select count(*) from contact"), QStringList{"0"});
        QCOMPARE(strings("select count(*) from data"), QStringList{"0"});
        QCOMPARE(strings("select count(*) from sqlite_sequence"), QStringList{"0"});
        QCOMPARE(strings("select name from pragma_table_info('data') where name like 'data%'").size(), 15);
        QCOMPARE(strings("select dflt_value from pragma_table_info('data') where name='data7'"),
                 QStringList{"''"});
        QCOMPARE(strings("select type from pragma_table_info('data') where name='data15'"),
                 QStringList{"BLOB"});
        sqlite3_close(db);
    }

    void applicationIconIsReachableUnderItsShortName()
    {
        QFile shortName(QStringLiteral(":/main_icon"));
        QFile longName(QStringLiteral(":/res/main_icon.png"));
        QVERIFY(shortName.open(QIODevice::ReadOnly));
        QVERIFY(longName.open(QIODevice::ReadOnly));
        QCOMPARE(shortName.readAll(), longName.readAll());
    }

    void translationCatalogueLoads()
    {
        QTranslator translator;
        QVERIFY(translator.load(QStringLiteral(":/en.qm")));
    }
};

TARNWICK_TEST_MAIN(TemplateDatabaseTest)
#include "tst_templatedatabase.moc"
