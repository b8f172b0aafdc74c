#include "backup2tool.h"

#include "Logging.h"
#include "platform/idevice/DeviceHandles.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStorageInfo>
#include <QThread>
#include <QtEndian>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

const char attachingText[] = "Error attaching to device. Please Keep your iPhone connected and active. ";
// Frame codes of a file transfer.
constexpr char codeEnd = 0x00;
constexpr char codeMissing = 0x06;
constexpr char codeRemoteError = 0x0B;
constexpr char codeData = 0x0C;
// Bytes of a file read from disk per frame, and the largest piece of a received frame held at once.
constexpr int sendChunk = 32768;
constexpr quint32 receiveChunk = 1024 * 1024;
// The most of a phone's error text kept; the rest of its frame is read and dropped.
constexpr quint32 remoteErrorLimit = 64 * 1024;
// Free space reported when the disk cannot tell.
constexpr long long unknownFreeSpace = 1099511627776LL;

[[noreturn]] void fail(const QString &text)
{
    throw std::runtime_error(text.toUtf8().toStdString());
}

// The status code the phone gets for a hook's file-error result.
int statusOf(int result)
{
    switch (result) {
    case 0:
        return 0;
    case 2:
        return -6;
    case 17:
        return -7;
    default:
        return -result;
    }
}

// Reads `length` bytes with as many calls as the library needs; false when a call brought nothing
// (the library has then waited its own time-out, or the connection is gone).
bool readExact(MobileBackup2Client *client, char *buffer, quint32 length)
{
    quint32 done = 0;
    while (done < length) {
        uint32_t n = 0;
        client->receiveRaw(buffer + done, length - done, &n);
        if (n == 0)
            return false;
        done += n;
    }
    return true;
}

// A file received under a hidden name beside its target, so that the previous copy stays whole
// until every byte of the new one is on disk; removed unless committed.
class PartFile
{
public:
    explicit PartFile(const QString &target)
        : m_target(target)
        , file(QFileInfo(target).absolutePath() + QStringLiteral("/.") + QFileInfo(target).fileName() +
               QStringLiteral(".tarnwick-part"))
    {}
    ~PartFile()
    {
        if (file.isOpen())
            file.close();
        if (!m_committed && QFileInfo(file.fileName()).isFile())
            QFile::remove(file.fileName());
    }
    PartFile(const PartFile &) = delete;
    PartFile &operator=(const PartFile &) = delete;

    // Moves the written file into place; false with `error` set when that failed.
    bool commit(QString &error)
    {
        const bool flushed = file.flush();
        file.close();
        if (!flushed || file.error() != QFileDevice::NoError) {
            error = file.errorString();
            return false;
        }
        // A folder in the target's place makes the rename fail by itself, with nothing replaced.
        if (::rename(QFile::encodeName(file.fileName()).constData(),
                     QFile::encodeName(m_target).constData()) != 0) {
            const int code = errno;
            error = code == EISDIR ? QStringLiteral("A folder stands in the place of the file.")
                                   : QString::fromLocal8Bit(std::strerror(code));
            return false;
        }
        m_committed = true;
        return true;
    }

private:
    QString m_target;
    bool m_committed = false;

public:
    QFile file;
};

// A path of the backup as it may stand in a text for the phone or the user: relative to the backup
// root, and cut in the middle when the phone made it longer than anyone reads.
QString shownPath(const BackupPath &place)
{
    constexpr int keep = 96;
    const QString &relative = place.relative();
    if (relative.size() <= 2 * keep + 1)
        return relative;
    return relative.left(keep) + QChar(0x2026) + relative.right(keep);
}

// One status for a request that acts on several items: the first failure names it, and a text a
// hook left without failing is passed on while nothing failed.
class RequestOutcome
{
public:
    void add(int result, const QString &text)
    {
        if (m_code != 0)
            return;
        if (result != 0)
            m_code = statusOf(result);
        if (!text.isEmpty())
            m_text = text;
    }
    int code() const { return m_code; }
    const QString &text() const { return m_text; }

private:
    int m_code = 0;
    QString m_text;
};

