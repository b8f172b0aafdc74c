// The backup object: its summary, its file tree with the well-known files and indexes, and the
// copying of backed-up files.
#include "BackupBuilder.h"
#include "ExceptionText.h"
#include "TestMain.h"
#include "itunesbackup/BackupManifest.h"
#include "model/MessageText.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QTemporaryDir>

using namespace itunesfixture;
using tarnwick::test::whatOf;

namespace {

BackupFile entry(const QString &domain, const QString &path, bool folder = false)
{
    BackupFile f;
    f.domain = domain;
    f.path = path;
    f.mode = folder ? 0x41ED : 0x81A4;
    f.content = (domain + "/" + path).toUtf8();
    return f;
}

void dump(const BackupManifest::_FileNode *node, int depth, QStringList &out)
{
    for (const BackupManifest::_FileNode *child : node->children) {
        QCOMPARE(child->parent, node);
        out << QString(depth * 2, ' ') + child->name;
        dump(child, depth + 1, out);
    }
}

QString treeOf(const BackupManifest &backup)
{
    QStringList lines;
    dump(&backup.rootNode, 0, lines);
    return lines.join('\n');
}

// Writes what it is given until `failAfter` bytes have gone, then refuses.
class FailingOutput : public QIODevice
{
public:
    explicit FailingOutput(qint64 failAfter)
        : m_failAfter(failAfter)
    {
        open(QIODevice::WriteOnly);
    }
    QByteArray written;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 len) override
    {
        if (written.size() >= m_failAfter) {
            setErrorString("disk full");
            return -1;
        }
        const qint64 n = qMin(len, m_failAfter - written.size());
        written.append(data, n);
        return n;
    }

private:
    qint64 m_failAfter;
};

// Gives one block and then fails every read without ever reaching its end.
class FailingInput : public QIODevice
{
public:
    FailingInput() { open(QIODevice::ReadOnly); }
    bool atEnd() const override { return false; }

protected:
    qint64 readData(char *data, qint64 len) override
    {
        if (m_given) {
            setErrorString("I/O error");
            return -1;
        }
        m_given = true;
        const qint64 n = qMin<qint64>(len, 100);
        memset(data, 'x', size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool m_given = false;
};

struct ProgressLog
{
    QList<QPair<long long, long long>> calls;
    static void record(long long total, long long done, void *ctx)
    {
        static_cast<ProgressLog *>(ctx)->calls << qMakePair(total, done);
    }
};

} // namespace

class TestBackupManifest : public QObject
{
    Q_OBJECT

private slots:
    // ---- summary --------------------------------------------------------------------------

    void summary_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("XML") << int(PlistFormat::Xml);
        QTest::newRow("binary") << int(PlistFormat::Binary);
    }
    void summary()
    {
        QFETCH(int, format);
        QTemporaryDir dir;
        BackupSpec spec;
        spec.format = PlistFormat(format);
        spec.encrypted = true;
        spec.layout = Layout::None;
        const QString folder = dir.filePath(spec.udid);
        writeBackup(folder, spec);
        BackupManifest backup(folder);
        backup.readManifestInfo();
        QCOMPARE(backup.infoPlist.UniqueDeviceID, spec.udid);
        QCOMPARE(backup.infoPlist.DeviceName, spec.deviceName);
        QCOMPARE(backup.infoPlist.ProductType, spec.productType);
        QCOMPARE(backup.infoPlist.ProductVersion, spec.productVersion);
        QCOMPARE(backup.infoPlist.SerialNumber, spec.serialNumber);
        QVERIFY(backup.infoPlist.IsEncrypted);
        QCOMPARE(backup.infoPlist.Date, spec.date);
        QCOMPARE(backup.infoPlist.Date.timeSpec(), Qt::LocalTime);
        QCOMPARE(backup.displayName, spec.deviceName);
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("udid");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("shown");
        const QString id = "0123456789abcdef0123456789abcdef01234567";
        QTest::newRow("folder is the id") << id << id << "Anna's iPhone" << "Anna's iPhone";
        QTest::newRow("id and stamp") << id + "-20190501-101010" << id << "Phone" << "Phone-20190501-101010";
        QTest::newRow("other folder") << "old backup" << id << "Phone" << "Phone-old backup";
        QTest::newRow("other folder, no device name") << "old backup" << id << "" << "-old backup";
        QTest::newRow("no id") << "old backup" << "" << "Phone" << "Phone-old backup";
        QTest::newRow("neither") << "old backup" << "" << "" << "old backup";
    }
    void displayName()
    {
        QFETCH(QString, folder);
        QFETCH(QString, udid);
        QFETCH(QString, device);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        BackupSpec spec;
        spec.udid = udid;
        spec.deviceName = device;
        spec.layout = Layout::None;
        writeBackup(dir.filePath(folder), spec);
        BackupManifest backup(dir.filePath(folder));
        backup.readManifestInfo();
        QCOMPARE(backup.displayName, shown);
    }

