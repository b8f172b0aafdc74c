// Writing manifest records back into a backup: the bytes of "Manifest.mbdb", the rows of
// "Manifest.db" (plain, with encrypted descriptions, encrypted whole), round trips through the
// reader, and that a refused or failed write leaves the old manifest as it was.
#include "BackupBuilder.h"
#include "ExceptionText.h"
#include "ScratchBackups.h"
#include "TestMain.h"
#include "WriterTestSupport.h"
#include "itunesbackup/BackupManifest.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QTemporaryDir>

using namespace itunesfixture;
using namespace writertest;
using tarnwick::test::whatOf;

namespace {

enum class Kind { Mbdb, ManifestDb, Salted, Encrypted };

BackupSpec specOf(Kind kind)
{
    BackupSpec spec;
    spec.layout = kind == Kind::Mbdb ? Layout::Mbdb : Layout::ManifestDb;
    if (kind == Kind::Salted || kind == Kind::Encrypted) {
        spec.encrypted = true;
        spec.keybag = twoClassKeybag(kind == Kind::Encrypted);
        spec.encryptManifestDb = kind == Kind::Encrypted;
        if (kind == Kind::Salted)
            spec.manifestSalt = QByteArray("0123456789abcdef");
    }
    BackupFile folder;
    folder.domain = "HomeDomain";
    folder.path = "Library/AddressBook";
    folder.mode = 040755;
    folder.inode = 7;
    BackupFile book;
    book.domain = "HomeDomain";
    book.path = "Library/AddressBook/AddressBook.sqlitedb";
    book.content = QByteArray(100, 'a');
    book.inode = 8;
    book.lastModified = 1500000000;
    book.digest = QByteArray(20, '\x44');
    book.digestForm = BackupFile::DigestForm::Data;
    BackupFile old = book;
    old.path = "Library/Old.txt";
    old.inode = 9;
    BackupFile link;
    link.domain = "MediaDomain";
    link.path = "Media/link";
    link.mode = 0120755;
    link.linkTarget = "/var/mobile/x";
    link.inode = 10;
    link.inodeHigh = 3;
    link.properties = {{"name", "value"}, {"empty", ""}};
    spec.files = {folder, book, old};
    if (kind == Kind::Mbdb)
        spec.files.append(link);
    return spec;
}

// The fields each manifest carries; "Manifest.db" keeps no link target, properties or inode high part.
QString differences(const MBDBParser::_MBDBItem &a, const MBDBParser::_MBDBItem &b, bool mbdb)
{
    QStringList out;
    auto check = [&](const char *name, bool same) {
        if (!same)
            out << QLatin1String(name);
    };
    // "Manifest.db" keeps no difference between an absent and an empty value.
    auto same = [mbdb](const MBDBParser::_MBDBBinary &x, const MBDBParser::_MBDBBinary &y) {
        if (!mbdb)
            return x.isValid() == y.isValid() && (!x.isValid() || x.val == y.val);
        return x.len == y.len && (!x.isValid() || x.val == y.val);
    };
    check("domain", same(a.domain, b.domain));
    check("path", same(a.path, b.path));
    check("digest", same(a.digest, b.digest));
    check("encryptionKey", same(a.encryptionKey, b.encryptionKey));
    check("mode", a.mode == b.mode);
    check("inode", a.inode == b.inode);
    check("userId", a.userId == b.userId);
    check("groupId", a.groupId == b.groupId);
    check("lastModified", a.lastModified == b.lastModified);
    check("lastStatusChange", a.lastStatusChange == b.lastStatusChange);
    check("birth", a.birth == b.birth);
    check("size", a.size == b.size);
    check("protectionClass", a.protectionClass == b.protectionClass);
    if (mbdb) {
        check("linkTarget", same(a.linkTarget, b.linkTarget));
        check("inodeHigh", a.inodeHigh == b.inodeHigh);
        check("properties", a.properties.size() == b.properties.size());
        for (int i = 0; i < qMin(a.properties.size(), b.properties.size()); ++i)
            check("property", same(a.properties[i].name, b.properties[i].name) &&
                                  same(a.properties[i].value, b.properties[i].value));
    }
    return out.join(QLatin1Char(','));
}

} // namespace