// Fails with `text` (its %1 the library's code); a message the client refused as malformed says so
// instead, with the client's reason.
[[noreturn]] void failMalformed(mobilebackup2_error_t err, const std::string &refusal, const QString &text)
{
    if (err == MOBILEBACKUP2_E_PLIST_ERROR && !refusal.empty())
        fail(QStringLiteral(
                 "ERROR: The device sent a malformed message (%1). Please restart your iPhone to try "
                 "again.")
                 .arg(QString::fromStdString(refusal)));
    fail(text.arg(int(err)));
}

} // namespace

backup2tool::backup2tool(QString udid, QDir backupRoot, QSharedPointer<Backup2ToolHook> hook, QObject *parent)
    : QObject(parent)
    , udid(std::move(udid))
    , backupRoot(std::move(backupRoot))
    , deviceDir(this->backupRoot.absoluteFilePath(this->udid))
    , hook(hook ? std::move(hook) : QSharedPointer<Backup2ToolHook>::create())
{}

backup2tool::~backup2tool() = default;

bool backup2tool::isCancel()
{
    QMutexLocker lock(&cancelMutex);
    return canceled;
}

void backup2tool::setCancel()
{
    QMutexLocker lock(&cancelMutex);
    canceled = true;
}

void backup2tool::cancel()
{
    setCancel();
}

void backup2tool::emitUpdate(const QString &status2)
{
    status2Text = status2;
    emit update(progressValue, QString(), status2);
}

std::optional<BackupPath> backup2tool::placeOf(const QString &path, BackupPathCheck::LastComponent last) const
{
    std::optional<BackupPath> place = BackupPathCheck(backupRoot).check(path, last);
    if (!place)
        qCWarning(lcDeviceBackup) << "refused a path from the phone:" << path;
    return place;
}

long long backup2tool::freeDiskSpace() const
{
    // The root may not exist yet: the disk that will hold it is the one of its nearest ancestor.
    QFileInfo place(backupRoot.absolutePath());
    while (!place.exists() && !place.isRoot())
        place = QFileInfo(place.absolutePath());
    const QStorageInfo storage(place.absoluteFilePath());
    if (!storage.isValid() || !storage.isReady() || storage.bytesAvailable() < 0)
        return unknownFreeSpace;
    return storage.bytesAvailable();
}

void backup2tool::runThrow(_backup2tool_req req)
{
    QString error;
    const int result = innerRunThrow(req, error);
    if (result == 0)
        return;

    error = error.trimmed();
    int code = result;
    if (error.isEmpty()) {
        code = result;
    } else if (error.contains(QLatin1String("Find My iPhone must be disabled"), Qt::CaseInsensitive)) {
        code = -37;
    } else if (error.contains(QLatin1String("could not send"), Qt::CaseInsensitive) ||
               error.contains(QLatin1String("could only send"), Qt::CaseInsensitive) ||
               error.contains(QLatin1String("Could not receive"), Qt::CaseInsensitive)) {
        code = -10;
    } else if (result == 100 || error.contains(QLatin1String("Insufficient free"), Qt::CaseInsensitive)) {
        code = -36;
    } else if (error.contains(
                   QLatin1String("Failed to move the incomplete restore directory into place at path"),
                   Qt::CaseInsensitive)) {
        error = tr("Please restart your iPhone first.") + QStringLiteral("<br/><br/>") + error;
    }

    QString message = QStringLiteral("error code:%1. ").arg(code);
    if (code == -37) {
        message +=
            tr("Please follow <a href=\"https://www.ferrovantis.com/support/turn-off-find-my-iphone.html\">"
               "this tutorial</a> to disable \"Find my iPhone\" first, and then restart your iPhone to "
               "try again.");
    } else if (code == -36) {
        message +=
            req.op == OP_RESTORE
                ? tr("Insufficient free disk space on device to back up. Not enough free disk space on "
                     "your Device.")
                : tr("Insufficient free disk space on drive to back up. Not enough free disk space on "
                     "your computer.");
    } else if (code == -10) {
        message += tr("Error attaching to device. Please Keep your iPhone connected and active.");
    } else if (error.isEmpty()) {
        message += tr("Please restart your iPhone to try again.");
    }
    if (!error.isEmpty())
        message += QStringLiteral("<br/><br/>") + error;
    throw std::runtime_error(message.toUtf8().toStdString());
}

