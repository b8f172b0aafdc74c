// Building records for the writer: the keyed archive of a Files row, read back with libplist, and
// local files entered into a record map with their missing parent folders.
#include "BackupBuilder.h"
#include "TestMain.h"
#include "WriterTestSupport.h"
#include "itunesbackup/MBDBParser.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

using namespace writertest;

namespace {

struct PlistFree
{
    void operator()(plist_t node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

qint64 uidOf(plist_t node)
{
    uint64_t v = 0;
    if (!node || plist_get_node_type(node) != PLIST_UID)
        return -1;
    plist_get_uid_val(node, &v);
    return qint64(v);
}

qint64 intOf(plist_t node)
{
    uint64_t v = 0;
    if (!node || plist_get_node_type(node) != PLIST_UINT)
        return -1;
    plist_get_uint_val(node, &v);
    return qint64(v);
}

QString stringOf(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return QStringLiteral("<none>");
    char *text = nullptr;
    plist_get_string_val(node, &text);
    const QString out = QString::fromUtf8(text);
    std::free(text);
    return out;
}

QByteArray dataOf(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_DATA)
        return QByteArray("<none>");
    char *bytes = nullptr;
    uint64_t size = 0;
    plist_get_data_val(node, &bytes, &size);
    const QByteArray out(bytes, int(size));
    std::free(bytes);
    return out;
}

QStringList keysOf(plist_t dict)
{
    QStringList keys;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &key, &value);
        if (!key)
            break;
        keys << QString::fromUtf8(key);
        std::free(key);
    }
    std::free(it);
    return keys;
}

plist_t item(plist_t dict, const char *key)
{
    return plist_dict_get_item(dict, key);
}

MBDBParser::ProtectionClsKeyInfo keyInfo(int clas, const QByteArray &wrapped)
{
    MBDBParser::ProtectionClsKeyInfo info;
    info.protectionClass = clas;
    info.wrappedKey = bin(wrapped);
    info.key = QByteArray(32, char(clas));
    return info;
}

const QByteArray kWrapped3 = QByteArray("\x03\x00\x00\x00", 4) + QByteArray(40, '3');
const QByteArray kWrapped4 = QByteArray("\x04\x00\x00\x00", 4) + QByteArray(40, '4');
const qint32 kFileTime = 1600000000;

} // namespace

class TestManifestRecords : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_local;
    QByteArray m_content;

