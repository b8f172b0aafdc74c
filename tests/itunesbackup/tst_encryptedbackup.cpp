// Encrypted backups: the cipher stream, unlocking both kinds (the older one with its plain
// manifest, the newer one whose Manifest.db is encrypted whole), and importing from them.
#include "BackupBuilder.h"
#include "ExceptionText.h"
#include "RecordingProgressSink.h"
#include "ScratchBackups.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"
#include "WriterTestSupport.h"
#include "itunesbackup/BackupManifest.h"
#include "itunesbackup/IOSiTunesBKSetPasswordThread.h"
#include "itunesbackup/ImportContactsFromiTunesThread.h"
#include "itunesbackup/QOpenSSLEVPAES.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>

#include <openssl/evp.h>

using namespace itunesfixture;
using tarnwick::test::whatOf;

namespace {

QList<Person> people()
{
    Person a;
    a.first = "Anna";
    a.last = "Berg";
    a.photos = {QByteArray("photo")};
    a.values = {MultiValue{3, "_$!<Mobile>!$_", "+49 1", {}}};
    Person b;
    b.first = "Bert";
    return {a, b};
}

BackupSpec encryptedSpec(bool newer)
{
    BackupSpec spec;
    spec.encrypted = true;
    spec.keybag = twoClassKeybag(newer);
    spec.layout = newer ? Layout::ManifestDb : Layout::Mbdb;
    spec.encryptManifestDb = newer;
    spec.files = {addressBookFile(people()), imagesFile(people())};
    return spec;
}

QStringList listing(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << it.next();
    out.sort();
    return out;
}

QByteArray runCipher(const QByteArray &key, const QByteArray &input, bool encrypt, QIODevice *out = nullptr)
{
    QByteArray data = input;
    QBuffer in(&data);
    in.open(QIODevice::ReadOnly);
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QOpenSSLEVPAES aes;
    QIODevice *target = out ? out : &sink;
    if (!aes.init(EVP_aes_256_cbc(), key, QByteArray(16, '\0'), encrypt) || aes.updateAll(&in, target, 8192) < 0
        || aes.finalAll(target, 8192) < 0)
        return "error: " + aes.lastError.toUtf8();
    return sink.data();
}

// Plays the user who confirms Cancel while the bar shows the finished key derivation.
class CancelWhenDerived : public RecordingProgressSink
{
public:
    bool invokeUpdateProgress(QString status, int value, QString text) override
    {
        if (value == 100)
            canceled = true;
        return RecordingProgressSink::invokeUpdateProgress(status, value, text);
    }
};

} // namespace

class TestEncryptedBackup : public QObject, tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

    ScratchBackups m_scratch;

    QString write(const BackupSpec &spec) { return m_scratch.write(spec); }

