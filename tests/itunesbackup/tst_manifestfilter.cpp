// Preparing a backup for writing: the filtered copy of "Manifest.db" (plain and re-encrypted, with
// no plain work file left behind), whole-file encryption, and the file keys of classes 3 and 4.
#include "BackupBuilder.h"
#include "ExceptionText.h"
#include "FolderImage.h"
#include "JournalFixtures.h"
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

const QString kFixedId = QStringLiteral("70765829101933f25994c71bbee6dfd685535bff");

QByteArray classKey(int clas)
{
    return QByteArray(32, char(0x10 * clas + clas));
}

KeybagSpec keybag(bool newer, bool withClass4)
{
    KeybagSpec kb;
    kb.classes = {KeybagClass{1, 3, classKey(1), false}, KeybagClass{3, 3, classKey(3), false}};
    if (withClass4)
        kb.classes.append(KeybagClass{4, 3, classKey(4), false});
    if (!newer)
        kb.dpic.reset();
    return kb;
}

BackupFile file(const QString &domain, const QString &path)
{
    BackupFile f;
    f.domain = domain;
    f.path = path;
    f.content = (domain + path).toUtf8();
    return f;
}

BackupSpec encryptedSpec(bool newer)
{
    BackupSpec spec;
    spec.encrypted = true;
    spec.keybag = keybag(newer, false);
    spec.layout = newer ? Layout::ManifestDb : Layout::Mbdb;
    spec.encryptManifestDb = newer;
    spec.files = {file("HomeDomain", "Library/a.db"), file("AppDomain-com.other", "Documents/b"),
                  file("AppDomain-com.apple.notes", "c")};
    return spec;
}

int rowCount(const QString &dbPath)
{
    return queryText(dbPath, "select count(*) from Files").toInt();
}

} // namespace

class TestManifestFilter : public QObject
{
    Q_OBJECT

    ScratchBackups m_scratch;

    QString newDir() { return m_scratch.newDir(); }
    QString write(const BackupSpec &spec) { return m_scratch.write(spec); }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }

