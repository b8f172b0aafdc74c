#pragma once

#include "Backup2ToolHook.h"
#include "BackupPathCheck.h"
#include "ios/PlistCFType.h"
#include "platform/idevice/MobileBackup2Client.h"

#include <QDir>
#include <QMutex>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <chrono>
#include <optional>

enum backup2tool_op { OP_BACKUP = 0, OP_RESTORE = 1 };

// One backup or restore request.
struct _backup2tool_req
{
    explicit _backup2tool_req(backup2tool_op op)
        : op(op)
    {}

    backup2tool_op op;
    bool sparseRestoreOptions = false;
    bool restoreSystemFiles = true;
    bool restoreShouldReboot = true;
    bool restoreDontCopyBackup = true;
    bool restorePreserveSettings = true;
    bool removeItemsNotRestored = false;
    QString password;
};

// Drives the backup service ("com.apple.mobilebackup2") of one iPhone for one backup root folder:
// one runThrow() is one session that connects, asks for a backup or a restore and serves the phone's
// device-link messages until the phone reports the end, fails, or the owner cancels. Every file
// action goes through the hook; paths from the phone that lead outside the root are refused first.
// runThrow() blocks its thread; cancel() may come from any thread.
class backup2tool : public QObject
{
    Q_OBJECT
public:
    backup2tool(QString udid, QDir backupRoot, QSharedPointer<Backup2ToolHook> hook,
                QObject *parent = nullptr);
    ~backup2tool() override;

    // Returns on success, cancel, or a hook that stopped the session with code 0; throws
    // std::runtime_error with a rich text for the user otherwise.
    void runThrow(_backup2tool_req req);
    // The session: its result code (0 for success or cancel) with the phone's error text in `error`;
    // connection and protocol failures are thrown.
    int innerRunThrow(_backup2tool_req req, QString &error);
    // The session over a client already connected to the phone's backup service, from the protocol
    // version exchange to the end, with the results of innerRunThrow. Tests and fuzzing drive it
    // over a scripted connection.
    int serveThrow(std::unique_ptr<MobileBackup2Client> client, _backup2tool_req req, QString &error);

    bool isCancel();
    void setCancel();

    const QString &status1() const { return status1Text; }
    const QString &status2() const { return status2Text; }
    double progress() const { return progressValue; }

    // How long a transfer waits for the phone's next byte before it counts the connection as lost.
    void setStallTimeout(std::chrono::milliseconds timeout) { stallTimeout = timeout; }

    // Answers to the phone's messages; each sends its own status response and throws on failure.
    void sendFilesThrow(MobileBackup2Client *client, PlistCFType msg);
    void sendFileThrow(MobileBackup2Client *client, QString path, PlistCFType &errors);
    void recvFilesThrow(MobileBackup2Client *client, PlistCFType msg);
    QString recvFileNameThrow(MobileBackup2Client *client);
    // Reads one file to its end frame; 0 when it was stored (or dropped by the hook), otherwise the
    // file-error code with its text in `error`, which names no place outside the backup folder.
    // Throws only when the connection fails or the phone reports its own error.
    int recvFileThrow(MobileBackup2Client *client, const std::optional<BackupPath> &place, QString &error);
    void sendDirContentsThrow(MobileBackup2Client *client, PlistCFType msg);
    void moveFilesThrow(MobileBackup2Client *client, PlistCFType msg);
    void removeFilesThrow(MobileBackup2Client *client, PlistCFType msg);
    void copyItemThrow(MobileBackup2Client *client, PlistCFType msg);

    // The byte-count text of an upload ("1.5 KB", "999 Bytes").
    static QString sizeText(unsigned long long size);

public slots:
    void cancel();

signals:
    void update(double pg, QString status1, QString status2);

private:
    enum class ReadEnd { Complete, Canceled, Stalled };

    void emitUpdate(const QString &status2);
    // Writes one raw frame (length, then body); 0 or the library's code.
    int sendFrame(MobileBackup2Client *client, const QByteArray &body);
    // Reads up to `length` bytes, retrying empty reads until the phone stalls for stallTimeout or
    // the owner cancels.
    ReadEnd readPatiently(MobileBackup2Client *client, char *buffer, quint32 length, quint32 &received);
    // The place the phone's `path` names under the root, or nothing (logged) when it is refused.
    std::optional<BackupPath>
    placeOf(const QString &path,
            BackupPathCheck::LastComponent last = BackupPathCheck::LastComponent::NoLink) const;
    void sendStatusThrow(MobileBackup2Client *client, int code, const QString &description,
                         const PlistCFType &dict, const QString &failureText);
    // The free space of the disk that holds the backup root.
    long long freeDiskSpace() const;

    QMutex cancelMutex;
    QString udid;
    QDir backupRoot;
    QDir deviceDir;
    QSharedPointer<Backup2ToolHook> hook;
    QString status1Text;
    QString status2Text;
    double progressValue = 0;
    bool canceled = false;
    QString missingFileText;
    // The first file of this session the phone sent that was not stored: the phone was told, and a
    // failed closing report names it for the user.
    QString unstoredFileText;
    std::chrono::milliseconds stallTimeout{30000};
};