int backup2tool::innerRunThrow(_backup2tool_req req, QString &error)
{
    {
        QMutexLocker lock(&cancelMutex);
        canceled = false;
    }
    progressValue = 0;
    missingFileText.clear();
    unstoredFileText.clear();

    hook->beginThrow(backupRoot, udid);

    // Declared so that leaving frees the service descriptor, the lockdown client and the device, in
    // that order.
    SharedIDevice device;
    UniqueLockdownClient lockdown;
    UniqueServiceDescriptor service;

    idevice_t rawDevice = nullptr;
    if (idevice_new_with_options(&rawDevice, udid.toUtf8().constData(), IDEVICE_LOOKUP_USBMUX) !=
        IDEVICE_E_SUCCESS)
        fail(QStringLiteral("backup2tool: No device found. Please restart your iPhone to try again."));
    device = adoptIDevice(rawDevice);

    lockdownd_client_t rawLockdown = nullptr;
    const lockdownd_error_t lockdownError =
        lockdownd_client_new_with_handshake(device.get(), &rawLockdown, "FERROVANTIS");
    lockdown.reset(rawLockdown);
    if (lockdownError != LOCKDOWN_E_SUCCESS)
        fail(QStringLiteral(
                 "backup2tool: open device failed, return %1. Please restart your iPhone to try again.")
                 .arg(int(lockdownError)));

    if (req.op == OP_BACKUP && !deviceDir.exists())
        QDir().mkpath(deviceDir.absolutePath());

    lockdownd_service_descriptor_t rawService = nullptr;
    const lockdownd_error_t startError =
        lockdownd_start_service_with_escrow_bag(lockdown.get(), MOBILEBACKUP2_SERVICE_NAME, &rawService);
    service.reset(rawService);
    lockdown.reset();
    if (startError != LOCKDOWN_E_SUCCESS || !service || service->port == 0)
        fail(QStringLiteral(
            "backup2tool: start service com.apple.mobilebackup2 failed. Please restart your iPhone "
            "to try again."));

    std::unique_ptr<MobileBackup2Client> client;
    std::string refusal;
    const mobilebackup2_error_t connectError =
        MobileBackup2Client::connect(device, service.get(), client, &refusal);
    service.reset();
    device.reset(); // the client holds it as long as it needs it
    if (connectError != MOBILEBACKUP2_E_SUCCESS)
        failMalformed(connectError, refusal,
                      QStringLiteral("Could not perform backup protocol version exchange, error code %1"));
    return serveThrow(std::move(client), req, error);
}