private slots:
    void rowFilter_data()
    {
        QTest::addColumn<QVariant>("fileId"); // a null variant stores NULL
        QTest::addColumn<QVariant>("domain");
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("content");
        QTest::addColumn<bool>("keepSystem");
        QTest::addColumn<QStringList>("keepDomains");
        QTest::addColumn<bool>("kept");
        const QString id = MBDBParser::getFileHashName("D", "p");
        const QVariant home("HomeDomain");
        const QVariant app("AppDomain-com.other");
        QTest::newRow("fixed file, any domain")
            << QVariant(kFixedId) << app << 1 << true << false << QStringList() << true;
        QTest::newRow("fixed file in upper case")
            << QVariant(kFixedId.toUpper()) << app << 1 << true << false << QStringList() << true;
        QTest::newRow("fixed file without content")
            << QVariant(kFixedId) << app << 1 << false << true << QStringList() << false;
        QTest::newRow("listed domain")
            << QVariant(id) << app << 1 << true << false << QStringList{app.toString()} << true;
        QTest::newRow("listed domain, other case")
            << QVariant(id) << app << 1 << true << false << QStringList{"appdomain-com.other"} << false;
        QTest::newRow("listed domain, content missing")
            << QVariant(id) << app << 1 << false << true << QStringList{app.toString()} << false;
        QTest::newRow("symbolic link")
            << QVariant(id) << app << 4 << true << true << QStringList{app.toString()} << false;
        QTest::newRow("folder needs no content")
            << QVariant(id) << app << 2 << false << false << QStringList{app.toString()} << true;
        QTest::newRow("system domain") << QVariant(id) << home << 1 << true << true << QStringList() << true;
        QTest::newRow("system domain, keepSystem off")
            << QVariant(id) << home << 1 << true << false << QStringList() << false;
        QTest::newRow("third-party app")
            << QVariant(id) << app << 1 << true << true << QStringList() << false;
        QTest::newRow("lower-case app domain")
            << QVariant(id) << QVariant("appdomain-com.other") << 1 << true << true << QStringList() << false;
        QTest::newRow("Apple's app") << QVariant(id) << QVariant("AppDomain-COM.APPLE.notes") << 1 << true
                                     << true << QStringList() << true;
        QTest::newRow("short identifier")
            << QVariant("ab") << app << 4 << false << false << QStringList() << true;
        QTest::newRow("NULL identifier") << QVariant() << app << 4 << false << false << QStringList() << true;
        QTest::newRow("NULL domain") << QVariant(id) << QVariant() << 4 << false << false << QStringList()
                                     << true;
        QTest::newRow("identifier leading out of the folder")
            << QVariant("../escape.txt") << home << 1 << true << true << QStringList() << false;
        QTest::newRow("40 characters, not hex")
            << QVariant(QString(40, 'z')) << home << 1 << true << true << QStringList() << false;
    }
    void rowFilter()
    {
        QFETCH(QVariant, fileId);
        QFETCH(QVariant, domain);
        QFETCH(int, flags);
        QFETCH(bool, content);
        QFETCH(bool, keepSystem);
        QFETCH(QStringList, keepDomains);
        QFETCH(bool, kept);
        // <case>/backup holds the manifest; through its two-character folder "..", the identifier
        // "../escape.txt" names a file two folders above the backup.
        const QString caseDir = newDir();
        const QString dir = caseDir + "/backup";
        QDir().mkpath(dir);
        {
            Sqlite3DB db;
            db.openThrow(dir + "/Manifest.db", Sqlite3DB::ReadWriteCreate);
            db.executeThrow(Sqlite3Sql("create table Files (fileID TEXT, domain TEXT, relativePath TEXT, "
                                       "flags INTEGER, file BLOB)"));
            Sqlite3Sql insert(
                "insert into Files(fileID,domain,relativePath,flags,file) values(?,?,'p',?,x'00')");
            if (fileId.isNull())
                insert = Sqlite3Sql(
                    "insert into Files(fileID,domain,relativePath,flags,file) values(NULL,?,'p',?,x'00')");
            else
                insert.addTextParam(fileId.toString());
            if (domain.isNull()) {
                Sqlite3Sql noDomain(fileId.isNull() ? "insert into Files values(NULL,NULL,'p',?,x'00')"
                                                    : "insert into Files values(?,NULL,'p',?,x'00')");
                if (!fileId.isNull())
                    noDomain.addTextParam(fileId.toString());
                noDomain.addIntParam(flags);
                db.executeThrow(noDomain);
            } else {
                insert.addTextParam(domain.toString());
                insert.addIntParam(flags);
                db.executeThrow(insert);
            }
            db.close();
        }
        if (content) {
            const QString id = fileId.toString();
            writeFile(QDir(dir).absoluteFilePath(id.left(2) + "/" + id), "content");
        }
        BackupManifest backup(dir);
        const QString out = caseDir + "/filtered.db";
        backup.saveManifestDbAsThrow(keepSystem, QSet<QString>(keepDomains.cbegin(), keepDomains.cend()),
                                     out);
        QCOMPARE(rowCount(out), kept ? 1 : 0);
    }

    void filteredCopy_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("plain Manifest.db") << false;
        QTest::newRow("encrypted Manifest.db") << true;
    }
    void filteredCopy()
    {
        QFETCH(bool, encrypted);
        BackupSpec spec = encryptedSpec(true);
        if (!encrypted) {
            spec.encrypted = false;
            spec.keybag.reset();
            spec.encryptManifestDb = false;
        }
        const QString dir = write(spec);
        const QStringList backupFiles = listing(dir);
        BackupManifest backup(dir);
        backup.readManifestInfo();
        if (encrypted)
            QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        const QString outDir = newDir();
        const QString out = outDir + "/copy.db";
        // What earlier calls left must not become this call's result.
        writeFile(out + ".tmp", "stale work file");
        if (encrypted)
            writeFile(out + "-decrypt", "stale plain copy");
        writeFile(out, "stale result");

        backup.saveManifestDbAsThrow(true, {}, out);
        QCOMPARE(listing(outDir), QStringList{out + " " + QString::number(QFileInfo(out).size())});
        QCOMPARE(listing(dir), backupFiles);
        const QByteArray bytes = bytesOf(out);
        QCOMPARE(bytes.startsWith("SQLite format 3"), !encrypted);
        QString plain = out;
        if (encrypted) {
            plain = newDir() + "/plain.db";
            backup.decryptFileThrow(backup.manifestKey, out, plain);
        }
        QCOMPARE(rowCount(plain), 2); // the third-party app's row is gone
    }

    // A manifest copied while it was in use: the rows in its journal are copied too, and the backup
    // stays as it was.
    void filteredCopyWithTheManifestsJournal_data()
    {
        QTest::addColumn<bool>("wal");
        QTest::newRow("-wal") << true;
        QTest::newRow("hot -journal") << false;
    }
    void filteredCopyWithTheManifestsJournal()
    {
        QFETCH(bool, wal);
        BackupSpec spec = encryptedSpec(true);
        spec.encrypted = false;
        spec.keybag.reset();
        spec.encryptManifestDb = false;
        const QString dir = write(spec);
        const char *homeRows = "domain = 'HomeDomain'";
        if (wal)
            journalfixture::moveRowsIntoWal(dir + "/Manifest.db", homeRows, false);
        else
            journalfixture::deleteRowsHalfway(dir + "/Manifest.db", homeRows);
        if (QTest::currentTestFailed())
            return;
        const QStringList backupImage = tarnwick::test::folderImage(dir);
        BackupManifest backup(dir);
        backup.readManifestInfo();
        const QString outDir = newDir();
        const QString out = outDir + "/copy.db";

        backup.saveManifestDbAsThrow(true, {}, out);
        QCOMPARE(tarnwick::test::folderImage(dir), backupImage);
        QCOMPARE(listing(outDir), QStringList{out + " " + QString::number(QFileInfo(out).size())});
        QCOMPARE(rowCount(out), 2);
        QCOMPARE(queryText(out, "select count(*) from Files where domain = 'HomeDomain'"), QString("1"));
    }

    void filteredCopyFailures_data()
    {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("text");
        QTest::newRow("manifest still encrypted") << 0 << "";
        QTest::newRow("no manifest") << 1 << "can not write ";
        QTest::newRow("encryption refused")
            << 2 << "BackupManifest::encryptFileThrow: encrypt failed. The key holds 16 bytes";
        QTest::newRow("plain copy cannot be moved away") << 3 << "can not remove ";
    }
    void filteredCopyFailures()
    {
        QFETCH(int, failure);
        QFETCH(QString, text);
        const QString dir = write(encryptedSpec(true));
        BackupManifest backup(dir);
        backup.readManifestInfo();
        if (failure == 1)
            QVERIFY(QFile::remove(dir + "/Manifest.db"));
        if (failure >= 2)
            QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        if (failure == 2)
            backup.manifestKey = backup.manifestKey.left(16);
        const QString outDir = newDir();
        const QString out = outDir + "/copy.db";
        if (failure == 3)
            writeFile(out + "-decrypt/inside", "a folder where the plain copy goes");
        else if (failure != 2)
            writeFile(out, "earlier result");
        const QStringList before = listing(outDir);

        const QString error = whatOf([&] { backup.saveManifestDbAsThrow(true, {}, out); });
        QVERIFY(!error.isEmpty());
        QVERIFY2(error.startsWith(text), qPrintable(error));
        // No work file, no plain copy, no partial result; an earlier result untouched.
        QCOMPARE(listing(outDir), before);
    }

    void encryptFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("one block") << 16;
        QTest::newRow("8192") << 8192;
        QTest::newRow("several pieces") << 20001;
    }
    void encryptFile()
    {
        QFETCH(int, size);
        const QString dir = newDir();
        QByteArray plain(size, '\0');
        for (int i = 0; i < size; ++i)
            plain[i] = char(i * 7 + 1);
        writeFile(dir + "/src", plain);
        writeFile(dir + "/dst", "older content");
        const QByteArray key(32, '\x5e');
        BackupManifest::encryptFileThrow(dir + "/src", dir + "/dst", key);
        QCOMPARE(bytesOf(dir + "/dst"), encryptWhole(key, plain));
        QCOMPARE(bytesOf(dir + "/dst").size(), (size / 16 + 1) * 16);
        QCOMPARE(bytesOf(dir + "/src"), plain);
        BackupManifest backup(dir);
        backup.decryptFileThrow(key, dir + "/dst", dir + "/back");
        QCOMPARE(bytesOf(dir + "/back"), plain);
    }

    void encryptFileFailures()
    {
        const QString dir = newDir();
        writeFile(dir + "/src", QByteArray(20000, 's'));
        writeFile(dir + "/dst", "older content");
        const QByteArray key(32, '\x5e');
        const QString missingFolder = dir + "/missing/dst";
        QVERIFY(whatOf<std::runtime_error>([&] {
                    BackupManifest::encryptFileThrow(dir + "/src", missingFolder, key);
                }).startsWith("can not create " + missingFolder + ". "));
        QVERIFY(whatOf<std::runtime_error>([&] {
                    BackupManifest::encryptFileThrow(dir + "/none", dir + "/x", key);
                }).startsWith("can not open " + dir + "/none. "));
        QVERIFY(whatOf<std::runtime_error>([&] {
                    BackupManifest::encryptFileThrow(dir + "/src", dir + "/dst", QByteArray(20, 'k'));
                }).startsWith("BackupManifest::encryptFileThrow: encrypt failed. The key holds 20 bytes"));
        // Without a key the file is copied, never over an existing one.
        QVERIFY(whatOf<std::runtime_error>([&] {
                    BackupManifest::encryptFileThrow(dir + "/src", dir + "/dst", {});
                }).startsWith("can not write " + dir + "/dst. "));
        BackupManifest::encryptFileThrow(dir + "/src", dir + "/copy", {});
        QCOMPARE(bytesOf(dir + "/copy"), QByteArray(20000, 's'));
        QFile::remove(dir + "/copy");

        // A write that fails part-way leaves the old destination as it was, and nothing beside it.
        const QStringList before = listing(dir);
        QString error;
        {
            const FileSizeLimit limit(4096);
            error = whatOf<std::runtime_error>(
                [&] { BackupManifest::encryptFileThrow(dir + "/src", dir + "/dst", key); });
        }
        QVERIFY(!error.isEmpty());
        QCOMPARE(bytesOf(dir + "/dst"), QByteArray("older content"));
        QCOMPARE(listing(dir), before);
    }

    void firstEncryptedItem_data()
    {
        QTest::addColumn<bool>("withClass4");
        QTest::addColumn<bool>("unlock");
        QTest::addColumn<bool>("found");
        QTest::newRow("classes 3 and 4") << true << true << true;
        QTest::newRow("no class-4 file") << false << true << false;
        QTest::newRow("keybag not unlocked") << true << false << false;
    }
    void firstEncryptedItem()
    {
        QFETCH(bool, withClass4);
        QFETCH(bool, unlock);
        QFETCH(bool, found);
        BackupSpec spec = encryptedSpec(false);
        spec.keybag = keybag(false, true);
        BackupFile folder = file("HomeDomain", "Library");
        folder.mode = 040755;
        spec.files.prepend(folder);
        const QByteArray fileKey4(32, '\x77');
        if (withClass4) {
            BackupFile f = file("HomeDomain", "Library/class4");
            f.protectionClass = 4;
            f.encryptionKey = QByteArray("\x04\x00\x00\x00", 4) + wrapKey(classKey(4), fileKey4);
            spec.files.append(f);
        }
        BackupManifest backup(write(spec));
        backup.readManifestInfo();
        if (unlock)
            QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        MBDBParser::ProtectionClsKeyInfo class3, class4;
        const QString error = whatOf<std::runtime_error>([&] { backup.firstEncryptedItem(class3, class4); });
        QCOMPARE(error, found ? QString() : QString("BackupManifest::firstEncryptedItem, no valid keys"));
        QCOMPARE(class3.key.size(), unlock ? 32 : 0);
        if (unlock) {
            QCOMPARE(class3.protectionClass, 3);
            QCOMPARE(class3.wrappedKey.val.left(4), QByteArray("\x03\x00\x00\x00", 4));
            QCOMPARE(class3.wrappedKey.len, quint16(44));
            QCOMPARE(unwrapKeyForClass(backup.keybag, 3, class3.wrappedKey.val.mid(4)), class3.key);
        }
        QCOMPARE(class4.key, found ? fileKey4 : QByteArray());
        if (found)
            QCOMPARE(class4.wrappedKey.val.left(4), QByteArray("\x04\x00\x00\x00", 4));

        // Records passed in filled are kept and never end the search by themselves.
        if (found) {
            MBDBParser::ProtectionClsKeyInfo given3 = class3;
            given3.key = "given";
            MBDBParser::ProtectionClsKeyInfo given4 = class4;
            given4.key = "given";
            QVERIFY(
                !whatOf<std::runtime_error>([&] { backup.firstEncryptedItem(given3, given4); }).isEmpty());
            QCOMPARE(given3.key, QByteArray("given"));
            MBDBParser::ProtectionClsKeyInfo empty4;
            QCOMPARE(whatOf<std::runtime_error>([&] { backup.firstEncryptedItem(given3, empty4); }),
                     QString());
            QCOMPARE(given3.key, QByteArray("given"));
            QCOMPARE(empty4.key, fileKey4);
        }
    }
};

TARNWICK_TEST_MAIN(TestManifestFilter)
#include "tst_manifestfilter.moc"
