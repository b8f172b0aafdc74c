#include "fileio/CSVImport.h"
#include "fileio/ExportToFileThread.h"
#include "fileio/QVCardParser.h"
#include "fileio/VCardImport.h"

#include "EntityFixtures.h"
#include "ImageBytes.h"
#include "RecordingProgressSink.h"
#include "TestMain.h"

#include "model/EntityType.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>

using tarnwick::test::parseEntry;

namespace {

QList<pim::_Contact> someContacts(int n)
{
    QList<pim::_Contact> out;
    for (int i = 1; i <= n; ++i) {
        pim::_Contact c(i, QString(), QStringLiteral("Person %1").arg(i));
        c.entities[pim::ENTITY_NAME] << parseEntry(QStringLiteral("1|data2=Person|data3=%1").arg(i)).second;
        c.entities[pim::ENTITY_PHONE] << parseEntry(QStringLiteral("3|data1=555 %1|data2=2").arg(i)).second;
        out << c;
    }
    return out;
}

// Fails every write from the k-th on, as a full disk would.
class FailingSaveFile : public QSaveFile
{
public:
    FailingSaveFile(const QString &path, int failAt)
        : QSaveFile(path)
        , failAt(failAt)
    {}

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        if (++writes >= failAt) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        return QSaveFile::writeData(data, len);
    }

private:
    int failAt;
    int writes = 0;
};

// Sets the sink's cancel flag when the k-th contact is reported.
class CancelingSink : public RecordingProgressSink
{
public:
    explicit CancelingSink(int at)
        : at(at)
    {}
    bool invokeUpdateProgress(QString status, int curProgress, QString progressText) override
    {
        if (++seen == at)
            canceled = true;
        return RecordingProgressSink::invokeUpdateProgress(status, curProgress, progressText);
    }

private:
    int at;
    int seen = 0;
};

// Caps the size of any file this process writes, as a full disk would, until destroyed. Writes past
// the cap fail with EFBIG instead of ending the process.
class FileSizeCap
{
public:
    explicit FileSizeCap(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit capped = previous;
        capped.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeCap(const FileSizeCap &) = delete;
    FileSizeCap &operator=(const FileSizeCap &) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};

QStringList runExport(ExportToFileThread &worker, RecordingProgressSink &sink)
{
    worker.start();
    worker.wait();
    return sink.reports();
}

} // namespace

class TestExportToFileThread : public QObject
{
    Q_OBJECT

private slots:
    void writesEachFormat_data();
    void writesEachFormat();
    void reportsProgress();
    void unknownTypeMakesNothing();
    void cancelLeavesNoFile_data();
    void cancelLeavesNoFile();
    void failedWriteLeavesNoFile_data();
    void failedWriteLeavesNoFile();
    void failedFlushLeavesNoFile_data();
    void failedFlushLeavesNoFile();
    void unwritablePathIsAnError_data();
    void unwritablePathIsAnError();
    void htmlGoesIntoAFolderNamedLikeTheFile_data();
    void htmlGoesIntoAFolderNamedLikeTheFile();
    void htmlShowsMarkupAsText();
    void htmlReplacesWhatStandsThere_data();
    void htmlReplacesWhatStandsThere();
    void htmlPictureCutShortKeepsEarlierExport_data();
    void htmlPictureCutShortKeepsEarlierExport();
    void htmlNameBlockAndGroups();
    void percent_data();
    void percent();
};

void TestExportToFileThread::writesEachFormat_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("vCard") << int(ExportToFileThread::TYPE_VCARD);
    QTest::newRow("CSV") << int(ExportToFileThread::TYPE_CSV);
    QTest::newRow("text") << int(ExportToFileThread::TYPE_TXT);
}