int backup2tool::serveThrow(std::unique_ptr<MobileBackup2Client> client, _backup2tool_req req, QString &error)
{
    const double versions[] = {2.0, 2.1};
    double remoteVersion = 0;
    const mobilebackup2_error_t versionError = client->versionExchange(versions, 2, &remoteVersion);
    if (versionError != MOBILEBACKUP2_E_SUCCESS)
        failMalformed(versionError, client->lastRefusal(),
                      QStringLiteral("Could not perform backup protocol version exchange, error code %1"));

    const QByteArray identifier = udid.toLocal8Bit();
    if (req.op == OP_RESTORE) {
        PlistCFType options = PlistCFType::createCFDictionary();
        options.put(QStringLiteral("RestoreSystemFiles"),
                    PlistCFType::createCFBoolean(req.restoreSystemFiles));
        options.put(QStringLiteral("RestorePreserveSettings"),
                    PlistCFType::createCFBoolean(req.restorePreserveSettings));
        if (!req.sparseRestoreOptions || !req.restoreShouldReboot)
            options.put(QStringLiteral("RestoreShouldReboot"),
                        PlistCFType::createCFBoolean(req.restoreShouldReboot));
        if (!req.sparseRestoreOptions || req.restoreDontCopyBackup)
            options.put(QStringLiteral("RestoreDontCopyBackup"),
                        PlistCFType::createCFBoolean(req.restoreDontCopyBackup));
        if (!req.sparseRestoreOptions || req.removeItemsNotRestored)
            options.put(QStringLiteral("RemoveItemsNotRestored"),
                        PlistCFType::createCFBoolean(req.removeItemsNotRestored));
        if (!req.password.isEmpty())
            options.put(QStringLiteral("Password"), PlistCFType::createCFString(req.password));
        const int err = client->sendRequest("Restore", identifier.constData(), identifier.constData(),
                                            static_cast<plist_t>(options.ref()));
        if (err == -7)
            fail(QStringLiteral("ERROR: Could not start restore process: device refused to start the restore "
                                "process. Please restart your iPhone to try again."));
        if (err == -6)
            fail(QStringLiteral("ERROR: Could not start restore process: backup protocol version mismatch!"));
        if (err != 0)
            fail(QStringLiteral("ERROR: Could not start restore process: unspecified error occurred. Please "
                                "restart your iPhone to try again."));
    } else if (req.op == OP_BACKUP) {
        const int err =
            client->sendRequest("Backup", identifier.constData(), identifier.constData(), nullptr);
        if (err == -7)
            fail(QStringLiteral(
                "Please restart your iPhone to try again. ERROR: Could not start backup process: "
                "device refused to start the backup process."));
        if (err == -6)
            fail(QStringLiteral("ERROR: Could not start backup process: backup protocol version mismatch!"));
        if (err != 0)
            fail(QStringLiteral(
                "Please restart your iPhone to try again. ERROR: Could not start backup process: "
                "unspecified error occurred"));
    } else {
        fail(QStringLiteral("backup2tool: invalid op."));
    }

    int result = 0;
    for (;;) {
        if (isCancel()) {
            result = 0;
            break;
        }
        emitUpdate(QStringLiteral("This may take a few minutes. Please wait..."));

        UniquePlist received;
        std::string rawName;
        const mobilebackup2_error_t receiveError = client->receiveMessage(received, rawName);
        const PlistCFType message(received.release(), true);
        if (receiveError == MOBILEBACKUP2_E_RECEIVE_TIMEOUT)
            continue;
        if (receiveError != MOBILEBACKUP2_E_SUCCESS)
            failMalformed(
                receiveError, client->lastRefusal(),
                QStringLiteral("ERROR: Could not receive from mobilebackup2 (%1). Please restart your "
                               "iPhone to try again."));
        const QString name = QString::fromStdString(rawName);

        int progressItem = -1;
        if (name == QLatin1String("DLMessageDownloadFiles"))
            progressItem = 3;
        else if (name == QLatin1String("DLMessageUploadFiles"))
            progressItem = 2;
        else if (name == QLatin1String("DLMessageMoveFiles") || name == QLatin1String("DLMessageMoveItems") ||
                 name == QLatin1String("DLMessageRemoveFiles") ||
                 name == QLatin1String("DLMessageRemoveItems"))
            progressItem = 3;
        if (progressItem >= 0) {
            const double figure = message.at(progressItem).CFNumberDouble(0.0);
            if (figure > 0)
                progressValue = figure;
        }

        int code = 0;
        if (!hook->onHandleMsgContinue(backupRoot, udid, message, code, error)) {
            result = code;
            break;
        }

        if (name == QLatin1String("DLMessageDownloadFiles")) {
            sendFilesThrow(client.get(), message);
        } else if (name == QLatin1String("DLMessageUploadFiles")) {
            recvFilesThrow(client.get(), message);
        } else if (name == QLatin1String("DLMessageGetFreeDiskSpace")) {
            const PlistCFType space = PlistCFType::createCFNumberInt64(freeDiskSpace());
            client->sendStatusResponse(0, nullptr, static_cast<plist_t>(space.ref()));
        } else if (name == QLatin1String("DLContentsOfDirectory")) {
            sendDirContentsThrow(client.get(), message);
        } else if (name == QLatin1String("DLMessageCreateDirectory")) {
            const QString path = message.at(1).CFStringQString();
            QString mkdirError;
            int r = QFileDevice::PermissionsError;
            if (const std::optional<BackupPath> place = placeOf(path))
                r = hook->mkdir(*place, mkdirError);
            else
                mkdirError = BackupPathCheck::refusalText();
            if (r == 0) {
                client->sendStatusResponse(0, nullptr, nullptr);
            } else {
                const QByteArray description = mkdirError.toUtf8();
                const PlistCFType empty = PlistCFType::createCFDictionary();
                client->sendStatusResponse(statusOf(r),
                                           description.isEmpty() ? nullptr : description.constData(),
                                           static_cast<plist_t>(empty.ref()));
            }
        } else if (name == QLatin1String("DLMessageMoveFiles") ||
                   name == QLatin1String("DLMessageMoveItems")) {
            moveFilesThrow(client.get(), message);
        } else if (name == QLatin1String("DLMessageRemoveFiles") ||
                   name == QLatin1String("DLMessageRemoveItems")) {
            removeFilesThrow(client.get(), message);
        } else if (name == QLatin1String("DLMessageCopyItem")) {
            copyItemThrow(client.get(), message);
        } else if (name == QLatin1String("DLMessageDisconnect")) {
            // The phone left before its closing report: the backup or restore is not complete.
            result = -10;
            break;
        } else if (name == QLatin1String("DLMessageProcessMessage")) {
            const PlistCFType report = message.at(1);
            result = report.get(QStringLiteral("ErrorCode")).CFNumberInt(0);
            error = report.get(QStringLiteral("ErrorDescription")).CFStringQString();
            if (error.isEmpty())
                error = report.get(QStringLiteral("Content")).CFStringQString();
            if (!missingFileText.isEmpty())
                error += QLatin1Char(' ') + missingFileText;
            if (result != 0 && !unstoredFileText.isEmpty())
                error += QLatin1Char(' ') + unstoredFileText;
            client.reset();
            break;
        } else if (name == QLatin1String("DLMessagePurgeDiskSpace")) {
            error = QStringLiteral("Error: DLMessagePurgeDiskSpace(Insufficient free disk space).");
            result = -36;
            break;
        } else {
            fail(QStringLiteral("Message can not handle: %1").arg(name));
        }
    }
    return result;
}

