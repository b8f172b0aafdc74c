#include "devicebackup/backup2tool.h"

#include "ExceptionText.h"
#include "TestMain.h"
#include "tests/devicebackup/BackupPhoneFixture.h"
#include "tests/devicebackup/ScratchFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <future>
#include <thread>

using namespace tarnwick::peers;
using tarnwick::test::whatOf;

using tarnwick::test::readAll;
using tarnwick::test::snapshot;
using tarnwick::test::writeFile;

namespace {

const QString udid = QStringLiteral("00008101-000A1B2C3D4E5F60");

QByteArray patterned(int size, char seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed + i * 7 + i / 251);
    return bytes;
}

QString bucketPath(const QString &name)
{
    return udid + QLatin1Char('/') + name.left(2) + QLatin1Char('/') + name;
}

// ["DLMessageMoveItems", {"\u00e9\0x": "dev/a.txt"}, {}, 0.5] as a binary property list whose key is
// stored as UTF-16 with a NUL character: libplist keeps a key length longer than its text, and its
// first reader ends the process on an assertion.
const QByteArray moveWithNulKey = QByteArray::fromHex(
    "62706c6973743030a4010205065f1012444c4d6573736167654d6f76654974656d73d103046300e90000007859646576"
    "2f612e747874d0233fe0000000000000080d22252c363700000000000001010000000000000007000000000000000000"
    "00000000000040");

// A hook that stops the session at the first message.
class StoppingHook : public Backup2ToolHook
{
public:
    explicit StoppingHook(int code)
        : m_code(code)
    {}
    bool onHandleMsgContinue(QDir, QString, PlistCFType, int &code, QString &) override
    {
        code = m_code;
        return false;
    }

private:
    int m_code;
};

} // namespace

class TestBackup2Tool : public QObject, public tarnwick::test::BackupPhoneFixture
{
    Q_OBJECT

private slots:
    void init() { plugInBackupPhone(udid); }
    void cleanup() { unplugBackupPhone(); }

    void backupAndRestoreRoundTrip();
    void restoreOptions_data();
    void restoreOptions();
    void missingFileIsReportedAndTheDownloadGoesOn();
    void closingReportMapping_data();
    void closingReportMapping();
    void endsWithoutReport_data();
    void endsWithoutReport();
    void cutUploadKeepsThePreviousCopy_data();
    void cutUploadKeepsThePreviousCopy();
    void remoteErrorFailsTheFile();
    void stalledPhoneFailsTheTransfer();
    void cancelFromAnotherThread();
    void cancelWhileThePhoneIsGoneBetweenFiles();
    void pathsOutsideTheRootAreRefused_data();
    void pathsOutsideTheRootAreRefused();
    void refusedUploadIsAnsweredAndTheSessionGoesOn_data();
    void refusedUploadIsAnsweredAndTheSessionGoesOn();
    void failedReportNamesTheFileNotStored();
    void folderRequestsAnswerWhatHappened();
    void folderRequestsAnswerTheHookResult();
    void copyOrMoveIntoItselfIsRefused();
    void freeSpaceIsTheDisks();
    void malformedMessageEndsTheSession();
    void hookStopsTheSession_data();
    void hookStopsTheSession();
    void noDevice();
    void invalidOpFailsAfterTheVersionExchange();
    void sizeTexts_data();
    void sizeTexts();

private:
    QString run(backup2tool &tool, backup2tool_op op = OP_BACKUP)
    {
        return whatOf<std::runtime_error>([&] { tool.runThrow(_backup2tool_req(op)); });
    }
};

