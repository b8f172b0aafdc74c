#include "devicebackup/FakeBackup2ToolHook.h"
#include "devicebackup/backup2tool.h"

#include "ExceptionText.h"
#include "SimulatedInstallationProxy.h"
#include "TestMain.h"
#include "tests/devicebackup/BackupPhoneFixture.h"
#include "tests/devicebackup/ScratchFiles.h"

#include <QTemporaryDir>

using namespace tarnwick::peers;
using tarnwick::test::whatOf;

using tarnwick::test::placeUnder;
using tarnwick::test::readAll;
using tarnwick::test::writeFile;

namespace {

const QString udid = QStringLiteral("00008101-000A1B2C3D4E5F61");
const QString mailUuid = QStringLiteral("0A1B2C3D-1111-2222-3333-444455556666");
const QString mailGroup = QStringLiteral("0A1B2C3D-AAAA-2222-3333-444455556666");
const QString gameUuid = QStringLiteral("99999999-1111-2222-3333-444455556666");
const QString strayUuid = QStringLiteral("77777777-1111-2222-3333-444455556666");

// A Browse batch whose application lists a group container under a key stored as UTF-16 with a NUL
// character ("\u00e9\0x"): libplist's first reader of that key ends the process on an assertion.
const QByteArray batchWithNulKey = QByteArray::fromHex(
    "62706c6973743030d201020304565374617475735b43757272656e744c6973745f101442726f7773696e674170706c69"
    "636174696f6e73a105d3060708090a0b5f1012434642756e646c654964656e74696669657259436f6e7461696e65725f"
    "100f47726f7570436f6e7461696e6572735f1010636f6d2e6578616d706c652e6d61696c5f10272f632f304131423243"
    "33442d313131312d323232322d333333332d343434343535353536363636d10c0d6300e9000000785f10272f672f3041"
    "3142324333442d414141412d323232322d333333332d343434343535353536363636080d1420373940555f7184aeb1b8"
    "0000000000000101000000000000000e000000000000000000000000000000e2");

QString bucketPath(const QString &name)
{
    return udid + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name;
}

QVariantMap app(const QString &id, const QString &container, const QStringList &groups)
{
    QVariantMap groupMap;
    for (const QString &group : groups)
        groupMap.insert(QStringLiteral("group.") + group.left(4),
                        QStringLiteral("/private/var/mobile/Containers/Shared/AppGroup/") + group);
    QVariantMap entry{{QStringLiteral("CFBundleIdentifier"), id},
                      {QStringLiteral("Container"),
                       QStringLiteral("/private/var/mobile/Containers/Data/Application/") + container}};
    if (!groupMap.isEmpty())
        entry.insert(QStringLiteral("GroupContainers"), groupMap);
    return entry;
}

QString listingOf(const QList<Backup2ToolHook::DirItem> &items)
{
    QStringList lines;
    for (const Backup2ToolHook::DirItem &item : items)
        lines << QStringLiteral("%1:%2:%3").arg(item.name).arg(item.type).arg(item.size);
    lines.sort();
    return lines.join(QLatin1Char(' '));
}

} // namespace

class TestFakeBackup2ToolHook : public QObject, public tarnwick::test::BackupPhoneFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        plugInBackupPhone(udid);
        m_proxy = std::make_shared<SimulatedInstallationProxy>();
        SimulatedInstallationProxy::install(*m_phone, m_proxy);
        m_proxy->setApplications({app(QStringLiteral("com.example.mail"), mailUuid, {mailGroup}),
                                  app(QStringLiteral("com.example.game"), gameUuid, {})});
    }
    void cleanup() { unplugBackupPhone(); }

    void inclusionRule_data();
    void inclusionRule();
    void readAppuidsAsksForUserApps();
    void readAppuidsRefusesAMalformedAnswer();
    void selectiveBackupKeepsOnlyChosenFiles();
    void chosenFileKeptWhenTheTableCannotBeWritten();
    void listingsAndRemovals();
    void tableWithoutManifestIsDropped();