void backup2tool::sendStatusThrow(MobileBackup2Client *client, int code, const QString &description,
                                  const PlistCFType &dict, const QString &failureText)
{
    const QByteArray text = description.toUtf8();
    const int err = client->sendStatusResponse(code, description.isEmpty() ? nullptr : text.constData(),
                                               static_cast<plist_t>(dict.ref()));
    if (err != 0)
        fail(failureText.arg(err));
}

// ---- file transfers ----

int backup2tool::sendFrame(MobileBackup2Client *client, const QByteArray &body)
{
    if (body.isEmpty())
        return 0;
    const quint32 bigEndianLength = qToBigEndian(quint32(body.size()));
    uint32_t sent = 0;
    int err = client->sendRaw(reinterpret_cast<const char *>(&bigEndianLength), 4, &sent);
    if (err != 0 || sent != 4)
        return err != 0 ? err : -1;
    quint32 done = 0;
    while (done < quint32(body.size())) {
        sent = 0;
        err = client->sendRaw(body.constData() + done, quint32(body.size()) - done, &sent);
        if (err != 0)
            return err;
        done += sent;
    }
    return 0;
}

void backup2tool::sendFilesThrow(MobileBackup2Client *client, PlistCFType msg)
{
    const PlistCFType paths = msg.at(1);
    PlistCFType errors;
    const int count = paths.array_size();
    for (int i = 0; i < count; ++i) {
        if (isCancel())
            return;
        const QString path = paths.at(i).CFStringQString();
        if (path.isEmpty())
            continue;
        emitUpdate(QStringLiteral("Sending %1 to device...").arg(QFileInfo(path).fileName()));
        sendFileThrow(client, path, errors);
    }
    const char terminator[4] = {0, 0, 0, 0};
    uint32_t sent = 0;
    client->sendRaw(terminator, 4, &sent);
    if (!errors.ref()) {
        const PlistCFType empty = PlistCFType::createCFDictionary();
        client->sendStatusResponse(0, nullptr, static_cast<plist_t>(empty.ref()));
    } else {
        client->sendStatusResponse(-13, "Multi status", static_cast<plist_t>(errors.ref()));
    }
}