void TestExportToFileThread::writesEachFormat()
{
    QFETCH(int, type);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out"));
    const QList<pim::_Contact> contacts = someContacts(3);
    RecordingProgressSink sink;
    ExportToFileThread worker(contacts, ExportToFileThread::TYPE(type), path, &sink);
    runExport(worker, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_EXPORT_3_CONTACTS_TO_FILE"));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    if (type == ExportToFileThread::TYPE_VCARD) {
        const auto cards = QVCardParser::parse(bytes);
        QCOMPARE(cards.size(), 3);
        QCOMPARE(VCardImport::toContact(cards.at(2)).fullName, QStringLiteral("Person 3"));
    } else if (type == ExportToFileThread::TYPE_CSV) {
        CSVImport reader;
        reader.load(bytes);
        int n = 0;
        while (reader.hasNext()) {
            const pim::_Contact c = reader.nextContact();
            ++n;
            QCOMPARE(
                c.entities.value(pim::ENTITY_PHONE).value(0).values.value(QStringLiteral("data1")).toString(),
                QStringLiteral("555 %1").arg(n));
        }
        QCOMPARE(n, 3);
    } else {
        QCOMPARE(bytes.count('\n'), 4);
        QVERIFY(bytes.startsWith("First Name"));
    }
    // Nothing but the output is left in the folder: the temporary file became it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out")});
}

void TestExportToFileThread::reportsProgress()
{
    QTemporaryDir dir;
    RecordingProgressSink sink;
    ExportToFileThread worker(someContacts(3), ExportToFileThread::TYPE_CSV, dir.filePath("a.csv"), &sink);
    QCOMPARE(runExport(worker, sink), (QStringList{"progress|IDS_EXPORTING_CONTACTS_TO_FILE|33|Contacts:1/3",
                                                   "progress|IDS_EXPORTING_CONTACTS_TO_FILE|66|Contacts:2/3",
                                                   "progress|IDS_EXPORTING_CONTACTS_TO_FILE|100|Contacts:3/3",
                                                   "succeed|IDS_SUC_EXPORT_3_CONTACTS_TO_FILE"}));
}

void TestExportToFileThread::unknownTypeMakesNothing()
{
    QTemporaryDir dir;
    RecordingProgressSink sink;
    ExportToFileThread worker(someContacts(1), ExportToFileThread::TYPE(7), dir.filePath("x"), &sink);
    QCOMPARE(runExport(worker, sink), QStringList{"error|"});
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestExportToFileThread::cancelLeavesNoFile_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("cancelAt");
    QTest::newRow("vCard at the first") << int(ExportToFileThread::TYPE_VCARD) << 1;
    QTest::newRow("CSV in the middle") << int(ExportToFileThread::TYPE_CSV) << 3;
    QTest::newRow("text at the last") << int(ExportToFileThread::TYPE_TXT) << 5;
}

void TestExportToFileThread::cancelLeavesNoFile()
{
    QFETCH(int, type);
    QFETCH(int, cancelAt);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out"));
    CancelingSink sink(cancelAt);
    ExportToFileThread worker(someContacts(6), ExportToFileThread::TYPE(type), path, &sink);
    const QStringList reports = runExport(worker, sink);
    QCOMPARE(reports.size(), cancelAt);
    QVERIFY(sink.outcome().isEmpty());
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestExportToFileThread::failedWriteLeavesNoFile_data()
{
    QTest::addColumn<int>("failAt");
    QTest::addColumn<bool>("existing");
    // The header is written first, then the contacts' bytes (a few contacts make one piece).
    QTest::newRow("header") << 1 << false;
    QTest::newRow("contacts after the header") << 2 << false;
    QTest::newRow("contacts after the header, over an existing file") << 2 << true;
}

void TestExportToFileThread::failedWriteLeavesNoFile()
{
    QFETCH(int, failAt);
    QFETCH(bool, existing);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.csv"));
    if (existing) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("kept");
    }
    RecordingProgressSink sink;
    ExportToFileThread worker(someContacts(5), ExportToFileThread::TYPE_CSV, path, &sink);
    worker.setOutputFactory(
        [failAt](const QString &p) { return std::make_unique<FailingSaveFile>(p, failAt); });
    runExport(worker, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("error|No space left on device"));
    if (existing) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("kept"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.csv")});
    } else {
        QVERIFY(QDir(dir.path()).isEmpty());
    }
}

void TestExportToFileThread::failedFlushLeavesNoFile_data()
{
    QTest::addColumn<int>("type");
    QTest::newRow("vCard") << int(ExportToFileThread::TYPE_VCARD);
    QTest::newRow("CSV") << int(ExportToFileThread::TYPE_CSV);
    QTest::newRow("text") << int(ExportToFileThread::TYPE_TXT);
}