void TestBackup2Tool::backupAndRestoreRoundTrip()
{
    const QString small = hashed(QStringLiteral("ab12"));
    const QString empty = hashed(QStringLiteral("cd34"));
    const QString big = hashed(QStringLiteral("ef56"));
    const QString moved = hashed(QStringLiteral("0f78"));
    const QByteArray smallBytes("contact photo");
    const QByteArray bigBytes = patterned(32769, 3);
    m_backup->setScript({
        BackupStep::request({QStringLiteral("DLMessageCreateDirectory"), udid}),
        BackupStep::upload(
            {{QStringLiteral("Media/a.jpg"), bucketPath(small), smallBytes, 5},
             {QStringLiteral("Media/empty"), bucketPath(empty), QByteArray(), 32768},
             {QStringLiteral("Media/big.bin"), bucketPath(big), bigBytes, 32768},
             {QStringLiteral("Info.plist"), udid + QStringLiteral("/Info.plist"), "<plist/>", 3}}),
        BackupStep::request({QStringLiteral("DLContentsOfDirectory"), udid + QStringLiteral("/ab")}),
        BackupStep::request({QStringLiteral("DLMessageCopyItem"), bucketPath(small), bucketPath(moved)}),
        BackupStep::request(
            {QStringLiteral("DLMessageMoveItems"),
             QVariantMap{{udid + QStringLiteral("/Info.plist"), udid + QStringLiteral("/Status.plist")}},
             QVariantMap(), 0.75}),
        BackupStep::request(
            {QStringLiteral("DLMessageRemoveItems"), QStringList{bucketPath(moved)}, QVariantMap(), 0.8}),
        BackupStep::report(0),
    });
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    QSignalSpy updates(&tool, &backup2tool::update);
    QCOMPARE(run(tool), QString());

    QCOMPARE(m_backup->requestName(), QStringLiteral("Backup"));
    QCOMPARE(m_backup->request().value(QStringLiteral("TargetIdentifier")).toString(), udid);
    QVERIFY(!m_backup->request().contains(QStringLiteral("Options")));
    const QDir root(m_rootDir->path());
    QCOMPARE(readAll(root.absoluteFilePath(bucketPath(small))), smallBytes);
    QCOMPARE(readAll(root.absoluteFilePath(bucketPath(empty))), QByteArray());
    QCOMPARE(readAll(root.absoluteFilePath(bucketPath(big))), bigBytes);
    QCOMPARE(readAll(root.absoluteFilePath(udid + QStringLiteral("/Status.plist"))), QByteArray("<plist/>"));
    QVERIFY(!QFileInfo::exists(root.absoluteFilePath(udid + QStringLiteral("/Info.plist"))));
    QVERIFY(!QFileInfo::exists(root.absoluteFilePath(bucketPath(moved))));
    // No part file is left beside a received one.
    QCOMPARE(QDir(root.absoluteFilePath(udid + QStringLiteral("/ab"))).entryList(QDir::Files | QDir::Hidden),
             QStringList{small});

    const QList<BackupStatusResponse> statuses = m_backup->statusResponses();
    QCOMPARE(statuses.size(), 6);
    for (const BackupStatusResponse &status : statuses)
        QVERIFY2(status.code == 0, qPrintable(status.message + QLatin1Char(' ') + status.description));
    const QVariantMap listing = statuses.at(2).dictionary.toMap();
    QCOMPARE(listing.keys(), QStringList{small});
    const QVariantMap entry = listing.value(small).toMap();
    QCOMPARE(entry.value(QStringLiteral("DLFileType")).toString(), QStringLiteral("DLFileTypeRegular"));
    QCOMPARE(entry.value(QStringLiteral("DLFileSize")).toLongLong(), qlonglong(smallBytes.size()));
    const QDateTime modified = QFileInfo(root.absoluteFilePath(bucketPath(small))).lastModified();
    QCOMPARE(entry.value(QStringLiteral("DLFileModificationDate")).toDateTime().toSecsSinceEpoch(),
             modified.toSecsSinceEpoch());
    QTRY_VERIFY(m_backup->sawHostDisconnect());
    QVERIFY(!updates.isEmpty());
    QCOMPARE(tool.progress(), 0.8);

    // The restore sends the same files back, byte for byte.
    m_backup->setScript({BackupStep::download({bucketPath(small), bucketPath(empty), bucketPath(big)}),
                         BackupStep::report(0)});
    QCOMPARE(run(tool, OP_RESTORE), QString());
    QCOMPARE(m_backup->requestName(), QStringLiteral("Restore"));
    const QMap<QString, QByteArray> downloaded = m_backup->downloadedFiles();
    QCOMPARE(downloaded.value(bucketPath(small)), smallBytes);
    QCOMPARE(downloaded.value(bucketPath(empty)), QByteArray());
    QVERIFY(downloaded.contains(bucketPath(empty)));
    QCOMPARE(downloaded.value(bucketPath(big)), bigBytes);
    // 32,769 bytes go out as frames of 32,768 and 1 payload bytes; the empty file as its end frame.
    const QList<QByteArray> frames = m_backup->downloadFrames();
    QList<int> sizes;
    for (const QByteArray &frame : frames)
        sizes << frame.size();
    const int nameSize = bucketPath(small).toUtf8().size();
    QCOMPARE(sizes,
             (QList<int>{nameSize, 1 + int(smallBytes.size()), 1, nameSize, 1, nameSize, 32769, 2, 1, 0}));
    QCOMPARE(m_backup->statusResponses().last().code, 0);
}

void TestBackup2Tool::restoreOptions_data()
{
    QTest::addColumn<bool>("sparse");
    QTest::addColumn<bool>("reboot");
    QTest::addColumn<bool>("dontCopy");
    QTest::addColumn<bool>("removeNotRestored");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QVariantMap>("expected");

    const QString system = QStringLiteral("RestoreSystemFiles");
    const QString preserve = QStringLiteral("RestorePreserveSettings");
    const QString reboot = QStringLiteral("RestoreShouldReboot");
    const QString dontCopy = QStringLiteral("RestoreDontCopyBackup");
    const QString remove = QStringLiteral("RemoveItemsNotRestored");
    QTest::newRow("defaults")
        << false << true << true << false << QString()
        << QVariantMap{{system, true}, {preserve, true}, {reboot, true}, {dontCopy, true}, {remove, false}};
    QTest::newRow("sparse defaults") << true << true << true << false << QString()
                                     << QVariantMap{{system, true}, {preserve, true}, {dontCopy, true}};
    QTest::newRow("sparse, no reboot, remove")
        << true << false << false << true << QString()
        << QVariantMap{{system, true}, {preserve, true}, {reboot, false}, {remove, true}};
    QTest::newRow("password") << false << false << false << false << QStringLiteral("geheim")
                              << QVariantMap{
                                     {system, true},  {preserve, true},
                                     {reboot, false}, {dontCopy, false},
                                     {remove, false}, {QStringLiteral("Password"), QStringLiteral("geheim")}};
}

void TestBackup2Tool::restoreOptions()
{
    QFETCH(bool, sparse);
    QFETCH(bool, reboot);
    QFETCH(bool, dontCopy);
    QFETCH(bool, removeNotRestored);
    QFETCH(QString, password);
    QFETCH(QVariantMap, expected);

    m_backup->setScript({BackupStep::report(0)});
    _backup2tool_req req(OP_RESTORE);
    req.sparseRestoreOptions = sparse;
    req.restoreShouldReboot = reboot;
    req.restoreDontCopyBackup = dontCopy;
    req.removeItemsNotRestored = removeNotRestored;
    req.password = password;
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    tool.runThrow(req);
    QCOMPARE(m_backup->request().value(QStringLiteral("Options")).toMap(), expected);
    // A restore does not make the device folder.
    QVERIFY(!QFileInfo::exists(QDir(m_rootDir->path()).absoluteFilePath(udid)));
}

