// The phone mirror: where a connected phone's mirror lives, what an identifier may name, and how long
// the connector lives.
#include "ExceptionText.h"
#include "TestMain.h"

#include "android/AdbConnector.h"
#include "android/AndroidContactsDb.h"

#include "model/DataFolder.h"
#include "model/LocalDbCombineRule.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// A connector that tells when it is gone.
class TracedConnector : public IAndroidConnector
{
public:
    explicit TracedConnector(bool *alive)
        : m_alive(alive)
    {
        *m_alive = true;
    }
    ~TracedConnector() override { *m_alive = false; }
    void initialCheck() override {}
    QString startBackup(int) override { return {}; }
    QString startRestore(int) override { return {}; }
    QString logcat() override { return {}; }

private:
    bool *m_alive;
};

} // namespace

class TestAndroidContactsDb : public QObject
{
    Q_OBJECT

private slots:
    void identifiersThatNameAnotherPlaceAreRefused_data()
    {
        QTest::addColumn<QString>("devId");
        QTest::newRow("empty") << "";
        QTest::newRow("dot") << ".";
        QTest::newRow("dot dot") << "..";
        QTest::newRow("climbs out") << "../data/mine.db";
        QTest::newRow("absolute") << "/tmp/x";
        QTest::newRow("backslash") << "a\\b";
        QTest::newRow("nul") << QString("ab") + QChar(0) + "c";
    }
    void identifiersThatNameAnotherPlaceAreRefused()
    {
        QFETCH(QString, devId);
        // Something a bad identifier could otherwise have replaced.
        const QString victim = g_dataSaveDir().filePath(QStringLiteral("data/mine.db"));
        QDir().mkpath(QFileInfo(victim).absolutePath());
        QFile f(victim);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
        f.close();

        QVERIFY(tarnwick::test::whatOf([&] {
                    AndroidContactsDb::createForDevice(devId, PAndroidConnector());
                }).startsWith(QStringLiteral("Invalid device identifier")));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("precious"));
    }

    void freshMirrorPerArrival()
    {
        const QString devId = QStringLiteral("0123456789ABCDEF");
        auto first = AndroidContactsDb::createForDevice(devId, PAndroidConnector());
        QCOMPARE(first->path, g_dataSaveDir().filePath(QStringLiteral("android_cache/") + devId));
        {
            LocalDb::EditScope edit(*first);
            pim::_Contact c(0, QString(), QStringLiteral("Old"));
            first->insertContactBase(c);
            edit.commit();
        }
        first.reset();
        // The same phone arriving again starts from an empty mirror.
        auto second = AndroidContactsDb::createForDevice(devId, PAndroidConnector());
        QCOMPARE(second->contacts(0, QString()).size(), 0);
        QCOMPARE(second->isContactBaseExist(QStringLiteral("Old")), 0ull);
    }

    void buildingCreatesNothing()
    {
        QTemporaryDir dir;
        AndroidContactsDb mirror(dir.filePath("p.db"), PAndroidConnector());
        QVERIFY(!QFile::exists(dir.filePath("p.db")));
        QVERIFY(!tarnwick::test::whatOf([&] { mirror.beginEdit(); }).isEmpty());
        mirror.create();
        mirror.beginEdit();
        mirror.endEdit(true);
        QVERIFY(dynamic_cast<LocalDbCombineRule *>(mirror.rule.data()));
    }

    void connectorOutlivesTheMirrorWhileInUse()
    {
        bool alive = false;
        QTemporaryDir dir;
        auto mirror = QSharedPointer<LocalDb>(
            new AndroidContactsDb(dir.filePath("p.db"), PAndroidConnector(new TracedConnector(&alive))));
        PAndroidConnector inUse = static_cast<AndroidContactsDb *>(mirror.data())->connector();
        mirror.reset();
        QVERIFY(alive);
        inUse.reset();
        QVERIFY(!alive);
    }

    void offlineMirrorHasNoPhone()
    {
        QTemporaryDir dir;
        auto mirror = AndroidContactsDb::openOffline(dir.filePath("virtual.db"));
        auto *connector = dynamic_cast<AdbConnector *>(mirror->connector().data());
        QVERIFY(connector);
        QVERIFY(connector->handle.isNull());
        QCOMPARE(mirror->connector()->startBackup(12345), QStringLiteral("127.0.0.1"));
    }
};

TARNWICK_TEST_MAIN(TestAndroidContactsDb)
#include "tst_androidcontactsdb.moc"
