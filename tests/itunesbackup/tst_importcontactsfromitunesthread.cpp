// The whole import: from a backup the fixtures write into a fresh local database, with progress,
// cancel in either phase, failures, and nothing left in the temporary folder.
#include "BackupBuilder.h"
#include "ExceptionText.h"
#include "FolderImage.h"
#include "JournalFixtures.h"
#include "RecordingProgressSink.h"
#include "ScratchLocalDbs.h"
#include "TestMain.h"
#include "itunesbackup/BackupManifest.h"
#include "itunesbackup/ImportContactsFromiTunesThread.h"

#include <QTemporaryDir>
#include <QTranslator>

#include <functional>

#include <sqlite3.h>

using namespace itunesfixture;
using tarnwick::test::whatOf;

namespace {

// Calls `onProgress` with each progress report before recording it.
class HookedSink : public RecordingProgressSink
{
public:
    std::function<void(HookedSink &, const QString &status, int value)> onProgress;
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        if (onProgress)
            onProgress(*this, status, curProgress);
        return RecordingProgressSink::invokeUpdateProgress(status, curProgress, progressText);
    }
};

// Switches a database file to WAL mode as a phone leaves it: header bytes 18 and 19 become 2, and
// no -wal or -shm stays beside it.
void toWalMode(const QString &path)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    const int rc = sqlite3_exec(db, "pragma journal_mode=wal", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.read(20).mid(18), QByteArray("\x02\x02"));
    QVERIFY(!QFile::exists(path + "-wal") && !QFile::exists(path + "-shm"));
}

Person named(const QString &first, const QString &last)
{
    Person p;
    p.first = first;
    p.last = last;
    return p;
}

// The Files rows of the address book and its images.
const char addressBookRows[] = "relativePath like 'Library/AddressBook/%'";

const QString kReading = QStringLiteral("Loading contacts from iTunes Backup...");
const QString kWriting = QStringLiteral("Importing contacts from iTunes Backup now...");

} // namespace

