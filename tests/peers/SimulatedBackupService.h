#pragma once

#include "PeerService.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

namespace tarnwick::peers {

// The backup service "com.apple.mobilebackup2" of the simulated iPhone: DeviceLink version exchange
// (major 400 as modern phones announce), the "Hello" protocol exchange, the computer's request
// ("Backup", "Restore", "EnableCloudBackup") recorded with its options, then a script of device-link
// messages and raw file frames. Status responses, downloaded frames and the request are recorded.
// Shared by the connections of one phone; thread-safe.
//
//     auto backup = std::make_shared<SimulatedBackupService>();
//     SimulatedBackupService::install(*phone, backup);
//     backup->setScript({BackupStep::upload({{"Documents/a.txt", udid + "/ab/abcd...", "hello"}}),
//                        BackupStep::report(0)});
struct BackupUploadFile
{
    BackupUploadFile() = default;
    BackupUploadFile(const QString &deviceName, const QString &backupPath, const QByteArray &content,
                     int frameSize = 32768, const QString &remoteError = QString(), int cutAfterBytes = -1)
        : deviceName(deviceName)
        , backupPath(backupPath)
        , content(content)
        , frameSize(frameSize)
        , remoteError(remoteError)
        , cutAfterBytes(cutAfterBytes)
    {}

    QString deviceName; // the phone's own path, sent first
    QString backupPath; // the path under the backup root, sent second
    QByteArray content;
    int frameSize = 32768;  // payload bytes per data frame
    QString remoteError;    // when set, the file ends with a 0x0B frame carrying this text
    int cutAfterBytes = -1; // when 0 or more, the connection is cut after that many payload bytes
};

struct BackupStep
{
    enum class Kind { Message, Notice, Upload, Download, Pause, Cut, RawNotice };

    Kind kind = Kind::Message;
    QVariantList message;          // Message (answered by a status response) and Notice (not answered)
    QList<BackupUploadFile> files; // Upload
    int cutAfterFiles = -1;        // Upload: cut after this many whole files
    bool stallAfterFiles = false;  // Upload: hold the connection silent after the files instead
    int pauseMs = 0;               // Pause
    QByteArray bytes;              // RawNotice: the message's property list exactly as sent

    static BackupStep request(const QVariantList &message);
    static BackupStep notice(const QVariantList &message);
    // A message given as its bytes, framed and sent as they are, not answered: for property lists
    // that no well-behaved writer makes.
    static BackupStep rawNotice(const QByteArray &bytes);
    static BackupStep upload(const QList<BackupUploadFile> &files, int cutAfterFiles = -1);
    static BackupStep download(const QStringList &paths);
    static BackupStep pause(int ms);
    static BackupStep cut();
    // The closing report ("DLMessageProcessMessage" with ErrorCode and texts).
    static BackupStep report(int errorCode, const QString &description = QString(),
                             const QString &content = QString());
};

struct BackupStatusResponse
{
    QString message; // the device-link message it answered
    qint64 code = 0;
    QString description; // empty for the library's empty-parameter marker
    QVariant dictionary;
};

class SimulatedBackupService
{
public:
    static constexpr const char *serviceName = "com.apple.mobilebackup2";

    void setScript(const QList<BackupStep> &steps);
    void setDeviceLinkVersion(quint64 major) { m_deviceLinkMajor = major; }
    quint64 deviceLinkVersion() const { return m_deviceLinkMajor; }

    // Registers the service on a phone (a new session per connection).
    static void install(class SimulatedIPhone &phone, const std::shared_ptr<SimulatedBackupService> &service);

    QString requestName() const;
    QVariantMap request() const;
    QList<BackupStatusResponse> statusResponses() const;
    // Every raw frame body the computer wrote in answer to downloads, in order (the empty body is the
    // list terminator).
    QList<QByteArray> downloadFrames() const;
    // The files of all downloads reassembled: path -> content; a path answered with 0x06 is absent.
    QMap<QString, QByteArray> downloadedFiles() const;
    QStringList refusedDownloads() const;
    bool sawHostDisconnect() const;
    int sessions() const;

    // Used by the session.
    QList<BackupStep> script() const;
    void recordRequest(const QString &name, const QVariantMap &request);
    void recordStatus(const BackupStatusResponse &response);
    void recordDownloadFrame(const QByteArray &body);
    void recordDownloaded(const QString &path, const QByteArray &content, bool refused);
    void recordHostDisconnect();

private:
    mutable QMutex m_mutex;
    quint64 m_deviceLinkMajor = 400;
    QList<BackupStep> m_script;
    QString m_requestName;
    QVariantMap m_request;
    QList<BackupStatusResponse> m_statuses;
    QList<QByteArray> m_frames;
    QMap<QString, QByteArray> m_downloaded;
    QStringList m_refused;
    bool m_hostDisconnect = false;
    int m_sessions = 0;
};

} // namespace tarnwick::peers