void backup2tool::sendFileThrow(MobileBackup2Client *client, QString path, PlistCFType &errors)
{
    int err = sendFrame(client, path.toUtf8());
    if (err != 0)
        fail(QString::fromLatin1(attachingText) +
             QStringLiteral("backup2tool::sendFileThrow: send path(%1) failed. return %2.")
                 .arg(path)
                 .arg(err));

    const std::optional<BackupPath> place = placeOf(path);
    const QString local = place ? place->absolute() : QString();
    const QFileInfo info(local);
    if (!place || !info.isFile()) {
        if (place)
            missingFileText = QStringLiteral("%1 not exists.").arg(info.fileName());
        if (!errors.ref())
            errors = PlistCFType::createCFDictionary();
        PlistCFType entry = PlistCFType::createCFDictionary();
        entry.put(QStringLiteral("DLFileErrorString"),
                  PlistCFType::createCFString(QString(QLatin1String(""))));
        entry.put(QStringLiteral("DLFileErrorCode"), PlistCFType::createCFNumberInt32(-6));
        errors.put(path, entry);
        err = sendFrame(client, QByteArray(1, codeMissing));
        if (err != 0)
            fail(QString::fromLatin1(attachingText) +
                 QStringLiteral("backup2tool::sendFileThrow: send error string failed. return %1.").arg(err));
        return;
    }

    if (info.size() > 0) {
        QFile file(local);
        if (!file.open(QIODevice::ReadOnly))
            fail(QStringLiteral("backup2tool::sendFileThrow: can not open %1. %2")
                     .arg(local, file.errorString()));
        QByteArray buffer(sendChunk + 1, Qt::Uninitialized);
        buffer[0] = codeData;
        while (!file.atEnd()) {
            if (isCancel())
                return;
            const qint64 n = file.read(buffer.data() + 1, sendChunk);
            if (n <= 0)
                fail(QStringLiteral("backup2tool::sendFileThrow: can not read %1. %2")
                         .arg(local, file.errorString()));
            err = sendFrame(client, QByteArray::fromRawData(buffer.constData(), int(n) + 1));
            if (err != 0)
                fail(QString::fromLatin1(attachingText) +
                     QStringLiteral("backup2tool::sendFileThrow: send buf failed. return %1.").arg(err));
        }
    }
    err = sendFrame(client, QByteArray(1, codeEnd));
    if (err != 0)
        fail(QString::fromLatin1(attachingText) +
             QStringLiteral("backup2tool::sendFileThrow: send status failed. return %1.").arg(err));
}

QString backup2tool::sizeText(unsigned long long size)
{
    char text[64];
    const double value = double(size);
    if (value >= 1e12)
        std::snprintf(text, sizeof text, "%0.1f TB", value / 1e12);
    else if (value >= 1e9)
        std::snprintf(text, sizeof text, "%0.1f GB", value / 1e9);
    else if (value >= 1e6)
        std::snprintf(text, sizeof text, "%0.1f MB", value / 1e6);
    else if (value >= 1000)
        std::snprintf(text, sizeof text, "%0.1f KB", value / 1000);
    else
        std::snprintf(text, sizeof text, "%d Bytes", int(size));
    return QString::fromLatin1(text);
}

void backup2tool::recvFilesThrow(MobileBackup2Client *client, PlistCFType msg)
{
    RequestOutcome outcome;
    const auto total = static_cast<unsigned long long>(msg.at(3).CFNumberInt64(0));
    emitUpdate(QStringLiteral("Receiving files (size: %1)...").arg(sizeText(total)));
    for (;;) {
        const QString dname = recvFileNameThrow(client);
        if (dname.isEmpty())
            break;
        const QString fname = recvFileNameThrow(client);
        if (fname.isEmpty())
            break;
        const std::optional<BackupPath> place = placeOf(fname);
        if (place)
            hook->recvFileBegin(backupRoot, udid, *place, dname);
        // A file that is not stored is answered in the status; the phone's next files still come.
        QString error;
        const int r = recvFileThrow(client, place, error);
        if (r != 0) {
            qCWarning(lcDeviceBackup) << "a file from the phone was not stored:" << error;
            if (unstoredFileText.isEmpty())
                unstoredFileText = error;
        }
        outcome.add(r, error);
    }
    // A cancel seen while waiting for the next name: the session ends without answering.
    if (isCancel())
        return;
    const PlistCFType empty = PlistCFType::createCFDictionary();
    sendStatusThrow(
        client, outcome.code(), outcome.text(), empty,
        QString::fromLatin1(attachingText) +
            QStringLiteral("backup2tool::recvFilesThrow, Could not send status response, error %1"));
}

backup2tool::ReadEnd backup2tool::readPatiently(MobileBackup2Client *client, char *buffer, quint32 length,
                                                quint32 &received)
{
    received = 0;
    QElapsedTimer sinceLastByte;
    sinceLastByte.start();
    while (received < length) {
        if (isCancel())
            return ReadEnd::Canceled;
        QElapsedTimer call;
        call.start();
        uint32_t n = 0;
        client->receiveRaw(buffer + received, length - received, &n);
        if (n > 0) {
            received += n;
            sinceLastByte.restart();
            continue;
        }
        // A slow phone and a closed connection both bring nothing; only the time tells.
        if (sinceLastByte.elapsed() >= stallTimeout.count())
            return ReadEnd::Stalled;
        if (call.elapsed() < 50)
            QThread::msleep(50);
    }
    return ReadEnd::Complete;
}

