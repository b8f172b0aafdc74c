// Manifest records and both manifest readers, against manifests the fixture builder writes.
#include "BackupBuilder.h"
#include "ExceptionText.h"
#include "TestMain.h"
#include "itunesbackup/BackupManifest.h"
#include "itunesbackup/MBDBParser.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>

using namespace itunesfixture;
using tarnwick::test::whatOf;

namespace {

QByteArray be16(quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    return QByteArray(b, 2);
}

BackupFile file(const QString &domain, const QString &path, qint64 inode = 1)
{
    BackupFile f;
    f.domain = domain;
    f.path = path;
    f.inode = inode;
    f.content = path.toUtf8();
    return f;
}

// A backup folder holding only a "Manifest.mbdb" of these bytes.
bool writeMbdb(const QTemporaryDir &dir, const QByteArray &bytes)
{
    QFile f(dir.filePath("Manifest.mbdb"));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

MBDBParser::MBDBItemMap parseBytes(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return MBDBParser::parseMbdb(buffer);
}

} // namespace

class TestMBDBParser : public QObject
{
    Q_OBJECT

private slots:
    void fileNames_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("name");
        QTest::newRow("address book") << "HomeDomain" << "Library/AddressBook/AddressBook.sqlitedb"
                                      << "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
        QTest::newRow("images") << "HomeDomain" << "Library/AddressBook/AddressBookImages.sqlitedb"
                                << "cd6702cea29fe89cf280a76794405adb17f9a0ee";
        QTest::newRow("empty path keeps the hyphen") << "HomeDomain" << "" << backupName("HomeDomain", "");
        QTest::newRow("non-ASCII as UTF-8") << "AppDomain-é" << "ü/ß" << backupName("AppDomain-é", "ü/ß");
    }
    void fileNames()
    {
        QFETCH(QString, domain);
        QFETCH(QString, path);
        QFETCH(QString, name);
        QCOMPARE(MBDBParser::getFileHashName(domain, path), name);
        MBDBParser::_MBDBItem item;
        item.domain.setVal(domain.toUtf8());
        item.path.setVal(path.toUtf8());
        QCOMPARE(item.backupFileName(), name);
    }

    void binaryValues()
    {
        MBDBParser::_MBDBBinary absent;
        QVERIFY(!absent.isValid());
        QCOMPARE(absent.toString(), QString(""));
        MBDBParser::_MBDBBinary empty;
        empty.setVal(QByteArray());
        QCOMPARE(empty.len, quint16(0));
        QVERIFY(!empty.isValid());
        QCOMPARE(empty.toString(), QString(""));
        MBDBParser::_MBDBBinary zero;
        zero.setVal(QByteArray("ab\0cd", 5));
        QCOMPARE(zero.toString(), QString("ab"));
        // The length field cannot carry more: refused, the value kept.
        MBDBParser::_MBDBBinary big;
        big.setVal("x");
        QVERIFY(!whatOf<std::length_error>([&] { big.setVal(QByteArray(65535, 'a')); }).isEmpty());
        QCOMPARE(big.val, QByteArray("x"));
        big.setVal(QByteArray(65534, 'a'));
        QCOMPARE(big.len, quint16(65534));
    }