// Every write lands in the file's buffer; the disk refuses the bytes only when the buffer goes out
// at the end. That is still a failed export, reported as such, with nothing left behind.
void TestExportToFileThread::failedFlushLeavesNoFile()
{
    QFETCH(int, type);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out"));
    RecordingProgressSink sink;
    ExportToFileThread worker(someContacts(5), ExportToFileThread::TYPE(type), path, &sink);
    {
        const FileSizeCap cap(64);
        runExport(worker, sink);
    }
    QVERIFY2(sink.outcome().startsWith(QLatin1String("error|")) && sink.outcome().contains(path),
             qPrintable(sink.outcome()));
    QVERIFY(!sink.reports().contains(QStringLiteral("succeed|IDS_SUC_EXPORT_5_CONTACTS_TO_FILE")));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestExportToFileThread::unwritablePathIsAnError_data()
{
    QTest::addColumn<QString>("relative");
    QTest::newRow("inside a missing folder") << "missing/out.vcf";
    QTest::newRow("an existing folder") << "folder";
}

void TestExportToFileThread::unwritablePathIsAnError()
{
    QFETCH(QString, relative);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    RecordingProgressSink sink;
    ExportToFileThread worker(someContacts(2), ExportToFileThread::TYPE_VCARD, dir.filePath(relative), &sink);
    runExport(worker, sink);
    QVERIFY2(sink.outcome().startsWith(QLatin1String("error|")) && sink.outcome().size() > 6,
             qPrintable(sink.outcome()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"folder"});
}

void TestExportToFileThread::htmlGoesIntoAFolderNamedLikeTheFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("HTML") << "list.html";
    QTest::newRow("Word") << "list.doc";
}

void TestExportToFileThread::htmlGoesIntoAFolderNamedLikeTheFile()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QList<pim::_Contact> contacts = someContacts(2);
    contacts[1].id = 42;
    contacts[1].entities[pim::ENTITY_PHOTO] << parseEntry("2").second;
    contacts[1].entities[pim::ENTITY_PHOTO].first().values.insert(
        QStringLiteral("data15"), tarnwick::test::imageBytes("PNG", QSize(8, 8)));
    RecordingProgressSink sink;
    const QString chosen = dir.filePath(name);
    ExportToFileThread worker(contacts, ExportToFileThread::TYPE_HTML, chosen, &sink);
    runExport(worker, sink);
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_EXPORT_2_CONTACTS_TO_FILE"));
    QCOMPARE(worker.outputPath(), QDir(chosen).filePath(name));
    QVERIFY(QFileInfo(chosen).isDir());
    QCOMPARE(QDir(chosen).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{name, "photos"}));
    QCOMPARE(QDir(chosen + "/photos").entryList(QDir::Files, QDir::Name),
             (QStringList{"42.jpg", "contact.png"}));
    QVERIFY(!QImage(chosen + "/photos/42.jpg", "JPEG").isNull());
    QFile page(worker.outputPath());
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray html = page.readAll();
    QVERIFY(html.contains("<img class=\"photo\" src=\"photos/42.jpg\" width=\"128\" />\r\n"));
    QVERIFY(html.contains("<img class=\"photo\" src=\"photos/contact.png\" width=\"128\" />\r\n"));
    QVERIFY(html.endsWith("</body></html>"));
}

void TestExportToFileThread::htmlShowsMarkupAsText()
{
    QTemporaryDir dir;
    pim::_Contact c(1, QString(), QStringLiteral("<b>x & \"y\""));
    c.entities[pim::ENTITY_NOTE] << parseEntry("9|data1=<script>alert(1)</script>").second;
    c.entities[pim::ENTITY_NOTE] << parseEntry("9|data1=one &\ntwo\r\nthree\rfour").second;
    c.entities[pim::ENTITY_NICKNAME] << parseEntry("5|data1=A&B").second;
    c.entities[pim::ENTITY_ORG] << parseEntry("10|data1=<i>Co</i>|data4=Boss").second;
    HtmlExport writer{QDir(dir.path())};
    const QString block = QString::fromUtf8(writer.ct2Bytes(c));
    QVERIFY2(block.contains(
                 "&lt;b&gt;x &amp; &quot;y&quot;<br/>&quot;A&amp;B&quot;<br/>Boss<br/>&lt;i&gt;Co&lt;/i&gt;"),
             qPrintable(block));
    QVERIFY(block.contains("<li>&lt;script&gt;alert(1)&lt;/script&gt;</li>"));
    QVERIFY2(block.contains("<li>one &amp;<br/>two<br/>three<br/>four</li>"), qPrintable(block));
    QVERIFY(!block.contains("<script>"));
    QVERIFY(!block.contains("<b>x"));
}

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