QString backup2tool::recvFileNameThrow(MobileBackup2Client *client)
{
    char lengthBytes[4];
    quint32 received = 0;
    const ReadEnd end = readPatiently(client, lengthBytes, 4, received);
    if (end == ReadEnd::Canceled)
        return QString();
    if (end == ReadEnd::Stalled)
        fail(QString::fromLatin1(attachingText) +
             QStringLiteral("backup2tool::recvFileNamesThrow: the device sent nothing."));
    const quint32 length = qFromBigEndian<quint32>(lengthBytes);
    if (length == 0)
        return QString();
    if (length >= 4097)
        fail(QStringLiteral("backup2tool::recvFileNamesThrow: too large filename length (%1)!").arg(length));
    QByteArray name(int(length), Qt::Uninitialized);
    if (!readExact(client, name.data(), length))
        fail(QString::fromLatin1(attachingText) +
             QStringLiteral("backup2tool::recvFileNamesThrow: could not read filename."));
    return QString::fromUtf8(name);
}

int backup2tool::recvFileThrow(MobileBackup2Client *client, const std::optional<BackupPath> &place,
                               QString &error)
{
    // A refused file is read to its end and dropped; its part file is never made.
    const bool allowed = place.has_value();
    std::optional<PartFile> part;
    int r = 0;
    if (allowed) {
        part.emplace(place->absolute());
        r = hook->recvFileOpenWrite(*place, part->file, error);
    }

    const QString lostText =
        QString::fromLatin1(attachingText) + QStringLiteral("backup2tool::recvFileThrow: recv null data.");
    unsigned long long count = 0;
    QByteArray chunk;
    for (;;) {
        char lengthBytes[4];
        if (!readExact(client, lengthBytes, 4))
            fail(lostText);
        const quint32 length = qFromBigEndian<quint32>(lengthBytes);
        char code = 0;
        if (length == 0 || !readExact(client, &code, 1))
            fail(lostText);
        quint32 left = length - 1;

        if (code == codeEnd) {
            chunk.resize(int(qMin(left, receiveChunk)));
            while (left > 0) {
                const quint32 piece = qMin(left, receiveChunk);
                if (!readExact(client, chunk.data(), piece))
                    fail(lostText);
                left -= piece;
            }
            if (allowed)
                hook->recvFileEnd(*place, count);
            break;
        }
        if (code == codeData) {
            chunk.resize(int(qMin(left, receiveChunk)));
            while (left > 0) {
                const quint32 piece = qMin(left, receiveChunk);
                if (!readExact(client, chunk.data(), piece))
                    fail(QString::fromLatin1(attachingText) +
                         QStringLiteral("backup2tool::recvFileThrow: could not read the file data."));
                left -= piece;
                if (part && part->file.isOpen() && r == 0) {
                    if (part->file.write(chunk.constData(), piece) < qint64(piece)) {
                        r = part->file.error() != QFileDevice::NoError ? int(part->file.error())
                                                                       : int(QFileDevice::WriteError);
                        error = part->file.errorString();
                    }
                }
                count += piece;
            }
            continue;
        }
        if (code == codeRemoteError) {
            QByteArray text;
            while (left > 0) {
                const quint32 piece = qMin(left, receiveChunk);
                chunk.resize(int(piece));
                if (!readExact(client, chunk.data(), piece))
                    break;
                if (quint32(text.size()) < remoteErrorLimit)
                    text += chunk.left(int(remoteErrorLimit - quint32(text.size())));
                left -= piece;
            }
            error = QString::fromUtf8(text);
            fail(QStringLiteral(
                     "Please restart your iPhone to try again. backup2tool::recvFileThrow: remote error. %1")
                     .arg(error));
        }
        fail(QStringLiteral("backup2tool::recvFileThrow: invalid code %1.")
                 .arg(int(static_cast<signed char>(code))));
    }

    if (!allowed) {
        error = BackupPathCheck::refusalText();
        return QFileDevice::PermissionsError;
    }
    if (r == 0 && part->file.isOpen() && !part->commit(error))
        r = QFileDevice::RenameError;
    if (r != 0)
        error = QStringLiteral("Write %1 failed. %2").arg(shownPath(*place), error);
    return r;
}

// ---- folder and item requests ----