class TestManifestWriter : public QObject
{
    Q_OBJECT

    ScratchBackups m_scratch;

    QString write(const BackupSpec &spec) { return m_scratch.write(spec); }
    QString emptyDir() { return m_scratch.newDir(); }
    QString localFile(const QByteArray &content) { return m_scratch.newFile(content); }

    static std::unique_ptr<BackupManifest> open(const QString &dir, bool unlock)
    {
        auto backup = std::make_unique<BackupManifest>(dir);
        backup->readManifestInfo();
        if (unlock && !backup->setPasscodeNoUIThrow(QStringLiteral("secret")))
            qFatal("the backup did not unlock");
        return backup;
    }

private slots:
    void exactMbdbBytes()
    {
        MBDBParser::_MBDBItem d = item("D", "a");
        d.digest = bin("");
        d.inode = 5;
        d.userId = 501;
        d.groupId = 20;
        d.lastModified = 0x01020304;
        d.lastStatusChange = 2;
        d.birth = 3;
        d.size = 1000;
        d.protectionClass = 3;
        d.properties = {MBDBParser::_MBDBProperty{bin("k"), bin("v")}};
        d.modified = true;
        MBDBParser::_MBDBItem c = item("C", "b", 0xA1ED);
        c.linkTarget = bin("t");
        c.encryptionKey = bin(QByteArray("\x03\x00\x00\x00", 4));
        c.inodeHigh = 7;
        c.inode = 4294967301LL;
        c.protectionClass = -1;
        MBDBParser::_MBDBItem gone = item("A", "gone");
        gone.removed = true;
        gone.added = true;

        const QString dir = emptyDir();
        BackupManifest backup(dir);
        MBDBParser::save2File({d, gone, c}, backup);
        const QByteArray expected = QByteArray::fromHex(
            "6d6264620500"
            // C-b: link target "t", absent digest, a 4-byte key, inode 7 then the low half of 2^32+5
            "000143"
            "000162"
            "000174"
            "ffff"
            "000403000000"
            "a1ed"
            "00000007"
            "00000005"
            "00000000"
            "00000000"
            "00000000"
            "00000000"
            "00000000"
            "0000000000000000"
            "ff"
            "00"
            // D-a: empty digest, 1000 bytes, class 3, one property
            "000144"
            "000161"
            "ffff"
            "0000"
            "ffff"
            "81a4"
            "00000000"
            "00000005"
            "000001f5"
            "00000014"
            "01020304"
            "00000002"
            "00000003"
            "00000000000003e8"
            "03"
            "01"
            "00016b"
            "000176");
        QCOMPARE(bytesOf(dir + "/Manifest.mbdb").toHex(), expected.toHex());

        MBDBParser::save2File({}, backup);
        QCOMPARE(bytesOf(dir + "/Manifest.mbdb"), QByteArray("mbdb\x05\x00", 6));
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("Manifest.mbdb") << int(Kind::Mbdb);
        QTest::newRow("plain Manifest.db") << int(Kind::ManifestDb);
        QTest::newRow("Manifest.db with encrypted descriptions") << int(Kind::Salted);
        QTest::newRow("Manifest.db encrypted whole") << int(Kind::Encrypted);
    }
    void roundTrip()
    {
        QFETCH(int, kind);
        const Kind k = Kind(kind);
        const bool locked = k == Kind::Salted || k == Kind::Encrypted;
        const QString dir = write(specOf(k));
        const QByteArray encryptedBefore = bytesOf(dir + "/Manifest.db");

        MBDBParser::MBDBItemMap map;
        {
            const auto backup = open(dir, locked);
            map = MBDBParser::parse(*backup);
            QCOMPARE(map.items.size(), k == Kind::Mbdb ? 4 : 3);
            MBDBParser::_MBDBItem &book = map.items[MBDBParser::getFileHashName(
                "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")];
            book.size = 777;
            book.lastModified = 1234;
            book.modified = true;
            map.items[MBDBParser::getFileHashName("HomeDomain", "Library/Old.txt")].removed = true;
            MBDBParser::ProtectionClsKeyInfo keyInfo;
            keyInfo.protectionClass = 3;
            keyInfo.wrappedKey = book.encryptionKey.isValid()
                                     ? book.encryptionKey
                                     : bin(QByteArray("\x03\x00\x00\x00wrapped", 11));
            QVERIFY(MBDBParser::appendFile(map, false, localFile("new content"), "CameraRollDomain",
                                           "Media/DCIM/100APPLE/IMG_0001.JPG", 0, &keyInfo, nullptr,
                                           nullptr));
            MBDBParser::save2File(map.items.values(), *backup);
        }
        if (k == Kind::Encrypted) {
            const QByteArray after = bytesOf(dir + "/Manifest.db");
            QVERIFY(!after.startsWith("SQLite format 3"));
            QVERIFY(after != encryptedBefore);
        }

        // Read back through a fresh object, unlocked afresh.
        const auto fresh = open(dir, locked);
        const MBDBParser::MBDBItemMap read = MBDBParser::parse(*fresh);
        map.items.remove(MBDBParser::getFileHashName("HomeDomain", "Library/Old.txt"));
        QCOMPARE(read.items.size(), map.items.size());
        QCOMPARE(read.items.size(), k == Kind::Mbdb ? 7 : 6); // the new file brought three folders
        for (auto it = map.items.cbegin(); it != map.items.cend(); ++it) {
            QVERIFY2(read.items.contains(it.key()), qPrintable(it->path.toString()));
            const QString diff = differences(read.items.value(it.key()), it.value(), k == Kind::Mbdb);
            QVERIFY2(diff.isEmpty(), qPrintable(it->path.toString() + ": " + diff));
        }
        const MBDBParser::_MBDBItem added = read.items.value(
            MBDBParser::getFileHashName("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG"));
        QCOMPARE(added.size, qint64(11));
        QCOMPARE(added.protectionClass, qint8(3));
        if (k == Kind::Salted) {
            const QString id =
                MBDBParser::getFileHashName("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG");
            QCOMPARE(queryText(dir + "/Manifest.db", "select typeof(file) from Files where fileID=?", id),
                     QString("text"));
        }
    }

