#include "AppFixtures.h"
#include "ExceptionText.h"
#include "TestMain.h"
#include "model/DataFolder.h"
#include "model/EntityType.h"
#include "shell/app/DbFactory.h"
#include "shell/app/ItemModelMainTree.h"

#include <QFile>

using fixture::names;
using Tree = ItemModelMainTree;

// Every database the shell holds comes with the merge rule of its kind, and making one never
// replaces a file the user already has.
class TestDbFactory : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(g_dataSaveDir().filePath(QStringLiteral("data"))).removeRecursively(); }

    // Group memberships merge in the local rule and never in the iPhone's.
    void ruleFollowsTheKind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("mergesGroups");
        QTest::newRow("local") << "local" << true;
        QTest::newRow("iPhone") << "ios" << false;
        QTest::newRow("offline iPhone") << "offlineIos" << false;
        QTest::newRow("offline Android") << "offlineAndroid" << true;
    }

    void ruleFollowsTheKind()
    {
        QFETCH(QString, kind);
        QFETCH(bool, mergesGroups);
        const QString path = g_dataSaveDir().filePath(QStringLiteral("k.db"));
        const QSharedPointer<LocalDb> db = kind == "local"        ? DbFactory::localDb(path)
                                           : kind == "ios"        ? DbFactory::iosDb(path)
                                           : kind == "offlineIos" ? DbFactory::offlineDb(path, Tree::IOS)
                                                                  : DbFactory::offlineDb(path, Tree::ANDROID);
        QCOMPARE(db->path, path);
        bool single = false;
        QCOMPARE(!db->rule->validFields(pim::ENTITY_GROUP, single).isEmpty(), mergesGroups);
        // Nothing is touched before the database is used.
        QVERIFY(!QFile::exists(path));
    }

    void existingLocalDatabaseIsKept()
    {
        fixture::makeDb(LocalDb::dbDir().filePath(QStringLiteral("Mine.db")), {{"Ann", "", "", ""}});
        const QSharedPointer<LocalDb> kept = DbFactory::openOrCreateLocalDb(QStringLiteral("Mine.db"));
        QCOMPARE(names(kept->contacts(0, QString())), QStringList{"Ann"});

        const QSharedPointer<LocalDb> made = DbFactory::openOrCreateLocalDb(QStringLiteral("New.db"));
        QVERIFY(QFile::exists(LocalDb::dbDir().filePath(QStringLiteral("New.db"))));
        QVERIFY(made->contacts(0, QString()).isEmpty());
    }

    // Only a regular file is an existing database: a folder of that name is neither opened as one
    // nor replaced, and making the database there fails with an error.
    void folderIsNoDatabase()
    {
        const QString path = LocalDb::dbDir().filePath(QStringLiteral("dir.db"));
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        const QString error =
            tarnwick::test::whatOf([] { DbFactory::openOrCreateLocalDb(QStringLiteral("dir.db")); });
        QVERIFY(!error.isEmpty());
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QFileInfo::exists(path + QStringLiteral("/inside")));
    }

    // A device identifier becomes a file name in a cache folder whose file is replaced: one that
    // names another place is refused before anything is made.
    void cacheNamesOnlyPlainFiles_data()
    {
        QTest::addColumn<QString>("devId");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("udid") << "00008101-000A1B2C3D4E5F60" << true;
        QTest::newRow("Wi-Fi name with spaces") << "Pat's Pixel" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("dot") << "." << false;
        QTest::newRow("dot-dot") << ".." << false;
        QTest::newRow("sub-folder") << "a/b" << false;
        QTest::newRow("backslash") << "a\\b" << false;
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b") << false;
    }

    void cacheNamesOnlyPlainFiles()
    {
        QFETCH(QString, devId);
        QFETCH(bool, accepted);
        QString path;
        const QString error =
            tarnwick::test::whatOf([&] { path = DbFactory::cachePath(QStringLiteral("cache_test"), devId); });
        QCOMPARE(error.isEmpty(), accepted);
        if (accepted) {
            QCOMPARE(QFileInfo(path).fileName(), devId);
            QCOMPARE(QFileInfo(path).absolutePath(), g_dataSaveDir().filePath(QStringLiteral("cache_test")));
        } else {
            QVERIFY2(error.startsWith(QLatin1String("Invalid device identifier")), qPrintable(error));
        }
    }
};

TARNWICK_TEST_MAIN(TestDbFactory)
#include "tst_dbfactory.moc"