void backup2tool::sendDirContentsThrow(MobileBackup2Client *client, PlistCFType msg)
{
    const QString path = msg.at(1).CFStringQString();
    if (path.isEmpty())
        fail(QStringLiteral("ERROR: Malformed DLContentsOfDirectory message"));
    PlistCFType listing = PlistCFType::createCFDictionary();
    if (const std::optional<BackupPath> place = placeOf(path)) {
        for (const Backup2ToolHook::DirItem &item : hook->dirContents(*place)) {
            PlistCFType entry = PlistCFType::createCFDictionary();
            entry.put(QStringLiteral("DLFileType"),
                      PlistCFType::createCFString(item.type == 2 ? QStringLiteral("DLFileTypeDirectory")
                                                                 : QStringLiteral("DLFileTypeRegular")));
            entry.put(QStringLiteral("DLFileSize"), PlistCFType::createCFNumberInt64(item.size));
            // The date node takes the wall clock as UTC: hand it the UTC time.
            entry.put(QStringLiteral("DLFileModificationDate"),
                      PlistCFType::createCFDate(item.lastModified.toUTC()));
            listing.put(item.name, entry);
        }
    }
    sendStatusThrow(
        client, 0, QString(), listing,
        QStringLiteral("backup2tool::sendDirContentsThrow, Could not send status response, error %1"));
}

void backup2tool::moveFilesThrow(MobileBackup2Client *client, PlistCFType msg)
{
    QString error;
    int r = 0;
    const PlistCFType moves = msg.at(1);
    for (const PlistCFType &key : moves.dict_keys()) {
        const QString from = key.CFStringQString();
        const QString to = moves.get(key).CFStringQString();
        if (from.isEmpty() || to.isEmpty())
            continue;
        const std::optional<BackupPath> source = placeOf(from, BackupPathCheck::LastComponent::AsLink);
        const std::optional<BackupPath> target = placeOf(to, BackupPathCheck::LastComponent::AsLink);
        if (!source || !target) {
            error = BackupPathCheck::refusalText();
            r = QFileDevice::PermissionsError;
        } else {
            r = hook->moveFile(*source, *target, error);
        }
        if (r != 0)
            break;
    }
    const PlistCFType empty = PlistCFType::createCFDictionary();
    sendStatusThrow(client, statusOf(r), error, empty,
                    QStringLiteral("backup2tool::moveFilesThrow: Could not send status response, error %1."));
}

void backup2tool::removeFilesThrow(MobileBackup2Client *client, PlistCFType msg)
{
    // Every path is tried, whatever became of the ones before.
    RequestOutcome outcome;
    const PlistCFType paths = msg.at(1);
    for (int i = 0; i < paths.array_size(); ++i) {
        const QString path = paths.at(i).CFStringQString();
        if (path.isEmpty())
            continue;
        QString error;
        int r = QFileDevice::PermissionsError;
        if (const std::optional<BackupPath> place = placeOf(path, BackupPathCheck::LastComponent::AsLink))
            r = hook->removeFile(*place, error);
        else
            error = BackupPathCheck::refusalText();
        outcome.add(r, error);
    }
    const PlistCFType empty = PlistCFType::createCFDictionary();
    sendStatusThrow(
        client, outcome.code(), outcome.text(), empty,
        QStringLiteral("backup2tool::removeFilesThrow: Could not send status response, error %1."));
}

void backup2tool::copyItemThrow(MobileBackup2Client *client, PlistCFType msg)
{
    QString error;
    const QString from = msg.at(1).CFStringQString();
    const QString to = msg.at(2).CFStringQString();
    if (from.isEmpty() || to.isEmpty())
        fail(QStringLiteral("backup2tool::copyItemThrow: invalid message."));
    int r = 0;
    const std::optional<BackupPath> source = placeOf(from, BackupPathCheck::LastComponent::AsLink);
    const std::optional<BackupPath> target = placeOf(to, BackupPathCheck::LastComponent::AsLink);
    if (!source || !target) {
        error = BackupPathCheck::refusalText();
        r = QFileDevice::PermissionsError;
    } else {
        r = hook->copyFile(*source, *target, error);
    }
    const PlistCFType empty = PlistCFType::createCFDictionary();
    sendStatusThrow(client, statusOf(r), error, empty,
                    QStringLiteral("backup2tool::copyItemThrow: Could not send status response, error %1."));
}