    void manifestDbMarks_data()
    {
        QTest::addColumn<bool>("inTable");
        QTest::addColumn<bool>("removed");
        QTest::addColumn<bool>("modified");
        QTest::addColumn<bool>("added");
        QTest::addColumn<qint64>("size"); // read back; -1: no row
        QTest::newRow("unmarked is left alone") << true << false << false << false << qint64(100);
        QTest::newRow("modified") << true << false << true << false << qint64(99);
        QTest::newRow("added replaces the row") << true << false << false << true << qint64(99);
        QTest::newRow("removed") << true << true << false << false << qint64(-1);
        QTest::newRow("removed wins over added") << true << true << false << true << qint64(-1);
        QTest::newRow("modified and added update") << true << false << true << true << qint64(99);
        QTest::newRow("new and added") << false << false << false << true << qint64(99);
        QTest::newRow("new and modified finds no row") << false << false << true << false << qint64(-1);
    }
    void manifestDbMarks()
    {
        QFETCH(bool, inTable);
        QFETCH(bool, removed);
        QFETCH(bool, modified);
        QFETCH(bool, added);
        QFETCH(qint64, size);
        const QString dir = write(specOf(Kind::ManifestDb));
        BackupManifest backup(dir);
        const QString name = MBDBParser::getFileHashName(
            "HomeDomain", inTable ? "Library/AddressBook/AddressBook.sqlitedb" : "New.txt");
        MBDBParser::_MBDBItem record =
            inTable ? MBDBParser::parse(backup).items.value(name) : item("HomeDomain", "New.txt");
        record.size = 99;
        record.removed = removed;
        record.modified = modified;
        record.added = added;
        MBDBParser::save2File({record}, backup);
        const MBDBParser::MBDBItemMap read = MBDBParser::parse(backup);
        QCOMPARE(read.items.contains(name) ? read.items.value(name).size : qint64(-1), size);
        // The backup holds three rows.
        QCOMPARE(read.items.size(), (inTable ? 3 : 4) - (size < 0 ? 1 : 0));
    }