private:
    std::shared_ptr<SimulatedInstallationProxy> m_proxy;
};

void TestFakeBackup2ToolHook::inclusionRule_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("devicePath");
    QTest::addColumn<bool>("others");
    QTest::addColumn<bool>("kept");

    const QString data = QStringLiteral("AppDomain/Library/");
    QTest::newRow("fixed name any case") << "dev/Manifest.DB"
                                         << "" << false << true;
    QTest::newRow("fixed hash") << "dev/80/80fa782261261e54bb73c0253e5b6beefb6a2f39"
                                << "" << false << true;
    QTest::newRow("selected app, lower case") << "dev/ab/x" << data + mailUuid.toLower() << false << true;
    QTest::newRow("selected app group") << "dev/ab/x" << data + mailGroup << false << true;
    QTest::newRow("pattern") << "dev/ab/x"
                             << "HomeDomain/Library/AddressBook/AddressBook.sqlitedb" << false << true;
    QTest::newRow("other app") << "dev/ab/x" << data + gameUuid << false << false;
    QTest::newRow("other app, others on") << "dev/ab/x" << data + gameUuid << true << false;
    QTest::newRow("stray uuid") << "dev/ab/x" << data + strayUuid << false << false;
    QTest::newRow("stray uuid, others on") << "dev/ab/x" << data + strayUuid << true << true;
    QTest::newRow("no uuid") << "dev/ab/x"
                             << "HomeDomain/Library/Notes" << false << false;
    QTest::newRow("no uuid, others on") << "dev/ab/x"
                                        << "HomeDomain/Library/Notes" << true << true;
}

void TestFakeBackup2ToolHook::inclusionRule()
{
    QFETCH(QString, path);
    QFETCH(QString, devicePath);
    QFETCH(bool, others);
    QFETCH(bool, kept);

    FakeBackup2ToolHook hook;
    hook.includeOtherFiles = others;
    hook.selectedApps = {QStringLiteral("com.example.mail")};
    hook.includedPatterns = {QRegularExpression(QStringLiteral("AddressBook"))};
    hook.appContainers.insert(QStringLiteral("com.example.mail"), {mailUuid, mailGroup});
    hook.appContainers.insert(QStringLiteral("com.example.game"), {gameUuid});
    hook.allContainers = {mailUuid, mailGroup, gameUuid};
    QCOMPARE(hook.isFileIncluded(path, devicePath), kept);
}

void TestFakeBackup2ToolHook::readAppuidsAsksForUserApps()
{
    FakeBackup2ToolHook hook;
    hook.readAppuids(udid);
    QCOMPARE(hook.appContainers.value(QStringLiteral("com.example.mail")),
             (QSet<QString>{mailUuid, mailGroup}));
    QCOMPARE(hook.appContainers.value(QStringLiteral("com.example.game")), QSet<QString>{gameUuid});
    QCOMPARE(hook.allContainers, (QSet<QString>{mailUuid, mailGroup, gameUuid}));
    const QVariantMap options = m_proxy->browseOptions().value(0);
    QCOMPARE(options.value(QStringLiteral("ApplicationType")).toString(), QStringLiteral("User"));
    QCOMPARE(options.value(QStringLiteral("ReturnAttributes")).toStringList(),
             (QStringList{QStringLiteral("CFBundleIdentifier"), QStringLiteral("Container"),
                          QStringLiteral("GroupContainers")}));

    FakeBackup2ToolHook unplugged;
    unplugged.readAppuids(QStringLiteral("00008101-FFFFFFFFFFFFFFFF"));
    QVERIFY(unplugged.appContainers.isEmpty());
}

void TestFakeBackup2ToolHook::readAppuidsRefusesAMalformedAnswer()
{
    m_proxy->setRawBatch(batchWithNulKey);
    FakeBackup2ToolHook hook;
    hook.readAppuids(udid);
    QCOMPARE(m_proxy->browseOptions().size(), 1);
    // Refused whole: nothing of the answer is taken for a container.
    QVERIFY(hook.appContainers.isEmpty());
    QVERIFY(hook.allContainers.isEmpty());
}