    void notAPropertyList()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.manifestPlistOverride = QByteArray("garbage");
        spec.layout = Layout::None;
        writeBackup(dir.filePath("B1"), spec);
        BackupManifest backup(dir.filePath("B1"));
        backup.readManifestInfo();
        QCOMPARE(backup.displayName, QString("B1"));
        QVERIFY(!backup.infoPlist.IsEncrypted);
        QVERIFY(backup.infoPlist.Date.isNull());
    }

    void statusDate()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.layout = Layout::None;
        spec.statusMtime = QDateTime(QDate(2020, 1, 1), QTime(12, 0), Qt::UTC);
        writeBackup(dir.path(), spec);
        BackupManifest backup(dir.path());
        backup.readManifestInfo();
        QCOMPARE(backup.infoPlist.Date, *spec.statusMtime);
    }

    void summaryErrors()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        backup.displayName = "before";
        const QString missing = whatOf<std::runtime_error>([&] { backup.readManifestInfo(); });
        // The text carries a link on purpose; the path it quotes is escaped.
        QVERIFY(MessageText::isRich(missing));
        QVERIFY(MessageText::toHtml(missing).startsWith(
            "Cannot find " + MessageText::escaped(QDir(dir.path()).absoluteFilePath("Manifest.plist")) + "<br/>"));
        QVERIFY(missing.contains("MacOS 10.14 or above,  please click "));
        QVERIFY(missing.contains("access-iphone-backups-on-mac-os-mojave.html\">HERE</a>."));
        QCOMPARE(backup.displayName, QString("before"));

        // A summary that exists but cannot be opened (a folder: permissions mean nothing to root).
        QVERIFY(QDir(dir.path()).mkdir("Manifest.plist"));
        const QString unopenable = whatOf<std::runtime_error>([&] { backup.readManifestInfo(); });
        QVERIFY(!unopenable.isEmpty());
        QVERIFY(!unopenable.startsWith("Cannot find"));
        QFile probe(dir.filePath("Manifest.plist"));
        probe.open(QIODevice::ReadOnly);
        QCOMPARE(unopenable, probe.errorString());
        QCOMPARE(backup.displayName, QString("before"));
        QVERIFY(backup.infoPlist.DeviceName.isEmpty());
    }

    void dirPathMd5()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        const QByteArray expected =
            QCryptographicHash::hash(QDir(dir.path()).absolutePath().toUtf8(), QCryptographicHash::Md5).toHex();
        QCOMPARE(backup.dirPathMd5(), QString::fromLatin1(expected));
        QCOMPARE(BackupManifest(dir.path() + "/.").dirPathMd5(), backup.dirPathMd5());
    }

    void backupDirs()
    {
        const QList<QDir> dirs = BackupManifest::iTunesBackupDirs();
        QCOMPARE(dirs.size(), 1);
        QVERIFY(dirs.first().absolutePath().endsWith("/MobileSync/Backup"));
        QVERIFY(dirs.first().absolutePath().startsWith(QDir::homePath()));
    }

    // ---- tree -----------------------------------------------------------------------------

    void tree_data()
    {
        QTest::addColumn<QList<BackupFile>>("files");
        QTest::addColumn<QString>("tree");

        QTest::newRow("shared Library node")
            << QList<BackupFile>{entry("HomeDomain", ""), entry("HomeDomain", "Library", true),
                                 entry("HomeDomain", "Library/AddressBook", true),
                                 entry("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"),
                                 entry("MediaDomain", "Library", true), entry("MediaDomain", "Library/SMS", true),
                                 entry("MediaDomain", "Library/SMS/x.jpg")}
            << "Library\n  AddressBook\n    AddressBook.sqlitedb\n  SMS\n    x.jpg";
        QTest::newRow("app groups")
            << QList<BackupFile>{entry("AppDomain-com.example.notes", ""),
                                 entry("AppDomain-com.example.notes", "Documents", true),
                                 entry("AppDomain-com.example.notes", "Documents/a.txt"),
                                 entry("AppDomainGroup-group.example.shared", "Library", true),
                                 entry("AppDomainPlugin-p.x", "")}
            << "Applications\n  com.example.notes\n    Documents\n      a.txt\nAppDomainGroup\nLibrary\n"
               "AppDomainPlugin\n  p.x";
        QTest::newRow("other domains")
            << QList<BackupFile>{entry("BooksDomain", ""), entry("BooksDomain", "a/b"), entry("BooksDomain", "c", true),
                                 entry("BooksDomain", "c/d"), entry("BooksDomain", "e/")}
            << "BooksDomain\n  c\n    d\nb";
        QTest::newRow("merged domain takes the address-book path")
            << QList<BackupFile>{entry("DatabaseDomain", "Library/AddressBook/AddressBook.sqlitedb"),
                                 entry("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")}
            << "AddressBook.sqlitedb";
    }
    void tree()
    {
        QFETCH(QList<BackupFile>, files);
        QFETCH(QString, tree);
        QTemporaryDir dir;
        BackupSpec spec;
        spec.files = files;
        writeBackup(dir.path(), spec);
        BackupManifest backup(dir.path());
        backup.parseInfo();
        QCOMPARE(treeOf(backup), tree);
        QCOMPARE(backup.mbdbItems.items.size(), files.size());
    }

    // A domain that cannot name a group (a zero byte first, a control character) adds no nameless
    // group with other domains' files hung under it: its records are left out.
    void namelessDomainMakesNoGroup_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("badDomain");
        QTest::newRow("Manifest.mbdb, zero byte first")
            << int(Layout::Mbdb) << QString(QChar(0)) + "BooksDomain";
        QTest::newRow("Manifest.mbdb, control character") << int(Layout::Mbdb) << "\x1b[2JBooksDomain";
        QTest::newRow("Manifest.db, control character") << int(Layout::ManifestDb) << "Books\tDomain";
    }
    void namelessDomainMakesNoGroup()
    {
        QFETCH(int, layout);
        QFETCH(QString, badDomain);
        QTemporaryDir dir;
        BackupSpec spec;
        spec.layout = Layout(layout);
        spec.files = {entry(badDomain, ""), entry(badDomain, "Library", true), entry(badDomain, "Library/x"),
                      entry("OtherDomain", ""), entry("OtherDomain", "y")};
        writeBackup(dir.path(), spec);
        BackupManifest backup(dir.path());
        backup.parseInfo();
        QCOMPARE(treeOf(backup), QString("OtherDomain\n  y"));
        QCOMPARE(backup.mbdbItems.items.size(), 2);
    }

    void mergedDomainLeavesSlotEmpty()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.files = {entry("DatabaseDomain", "Library/AddressBook/AddressBook.sqlitedb"),
                      entry("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")};
        writeBackup(dir.path(), spec);
        BackupManifest backup(dir.path());
        backup.parseInfo();
        QVERIFY(!backup.addressBookNode);
    }

    void wellKnownFilesAndIndexes()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.layout = Layout::Mbdb;
        spec.files = {
            entry("HomeDomain", "library/addressbook/AddressBook.SQLITEDB"),
            entry("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"),
            entry("HomeDomain", "Library/AddressBook/AddressBookImages.sqlitedb"),
            entry("HomeDomain", "Library/SMS/sms.db"),
            entry("HomeDomain", "Library/Voicemail/voicemail.db"),
            entry("HomeDomain", "Library/Voicemail/17.amr"),
            entry("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"),
            entry("WirelessDomain", "Library/CallHistory/call_history.db"),
            entry("MediaDomain", "Media/Recordings/Recordings.db"),
            entry("MediaDomain", "Media/Recordings/r1.m4a"),
            entry("MediaDomain", "Library/SMS/Attachments/ab/12/A1/IMG_1-preview-left.jpg"),
            entry("MediaDomain", "Library/SMS/Attachments/ab/12/A1/IMG_1.jpg"),
            entry("MediaDomain", "Library/SMS/Attachments/ab/IMG_2.jpg"),
            entry("MediaDomain", "Library/SMS/Parts/x/y/part.txt"),
            entry("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.MOV"),
            entry("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.JPG"),
            entry("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0003.AAE"),
            entry("CameraRollDomain", "Media/PhotoData/MetaData/DCIM/100APPLE/IMG_0002.THM"),
        };
        writeBackup(dir.path(), spec);
        BackupManifest backup(dir.path());
        backup.parseInfo();

        auto pathOf = [](const BackupManifest::_FileNode *n) { return n ? n->item.path.toString() : QString("-"); };
        QCOMPARE(pathOf(backup.addressBookNode), QString("Library/AddressBook/AddressBook.sqlitedb"));
        QCOMPARE(pathOf(backup.addressBookImagesNode), QString("Library/AddressBook/AddressBookImages.sqlitedb"));
        QCOMPARE(pathOf(backup.smsDbNode), QString("Library/SMS/sms.db"));
        QCOMPARE(pathOf(backup.voicemailDbNode), QString("Library/Voicemail/voicemail.db"));
        QCOMPARE(pathOf(backup.callHistoryStoreNode), QString("Library/CallHistoryDB/CallHistory.storedata"));
        QCOMPARE(pathOf(backup.callHistoryNode), QString("Library/CallHistory/call_history.db"));
        QCOMPARE(pathOf(backup.recordingsDbNode), QString("Media/Recordings/Recordings.db"));
        QCOMPARE(pathOf(backup.notesNode), QString("-"));
        QCOMPARE(backup.voicemailsById.keys(), QList<int>{17});
        QCOMPARE(backup.recordingsByName.keys(), QStringList{"r1.m4a"});
        QCOMPARE(backup.smsFilesByDevicePath.keys(),
                 QStringList({"/var/mobile/Library/SMS/Attachments/ab/12/A1/IMG_1",
                              "/var/mobile/Library/SMS/Attachments/ab/12/A1/IMG_1-preview",
                              "/var/mobile/Library/SMS/Attachments/ab/12/A1/IMG_1-preview-left",
                              "/var/mobile/Library/SMS/Attachments/ab/IMG_2",
                              "/var/mobile/Library/SMS/Parts/x/y/part"}));
        QCOMPARE(backup.smsAttachmentsByKey.keys(), QStringList{"ab/IMG_2"});
        QCOMPARE(backup.smsPartsByName.keys(), QStringList{"part"});
        QCOMPARE(backup.cameraRollVideos.size(), 1);
        QCOMPARE(pathOf(backup.cameraRollVideos.first()), QString("Media/DCIM/100APPLE/IMG_0001.MOV"));
        QCOMPARE(backup.cameraRollPhotos.size(), 1);
        QCOMPARE(backup.cameraRollThumbnails.keys(), QStringList{"IMG_0002"});
    }

    void secondCallChangesNothing()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.files = {entry("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")};
        writeBackup(dir.path(), spec);
        BackupManifest backup(dir.path());
        backup.parseInfo();
        const auto *node = backup.addressBookNode;
        QVERIFY(node);
        QVERIFY(QFile::remove(dir.filePath("Manifest.db")));
        backup.parseInfo();
        QCOMPARE(backup.addressBookNode, node);
        QCOMPARE(backup.rootNode.children.size(), 1);
    }

    void failedParseLeavesObject()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        QVERIFY(!whatOf([&] { backup.parseInfo(); }).isEmpty());
        QVERIFY(backup.rootNode.children.isEmpty());
        QVERIFY(backup.mbdbItems.items.isEmpty());
        BackupSpec spec;
        spec.layout = Layout::Mbdb;
        spec.files = {entry("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")};
        writeBackup(dir.path(), spec);
        backup.parseInfo();
        QVERIFY(backup.addressBookNode);
    }

    // ---- copy -----------------------------------------------------------------------------

    void copyPlain_data()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("flat") << int(Layout::Mbdb);
        QTest::newRow("two-digit folders") << int(Layout::ManifestDb);
    }
    void copyPlain()
    {
        QFETCH(int, layout);
        QTemporaryDir dir;
        BackupSpec spec;
        spec.layout = Layout(layout);
        BackupFile big = entry("HomeDomain", "Library/big");
        big.content = QByteArray(20000, '\0');
        for (int i = 0; i < big.content.size(); ++i)
            big.content[i] = char(i * 7);
        big.lastModified = 1234567890;
        BackupFile empty = entry("HomeDomain", "Library/empty");
        empty.content.clear();
        empty.lastModified = 0;
        spec.files = {big, empty};
        writeBackup(dir.filePath("backup"), spec);
        BackupManifest backup(dir.filePath("backup"));
        backup.parseInfo();
        const auto &items = backup.mbdbItems.items;

        // A longer old file leaves nothing behind; folders that are missing are made.
        const QString dest = dir.filePath("out/deeper/big.bin");
        QDir().mkpath(dir.filePath("out/deeper"));
        QFile old(dest);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(30000, 'z'));
        old.close();
        ProgressLog log;
        backup.copyItemThrow(items.value(backupName(big.domain, big.path)), dest, &log, &ProgressLog::record);
        QFile copy(dest);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), big.content);
        QCOMPARE(log.calls, (QList<QPair<long long, long long>>{{20000, 8192}, {20000, 16384}, {20000, 20000}}));
        QCOMPARE(QFileInfo(dest).lastModified().toSecsSinceEpoch(), 1234567890);

        const QString emptyDest = dir.filePath("new/folders/empty.bin");
        ProgressLog none;
        backup.copyItemThrow(items.value(backupName(empty.domain, empty.path)), emptyDest, &none,
                             &ProgressLog::record);
        QCOMPARE(QFileInfo(emptyDest).size(), 0);
        QVERIFY(none.calls.isEmpty());
        QCOMPARE(QFileInfo(emptyDest).lastModified().toSecsSinceEpoch(), 0);
        QCOMPARE(QFileInfo(emptyDest).lastRead().toSecsSinceEpoch(), 0);
    }

    void copyNullNodeAndMissingSource()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        backup.copyFile(nullptr, dir.filePath("never"), nullptr, nullptr);
        QVERIFY(!QFile::exists(dir.filePath("never")));

        MBDBParser::_MBDBItem item;
        item.domain.setVal("HomeDomain");
        item.path.setVal("missing");
        const QString text = whatOf<std::runtime_error>(
            [&] { backup.copyItemThrow(item, dir.filePath("sub/out"), nullptr, nullptr); });
        QVERIFY(text.startsWith("can not open " + dir.filePath(item.backupFileName()) + ". "));
        QVERIFY(!QFile::exists(dir.filePath("sub")));
    }

    void copyStreamFailures()
    {
        QByteArray data(20000, 'a');
        QBuffer src(&data);
        src.open(QIODevice::ReadOnly);
        FailingOutput out(10000);
        const QString write = whatOf<std::runtime_error>(
            [&] { BackupManifest::copyStreamThrow(src, out, data.size(), "src", "dst", nullptr, nullptr); });
        // The short write at the limit is what ends the copy, before the device reports an error.
        QVERIFY2(write.startsWith("can not write dst. "), qPrintable(write));
        QCOMPARE(out.written.size(), 10000);

        FailingInput in;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        const QString read = whatOf<std::runtime_error>(
            [&] { BackupManifest::copyStreamThrow(in, sink, 0, "src", "dst", nullptr, nullptr); });
        QCOMPARE(read, QString("can not read src. I/O error"));
    }

    void encryptedFileIsNotCopiedAsStored()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.encrypted = true;
        spec.layout = Layout::Mbdb;
        BackupFile wrapped = entry("HomeDomain", "Library/secret");
        wrapped.encryptionKey = QByteArray(44, '\x07');
        BackupFile plain = entry("HomeDomain", "Library/plain");
        spec.files = {wrapped, plain};
        writeBackup(dir.filePath("b"), spec);
        BackupManifest backup(dir.filePath("b"));
        backup.readManifestInfo();
        backup.parseInfo();
        const auto &items = backup.mbdbItems.items;
        QVERIFY(!whatOf<std::runtime_error>([&] {
                     backup.copyItemThrow(items.value(backupName(wrapped.domain, wrapped.path)), dir.filePath("s"),
                                          nullptr, nullptr);
                 }).isEmpty());
        QVERIFY(!QFile::exists(dir.filePath("s")));
        backup.copyItemThrow(items.value(backupName(plain.domain, plain.path)), dir.filePath("p"), nullptr, nullptr);
        QFile p(dir.filePath("p"));
        QVERIFY(p.open(QIODevice::ReadOnly));
        QCOMPARE(p.readAll(), plain.content);
    }
};

TARNWICK_TEST_MAIN(TestBackupManifest)
#include "tst_backupmanifest.moc"