    void flagsColumn_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("link");
        QTest::addColumn<QString>("flags");
        QTest::newRow("folder, even with a link target") << 0x41C0 << QByteArray("x") << "2";
        QTest::newRow("link target") << 0x81A4 << QByteArray("x") << "4";
        QTest::newRow("file") << 0x81A4 << QByteArray() << "1";
        QTest::newRow("empty link target is none") << 0x81A4 << QByteArray("") << "1";
    }
    void flagsColumn()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, link);
        QFETCH(QString, flags);
        const QString dir = write(specOf(Kind::ManifestDb));
        BackupManifest backup(dir);
        MBDBParser::_MBDBItem record = item("HomeDomain", "Entry", quint16(mode));
        if (!link.isNull())
            record.linkTarget = bin(link);
        record.added = true;
        MBDBParser::save2File({record}, backup);
        QCOMPARE(queryText(dir + "/Manifest.db", "select flags from Files where fileID=?",
                           record.backupFileName()),
                 flags);
    }

    void descriptionKey_data()
    {
        QTest::addColumn<QString>("passcode");
        QTest::addColumn<int>("properties"); // 0 no table, 1 table without salt, 2 salt row
        QTest::addColumn<QString>("stored");
        QTest::newRow("password and salt") << "secret" << 2 << "text";
        QTest::newRow("salt without password") << "" << 2 << "blob";
        QTest::newRow("password, no salt row") << "secret" << 1 << "blob";
        QTest::newRow("password, no Properties table") << "secret" << 0 << "blob";
    }
    void descriptionKey()
    {
        QFETCH(QString, passcode);
        QFETCH(int, properties);
        QFETCH(QString, stored);
        BackupSpec spec = specOf(Kind::ManifestDb);
        if (properties == 2)
            spec.manifestSalt = QByteArray("0123456789abcdef");
        const QString dir = write(spec);
        if (properties == 0) {
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", Sqlite3DB::ReadWrite);
            db.executeThrow(Sqlite3Sql("drop table Properties"));
            db.close();
        }
        BackupManifest backup(dir);
        backup.passcode = passcode;
        MBDBParser::_MBDBItem record = item("HomeDomain", "Entry");
        record.size = 4321;
        record.added = true;
        MBDBParser::save2File({record}, backup);
        QCOMPARE(queryText(dir + "/Manifest.db", "select typeof(file) from Files where fileID=?",
                           record.backupFileName()),
                 stored);
        if (stored == "text")
            QCOMPARE(MBDBParser::parse(backup).items.value(record.backupFileName()).size, qint64(4321));
    }

    void longestValues()
    {
        const QString dir = emptyDir();
        BackupManifest backup(dir);
        MBDBParser::_MBDBItem record = item("HomeDomain", "Long");
        record.digest = bin(QByteArray(MBDBParser::_MBDBBinary::MaxLength, 'd'));
        for (int i = 0; i < 127; ++i)
            record.properties.append({bin(QByteArray::number(i)), bin("v")});
        MBDBParser::save2File({record}, backup);
        const MBDBParser::_MBDBItem read = MBDBParser::parse(backup).items.value(record.backupFileName());
        QCOMPARE(read.digest.val.size(), MBDBParser::_MBDBBinary::MaxLength);
        QCOMPARE(read.properties.size(), 127);
        QCOMPARE(read.properties.last().name.val, QByteArray("126"));
    }

    void refusedBeforeWriting_data()
    {
        QTest::addColumn<int>("defect");
        QTest::addColumn<bool>("mbdb");
        QTest::addColumn<QString>("text");
        const QStringList texts = {"the path of HomeDomain-", "HomeDomain-Entry has 128 properties",
                                   "a record without a domain",
                                   "the digest of HomeDomain-Entry has the length 5"};
        for (const bool mbdb : {true, false}) {
            for (int defect = 0; defect < texts.size(); ++defect)
                QTest::addRow("%s, defect %d", mbdb ? "mbdb" : "Manifest.db", defect)
                    << defect << mbdb << texts[defect];
        }
    }
    void refusedBeforeWriting()
    {
        QFETCH(int, defect);
        QFETCH(bool, mbdb);
        QFETCH(QString, text);
        const QString dir = write(specOf(mbdb ? Kind::Mbdb : Kind::ManifestDb));
        const QString manifest = dir + (mbdb ? "/Manifest.mbdb" : "/Manifest.db");
        const QByteArray before = bytesOf(manifest);
        const QStringList files = listing(dir);

        MBDBParser::_MBDBItem good = item("AAA", "first");
        good.added = true;
        MBDBParser::_MBDBItem bad = item("HomeDomain", "Entry");
        bad.added = true;
        if (defect == 0) {
            bad.path.val = QByteArray(MBDBParser::_MBDBBinary::MaxLength + 1, 'p');
            bad.path.len = 1;
        } else if (defect == 1) {
            for (int i = 0; i < 128; ++i)
                bad.properties.append({bin("n"), bin("v")});
        } else if (defect == 2) {
            bad.domain = MBDBParser::_MBDBBinary();
        } else {
            bad.digest.len = 5;
            bad.digest.val = "abc";
        }
        BackupManifest backup(dir);
        const QString error = whatOf<std::runtime_error>([&] { MBDBParser::save2File({good, bad}, backup); });
        QVERIFY2(error.startsWith("MBDBParser::save2File, " + text), qPrintable(error));
        QCOMPARE(bytesOf(manifest), before);
        QCOMPARE(listing(dir), files);
    }

    void failurePartWayKeepsOldManifest_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("Manifest.mbdb") << int(Kind::Mbdb);
        QTest::newRow("Manifest.db encrypted whole") << int(Kind::Encrypted);
    }
    void failurePartWayKeepsOldManifest()
    {
        QFETCH(int, kind);
        const Kind k = Kind(kind);
        const QString dir = write(specOf(k));
        const QString manifest = dir + (k == Kind::Mbdb ? "/Manifest.mbdb" : "/Manifest.db");
        const QByteArray before = bytesOf(manifest);
        const QStringList files = listing(dir);
        const auto backup = open(dir, k == Kind::Encrypted);
        QList<MBDBParser::_MBDBItem> records = MBDBParser::parse(*backup).items.values();
        rlim_t limitBytes = 4096;
        if (k == Kind::Mbdb) {
            for (int i = 0; i < 400; ++i) {
                MBDBParser::_MBDBItem r =
                    item("HomeDomain", QStringLiteral("Library/Many/%1").arg(i) + QString(60, 'x'));
                r.added = true;
                records.append(r);
            }
        } else {
            // A deletion does not grow the database, so its update fits under the limit; only the
            // encrypted result, a padding block longer, reaches past it.
            for (MBDBParser::_MBDBItem &r : records)
                r.removed = r.path.toString() == "Library/Old.txt";
            limitBytes = rlim_t(QFileInfo(backup->decryptedManifestPath).size()) + 1;
        }
        QString error;
        {
            const FileSizeLimit limit(limitBytes);
            error = whatOf<std::runtime_error>([&] { MBDBParser::save2File(records, *backup); });
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(manifest), before);
        QCOMPARE(listing(dir), files);
        // The backup still reads what its folder holds.
        QCOMPARE(MBDBParser::parse(*backup).items.size(), k == Kind::Mbdb ? 4 : 3);

        // Without the limit the same write goes through.
        MBDBParser::save2File(records, *backup);
        QCOMPARE(MBDBParser::parse(*backup).items.size(), k == Kind::Mbdb ? 404 : 2);
        QCOMPARE(MBDBParser::parse(*open(dir, k == Kind::Encrypted)).items.size(), k == Kind::Mbdb ? 404 : 2);
    }

    void folderWithBothManifestsGetsMbdb()
    {
        BackupSpec spec = specOf(Kind::ManifestDb);
        spec.layout = Layout::Both;
        const QString dir = write(spec);
        const QByteArray db = bytesOf(dir + "/Manifest.db");
        BackupManifest backup(dir);
        MBDBParser::_MBDBItem record = item("HomeDomain", "Entry");
        MBDBParser::save2File({record}, backup);
        QCOMPARE(bytesOf(dir + "/Manifest.db"), db);
        QCOMPARE(MBDBParser::parse(backup).items.keys(), QList<QString>{record.backupFileName()});
    }
};

TARNWICK_TEST_MAIN(TestManifestWriter)
#include "tst_manifestwriter.moc"