void TestFakeBackup2ToolHook::selectiveBackupKeepsOnlyChosenFiles()
{
    const QString mailFile = hashed(QStringLiteral("a1"));
    const QString gameFile = hashed(QStringLiteral("b2"));
    m_backup->setScript({
        BackupStep::upload(
            {{QStringLiteral("AppDomain-com.example.mail/") + mailUuid.toLower(), bucketPath(mailFile),
              "mail"},
             {QStringLiteral("AppDomain-com.example.game/") + gameUuid, bucketPath(gameFile), "game data"},
             {QStringLiteral("Manifest.plist"), udid + QStringLiteral("/Manifest.plist"), "manifest"}}),
        BackupStep::request({QStringLiteral("DLContentsOfDirectory"), udid + QStringLiteral("/b2")}),
        BackupStep::report(0),
    });
    auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
    hook->selectedApps = {QStringLiteral("com.example.mail")};
    {
        backup2tool tool(udid, m_root, hook);
        QCOMPARE(whatOf([&] { tool.runThrow(_backup2tool_req(OP_BACKUP)); }), QString());
    }
    QVERIFY(QFileInfo::exists(m_root.absoluteFilePath(bucketPath(mailFile))));
    QVERIFY(QFileInfo::exists(m_root.absoluteFilePath(udid + QStringLiteral("/Manifest.plist"))));
    QVERIFY(!QFileInfo::exists(m_root.absoluteFilePath(udid + QStringLiteral("/b2"))));
    // The dropped file is still listed, with the size recorded at the end of its transfer.
    const QVariantMap listing = m_backup->statusResponses().value(1).dictionary.toMap();
    QCOMPARE(listing.keys(), QStringList{gameFile});
    QCOMPARE(listing.value(gameFile).toMap().value(QStringLiteral("DLFileSize")).toLongLong(), 9LL);
    QCOMPARE(hook->db.getDName(gameFile), QStringLiteral("AppDomain-com.example.game/") + gameUuid);
}

void TestFakeBackup2ToolHook::chosenFileKeptWhenTheTableCannotBeWritten()
{
    // A table file without its table opens, but every write to it fails.
    writeFile(m_root.absoluteFilePath(udid + QStringLiteral("/Manifest.db")), "manifest");
    {
        Sqlite3DB broken;
        broken.openThrow(m_root.absoluteFilePath(udid + QStringLiteral("/dname.sqlite")),
                         Sqlite3DB::ReadWriteCreate);
        broken.executeThrow("create table unrelated(x)");
    }
    const QString mailFile = hashed(QStringLiteral("a1"));
    m_backup->setScript({BackupStep::upload({{QStringLiteral("AppDomain-com.example.mail/") + mailUuid,
                                              bucketPath(mailFile), "mail"}}),
                         BackupStep::report(0)});
    auto hook = QSharedPointer<FakeBackup2ToolHook>::create();
    hook->selectedApps = {QStringLiteral("com.example.mail")};
    backup2tool tool(udid, m_root, hook);
    QCOMPARE(whatOf([&] { tool.runThrow(_backup2tool_req(OP_BACKUP)); }), QString());
    QVERIFY(QFileInfo::exists(m_root.absoluteFilePath(bucketPath(mailFile))));
}