// What stands at the chosen path before the export: a file the user agreed to replace, or the
// folder of an earlier export (its page, a picture no contact has any more, and a file of the user's).
void putOld(const QString &chosen, const QString &what)
{
    if (what == QLatin1String("file")) {
        writeFile(chosen, "old page");
        return;
    }
    QVERIFY(QDir().mkpath(chosen + "/photos"));
    writeFile(chosen + "/" + QFileInfo(chosen).fileName(), "old page");
    writeFile(chosen + "/photos/99.jpg", "old picture");
    writeFile(chosen + "/notes.txt", "mine");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

void TestExportToFileThread::htmlReplacesWhatStandsThere_data()
{
    QTest::addColumn<QString>("old");
    QTest::addColumn<bool>("fails");
    QTest::newRow("a file") << "file" << false;
    QTest::newRow("an earlier export") << "folder" << false;
    QTest::newRow("a file, the page cannot be written") << "file" << true;
    QTest::newRow("an earlier export, the page cannot be written") << "folder" << true;
}

// The user agreed to replace what stands at the chosen path: the new page and its pictures take its
// place once complete, and when they cannot be written the old ones stay as they were.
void TestExportToFileThread::htmlReplacesWhatStandsThere()
{
    QFETCH(QString, old);
    QFETCH(bool, fails);
    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("list.html"));
    putOld(chosen, old);
    RecordingProgressSink sink;
    ExportToFileThread worker(someContacts(3), ExportToFileThread::TYPE_HTML, chosen, &sink);
    if (fails)
        worker.setOutputFactory([](const QString &p) { return std::make_unique<FailingSaveFile>(p, 3); });
    runExport(worker, sink);
    // Nothing is left beside the export, and a folder's other files stay.
    QCOMPARE(entries(dir.path()), QStringList{"list.html"});
    if (old == QLatin1String("folder"))
        QCOMPARE(fileBytes(chosen + "/notes.txt"), QByteArray("mine"));
    if (fails) {
        QCOMPARE(sink.outcome(), QStringLiteral("error|No space left on device"));
        if (old == QLatin1String("file")) {
            QCOMPARE(fileBytes(chosen), QByteArray("old page"));
        } else {
            QCOMPARE(fileBytes(chosen + "/list.html"), QByteArray("old page"));
            QCOMPARE(entries(chosen + "/photos"), QStringList{"99.jpg"});
        }
        return;
    }
    QCOMPARE(sink.outcome(), QStringLiteral("succeed|IDS_SUC_EXPORT_3_CONTACTS_TO_FILE"));
    QVERIFY(fileBytes(worker.outputPath()).contains("Person 3"));
    QCOMPARE(entries(chosen + "/photos"), QStringList{"contact.png"});
    QCOMPARE(entries(chosen), old == QLatin1String("file")
                                  ? (QStringList{"list.html", "photos"})
                                  : (QStringList{"list.html", "notes.txt", "photos"}));
    // The folder, the page and the default picture have the permissions of anything new.
    QTemporaryDir reference;
    writeFile(reference.filePath("file"), "x");
    QVERIFY(QDir(reference.path()).mkdir("folder"));
    const auto permissions = [](const QString &path) { return int(QFileInfo(path).permissions()); };
    QCOMPARE(permissions(chosen), permissions(reference.filePath("folder")));
    QCOMPARE(permissions(worker.outputPath()), permissions(reference.filePath("file")));
    QCOMPARE(permissions(chosen + "/photos/contact.png"), permissions(reference.filePath("file")));
}

void TestExportToFileThread::htmlPictureCutShortKeepsEarlierExport_data()
{
    QTest::addColumn<QString>("old");
    QTest::newRow("a file") << "file";
    QTest::newRow("an earlier export") << "folder";
}