class TestImportContactsFromiTunesThread : public QObject, tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

    QTranslator m_translator;
    QTemporaryDir m_backups;
    std::unique_ptr<QTemporaryDir> m_tmp;
    int m_backupNo = 0;

    QString backupOf(const QList<Person> &persons, Layout layout, bool withBook = true, bool withImages = true)
    {
        BackupSpec spec;
        spec.layout = layout;
        if (withBook)
            spec.files << addressBookFile(persons);
        if (withImages)
            spec.files << imagesFile(persons);
        const QString dir = m_backups.filePath(QString::number(++m_backupNo));
        writeBackup(dir, spec);
        return dir;
    }

    // Runs the import to its end and returns the sink's reports.
    QStringList import(const QString &backupDir, LocalDb *db, HookedSink &sink)
    {
        BackupManifest backup(backupDir);
        backup.readManifestInfo();
        backup.parseInfo();
        ImportContactsFromiTunesThread thread(backup, db, &sink);
        thread.start();
        thread.wait();
        return sink.reports();
    }

    QStringList tmpEntries() const
    {
        return QDir(m_tmp->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    // Imports the two contacts of `dir`, made read-only first when asked, and checks that not a byte
    // of the backup changed.
    void importsTwoLeavingTheFolderAsItWas(const QString &dir, bool readOnlyFolder)
    {
        const QFile::Permissions writable = QFile::permissions(dir);
        if (readOnlyFolder)
            QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup |
                                                   QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const QStringList before = tarnwick::test::folderImage(dir);

        auto db = freshDb();
        HookedSink sink;
        import(dir, db.get(), sink);
        const QStringList after = tarnwick::test::folderImage(dir);
        QFile::setPermissions(dir, writable);
        QCOMPARE(sink.outcome(), QString("succeed|Successfully imported 2 contacts from iTunes Backup."));
        QCOMPARE(count(*db, "select count(*) from contact"), 2);
        QCOMPARE(after, before);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
    }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        qputenv("TMPDIR", m_tmp->path().toUtf8());
    }

    void cleanup()
    {
        // Whatever happened, the copies are gone.
        QCOMPARE(tmpEntries(), QStringList());
        qunsetenv("TMPDIR");
        m_tmp.reset();
    }

    void importsBothLayouts_data()
    {
        QTest::addColumn<int>("layout");
        QTest::newRow("Manifest.mbdb") << int(Layout::Mbdb);
        QTest::newRow("Manifest.db") << int(Layout::ManifestDb);
    }
    void importsBothLayouts()
    {
        QFETCH(int, layout);
        Person anna = named("Anna", "Berg");
        anna.photos = {QByteArray("jpeg bytes")};
        anna.values = {MultiValue{3, "_$!<Mobile>!$_", "+49 1", {}}};
        const QString dir = backupOf({anna, named("Bert", "C"), named("Carl", "D")}, Layout(layout));
        auto db = freshDb();
        HookedSink sink;
        // While reading, the copies sit in one private folder under the temporary folder.
        QStringList seen;
        sink.onProgress = [&](HookedSink &, const QString &status, int) {
            if (status != kReading || !seen.isEmpty())
                return;
            const QFileInfoList dirs = QDir(m_tmp->path()).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
            if (dirs.size() == 1) {
                const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                        | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                                        | QFileDevice::WriteOther | QFileDevice::ExeOther;
                seen << ((QFile::permissions(dirs.first().absoluteFilePath()) & others) ? "shared" : "private");
                seen << QDir(dirs.first().absoluteFilePath()).entryList(QDir::Files);
            }
        };
        const QStringList reports = import(dir, db.get(), sink);
        QCOMPARE(reports,
                 QStringList({"progress|" + kReading + "|16|Contacts:1/3", "progress|" + kReading + "|33|Contacts:2/3",
                              "progress|" + kReading + "|50|Contacts:3/3", "progress|" + kWriting + "|66|Contacts:1/3",
                              "progress|" + kWriting + "|83|Contacts:2/3", "progress|" + kWriting + "|100|Contacts:3/3",
                              "succeed|Successfully imported 3 contacts from iTunes Backup."}));
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen.at(0), QString("private"));
        QVERIFY(seen.at(1).startsWith("AddressBook-") && seen.at(1).endsWith(".sqlitedb"));
        QVERIFY(seen.at(2).startsWith("AddressBookImages-") && seen.at(2).endsWith(".sqlitedb"));

        QCOMPARE(count(*db, "select count(*) from contact"), 3);
        const QList<pim::_Contact> stored = db->contacts(0, QString());
        const auto it = std::find_if(stored.begin(), stored.end(),
                                     [](const pim::_Contact &c) { return c.fullName == "Anna Berg"; });
        QVERIFY(it != stored.end());
        QCOMPARE(it->entities.value(2).size(), 1);
        QCOMPARE(it->entities.value(3).value(0).values.value("data1").toString(), QString("+49 1"));
    }

    // A backup is only read: whatever journal mode its databases record, and also when its folder
    // cannot be written, it imports and stays byte for byte as it was.
    void backupIsOnlyRead_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("walManifest");
        QTest::addColumn<bool>("walAddressBook");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("Manifest.db in WAL mode") << int(Layout::ManifestDb) << true << false << false;
        QTest::newRow("Manifest.db in WAL mode, folder 0555")
            << int(Layout::ManifestDb) << true << false << true;
        QTest::newRow("Manifest.db, folder 0555") << int(Layout::ManifestDb) << false << false << true;
        QTest::newRow("address book in WAL mode, folder 0555")
            << int(Layout::ManifestDb) << true << true << true;
        QTest::newRow("Manifest.mbdb, address book in WAL mode, folder 0555")
            << int(Layout::Mbdb) << false << true << true;
    }
    void backupIsOnlyRead()
    {
        QFETCH(int, layout);
        QFETCH(bool, walManifest);
        QFETCH(bool, walAddressBook);
        QFETCH(bool, readOnlyFolder);
        const QList<Person> persons{named("Anna", "Berg"), named("Bert", "C")};
        const QString dir = backupOf(persons, Layout(layout));
        if (walManifest)
            toWalMode(dir + "/Manifest.db");
        if (walAddressBook) {
            const BackupFile book = addressBookFile(persons);
            toWalMode(dir + "/" + backupRelativePath(backupName(book.domain, book.path), Layout(layout)));
        }
        if (QTest::currentTestFailed())
            return;
        importsTwoLeavingTheFolderAsItWas(dir, readOnlyFolder);
    }

    // A Manifest.db copied while it was in use holds rows only in its journal: they are read, from a
    // private copy, and the backup stays byte for byte as it was, also when it cannot be written.
    void manifestWithItsJournal_data()
    {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::newRow("-wal") << "wal" << false;
        QTest::newRow("-wal, folder 0555") << "wal" << true;
        QTest::newRow("-wal and -shm, folder 0555") << "wal+shm" << true;
        QTest::newRow("hot -journal, folder 0555") << "journal" << true;
    }
    void manifestWithItsJournal()
    {
        QFETCH(QString, journal);
        QFETCH(bool, readOnlyFolder);
        const QList<Person> persons{named("Anna", "Berg"), named("Bert", "C")};
        const QString dir = backupOf(persons, Layout::ManifestDb);
        const QString manifest = dir + "/Manifest.db";
        if (journal == "journal")
            journalfixture::deleteRowsHalfway(manifest, addressBookRows);
        else
            journalfixture::moveRowsIntoWal(manifest, addressBookRows, journal == "wal+shm");
        if (QTest::currentTestFailed())
            return;
        importsTwoLeavingTheFolderAsItWas(dir, readOnlyFolder);
    }

    // A manifest that cannot be read with its journal either: the error names the backup's file,
    // and the private copy is gone all the same.
    void damagedManifestWithItsJournal()
    {
        const QString dir = backupOf({named("Anna", "Berg")}, Layout::ManifestDb);
        journalfixture::moveRowsIntoWal(dir + "/Manifest.db", addressBookRows, false);
        if (QTest::currentTestFailed())
            return;
        journalfixture::writeBytes(dir + "/Manifest.db", QByteArray(8192, '\x5a'));
        BackupManifest backup(dir);
        backup.readManifestInfo();
        const QString text = whatOf([&] { backup.parseInfo(); });
        const QString manifest = QDir(dir).absoluteFilePath("Manifest.db");
        QVERIFY2(text.startsWith("can not read " + manifest + ". "), qPrintable(text));
        QVERIFY2(!text.contains(m_tmp->path()), qPrintable(text));
    }

    void mergedText()
    {
        const QString dir = backupOf({named("Anna", "Berg"), named("Anna", "Berg")}, Layout::ManifestDb);
        auto db = freshDb();
        HookedSink sink;
        import(dir, db.get(), sink);
        QCOMPARE(sink.outcome(),
                 QString("succeed|Successfully imported 1 contacts from iTunes Backup,with 1 repeated contacts merged."));
        QCOMPARE(count(*db, "select count(*) from contact"), 1);
    }

    void emptyAddressBookWithoutImages()
    {
        const QString dir = backupOf({}, Layout::Mbdb, true, false);
        auto db = freshDb();
        HookedSink sink;
        QCOMPARE(import(dir, db.get(), sink),
                 QStringList{"succeed|Successfully imported 0 contacts from iTunes Backup."});
    }

    void cancel_data()
    {
        QTest::addColumn<QString>("phase");
        QTest::newRow("while reading") << kReading;
        QTest::newRow("while merging") << kWriting;
    }
    void cancel()
    {
        QFETCH(QString, phase);
        const QString dir = backupOf({named("A", "1"), named("B", "2"), named("C", "3")}, Layout::ManifestDb);
        auto db = freshDb();
        HookedSink sink;
        int seenInPhase = 0;
        sink.onProgress = [&](HookedSink &s, const QString &status, int) {
            if (status == phase && ++seenInPhase == 2)
                s.canceled = true;
        };
        const QStringList reports = import(dir, db.get(), sink);
        QCOMPARE(sink.outcome(), QString());
        QCOMPARE(reports.last(), "progress|" + phase + (phase == kReading ? "|33|Contacts:2/3" : "|83|Contacts:2/3"));
        db->open_check();
        QCOMPARE(count(*db, "select count(*) from contact"), 0);
        QCOMPARE(count(*db, "select count(*) from data"), 0);
    }

    void noAddressBook()
    {
        const QString dir = backupOf({}, Layout::ManifestDb, false, false);
        auto db = freshDb();
        HookedSink sink;
        const QStringList reports = import(dir, db.get(), sink);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().startsWith("error|"));
        QVERIFY(reports.first().size() > 6);
    }

    void goneTarget()
    {
        const QString dir = backupOf({named("A", "1")}, Layout::ManifestDb);
        auto db = freshDb();
        db->close();
        QVERIFY(QFile::remove(db->path));
        HookedSink sink;
        const QStringList reports = import(dir, db.get(), sink);
        QVERIFY(sink.outcome().startsWith("error|"));
        QVERIFY(!QFile::exists(db->path));
    }

    void listedTargetKeepsItsContactsOnFailure()
    {
        // A person whose address book lacks the multi-value tables fails while reading.
        const QString dir = m_backups.filePath("broken");
        BackupSpec spec;
        BackupFile book = addressBookFile({named("A", "1")});
        {
            QTemporaryDir scratch;
            const QString path = scratch.filePath("ab");
            writeAddressBook(path, {named("A", "1")});
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            book.content = f.readAll();
        }
        spec.files = {book};
        writeBackup(dir, spec);
        // Drop a table from the backed-up copy so that the per-person query fails.
        {
            QTemporaryDir scratch;
            Sqlite3DB fix;
            fix.openThrow(dir + "/" + backupRelativePath(backupName(book.domain, book.path), Layout::ManifestDb),
                          Sqlite3DB::ReadWrite);
            fix.executeThrow(Sqlite3Sql("drop table ABMultiValueLabel"));
        }
        auto db = freshDb();
        pim::_Contact existing;
        existing.fullName = "Kept";
        pim::_Contact out;
        bool existed = false;
        db->combineContact(existing, out, existed);
        HookedSink sink;
        import(dir, db.get(), sink);
        QVERIFY(sink.outcome().startsWith("error|"));
        QCOMPARE(count(*db, "select count(*) from contact"), 1);
    }
};

TARNWICK_TEST_MAIN(TestImportContactsFromiTunesThread)
#include "tst_importcontactsfromitunesthread.moc"