void TestBackup2Tool::missingFileIsReportedAndTheDownloadGoesOn()
{
    const QString present = udid + QStringLiteral("/Manifest.db");
    const QString missing = udid + QStringLiteral("/gone.plist");
    writeFile(QDir(m_rootDir->path()).absoluteFilePath(present), "manifest");
    // The closing report's text carries the missing file.
    m_backup->setScript(
        {BackupStep::download({missing, present}), BackupStep::report(9, QStringLiteral("Failed"))});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    const QString error = run(tool, OP_RESTORE);

    QCOMPARE(m_backup->refusedDownloads(), QStringList{missing});
    QCOMPARE(m_backup->downloadedFiles().value(present), QByteArray("manifest"));
    const QList<QByteArray> frames = m_backup->downloadFrames();
    QCOMPARE(frames.at(1), QByteArray(1, 0x06));
    QCOMPARE(frames.last(), QByteArray());
    const BackupStatusResponse status = m_backup->statusResponses().last();
    QCOMPARE(status.code, -13);
    QCOMPARE(status.description, QStringLiteral("Multi status"));
    const QVariantMap errors = status.dictionary.toMap();
    QCOMPARE(errors.keys(), QStringList{missing});
    QCOMPARE(qint64(errors.value(missing).toMap().value(QStringLiteral("DLFileErrorCode")).toULongLong()),
             -6);
    QCOMPARE(errors.value(missing).toMap().value(QStringLiteral("DLFileErrorString")).toString(), QString());
    QCOMPARE(error, QStringLiteral("error code:9. <br/><br/>Failed gone.plist not exists."));

    // The next run starts without the old missing-file text.
    m_backup->setScript({BackupStep::report(9, QStringLiteral("Failed"))});
    QCOMPARE(run(tool, OP_RESTORE), QStringLiteral("error code:9. <br/><br/>Failed"));
}

void TestBackup2Tool::closingReportMapping_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");

    const QString restart = QStringLiteral("Please restart your iPhone to try again.");
    QTest::newRow("success whatever the text")
        << 0 << 0 << QStringLiteral("Insufficient free") << QString() << QString();
    QTest::newRow("plain code and text") << 0 << 5 << QStringLiteral("  Something odd  ") << QString()
                                         << QStringLiteral("error code:5. <br/><br/>Something odd");
    QTest::newRow("content when no description") << 0 << 5 << QString() << QStringLiteral("From content")
                                                 << QStringLiteral("error code:5. <br/><br/>From content");
    QTest::newRow("no text") << 0 << 7 << QString() << QString()
                             << QStringLiteral("error code:7. ") + restart;
    QTest::newRow("disk full on the computer")
        << 0 << 3 << QStringLiteral("INSUFFICIENT FREE space") << QString()
        << QStringLiteral(
               "error code:-36. Insufficient free disk space on drive to back up. Not enough free disk "
               "space on your computer.<br/><br/>INSUFFICIENT FREE space");
    QTest::newRow("disk full on the phone")
        << 1 << 100 << QStringLiteral("no room") << QString()
        << QStringLiteral(
               "error code:-36. Insufficient free disk space on device to back up. Not enough free disk "
               "space on your Device.<br/><br/>no room");
    QTest::newRow("connection") << 0 << 4 << QStringLiteral("could only send 3 bytes") << QString()
                                << QStringLiteral(
                                       "error code:-10. Error attaching to device. Please Keep your iPhone "
                                       "connected and active.<br/><br/>could only send 3 bytes");
    QTest::newRow("restore folder")
        << 1 << 8 << QStringLiteral("Failed to move the incomplete restore directory into place at path /x")
        << QString()
        << QStringLiteral("error code:8. <br/><br/>Please restart your iPhone first.<br/><br/>"
                          "Failed to move the incomplete restore directory into place at "
                          "path /x");
}

void TestBackup2Tool::closingReportMapping()
{
    QFETCH(int, op);
    QFETCH(int, code);
    QFETCH(QString, description);
    QFETCH(QString, content);
    QFETCH(QString, expected);

    m_backup->setScript({BackupStep::report(code, description, content)});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    QCOMPARE(run(tool, backup2tool_op(op)), expected);
}

void TestBackup2Tool::endsWithoutReport_data()
{
    QTest::addColumn<QList<BackupStep>>("script");
    QTest::addColumn<QString>("expectedStart");

    const QString attaching = QStringLiteral(
        "error code:-10. Error attaching to device. Please Keep your iPhone connected and active.");
    QTest::newRow("disconnect before the report")
        << QList<BackupStep>{BackupStep::notice(
               {QStringLiteral("DLMessageDisconnect"), QStringLiteral("bye")})}
        << attaching;
    QTest::newRow("purge")
        << QList<BackupStep>{BackupStep::notice({QStringLiteral("DLMessagePurgeDiskSpace")})}
        << QStringLiteral(
               "error code:-36. Insufficient free disk space on drive to back up. Not enough free disk "
               "space on your computer.<br/><br/>Error: DLMessagePurgeDiskSpace(Insufficient free disk "
               "space).");
    QTest::newRow("unknown message") << QList<BackupStep>{BackupStep::notice(
                                            {QStringLiteral("DLMessageOddOne")})}
                                     << QStringLiteral("Message can not handle: DLMessageOddOne");
    QTest::newRow("connection cut before the report")
        << QList<BackupStep>{BackupStep::cut()}
        << QStringLiteral("ERROR: Could not receive from mobilebackup2 (");
}

void TestBackup2Tool::endsWithoutReport()
{
    QFETCH(QList<BackupStep>, script);
    QFETCH(QString, expectedStart);

    m_backup->setScript(script);
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    const QString error = run(tool);
    QVERIFY2(error.startsWith(expectedStart), qPrintable(error));
}