// The disk fills while a photo is written: the export fails naming the picture and the cause, and
// what stood at the chosen path stays as it was.
void TestExportToFileThread::htmlPictureCutShortKeepsEarlierExport()
{
    QFETCH(QString, old);
    QImage noise(400, 400, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y) {
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 256, (x * y) % 256, (x ^ y) % 256));
    }
    QByteArray png;
    QBuffer buffer(&png);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(noise.save(&buffer, "PNG"));
    QByteArray jpeg;
    QBuffer jpegBuffer(&jpeg);
    QVERIFY(jpegBuffer.open(QIODevice::WriteOnly));
    QVERIFY(noise.save(&jpegBuffer, "JPEG"));
    // The page and the default picture fit under the cap; the photo does not.
    const rlim_t cap = rlim_t(jpeg.size() / 2);
    QVERIFY2(cap > 32 * 1024, qPrintable(QString::number(jpeg.size())));

    QTemporaryDir dir;
    const QString chosen = dir.filePath(QStringLiteral("list.html"));
    putOld(chosen, old);
    QList<pim::_Contact> contacts = someContacts(3);
    contacts[1].id = 42;
    contacts[1].entities[pim::ENTITY_PHOTO] << parseEntry("2").second;
    contacts[1].entities[pim::ENTITY_PHOTO].first().values.insert(QStringLiteral("data15"), png);
    RecordingProgressSink sink;
    ExportToFileThread worker(contacts, ExportToFileThread::TYPE_HTML, chosen, &sink);
    {
        const FileSizeCap limit(cap);
        runExport(worker, sink);
    }
    const QString outcome = sink.outcome();
    QVERIFY2(outcome.startsWith(QLatin1String("error|")) &&
                 outcome.contains(QLatin1String("photos/42.jpg")) &&
                 outcome.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(outcome));
    QCOMPARE(entries(dir.path()), QStringList{"list.html"});
    if (old == QLatin1String("file")) {
        QCOMPARE(fileBytes(chosen), QByteArray("old page"));
    } else {
        QCOMPARE(fileBytes(chosen + "/list.html"), QByteArray("old page"));
        QCOMPARE(entries(chosen + "/photos"), QStringList{"99.jpg"});
        QCOMPARE(fileBytes(chosen + "/notes.txt"), QByteArray("mine"));
    }
}

// Every nickname stands in the name block, a department without a job title on its own line, and
// the groups the contact belongs to are listed.
void TestExportToFileThread::htmlNameBlockAndGroups()
{
    QTemporaryDir dir;
    pim::_Contact c(1, QString(), QStringLiteral("Ann Lee"));
    c.entities[pim::ENTITY_NICKNAME] << parseEntry("5|data1=Annie").second << parseEntry("5|data1=").second
                                     << parseEntry("5|data1=A&L").second;
    c.entities[pim::ENTITY_ORG] << parseEntry("10|data5=Sales|data1=Lee Co").second;
    c.entities[pim::ENTITY_GROUP] << parseEntry("7|data1=3|data2=Friends").second
                                  << parseEntry("7|data1=4|data2=<Family>").second;
    HtmlExport writer{QDir(dir.path())};
    const QString block = QString::fromUtf8(writer.ct2Bytes(c));
    QVERIFY2(
        block.contains("\r\nAnn Lee<br/>&quot;Annie&quot;<br/>&quot;A&amp;L&quot;<br/>Sales<br/>Lee Co\r\n"),
        qPrintable(block));
    QVERIFY2(block.contains("<h2 class=\"ent_group\">Groups:</h2>\r\n<ul class=\"ent_list\">\r\n"
                            "<li>Friends</li>\r\n<li>&lt;Family&gt;</li>\r\n</ul>"),
             qPrintable(block));

    // Without a nickname or organisation the department rule changes nothing else.
    pim::_Contact d(2, QString(), QStringLiteral("Bo"));
    d.entities[pim::ENTITY_ORG] << parseEntry("10|data4=Boss|data5=IT").second;
    QVERIFY(QString::fromUtf8(writer.ct2Bytes(d)).contains("\r\nBo<br/>Boss - IT\r\n"));
    QVERIFY(!QString::fromUtf8(writer.ct2Bytes(d)).contains("Groups:"));
}

void TestExportToFileThread::percent_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("expected");
    QTest::newRow("29 of 100 truncates") << 29 << 100 << 28;
    QTest::newRow("1 of 3") << 1 << 3 << 33;
    QTest::newRow("last") << 7 << 7 << 100;
}

void TestExportToFileThread::percent()
{
    QFETCH(int, number);
    QFETCH(int, total);
    QFETCH(int, expected);
    QCOMPARE(ExportToFileThread::percent(number, total), expected);
}

TARNWICK_TEST_MAIN(TestExportToFileThread)
#include "tst_exporttofilethread.moc"