    void folderBit_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("folder");
        QTest::newRow("0x41ED") << 0x41ED << true;
        QTest::newRow("0x81A4") << 0x81A4 << false;
        QTest::newRow("0xA1ED") << 0xA1ED << false;
    }
    void folderBit()
    {
        QFETCH(int, mode);
        QFETCH(bool, folder);
        MBDBParser::_MBDBItem item;
        item.mode = quint16(mode);
        QCOMPARE(item.isFolder(), folder);
    }

    void layout_data()
    {
        QTest::addColumn<bool>("mbdb");
        QTest::addColumn<bool>("db");
        QTest::addColumn<bool>("ios10");
        QTest::newRow("mbdb only") << true << false << false;
        QTest::newRow("db only") << false << true << true;
        QTest::newRow("both") << true << true << false;
        QTest::newRow("neither") << false << false << false;
    }
    void layout()
    {
        QFETCH(bool, mbdb);
        QFETCH(bool, db);
        QFETCH(bool, ios10);
        QTemporaryDir dir;
        if (mbdb)
            QFile(dir.filePath("Manifest.mbdb")).open(QIODevice::WriteOnly);
        if (db)
            QFile(dir.filePath("Manifest.db")).open(QIODevice::WriteOnly);
        const QDir backup(dir.path());
        QCOMPARE(MBDBParser::isIos10Mbdb(backup), ios10);
        const QString name = backupName("HomeDomain", "a");
        const QString expected = ios10 ? dir.filePath(name.left(2) + "/" + name) : dir.filePath(name);
        QCOMPARE(MBDBParser::getBKFilePath(backup, name, false), expected);
        QVERIFY(!QFileInfo::exists(QFileInfo(expected).absolutePath()) == ios10);
        MBDBParser::getBKFilePath(backup, name, true);
        QVERIFY(QFileInfo(QFileInfo(expected).absolutePath()).isDir());
    }

    void ordering()
    {
        auto item = [](const char *d, const char *p) {
            MBDBParser::_MBDBItem i;
            i.domain.setVal(d);
            i.path.setVal(p);
            return i;
        };
        QVERIFY(!compareMBDBItemLess(item("HomeDomain", "a"), item("HomeDomain", "a")));
        QVERIFY(compareMBDBItemLess(item("AppDomain-x", "z"), item("HomeDomain", "a")));
        QVERIFY(compareMBDBItemLess(item("HomeDomain", "z"), item("homeDomain", "a")));
        QVERIFY(compareMBDBItemLess(item("HomeDomain", "Library"), item("HomeDomain", "Library/a")));
        QVERIFY(!compareMBDBItemLess(item("HomeDomain", "b"), item("HomeDomain", "a")));
    }

    void maxInode()
    {
        MBDBParser::MBDBItemMap map;
        for (qint64 inode : {7, 3, 12}) {
            MBDBParser::_MBDBItem i;
            i.domain.setVal("D");
            i.path.setVal(QByteArray::number(inode));
            i.inode = inode;
            map.store(i);
        }
        QCOMPARE(map.maxInode, 12);
        MBDBParser::_MBDBItem big;
        big.domain.setVal("D");
        big.path.setVal("big");
        big.inode = 0x80000005LL;
        map.store(big);
        QCOMPARE(map.maxInode, qint32(0x80000005u));
        QCOMPARE(map.items.size(), 4);
    }

    // ---- Manifest.mbdb --------------------------------------------------------------------

    void mbdbBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("paths"); // stored records' paths, sorted; "!" = read error
        QTest::addColumn<int>("maxInode");

        BackupFile a = file("HomeDomain", "a", 4);
        BackupFile b = file("HomeDomain", "b", 9);
        const QByteArray header("mbdb\x05\x00", 6);
        QTest::newRow("empty file") << QByteArray() << QStringList() << 0;
        QTest::newRow("header only") << header << QStringList() << 0;
        QTest::newRow("other header") << QByteArray("xxxx\x01\x02", 6) + mbdbRecord(a) << QStringList{"a"} << 4;
        QTest::newRow("absent domain takes two bytes")
            << header + be16(0xFFFF) + mbdbRecord(a) << QStringList{"a"} << 4;
        QTest::newRow("empty domain takes two bytes") << header + be16(0) + mbdbRecord(b) << QStringList{"b"} << 9;
        BackupFile two = file("HomeDomain", "two", 1);
        two.properties = {{"n1", "v1"}, {"n2", "v2"}};
        QTest::newRow("two properties") << header + mbdbRecord(two) << QStringList{"two"} << 1;
        // A count byte of 0x80 reads no pairs: the pair bytes are then the next record.
        BackupFile neg = file("HomeDomain", "neg", 1);
        QByteArray negBytes = mbdbRecord(neg);
        negBytes[negBytes.size() - 1] = char(0x80);
        QTest::newRow("count 0x80") << header + negBytes + mbdbRecord(a) << QStringList{"a", "neg"} << 4;
        BackupFile split = file("HomeDomain", "split", 5);
        split.inodeHigh = 1;
        QTest::newRow("split inode") << header + mbdbRecord(split) << QStringList{"split"} << 5;
        QTest::newRow("trailing byte") << header + mbdbRecord(a) + QByteArray(1, 'x') << QStringList{"!"} << 0;
        QTest::newRow("truncated string") << header + mbdbRecord(a).left(10) << QStringList{"!"} << 0;
        QTest::newRow("truncated fixed part") << header + mbdbRecord(a).chopped(3) << QStringList{"!"} << 0;
        BackupFile dup = file("HomeDomain", "a", 2);
        dup.size = 77;
        QTest::newRow("duplicate: later wins, inode of both")
            << header + mbdbRecord(a) + mbdbRecord(dup) << QStringList{"a"} << 4;
        // A domain that cannot name a group of the tree: the record is read whole and left out.
        BackupFile zero = file(QString(QChar(0)) + "HomeDomain", "zero", 30);
        QTest::newRow("domain starting with a zero byte")
            << header + mbdbRecord(zero) + mbdbRecord(b) << QStringList{"b"} << 9;
        BackupFile control = file("Home\x01Domain", "control", 31);
        BackupFile del = file("HomeDomain\x7f", "del", 32);
        QTest::newRow("domain with control characters")
            << header + mbdbRecord(a) + mbdbRecord(control) + mbdbRecord(del) << QStringList{"a"} << 4;
    }
    void mbdbBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, paths);
        QFETCH(int, maxInode);
        QTemporaryDir dir;
        QVERIFY(writeMbdb(dir, bytes));
        BackupManifest backup(dir.path());
        if (paths == QStringList{"!"}) {
            QVERIFY(!whatOf<std::runtime_error>([&] { MBDBParser::parse(backup); }).isEmpty());
            return;
        }
        const MBDBParser::MBDBItemMap map = MBDBParser::parse(backup);
        QStringList got;
        for (const auto &item : map.items)
            got << item.path.toString();
        got.sort();
        QCOMPARE(got, paths);
        QCOMPARE(map.maxInode, maxInode);
    }

    // A file that ends inside a record names itself and where it ends, never "Unknown error".
    void damagedMbdbNamesTheFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("recordAt");

        const QByteArray header("mbdb\x05\x00", 6);
        const QByteArray a = mbdbRecord(file("HomeDomain", "a", 4));
        const QByteArray last = mbdbRecord(file("HomeDomain", "Library/last", 5));
        QTest::newRow("last record longer than the file")
            << header + a + last.chopped(1) << int(6 + a.size());
        QTest::newRow("value announces more than the file holds")
            << header + a + last.left(19) << int(6 + a.size());
        QTest::newRow("path length runs past the end")
            << header + be16(10) + "HomeDomain" + be16(500) + "Library" << 6;
        QTest::newRow("one byte after the last record")
            << header + a + QByteArray(1, 'x') << int(6 + a.size());
        QTest::newRow("length cut in half") << header + be16(10) + "HomeDomain" + QByteArray(1, '\0') << 6;
    }
    void damagedMbdbNamesTheFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, recordAt);
        QTemporaryDir dir;
        QVERIFY(writeMbdb(dir, bytes));
        BackupManifest backup(dir.path());
        QCOMPARE(
            whatOf<std::runtime_error>([&] { backup.parseInfo(); }),
            QString("Manifest.mbdb is damaged: it ends at byte %1, inside the record that begins at byte %2.")
                .arg(bytes.size())
                .arg(recordAt));
        QVERIFY(backup.rootNode.children.isEmpty());
    }

    void mbdbRecordFields()
    {
        BackupFile f = file("HomeDomain", "Library/x", 5);
        f.inodeHigh = 1;
        f.mode = 0x81A4;
        f.userId = 501;
        f.groupId = 20;
        f.lastModified = -5;
        f.lastStatusChange = 1600000000;
        f.birth = 1500000000;
        f.size = 0x123456789LL;
        f.protectionClass = 3;
        f.digest = QByteArray(20, '\x11');
        f.encryptionKey = QByteArray(44, '\x22');
        f.linkTarget = "/var/x";
        f.properties = {{"n1", "v1"}, {"n2", ""}};
        const auto map = parseBytes(mbdbRecord(f));
        QCOMPARE(map.items.size(), 1);
        const MBDBParser::_MBDBItem item = map.items.value(backupName(f.domain, f.path));
        QCOMPARE(item.inodeHigh, 1);
        QCOMPARE(item.inode, 5);
        QCOMPARE(item.mode, quint16(0x81A4));
        QCOMPARE(item.userId, 501);
        QCOMPARE(item.groupId, 20);
        QCOMPARE(item.lastModified, -5);
        QCOMPARE(item.lastStatusChange, 1600000000);
        QCOMPARE(item.birth, 1500000000);
        QCOMPARE(item.size, 0x123456789LL);
        QCOMPARE(item.protectionClass, qint8(3));
        QCOMPARE(item.digest.val, f.digest);
        QCOMPARE(item.encryptionKey.val, f.encryptionKey);
        QCOMPARE(item.linkTarget.toString(), QString("/var/x"));
        QCOMPARE(item.properties.size(), 2);
        QCOMPARE(item.properties.at(0).name.toString(), QString("n1"));
        QCOMPARE(item.properties.at(0).value.toString(), QString("v1"));
        QCOMPARE(item.properties.at(1).value.len, quint16(0));
    }

    void missingManifest()
    {
        QTemporaryDir dir;
        BackupManifest backup(dir.path());
        QVERIFY(!whatOf<std::runtime_error>([&] { MBDBParser::parse(backup); }).isEmpty());
    }

    // ---- Manifest.db ----------------------------------------------------------------------

    void manifestDbRows()
    {
        QTemporaryDir dir;
        BackupSpec spec;
        spec.layout = Layout::ManifestDb;
        BackupFile data = file("HomeDomain", "Library/data", 10);
        data.digest = QByteArray(20, '\x01');
        data.digestForm = BackupFile::DigestForm::Data;
        data.mode = 0x81A4;
        data.lastModified = 1600000000;
        data.size = 4242;
        BackupFile dict = file("HomeDomain", "Library/dict", 11);
        dict.digest = QByteArray(20, '\x02');
        dict.digestForm = BackupFile::DigestForm::Dictionary;
        dict.encryptionKey = QByteArray(44, '\x03');
        dict.linkTarget = "/private/var/target";
        BackupFile folder = file("HomeDomain", "Library", 12);
        folder.mode = 0x41ED;
        BackupFile junk = file("HomeDomain", "Library/junk", 13);
        junk.fileColumnOverride = QByteArray("not a property list");
        BackupFile noDomain = file("", "Library/orphan", 99);
        BackupFile domainOnly = file("MediaDomain", "", 14);
        BackupFile otherId = file("HomeDomain", "Library/otherid", 15);
        otherId.fileIdOverride = QString(40, 'a');
        BackupFile cls = file("HomeDomain", "Library/class", 16);
        cls.protectionClassColumn = 260;
        BackupFile control = file("Home\x01Domain", "Library/control", 98);
        spec.files = {data, dict, folder, junk, noDomain, domainOnly, otherId, cls, control};
        writeBackup(dir.path(), spec);

        BackupManifest backup(dir.path());
        const MBDBParser::MBDBItemMap map = MBDBParser::parse(backup);
        QCOMPARE(map.items.size(), 7);
        QVERIFY(!map.items.contains(backupName("", "Library/orphan")));
        QVERIFY(!map.items.contains(backupName("Home\x01Domain", "Library/control")));
        QCOMPARE(map.maxInode, 16);

        const auto d = map.items.value(backupName("HomeDomain", "Library/data"));
        QCOMPARE(d.digest.val, data.digest);
        QVERIFY(!d.encryptionKey.isValid());
        QCOMPARE(d.encryptionKey.len, MBDBParser::_MBDBBinary::Absent);
        QCOMPARE(d.mode, quint16(0x81A4));
        QCOMPARE(d.lastModified, 1600000000);
        QCOMPARE(d.size, 4242);
        QCOMPARE(d.inode, 10);
        QCOMPARE(d.userId, 501);
        QCOMPARE(d.inodeHigh, 0);
        QVERIFY(d.properties.isEmpty());

        const auto x = map.items.value(backupName("HomeDomain", "Library/dict"));
        QCOMPARE(x.digest.val, dict.digest);
        QCOMPARE(x.encryptionKey.val, dict.encryptionKey);
        QCOMPARE(x.linkTarget.toString(), QString("/private/var/target"));

        QVERIFY(map.items.value(backupName("HomeDomain", "Library")).isFolder());
        const auto j = map.items.value(backupName("HomeDomain", "Library/junk"));
        QCOMPARE(j.domain.toString(), QString("HomeDomain"));
        QCOMPARE(j.mode, quint16(0));
        QCOMPARE(j.digest.len, MBDBParser::_MBDBBinary::Absent);

        const auto m = map.items.value(backupName("MediaDomain", ""));
        QCOMPARE(m.path.len, quint16(0));
        QVERIFY(map.items.contains(backupName("HomeDomain", "Library/otherid")));
        QCOMPARE(map.items.value(backupName("HomeDomain", "Library/class")).protectionClass, qint8(4));

        // Reading touches nothing in the folder.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"Manifest.db", "Manifest.plist"}));
    }

    // A Manifest.db SQLite cannot read is named in the error, with SQLite's reason.
    void manifestDbFailures_data()
    {
        QTest::addColumn<bool>("damagedPages");
        QTest::addColumn<QString>("reason");
        // What an encrypted manifest looks like without its key, in a backup that is not encrypted.
        QTest::newRow("not a database") << false << "file is not a database";
        QTest::newRow("malformed") << true << "malformed";
    }
    void manifestDbFailures()
    {
        QFETCH(bool, damagedPages);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = QDir(dir.path()).absoluteFilePath("Manifest.db");
        if (damagedPages) {
            BackupSpec spec;
            spec.layout = Layout::ManifestDb;
            for (int i = 0; i < 200; ++i)
                spec.files << file("HomeDomain", QString("Library/f%1").arg(i), i + 1);
            writeBackup(dir.path(), spec);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.size() > 3 * 4096);
            // Every page after the schema page overwritten: the header still says SQLite.
            QVERIFY(f.seek(4096));
            f.write(QByteArray(int(f.size() - 4096), '\xA5'));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, '\x5a'));
        }
        BackupManifest backup(dir.path());
        const QString text = whatOf([&] { MBDBParser::parse(backup); });
        QVERIFY2(text.startsWith("can not read " + path + ". "), qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
    }
};

TARNWICK_TEST_MAIN(TestMBDBParser)
#include "tst_mbdbparser.moc"