private slots:
    void initTestCase()
    {
        m_content = QByteArray(1234, 'L');
        m_local = m_dir.filePath("local.bin");
        QFile f(m_local);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(m_content), qint64(m_content.size()));
        QVERIFY(f.flush());
        QVERIFY(f.setFileTime(QDateTime::fromSecsSinceEpoch(kFileTime, Qt::UTC),
                              QFileDevice::FileModificationTime));
    }

    void archive_data()
    {
        QTest::addColumn<QByteArray>("digest"); // null: absent
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<bool>("withPath");
        QTest::addColumn<int>("objects");
        QTest::addColumn<int>("digestUid"); // -1: no "Digest" key
        QTest::addColumn<int>("keyUid");
        QTest::addColumn<int>("classUid");
        const QByteArray digest(20, '\xd1');
        QTest::newRow("neither") << QByteArray() << QByteArray() << true << 4 << -1 << -1 << 3;
        QTest::newRow("digest") << digest << QByteArray() << true << 5 << 3 << -1 << 4;
        QTest::newRow("key") << QByteArray() << kWrapped3 << true << 6 << -1 << 3 << 5;
        QTest::newRow("both") << digest << kWrapped3 << true << 7 << 3 << 4 << 6;
        QTest::newRow("empty digest counts as none")
            << QByteArray("") << QByteArray() << true << 4 << -1 << -1 << 3;
        QTest::newRow("absent path") << QByteArray() << QByteArray() << false << 4 << -1 << -1 << 3;
    }
    void archive()
    {
        QFETCH(QByteArray, digest);
        QFETCH(QByteArray, key);
        QFETCH(bool, withPath);
        QFETCH(int, objects);
        QFETCH(int, digestUid);
        QFETCH(int, keyUid);
        QFETCH(int, classUid);
        MBDBParser::_MBDBItem record;
        record.domain = bin("HomeDomain");
        if (withPath)
            record.path = bin("Library/x.db");
        if (!digest.isNull())
            record.digest = bin(digest);
        if (!key.isNull())
            record.encryptionKey = bin(key);
        record.mode = 0x81A4;
        record.inode = 5000000000LL;
        record.userId = 501;
        record.groupId = 20;
        record.lastModified = 11;
        record.lastStatusChange = 12;
        record.birth = 13;
        record.size = 1000;
        record.protectionClass = 3;
        record.linkTarget = bin("ignored");
        record.properties = {{bin("ignored"), bin("too")}};

        const QByteArray bytes = MBDBParser::mbFilePlist(record);
        QVERIFY(bytes.startsWith("bplist00"));
        plist_t raw = nullptr;
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &raw);
        const Plist root(raw);
        QVERIFY(root);
        QCOMPARE(keysOf(root.get()), (QStringList{"$archiver", "$objects", "$top", "$version"}));
        QCOMPARE(stringOf(item(root.get(), "$archiver")), QString("NSKeyedArchiver"));
        QCOMPARE(intOf(item(root.get(), "$version")), qint64(100000));
        QCOMPARE(uidOf(item(item(root.get(), "$top"), "root")), qint64(1));
        plist_t objs = item(root.get(), "$objects");
        QCOMPARE(int(plist_array_get_size(objs)), objects);
        QCOMPARE(stringOf(plist_array_get_item(objs, 0)), QString("$null"));
        QCOMPARE(stringOf(plist_array_get_item(objs, 2)), withPath ? QString("Library/x.db") : QString(""));

        plist_t mbFile = plist_array_get_item(objs, 1);
        QStringList expectedKeys{"$class", "Birth"};
        if (digestUid >= 0)
            expectedKeys << "Digest";
        if (keyUid >= 0)
            expectedKeys << "EncryptionKey";
        expectedKeys << "Flags"
                     << "GroupID"
                     << "InodeNumber"
                     << "LastModified"
                     << "LastStatusChange"
                     << "Mode"
                     << "ProtectionClass"
                     << "RelativePath"
                     << "Size"
                     << "UserID";
        QCOMPARE(keysOf(mbFile), expectedKeys);
        QCOMPARE(uidOf(item(mbFile, "$class")), qint64(classUid));
        QCOMPARE(uidOf(item(mbFile, "RelativePath")), qint64(2));
        QCOMPARE(intOf(item(mbFile, "Flags")), qint64(0));
        QCOMPARE(intOf(item(mbFile, "Mode")), qint64(0x81A4));
        QCOMPARE(intOf(item(mbFile, "InodeNumber")), qint64(5000000000LL));
        QCOMPARE(intOf(item(mbFile, "Size")), qint64(1000));
        QCOMPARE(intOf(item(mbFile, "ProtectionClass")), qint64(3));
        QCOMPARE(intOf(item(mbFile, "GroupID")), qint64(20));
        QCOMPARE(intOf(item(mbFile, "Birth")), qint64(13));
        if (digestUid >= 0) {
            QCOMPARE(uidOf(item(mbFile, "Digest")), qint64(digestUid));
            QCOMPARE(dataOf(plist_array_get_item(objs, uint32_t(digestUid))), digest);
        }
        if (keyUid >= 0) {
            QCOMPARE(uidOf(item(mbFile, "EncryptionKey")), qint64(keyUid));
            plist_t keyObject = plist_array_get_item(objs, uint32_t(keyUid));
            QCOMPARE(keysOf(keyObject), (QStringList{"$class", "NS.data"}));
            QCOMPARE(uidOf(item(keyObject, "$class")), qint64(keyUid + 1));
            QCOMPARE(dataOf(item(keyObject, "NS.data")), key);
            plist_t keyClass = plist_array_get_item(objs, uint32_t(keyUid + 1));
            QCOMPARE(stringOf(item(keyClass, "$classname")), QString("NSMutableData"));
            QCOMPARE(int(plist_array_get_size(item(keyClass, "$classes"))), 3);
        }
        plist_t mbClass = plist_array_get_item(objs, uint32_t(classUid));
        QCOMPARE(keysOf(mbClass), (QStringList{"$classes", "$classname"}));
        QCOMPARE(stringOf(item(mbClass, "$classname")), QString("MBFile"));
        QCOMPARE(stringOf(plist_array_get_item(item(mbClass, "$classes"), 1)), QString("NSObject"));
        QVERIFY(!bytes.contains("ignored"));
    }

    void appendWalk_data()
    {
        QTest::addColumn<QStringList>("existing"); // "path" for a folder, "path|file" for a file
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("created"); // in the order of their inode numbers from 41
        QTest::addColumn<QString>("error");
        const QString book = "Library/AddressBook/AddressBook.sqlitedb";
        QTest::newRow("missing folders, innermost first")
            << QStringList() << book << true << QStringList{"Library/AddressBook", "Library", book} << "";
        QTest::newRow("nearest folder recorded")
            << QStringList{"Library/AddressBook"} << book << true << QStringList{book} << "";
        QTest::newRow("parent held by a file")
            << QStringList{"Library|file"} << book << false << QStringList{"Library/AddressBook"}
            << "MBDBParser::appendFile(" + book + ") error. \"Library\" is not a folder.";
        QTest::newRow("no folder") << QStringList() << "file.txt" << true << QStringList{"file.txt"} << "";
        QTest::newRow("only a leading slash") << QStringList() << "/x" << true << QStringList{"/x"} << "";
    }
    void appendWalk()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, path);
        QFETCH(bool, ok);
        QFETCH(QStringList, created);
        QFETCH(QString, error);
        MBDBParser::MBDBItemMap map;
        map.maxInode = 40;
        for (const QString &entry : existing) {
            const QStringList parts = entry.split('|');
            MBDBParser::_MBDBItem r =
                writertest::item("HomeDomain", parts[0], parts.size() > 1 ? 0x81A4 : 0x41ED);
            r.inode = 1;
            map.items.insert(r.backupFileName(), r);
        }
        QString text;
        QCOMPARE(MBDBParser::appendFile(map, false, m_local, "HomeDomain", path, 0, nullptr, nullptr, &text),
                 ok);
        QCOMPARE(text, error);
        QCOMPARE(map.items.size(), existing.size() + created.size());
        QCOMPARE(map.maxInode, qint32(40 + created.size()));
        for (int i = 0; i < created.size(); ++i) {
            const MBDBParser::_MBDBItem r =
                map.items.value(MBDBParser::getFileHashName("HomeDomain", created[i]));
            QCOMPARE(r.path.toString(), created[i]);
            QCOMPARE(r.inode, qint64(41 + i));
            QVERIFY(r.added);
            QVERIFY(!r.modified);
            QCOMPARE(r.userId, 501);
            QCOMPARE(r.groupId, 501);
            QCOMPARE(r.lastModified, kFileTime);
            QCOMPARE(r.birth, kFileTime);
            const bool isFile = created[i] == path;
            QCOMPARE(r.mode, quint16(isFile ? 0x81A4 : 0x41C0));
            QCOMPARE(r.size, qint64(isFile ? 1234 : 0));
            QCOMPARE(r.protectionClass, qint8(isFile ? 3 : 0));
            QVERIFY(!r.digest.isValid());
            QCOMPARE(r.encryptionKey.len, MBDBParser::_MBDBBinary::Absent);
        }
    }

    void appendNewFile_data()
    {
        QTest::addColumn<bool>("useClass4");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("give3");
        QTest::addColumn<bool>("give4");
        QTest::addColumn<qint64>("storedSize");
        QTest::addColumn<QByteArray>("key"); // null: absent
        QTest::newRow("class 3, local size")
            << false << qint64(0) << true << true << qint64(1234) << kWrapped3;
        QTest::newRow("class 3, size given")
            << false << qint64(10) << true << false << qint64(10) << kWrapped3;
        QTest::newRow("class 3, only a class-4 key")
            << false << qint64(-5) << false << true << qint64(1234) << QByteArray();
        QTest::newRow("class 4") << true << qint64(0) << true << true << qint64(1234) << kWrapped4;
        QTest::newRow("class 4, no key")
            << true << qint64(0) << false << false << qint64(1234) << QByteArray();
    }
    void appendNewFile()
    {
        QFETCH(bool, useClass4);
        QFETCH(qint64, size);
        QFETCH(bool, give3);
        QFETCH(bool, give4);
        QFETCH(qint64, storedSize);
        QFETCH(QByteArray, key);
        const auto info3 = keyInfo(3, kWrapped3);
        const auto info4 = keyInfo(4, kWrapped4);
        MBDBParser::MBDBItemMap map;
        QVERIFY(MBDBParser::appendFile(map, useClass4, m_local, "CameraRollDomain", "f.jpg", size,
                                       give3 ? &info3 : nullptr, give4 ? &info4 : nullptr, nullptr));
        const MBDBParser::_MBDBItem r =
            map.items.value(MBDBParser::getFileHashName("CameraRollDomain", "f.jpg"));
        QCOMPARE(r.size, storedSize);
        QCOMPARE(r.protectionClass, qint8(useClass4 ? 4 : 3));
        QCOMPARE(r.digest.val,
                 useClass4 ? QCryptographicHash::hash(m_content, QCryptographicHash::Sha1) : QByteArray());
        QCOMPARE(r.digest.len, useClass4 ? quint16(20) : MBDBParser::_MBDBBinary::Absent);
        QCOMPARE(r.encryptionKey.isValid(), !key.isNull());
        QCOMPARE(r.encryptionKey.val, key.isNull() ? QByteArray() : key);
    }

    void appendExisting()
    {
        MBDBParser::MBDBItemMap map;
        MBDBParser::_MBDBItem stored = writertest::item("HomeDomain", "Library/Notes.db");
        stored.inode = 5;
        stored.size = 7;
        stored.protectionClass = 3;
        stored.lastModified = 1;
        map.store(stored);
        MBDBParser::_MBDBItem folder = writertest::item("HomeDomain", "Library", 0x41ED);
        map.store(folder);
        const auto info4 = keyInfo(4, kWrapped4);

        // A record read from the backup is marked modified and keeps its size, mode, inode and class.
        QVERIFY(MBDBParser::appendFile(map, true, m_local, "HomeDomain", "Library/Notes.db", 0, nullptr,
                                       &info4, nullptr));
        MBDBParser::_MBDBItem r = map.items.value(stored.backupFileName());
        QVERIFY(r.modified);
        QVERIFY(!r.added);
        QCOMPARE(r.size, qint64(7));
        QCOMPARE(r.inode, qint64(5));
        QCOMPARE(r.mode, quint16(0x81A4));
        QCOMPARE(r.protectionClass, qint8(3));
        QCOMPARE(r.lastModified, kFileTime);
        QCOMPARE(r.lastStatusChange, kFileTime);
        QCOMPARE(r.digest.val, QCryptographicHash::hash(m_content, QCryptographicHash::Sha1));
        QCOMPARE(r.encryptionKey.val, kWrapped4);
        QCOMPARE(map.maxInode, qint32(5));

        // A folder named as the file is refreshed the same way and stays a folder.
        QVERIFY(MBDBParser::appendFile(map, false, m_local, "HomeDomain", "Library", 0, nullptr, nullptr,
                                       nullptr));
        r = map.items.value(folder.backupFileName());
        QVERIFY(r.modified);
        QCOMPARE(r.mode, quint16(0x41ED));
        QCOMPARE(r.birth, kFileTime);

        // A record made by an earlier call is still to be inserted: it stays marked added only.
        QVERIFY(MBDBParser::appendFile(map, false, m_local, "HomeDomain", "Library/New.txt", 0, nullptr,
                                       nullptr, nullptr));
        QVERIFY(MBDBParser::appendFile(map, true, m_local, "HomeDomain", "Library/New.txt", 0, nullptr,
                                       &info4, nullptr));
        r = map.items.value(MBDBParser::getFileHashName("HomeDomain", "Library/New.txt"));
        QVERIFY(r.added);
        QVERIFY(!r.modified);
        QCOMPARE(r.encryptionKey.val, kWrapped4);
        QCOMPARE(map.items.size(), 3);

        // Without a domain nothing happens.
        QVERIFY(MBDBParser::appendFile(map, false, m_local, QString(), "Library/Other", 0, nullptr, nullptr,
                                       nullptr));
        QCOMPARE(map.items.size(), 3);
    }
};

TARNWICK_TEST_MAIN(TestManifestRecords)
#include "tst_manifestrecords.moc"