void TestBackup2Tool::cutUploadKeepsThePreviousCopy_data()
{
    QTest::addColumn<int>("cutAfterBytes");
    QTest::addColumn<int>("cutAfterFiles");

    QTest::newRow("mid-file") << 40000 << -1;
    QTest::newRow("before the end frame") << 70000 << -1;
    QTest::newRow("between files") << -1 << 1;
}

void TestBackup2Tool::cutUploadKeepsThePreviousCopy()
{
    QFETCH(int, cutAfterBytes);
    QFETCH(int, cutAfterFiles);

    const QString name = hashed(QStringLiteral("aa"));
    const QString target = QDir(m_rootDir->path()).absoluteFilePath(bucketPath(name));
    writeFile(target, "previous copy");
    BackupUploadFile file{
        QStringLiteral("Media/x"), bucketPath(name), patterned(70000, 1), 10000, QString(), cutAfterBytes};
    const BackupUploadFile second{
        QStringLiteral("Media/y"), bucketPath(hashed(QStringLiteral("bb"))), "y", 1, QString(), -1};
    if (cutAfterFiles >= 0)
        file.cutAfterBytes = -1;
    m_backup->setScript({BackupStep::upload({file, second}, cutAfterFiles), BackupStep::report(0)});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    tool.setStallTimeout(std::chrono::milliseconds(300));
    const QString error = run(tool);
    QVERIFY2(error.startsWith(
                 QStringLiteral("Error attaching to device. Please Keep your iPhone connected and active.")),
             qPrintable(error));
    if (cutAfterFiles < 0)
        QCOMPARE(readAll(target), QByteArray("previous copy"));
    else
        QCOMPARE(readAll(target), file.content);
    QCOMPARE(QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

void TestBackup2Tool::remoteErrorFailsTheFile()
{
    const QString name = hashed(QStringLiteral("ab"));
    const QString target = QDir(m_rootDir->path()).absoluteFilePath(bucketPath(name));
    writeFile(target, "previous copy");
    m_backup->setScript({BackupStep::upload({{QStringLiteral("Media/x"), bucketPath(name), patterned(1000, 2),
                                              100, QStringLiteral("x"), -1}}),
                         BackupStep::report(0)});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    QCOMPARE(run(tool),
             QStringLiteral(
                 "Please restart your iPhone to try again. backup2tool::recvFileThrow: remote error. x"));
    QCOMPARE(readAll(target), QByteArray("previous copy"));
    const QStringList left = QDir(QFileInfo(target).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left == QStringList{name}, qPrintable(left.join(QLatin1Char(','))));
}

void TestBackup2Tool::stalledPhoneFailsTheTransfer()
{
    BackupStep upload = BackupStep::upload(
        {{QStringLiteral("Media/x"), bucketPath(hashed(QStringLiteral("ab"))), "kept", 2, QString(), -1}});
    upload.stallAfterFiles = true;
    m_backup->setScript({upload});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    tool.setStallTimeout(std::chrono::milliseconds(300));
    // The library waits its own 30 s for a silent phone; unplugging it ends the wait at once.
    QElapsedTimer timer;
    timer.start();
    std::thread unplug([this] {
        QThread::msleep(200);
        m_mux->detach(udid);
    });
    const QString error = run(tool);
    unplug.join();
    QVERIFY(timer.elapsed() < 10000);
    QVERIFY2(error.startsWith(QStringLiteral("Error attaching to device.")), qPrintable(error));
}

void TestBackup2Tool::cancelFromAnotherThread()
{
    m_backup->setScript({BackupStep::pause(600),
                         BackupStep::request({QStringLiteral("DLMessageGetFreeDiskSpace")}),
                         BackupStep::pause(5000), BackupStep::report(3)});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    // The other thread cancels while the session has begun waiting for the phone's first message
    // (the tool announces that wait), so the cancel lands during that wait whatever the load.
    QElapsedTimer sinceCancel;
    std::promise<void> waiting;
    std::promise<void> canceled;
    std::thread canceler([&] {
        waiting.get_future().wait();
        sinceCancel.start();
        tool.cancel();
        canceled.set_value();
    });
    bool announced = false;
    connect(&tool, &backup2tool::update, &tool, [&](double, const QString &, const QString &) {
        if (std::exchange(announced, true))
            return;
        waiting.set_value();
        canceled.get_future().wait();
    });
    const QString error = run(tool);
    if (!announced)
        waiting.set_value();
    canceler.join();
    QCOMPARE(error, QString());
    QVERIFY(tool.isCancel());
    // The phone's next message follows 5 s after the one in flight.
    QVERIFY2(sinceCancel.elapsed() < 4000, "the cancel was not seen after the message in flight");
    QTRY_COMPARE(m_backup->statusResponses().size(), 1);
}

void TestBackup2Tool::cancelWhileThePhoneIsGoneBetweenFiles()
{
    const QString name = hashed(QStringLiteral("ab"));
    m_backup->setScript({BackupStep::upload(
        {{QStringLiteral("Media/x"), bucketPath(name), "one", 1, QString(), -1},
         {QStringLiteral("Media/y"), bucketPath(hashed(QStringLiteral("cd"))), "two", 1, QString(), -1}},
        1)});
    const QString first = QDir(m_rootDir->path()).absoluteFilePath(bucketPath(name));
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    // Timed from the cancel itself, once the first file is in: the connection and its handshake
    // before it take as long as the machine's load makes them.
    QElapsedTimer sinceCancel;
    std::thread canceler([&] {
        QDeadlineTimer deadline(60 * 1000);
        while (!QFile::exists(first) && !deadline.hasExpired())
            QThread::msleep(10);
        sinceCancel.start();
        tool.cancel();
    });
    const QString error = run(tool);
    canceler.join();
    QCOMPARE(error, QString());
    // Unnoticed, the cancel would leave the tool waiting out the 30 s stall time for the next name.
    QVERIFY2(sinceCancel.elapsed() < 15 * 1000, "a cancel between files was not seen before the stall time");
    QCOMPARE(readAll(QDir(m_rootDir->path()).absoluteFilePath(bucketPath(name))), QByteArray("one"));
}

void TestBackup2Tool::pathsOutsideTheRootAreRefused_data()
{
    QTest::addColumn<QString>("path");
    // Empty when the path is refused; otherwise the cleaned place inside the root it stands for.
    QTest::addColumn<QString>("place");
    QTest::newRow("climbing") << QStringLiteral("../outside/victim") << QString();
    QTest::newRow("climbing inside") << udid + QStringLiteral("/../../outside/victim") << QString();
    QTest::newRow("absolute") << QStringLiteral("%OUTSIDE%/victim") << QString();
    QTest::newRow("through a link") << udid + QStringLiteral("/link/victim") << QString();
    QTest::newRow("link to the root's parent") << udid + QStringLiteral("/up/outside/victim") << QString();
    QTest::newRow("link to /") << udid + QStringLiteral("/slash%OUTSIDE%/victim") << QString();
    QTest::newRow("climbing through a link")
        << udid + QStringLiteral("/link/../../../outside/victim") << QString();
    // The kernel would take ".." after the link from the link's target, outside.
    QTest::newRow("link, then ..") << udid + QStringLiteral("/link/../outside/victim") << QString();
    // Read as text these name a place inside; the kernel would climb from outside/sub to the victim.
    QTest::newRow("link, ., then ..") << udid + QStringLiteral("/link/./../victim") << QString();
    QTest::newRow("link, empty component, then ..") << udid + QStringLiteral("/link//../victim") << QString();
    QTest::newRow("link, ., empty, ., then ..") << udid + QStringLiteral("/link/.//./../victim") << QString();
    QTest::newRow("link, folder, then ..") << udid + QStringLiteral("/link/inner/../../victim") << QString();
    QTest::newRow("link, folder, ., then ..")
        << udid + QStringLiteral("/link/inner/./../../victim") << QString();
}

void TestBackup2Tool::pathsOutsideTheRootAreRefused()
{
    QFETCH(QString, path);
    QFETCH(QString, place);

    QTemporaryDir outer;
    const QDir root(outer.filePath(QStringLiteral("root")));
    QVERIFY(QDir().mkpath(root.absolutePath()));
    const QString outside = outer.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(outside));
    writeFile(outside + QStringLiteral("/victim"), "precious");
    writeFile(outside + QStringLiteral("/other"), "precious too");
    writeFile(outside + QStringLiteral("/sub/deeper"), "precious as well");
    writeFile(outside + QStringLiteral("/sub/inner/deepest"), "precious still");
    QVERIFY(QDir().mkpath(root.absoluteFilePath(udid)));
    QVERIFY(
        QFile::link(outside + QStringLiteral("/sub"), root.absoluteFilePath(udid + QStringLiteral("/link"))));
    QVERIFY(QFile::link(outer.path(), root.absoluteFilePath(udid + QStringLiteral("/up"))));
    QVERIFY(QFile::link(QStringLiteral("/"), root.absoluteFilePath(udid + QStringLiteral("/slash"))));
    for (const QString &name : {QStringLiteral("/victim"), QStringLiteral("/other")}) {
        QFile file(outside + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(
            file.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));
    }
    const QStringList before = snapshot(outside);
    path.replace(QStringLiteral("%OUTSIDE%"), outside);
    const QString sibling = QFileInfo(path).path() + QStringLiteral("/other");

    m_backup->setScript({
        BackupStep::download({path}),
        BackupStep::request({QStringLiteral("DLContentsOfDirectory"), QFileInfo(path).path()}),
        BackupStep::request(
            {QStringLiteral("DLMessageRemoveItems"), QStringList{sibling}, QVariantMap(), 0.1}),
        BackupStep::request({QStringLiteral("DLMessageMoveItems"),
                             QVariantMap{{path, udid + QStringLiteral("/taken")}}, QVariantMap(), 0.1}),
        BackupStep::request(
            {QStringLiteral("DLMessageCopyItem"), udid + QStringLiteral("/Manifest.db"), path}),
        BackupStep::request({QStringLiteral("DLMessageCreateDirectory"), path + QStringLiteral(".d")}),
        BackupStep::upload({{QStringLiteral("Media/x"), path, "overwritten", 4, QString(), -1}}),
        BackupStep::request({QStringLiteral("DLContentsOfDirectory"), udid}),
        BackupStep::report(0),
    });
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/Manifest.db")), "manifest");
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/victim")), "inside");
    const QStringList rootBefore = snapshot(root.path());
    backup2tool tool(udid, root, nullptr);
    const QString error = whatOf<std::runtime_error>([&] { tool.runThrow(_backup2tool_req(OP_BACKUP)); });

    QCOMPARE(snapshot(outside), before);
    QCOMPARE(readAll(outside + QStringLiteral("/victim")), QByteArray("precious"));
    QCOMPARE(m_backup->refusedDownloads(), QStringList{path});
    QVERIFY(m_backup->downloadedFiles().isEmpty());
    const QList<BackupStatusResponse> statuses = m_backup->statusResponses();
    // The session goes on after every answer; no answer names a place on this computer.
    QCOMPARE(error, QString());
    QCOMPARE(statuses.size(), 8);
    for (const BackupStatusResponse &status : statuses)
        QVERIFY2(!status.description.contains(outer.path()), qPrintable(status.description));
    QCOMPARE(statuses.at(7).message, QStringLiteral("DLContentsOfDirectory"));
    QCOMPARE(statuses.at(7).code, 0);
    QVERIFY(statuses.at(7).dictionary.toMap().contains(QStringLiteral("Manifest.db")));
    if (!place.isEmpty()) {
        // Every request acted on the cleaned place: the copy made it, the upload wrote it.
        for (const BackupStatusResponse &status : statuses.mid(2))
            QVERIFY2(status.code == 0, qPrintable(status.message + QLatin1Char(' ') + status.description));
        QCOMPARE(readAll(root.absoluteFilePath(place)), QByteArray("overwritten"));
        QVERIFY(QFileInfo(root.absoluteFilePath(place + QStringLiteral(".d"))).isDir());
        return;
    }
    QCOMPARE(snapshot(root.path()), rootBefore);
    QCOMPARE(statuses.at(0).code, -13); // download: missing
    QCOMPARE(statuses.at(1).code, 0);   // listing: empty
    QCOMPARE(statuses.at(1).dictionary.toMap(), QVariantMap());
    // Remove, move, copy, create folder and upload: refused, and told so.
    for (int i = 2; i < 7; ++i) {
        QCOMPARE(statuses.at(i).code, -13);
        QCOMPARE(statuses.at(i).description, QStringLiteral("The path leads outside the backup folder."));
    }
    QCOMPARE(statuses.at(6).message, QStringLiteral("DLMessageUploadFiles"));
}

void TestBackup2Tool::refusedUploadIsAnsweredAndTheSessionGoesOn_data()
{
    QTest::addColumn<QList<BackupStep>>("before");
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("description");

    const QString refused = QStringLiteral("The path leads outside the backup folder.");
    QTest::newRow("below a link to outside")
        << QList<BackupStep>() << udid + QStringLiteral("/lnk/new") << -13 << refused;
    QTest::newRow("a link to outside")
        << QList<BackupStep>() << udid + QStringLiteral("/out") << -13 << refused;
    // The phone itself moves the link over a folder it wrote into before.
    QTest::newRow("a folder swapped for a link")
        << QList<BackupStep>{BackupStep::request(
               {QStringLiteral("DLMessageMoveItems"),
                QVariantMap{{udid + QStringLiteral("/lnk"), udid + QStringLiteral("/d")}}, QVariantMap(),
                0.1})}
        << udid + QStringLiteral("/d/new") << -13 << refused;
    QTest::newRow("a name with NUL") << QList<BackupStep>() << udid + QStringLiteral("/a") + QChar(0) + "b"
                                     << -13 << refused;
    // The longest name the protocol allows, far beyond what the file system takes.
    QTest::newRow("a 4,096-byte name")
        << QList<BackupStep>() << udid + QLatin1Char('/') + QString(4096 - udid.size() - 1, QLatin1Char('n'))
        << -int(QFileDevice::OpenError) << QStringLiteral("Write %1/nnn");
}

void TestBackup2Tool::refusedUploadIsAnsweredAndTheSessionGoesOn()
{
    QFETCH(QList<BackupStep>, before);
    QFETCH(QString, path);
    QFETCH(int, code);
    QFETCH(QString, description);

    QTemporaryDir outer;
    const QDir root(outer.filePath(QStringLiteral("root")));
    const QString outside = outer.filePath(QStringLiteral("outside"));
    writeFile(outside + QStringLiteral("/victim"), "precious");
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/d/old")), "old");
    QVERIFY(QFile::link(outside, root.absoluteFilePath(udid + QStringLiteral("/lnk"))));
    QVERIFY(QFile::link(outside + QStringLiteral("/victim"),
                        root.absoluteFilePath(udid + QStringLiteral("/out"))));
    const QStringList outsideBefore = snapshot(outside);
    QCOMPARE(path.toUtf8().size() <= 4096, true);

    QList<BackupStep> script = before;
    script << BackupStep::upload({{QStringLiteral("Media/1"), udid + QStringLiteral("/first"), "first"},
                                  {QStringLiteral("Media/2"), path, "hostile"},
                                  {QStringLiteral("Media/3"), udid + QStringLiteral("/third"), "third"}})
           << BackupStep::request({QStringLiteral("DLContentsOfDirectory"), udid}) << BackupStep::report(0);
    m_backup->setScript(script);
    backup2tool tool(udid, root, nullptr);
    QCOMPARE(run(tool), QString());

    QCOMPARE(snapshot(outside), outsideBefore);
    QCOMPARE(readAll(root.absoluteFilePath(udid + QStringLiteral("/first"))), QByteArray("first"));
    QCOMPARE(readAll(root.absoluteFilePath(udid + QStringLiteral("/third"))), QByteArray("third"));
    const QList<BackupStatusResponse> statuses = m_backup->statusResponses();
    QCOMPARE(statuses.size(), before.size() + 2);
    const BackupStatusResponse &upload = statuses.at(before.size());
    QCOMPARE(upload.message, QStringLiteral("DLMessageUploadFiles"));
    QCOMPARE(upload.code, qint64(code));
    if (description.contains(QLatin1String("%1")))
        description = description.arg(udid);
    QVERIFY2(upload.description.startsWith(description), qPrintable(upload.description));
    QVERIFY2(!upload.description.contains(outer.path()), qPrintable(upload.description));
    QVERIFY2(upload.description.size() < 300, qPrintable(upload.description));
    // The next request is answered, and nothing of the refused file was left behind.
    const BackupStatusResponse &listing = statuses.last();
    QCOMPARE(listing.code, 0);
    QStringList names = listing.dictionary.toMap().keys();
    for (const QString &fixture : {QStringLiteral("d"), QStringLiteral("lnk"), QStringLiteral("out")})
        names.removeAll(fixture);
    QCOMPARE(names, QStringList({QStringLiteral("first"), QStringLiteral("third")}));
    QCOMPARE(QDir(root.absoluteFilePath(udid))
                 .entryList(QDir::Hidden | QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot),
             QStringList({QStringLiteral("first"), QStringLiteral("third")}));
}

// The phone gives up after a file was not stored: the user reads which, inside the backup folder.
void TestBackup2Tool::failedReportNamesTheFileNotStored()
{
    const QDir root(m_rootDir->path());
    const QString longName = udid + QLatin1Char('/') + QString(300, QLatin1Char('n'));
    m_backup->setScript({
        BackupStep::upload({{QStringLiteral("Media/1"), longName, "one"},
                            {QStringLiteral("Media/2"), udid + QStringLiteral("/../x"), "two"}}),
        BackupStep::report(105, QStringLiteral("Backup failed.")),
    });
    backup2tool tool(udid, root, nullptr);
    const QString error = run(tool);
    QVERIFY2(error.startsWith(QStringLiteral("error code:105. <br/><br/>Backup failed. Write ") + udid +
                              QStringLiteral("/nnn")),
             qPrintable(error));
    // The system's own reason follows, in the user's language.
    QVERIFY2(error.contains(QStringLiteral("nnn failed. ")), qPrintable(error));
    QVERIFY2(!error.contains(root.absolutePath()), qPrintable(error));
    QCOMPARE(m_backup->statusResponses().value(0).code, qint64(-int(QFileDevice::OpenError)));
}

// A folder or removal request is answered with what became of it on disk.
void TestBackup2Tool::folderRequestsAnswerWhatHappened()
{
    const QDir root(m_rootDir->path());
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/file")), "f");
    QVERIFY(QDir().mkpath(root.absoluteFilePath(udid + QStringLiteral("/there"))));
    // What a folder listing does not show is not removed with the folder.
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/stays/.hidden")), "h");
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/goes/x")), "x");
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/after")), "a");
    const auto mkdir = [](const QString &path) {
        return BackupStep::request({QStringLiteral("DLMessageCreateDirectory"), udid + path});
    };
    const auto remove = [](const QStringList &paths) {
        QStringList full;
        for (const QString &path : paths)
            full << udid + path;
        return BackupStep::request({QStringLiteral("DLMessageRemoveItems"), full, QVariantMap(), 0.2});
    };
    m_backup->setScript({
        mkdir(QStringLiteral("/new/deeper")),
        mkdir(QStringLiteral("/there")),
        mkdir(QStringLiteral("/file")),
        mkdir(QStringLiteral("/file/below")),
        remove({QStringLiteral("/goes"), QStringLiteral("/missing")}),
        remove({QStringLiteral("/stays"), QStringLiteral("/after")}),
        BackupStep::report(0),
    });
    backup2tool tool(udid, root, nullptr);
    QCOMPARE(run(tool), QString());

    const QList<BackupStatusResponse> statuses = m_backup->statusResponses();
    QCOMPARE(statuses.size(), 6);
    QCOMPARE(statuses.at(0).code, 0);
    QVERIFY(QFileInfo(root.absoluteFilePath(udid + QStringLiteral("/new/deeper"))).isDir());
    QCOMPARE(statuses.at(1).code, 0);
    // A write error (2) reaches the phone as -6.
    QCOMPARE(statuses.at(2).code, -6);
    QCOMPARE(statuses.at(2).description,
             QStringLiteral("A file stands where the folder %1/file goes.").arg(udid));
    QCOMPARE(readAll(root.absoluteFilePath(udid + QStringLiteral("/file"))), QByteArray("f"));
    QCOMPARE(statuses.at(3).code, -6);
    QCOMPARE(statuses.at(3).description, QStringLiteral("Cannot create the folder %1/file/below.").arg(udid));
    QCOMPARE(statuses.at(4).code, 0);
    QCOMPARE(statuses.at(4).description, QString());
    QVERIFY(!QFileInfo::exists(root.absoluteFilePath(udid + QStringLiteral("/goes"))));
    // The first failure is told; the paths after it are still removed.
    QCOMPARE(statuses.at(5).code, -int(QFileDevice::RemoveError));
    QCOMPARE(statuses.at(5).description, QStringLiteral("Cannot remove %1/stays.").arg(udid));
    QVERIFY(!QFileInfo::exists(root.absoluteFilePath(udid + QStringLiteral("/after"))));
}

void TestBackup2Tool::folderRequestsAnswerTheHookResult()
{
    const QDir root(m_rootDir->path());
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/a")), "a");
    QVERIFY(QDir().mkpath(root.absoluteFilePath(udid + QStringLiteral("/folder"))));
    m_backup->setScript({
        // A file onto a folder cannot be copied: 14 goes to the phone as -14.
        BackupStep::request({QStringLiteral("DLMessageCopyItem"), udid + QStringLiteral("/a"),
                             udid + QStringLiteral("/folder")}),
        BackupStep::request({QStringLiteral("DLContentsOfDirectory"), udid}),
        BackupStep::notice({QStringLiteral("DLMessageCopyItem"), udid + QStringLiteral("/a"), QString()}),
    });
    backup2tool tool(udid, root, nullptr);
    QCOMPARE(run(tool), QStringLiteral("backup2tool::copyItemThrow: invalid message."));
    const QList<BackupStatusResponse> statuses = m_backup->statusResponses();
    QCOMPARE(statuses.size(), 2);
    QCOMPARE(statuses.at(0).code, -14);
    QCOMPARE(statuses.at(0).description, QStringLiteral("Destination is a folder."));
    const QVariantMap listing = statuses.at(1).dictionary.toMap();
    QCOMPARE(listing.value(QStringLiteral("folder")).toMap().value(QStringLiteral("DLFileType")).toString(),
             QStringLiteral("DLFileTypeDirectory"));
    QCOMPARE(listing.value(QStringLiteral("a")).toMap().value(QStringLiteral("DLFileType")).toString(),
             QStringLiteral("DLFileTypeRegular"));
}

void TestBackup2Tool::copyOrMoveIntoItselfIsRefused()
{
    const QDir root(m_rootDir->path());
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/a")), "a");
    writeFile(root.absoluteFilePath(udid + QStringLiteral("/sub/b")), "b");
    QVERIFY(QFile::link(root.absoluteFilePath(udid + QStringLiteral("/sub")),
                        root.absoluteFilePath(udid + QStringLiteral("/in"))));
    const QStringList before = snapshot(root.path());
    m_backup->setScript({
        BackupStep::request({QStringLiteral("DLMessageCopyItem"), udid, udid + QStringLiteral("/sub/copy")}),
        BackupStep::request({QStringLiteral("DLMessageCopyItem"), udid, udid + QStringLiteral("/in/copy")}),
        BackupStep::request(
            {QStringLiteral("DLMessageMoveItems"),
             QVariantMap{{udid + QStringLiteral("/sub"), udid + QStringLiteral("/sub/inner")}}, QVariantMap(),
             0.5}),
        BackupStep::report(0),
    });
    backup2tool tool(udid, root, nullptr);
    QCOMPARE(run(tool), QString());
    QCOMPARE(snapshot(root.path()), before);
    const QList<BackupStatusResponse> statuses = m_backup->statusResponses();
    QCOMPARE(statuses.size(), 3);
    QCOMPARE(statuses.at(0).code, -14);
    QCOMPARE(statuses.at(0).description, udid + QStringLiteral("/sub/copy lies inside ") + udid + '.');
    QCOMPARE(statuses.at(1).code, -14);
    QCOMPARE(statuses.at(2).code, -10);
}

void TestBackup2Tool::freeSpaceIsTheDisks()
{
    m_backup->setScript(
        {BackupStep::request({QStringLiteral("DLMessageGetFreeDiskSpace")}), BackupStep::report(0)});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    QCOMPARE(run(tool), QString());
    const qint64 reported = qint64(m_backup->statusResponses().value(0).dictionary.toULongLong());
    const qint64 actual = QStorageInfo(m_rootDir->path()).bytesAvailable();
    QVERIFY2(reported != 1099511627776LL, "the constant was reported for a readable disk");
    QVERIFY(qAbs(reported - actual) < 64 * 1024 * 1024);
}

void TestBackup2Tool::malformedMessageEndsTheSession()
{
    const QDir root(m_rootDir->path());
    writeFile(root.absoluteFilePath(QStringLiteral("dev/a.txt")), "a");
    const QStringList before = snapshot(root.path());
    m_backup->setScript({BackupStep::rawNotice(moveWithNulKey), BackupStep::report(0)});
    backup2tool tool(udid, root, nullptr);
    const QString error = run(tool);
    QVERIFY2(error.startsWith(QStringLiteral("ERROR: The device sent a malformed message (")),
             qPrintable(error));
    QVERIFY2(error.contains(QStringLiteral("NUL")), qPrintable(error));
    QVERIFY(m_backup->statusResponses().isEmpty());
    // The session made the device folder before the phone spoke; nothing else changed.
    QVERIFY(QDir().rmdir(root.absoluteFilePath(udid)));
    QCOMPARE(snapshot(root.path()), before);
}

void TestBackup2Tool::hookStopsTheSession_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("expected");
    QTest::newRow("success") << 0 << QString();
    QTest::newRow("failure") << 3 << QStringLiteral("error code:3. Please restart your iPhone to try again.");
}