private slots:
    void cipherStream_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0;
        QTest::newRow("one block short") << 15;
        QTest::newRow("one block") << 16;
        QTest::newRow("one block over") << 17;
        QTest::newRow("8192") << 8192;
        QTest::newRow("several reads") << 20000;
    }
    void cipherStream()
    {
        QFETCH(int, size);
        const QByteArray key(32, '\x42');
        QByteArray plain(size, '\0');
        for (int i = 0; i < size; ++i)
            plain[i] = char(i * 13);
        const QByteArray cipher = runCipher(key, plain, true);
        QCOMPARE(cipher, encryptWhole(key, plain));
        QCOMPARE(cipher.size(), (size / 16 + 1) * 16);
        QCOMPARE(runCipher(key, cipher, false), plain);
        QVERIFY(runCipher(QByteArray(32, '\x43'), cipher, false) != plain);
    }

    void cipherFailures()
    {
        const QByteArray key(32, '\x42');
        QVERIFY(runCipher(key, QByteArray(20, 'x'), false).startsWith("error: QOpenSSLEVPAES::finalAll"));
        QVERIFY(runCipher(key, QByteArray(), false).startsWith("error: QOpenSSLEVPAES::finalAll"));
        QBuffer full;
        full.open(QIODevice::ReadOnly); // refuses every write
        QVERIFY(runCipher(key, QByteArray(100, 'x'), true, &full).startsWith("error: QOpenSSLEVPAES::updateAll, write failed"));
    }

    void fileDescriptions_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("encrypted");
        QTest::newRow("empty") << 0 << 16;
        QTest::newRow("15") << 15 << 16;
        QTest::newRow("16") << 16 << 32;
        QTest::newRow("17") << 17 << 32;
    }
    void fileDescriptions()
    {
        QFETCH(int, size);
        QFETCH(int, encrypted);
        const QByteArray key = MBDBParser::fileDescKey("secret", "salt");
        QCOMPARE(key.size(), 16);
        QVERIFY(MBDBParser::fileDescKey("secret", "salt2") != key);
        const QByteArray plain(size, 'p');
        const QByteArray cipher = MBDBParser::encryptFileDescThrow(plain, key);
        QCOMPARE(cipher.size(), encrypted);
        QCOMPARE(cipher, encryptFileDescription(key, plain));
        QCOMPARE(MBDBParser::decryptFileDescThrow(cipher, key), plain);
    }

    void fileDescriptionFailures()
    {
        const QByteArray key = MBDBParser::fileDescKey("secret", "salt");
        const QByteArray cipher = MBDBParser::encryptFileDescThrow(QByteArray(40, 'x'), key);
        const QString wrong = whatOf<std::runtime_error>(
            [&] { MBDBParser::decryptFileDescThrow(cipher, MBDBParser::fileDescKey("other", "salt")); });
        QVERIFY2(wrong.isEmpty() || wrong == "MBDBParser::decryptFileDescThrow, QOpenSSLEVPAES::finalAll, EVP_CipherFinal return false.",
                 qPrintable(wrong));
        QCOMPARE(whatOf<std::runtime_error>([&] { MBDBParser::encryptFileDescThrow("x", QByteArray(20, 'k')); }),
                 QString("MBDBParser::encryptFileDescThrow, invalid key size."));
        QCOMPARE(whatOf<std::runtime_error>([&] { MBDBParser::decryptFileDescThrow("x", QByteArray(20, 'k')); }),
                 QString("MBDBParser::decryptFileDescThrow, invalid key size."));
        QCOMPARE(MBDBParser::decryptFileDescThrow(QByteArray(), QByteArray(20, 'k')), QByteArray());
        QVERIFY(!whatOf<std::runtime_error>([&] { MBDBParser::decryptFileDescThrow(QByteArray(20, 'x'), key); }).isEmpty());
    }

    void saltedManifest()
    {
        BackupSpec spec = encryptedSpec(false);
        spec.layout = Layout::ManifestDb;
        spec.manifestSalt = QByteArray("0123456789abcdef");
        const QString dir = write(spec);
        {
            BackupManifest locked(dir);
            locked.readManifestInfo();
            // Without the password the rows cannot be read: records with their names only.
            locked.parseInfo();
            QVERIFY(locked.addressBookNode);
            QCOMPARE(locked.addressBookNode->item.encryptionKey.len, MBDBParser::_MBDBBinary::Absent);
        }
        BackupManifest backup(dir);
        backup.readManifestInfo();
        QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        backup.parseInfo();
        QVERIFY(backup.addressBookNode);
        QCOMPARE(backup.addressBookNode->item.encryptionKey.val.size(), 44);
        QCOMPARE(backup.addressBookNode->item.protectionClass, qint8(3));
        auto db = freshDb();
        RecordingProgressSink sink;
        ImportContactsFromiTunesThread worker(backup, db.get(), &sink);
        worker.start();
        worker.wait();
        QVERIFY2(sink.outcome().startsWith("succeed|"), qPrintable(sink.outcome()));
        QCOMPARE(db->contacts(0, QString()).size(), 2);
    }

    void unlockAndImport_data()
    {
        QTest::addColumn<bool>("newer");
        QTest::newRow("older kind, plain Manifest.mbdb") << false;
        QTest::newRow("newer kind, encrypted Manifest.db") << true;
    }
    void unlockAndImport()
    {
        QFETCH(bool, newer);
        const QString dir = write(encryptedSpec(newer));
        const QStringList before = listing(dir);
        QString privateCopy;
        {
            BackupManifest backup(dir);
            backup.readManifestInfo();
            QVERIFY(backup.infoPlist.IsEncrypted);
            QVERIFY(!backup.setPasscodeNoUIThrow("wrong"));
            QVERIFY(backup.passcode.isEmpty());
            QVERIFY(backup.decryptedManifestPath.isEmpty());
            QVERIFY(backup.setPasscodeNoUIThrow("secret"));
            QCOMPARE(backup.passcode, QString("secret"));
            QCOMPARE(backup.manifestKey.size(), newer ? 32 : 0);
            privateCopy = backup.decryptedManifestPath;
            QCOMPARE(!privateCopy.isEmpty(), newer);
            if (newer) {
                QVERIFY(!privateCopy.startsWith(dir));
                QVERIFY(QFile::exists(privateCopy));
            }
            backup.parseInfo();
            QVERIFY(backup.addressBookNode);
            auto db = freshDb();
            RecordingProgressSink sink;
            ImportContactsFromiTunesThread worker(backup, db.get(), &sink);
            worker.start();
            worker.wait();
            QCOMPARE(sink.outcome(), QString("succeed|IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES").replace("%1", "2"));
            const QList<pim::_Contact> stored = db->contacts(0, QString());
            QCOMPARE(stored.size(), 2);
        }
        QCOMPARE(listing(dir), before);
        if (newer)
            QVERIFY(!QFile::exists(privateCopy));
    }

    void manifestKeyVariants_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("keySize");
        QTest::newRow("class field names another class") << 0 << 32;
        QTest::newRow("empty ManifestKey") << 1 << 0;
        QTest::newRow("43 bytes") << 2 << 0;
        QTest::newRow("keybag without the manifest's class") << 3 << 0;
    }
    void manifestKeyVariants()
    {
        QFETCH(int, variant);
        QFETCH(int, keySize);
        BackupSpec spec = encryptedSpec(true);
        if (variant == 0)
            spec.manifestKeyOverride = QByteArray("\x01\x00\x00\x00", 4) + wrapKey(QByteArray(32, '\x33'), QCryptographicHash::hash("manifest", QCryptographicHash::Sha256));
        else if (variant == 1)
            spec.manifestKeyOverride = QByteArray();
        else if (variant == 2)
            spec.manifestKeyOverride = QByteArray(43, '\x01');
        else
            spec.manifestKeyClass = 4;
        const QString dir = write(spec);
        BackupManifest backup(dir);
        backup.readManifestInfo();
        QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        QCOMPARE(backup.manifestKey.size(), keySize);
        if (keySize == 0)
            // The password was right; what fails is the manifest, and the text says so.
            QCOMPARE(whatOf([&] { backup.parseInfo(); }),
                     "can not read " + QDir(dir).absoluteFilePath("Manifest.db") +
                         ". The backup's keys do not open its manifest.");
        else
            backup.parseInfo();
    }

    // A Cancel confirmed after the key derivation still stops the check at the next step, and a
    // stopped check keeps nothing: no password, key or decrypted copy.
    void cancelAfterTheDerivation_data()
    {
        QTest::addColumn<int>("stopAtHundred"); // the how-manieth report of 100 answers "stop"
        QTest::addColumn<bool>("stops");
        // The keybag's classes are 1 and 3; the manifest key is wrapped by class 3.
        QTest::newRow("after the keybag's class keys unwrap") << 2 << true;
        QTest::newRow("after class 1 fails the manifest key") << 3 << true;
        QTest::newRow("after the manifest key unwraps") << 4 << true;
        QTest::newRow("after the manifest is decrypted") << 5 << true;
        QTest::newRow("never") << 6 << false;
    }
    void cancelAfterTheDerivation()
    {
        QFETCH(int, stopAtHundred);
        QFETCH(bool, stops);
        const QString dir = write(encryptedSpec(true));
        const QStringList before = listing(dir);
        QTemporaryDir tmp;
        qputenv("TMPDIR", tmp.path().toUtf8());
        BackupManifest backup(dir);
        backup.readManifestInfo();
        int hundreds = 0;
        const bool unlocked = backup.setPasscodeNoUIThrow(
            "secret", [&](int percent) { return percent < 100 || ++hundreds < stopAtHundred; });
        QCOMPARE(unlocked, !stops);
        QCOMPARE(backup.passcode.isEmpty(), stops);
        QCOMPARE(backup.manifestKey.isEmpty(), stops);
        QCOMPARE(backup.decryptedManifestPath.isEmpty(), stops);
        QCOMPARE(backup.keybag.classKeys.isEmpty(), stops);
        qunsetenv("TMPDIR");
        if (stops) {
            QCOMPARE(hundreds, stopAtHundred);
            // No plain copy of the manifest is left anywhere.
            QStringList left;
            QDirIterator files(tmp.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext())
                left << files.next();
            QCOMPARE(left, QStringList());
        }
        QCOMPARE(listing(dir), before);
    }

    // The password dialog's worker: a Cancel confirmed once the derivation is done ends as stopped,
    // with nothing reported (the dialog is closed already) and nothing kept.
    void workerStoppedAfterTheDerivation()
    {
        BackupManifest backup(write(encryptedSpec(true)));
        backup.readManifestInfo();
        CancelWhenDerived sink;
        IOSiTunesBKSetPasswordThread worker(backup, "secret", sink);
        worker.start();
        QVERIFY(worker.wait(60000));
        QVERIFY(sink.reports().contains("progress|Verifying. Please wait...|100|"));
        QVERIFY(worker.stoppedByUser);
        QVERIFY(!worker.result);
        QCOMPARE(sink.outcome(), QString());
        QVERIFY(backup.passcode.isEmpty());
        QVERIFY(backup.manifestKey.isEmpty());
        QVERIFY(backup.decryptedManifestPath.isEmpty());
    }

    void missingManifestDb()
    {
        const QString dir = write(encryptedSpec(true));
        QVERIFY(QFile::remove(dir + "/Manifest.db"));
        BackupManifest backup(dir);
        backup.readManifestInfo();
        const QString text = whatOf<std::runtime_error>([&] { backup.setPasscodeNoUIThrow("secret"); });
        QVERIFY2(text.startsWith("can not open " + QDir(dir).absoluteFilePath("Manifest.db") + ". "), qPrintable(text));
    }

    // A disk that takes only part of the last write must not leave a shortened file passing for
    // the copy: the system cuts the write short without an error that Qt's flush reports.
    void copyCutShortByTheDisk_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("plain backup") << false;
        QTest::newRow("encrypted backup") << true;
    }
    void copyCutShortByTheDisk()
    {
        QFETCH(bool, encrypted);
        BackupSpec spec = encryptedSpec(false);
        if (!encrypted) {
            spec.encrypted = false;
            spec.keybag.reset();
        }
        BackupManifest backup(write(spec));
        backup.readManifestInfo();
        if (encrypted)
            QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        backup.parseInfo();
        QVERIFY(backup.addressBookNode);
        const qint64 size = backup.addressBookNode->item.size;
        QVERIFY(size > 100);
        const QString dest = m_scratch.newDir() + "/cut-short.db";
        QString error;
        {
            const writertest::FileSizeLimit limit(rlim_t(size - 1));
            error = whatOf<std::runtime_error>(
                [&] { backup.copyFile(backup.addressBookNode, dest, nullptr, nullptr); });
        }
        QVERIFY(!error.isEmpty());
        QVERIFY(!QFile::exists(dest));
        backup.copyFile(backup.addressBookNode, dest, nullptr, nullptr);
        QCOMPARE(QFileInfo(dest).size(), size);
    }

    void unwrappableAddressBookKey()
    {
        BackupSpec spec = encryptedSpec(false);
        spec.files[0].encryptionKey = QByteArray("\x03\x00\x00\x00", 4) + QByteArray(40, '\x09');
        BackupManifest backup(write(spec));
        backup.readManifestInfo();
        QVERIFY(backup.setPasscodeNoUIThrow("secret"));
        backup.parseInfo();
        auto db = freshDb();
        RecordingProgressSink sink;
        ImportContactsFromiTunesThread worker(backup, db.get(), &sink);
        worker.start();
        worker.wait();
        QVERIFY2(sink.outcome().startsWith("error|can not decrypt "), qPrintable(sink.outcome()));
        QVERIFY(sink.outcome().contains("does not unwrap"));
    }
};

TARNWICK_TEST_MAIN(TestEncryptedBackup)
#include "tst_encryptedbackup.moc"