void TestFakeBackup2ToolHook::listingsAndRemovals()
{
    QVERIFY(m_root.mkpath(udid));
    FakeBackup2ToolHook hook;
    QVERIFY(hook.dirContents(placeUnder(m_root, udid)).isEmpty());
    const QString kept = hashed(QStringLiteral("c3"));
    const QString dropped = hashed(QStringLiteral("c3ff"));
    const QString deleted = hashed(QStringLiteral("c3ee"));
    hook.selectedApps = {QStringLiteral("com.example.mail")};
    hook.appContainers.insert(QStringLiteral("com.example.mail"), {mailUuid});
    hook.recvFileBegin(m_root, udid, placeUnder(m_root, bucketPath(kept)), mailUuid);
    hook.recvFileEnd(placeUnder(m_root, bucketPath(kept)), 4);
    hook.recvFileBegin(m_root, udid, placeUnder(m_root, bucketPath(dropped)), QStringLiteral("HomeDomain/x"));
    hook.recvFileEnd(placeUnder(m_root, bucketPath(dropped)), 1234);
    hook.recvFileBegin(m_root, udid, placeUnder(m_root, bucketPath(deleted)), mailUuid);
    hook.recvFileEnd(placeUnder(m_root, bucketPath(deleted)), 3);
    hook.recvFileBegin(m_root, udid, placeUnder(m_root, udid + QStringLiteral("/Info.plist")),
                       QStringLiteral("Info.plist"));
    writeFile(m_root.absoluteFilePath(bucketPath(kept)), "kept!");
    writeFile(m_root.absoluteFilePath(udid + QStringLiteral("/Snapshot/s")), "snap");

    QCOMPARE(listingOf(hook.dirContents(placeUnder(m_root, udid))), QStringLiteral("Info.plist:1:0 c3:2:0"));
    QCOMPARE(listingOf(hook.dirContents(placeUnder(m_root, udid + QStringLiteral("/c3")))),
             QStringLiteral("%1:1:5 %2:1:1234").arg(kept, dropped));
    QCOMPARE(listingOf(hook.dirContents(placeUnder(m_root, udid + QStringLiteral("/SNAPSHOT")))), QString());
    QCOMPARE(listingOf(hook.dirContents(placeUnder(m_root, udid + QStringLiteral("/Snapshot")))),
             QStringLiteral("s:1:4"));

    QString error;
    QCOMPARE(hook.removeFile(placeUnder(m_root, udid + QStringLiteral("/Snapshot/") + dropped), error), 0);
    QCOMPARE(hook.removeFile(placeUnder(m_root, udid + QStringLiteral("/c3")), error), 0);
    QCOMPARE(hook.db.getDName(dropped), QStringLiteral("HomeDomain/x"));
    QCOMPARE(hook.removeFile(placeUnder(m_root, bucketPath(dropped)), error), 0);
    QCOMPARE(hook.db.getDName(dropped), QString());
    QCOMPARE(hook.copyFile(placeUnder(m_root, bucketPath(kept)), placeUnder(m_root, QStringLiteral("copy")),
                           error),
             0);
    QCOMPARE(hook.mkdir(placeUnder(m_root, QStringLiteral("made")), error), 0);
    QVERIFY(!QFileInfo::exists(m_root.absoluteFilePath(QStringLiteral("copy"))));
    QVERIFY(!QFileInfo::exists(m_root.absoluteFilePath(QStringLiteral("made"))));
}

void TestFakeBackup2ToolHook::tableWithoutManifestIsDropped()
{
    const QString table = m_root.absoluteFilePath(udid + QStringLiteral("/dname.sqlite"));
    QVERIFY(m_root.mkpath(udid));
    {
        FakeDNameDb db;
        QVERIFY(db.open(table, nullptr));
        db.insert(hashed(QStringLiteral("dd")), QStringLiteral("/x"), false, QDateTime::currentDateTime());
    }
    FakeBackup2ToolHook hook;
    hook.beginThrow(m_root, udid);
    QVERIFY(!QFileInfo::exists(table));
    QVERIFY(!hook.db.isOpen());

    writeFile(m_root.absoluteFilePath(udid + QStringLiteral("/Manifest.db")), "manifest");
    {
        FakeDNameDb db;
        QVERIFY(db.open(table, nullptr));
        db.insert(hashed(QStringLiteral("dd")), QStringLiteral("/x"), false, QDateTime::currentDateTime());
    }
    FakeBackup2ToolHook withManifest;
    withManifest.beginThrow(m_root, udid);
    QCOMPARE(withManifest.db.getDName(hashed(QStringLiteral("dd"))), QStringLiteral("/x"));
}

TARNWICK_TEST_MAIN(TestFakeBackup2ToolHook)
#include "tst_fakebackup2toolhook.moc"