void TestBackup2Tool::hookStopsTheSession()
{
    QFETCH(int, code);
    QFETCH(QString, expected);
    m_backup->setScript(
        {BackupStep::request({QStringLiteral("DLMessageGetFreeDiskSpace")}), BackupStep::report(0)});
    backup2tool tool(udid, QDir(m_rootDir->path()), QSharedPointer<StoppingHook>::create(code));
    QCOMPARE(run(tool), expected);
    QVERIFY(m_backup->statusResponses().isEmpty());
}

void TestBackup2Tool::noDevice()
{
    struct BeginHook : Backup2ToolHook
    {
        bool began = false;
        void beginThrow(QDir, QString) override { began = true; }
    };
    auto hook = QSharedPointer<BeginHook>::create();
    backup2tool tool(QStringLiteral("00008101-FFFFFFFFFFFFFFFF"), QDir(m_rootDir->path()), hook);
    QCOMPARE(run(tool),
             QStringLiteral("backup2tool: No device found. Please restart your iPhone to try again."));
    QVERIFY(hook->began);
}

void TestBackup2Tool::invalidOpFailsAfterTheVersionExchange()
{
    m_backup->setScript({BackupStep::report(0)});
    backup2tool tool(udid, QDir(m_rootDir->path()), nullptr);
    QCOMPARE(run(tool, backup2tool_op(2)), QStringLiteral("backup2tool: invalid op."));
    QCOMPARE(m_backup->sessions(), 1);
    QVERIFY(m_backup->requestName().isEmpty());
}

void TestBackup2Tool::sizeTexts_data()
{
    QTest::addColumn<qulonglong>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0ULL << QStringLiteral("0 Bytes");
    QTest::newRow("999") << 999ULL << QStringLiteral("999 Bytes");
    QTest::newRow("1536") << 1536ULL << QStringLiteral("1.5 KB");
    QTest::newRow("1e6") << 1000000ULL << QStringLiteral("1.0 MB");
    QTest::newRow("2.5e9") << 2500000000ULL << QStringLiteral("2.5 GB");
    QTest::newRow("1e12") << 1000000000000ULL << QStringLiteral("1.0 TB");
}

void TestBackup2Tool::sizeTexts()
{
    QFETCH(qulonglong, size);
    QFETCH(QString, text);
    QCOMPARE(backup2tool::sizeText(size), text);
}

TARNWICK_TEST_MAIN(TestBackup2Tool)
#include "tst_backup2tool.moc"
