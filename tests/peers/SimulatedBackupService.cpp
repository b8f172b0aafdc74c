#include "SimulatedBackupService.h"

#include "PeerPlist.h"
#include "SimulatedIPhone.h"

#include <QMutexLocker>
#include <QThread>
#include <QtEndian>

namespace tarnwick::peers {

namespace {

// One connection to the backup service: the handshakes, then the script.
class BackupSession : public PeerService
{
public:
    explicit BackupSession(std::shared_ptr<SimulatedBackupService> service)
        : m_service(std::move(service))
    {}

    void serve(PeerConnection &connection) override
    {
        m_connection = &connection;
        if (!handshake())
            return;
        for (const BackupStep &step : m_service->script()) {
            if (!run(step))
                return;
        }
        // The computer ends with DLMessageDisconnect when it frees its client, then closes.
        while (UniquePlist message = connection.receivePlist()) {
            if (PeerPlist::textAt(message.get(), 0) == QLatin1String("DLMessageDisconnect"))
                m_service->recordHostDisconnect();
        }
    }

private:
    bool send(const QVariantList &message)
    {
        UniquePlist node = PeerPlist::fromVariant(message);
        return m_connection->sendPlist(node.get());
    }

    bool handshake()
    {
        if (!send({QStringLiteral("DLMessageVersionExchange"), m_service->deviceLinkVersion(), 0}))
            return false;
        UniquePlist reply = m_connection->receivePlist();
        if (!reply || PeerPlist::textAt(reply.get(), 1) != QLatin1String("DLVersionsOk"))
            return false;
        if (!send({QStringLiteral("DLMessageDeviceReady")}))
            return false;

        UniquePlist hello = m_connection->receivePlist();
        if (!hello)
            return false;
        const QVariantMap helloBody = PeerPlist::toVariant(PeerPlist::itemAt(hello.get(), 1)).toMap();
        if (helloBody.value(QStringLiteral("MessageName")).toString() != QLatin1String("Hello"))
            return false;
        QVariantMap response;
        response.insert(QStringLiteral("MessageName"), QStringLiteral("Response"));
        response.insert(QStringLiteral("ErrorCode"), 0);
        response.insert(QStringLiteral("ProtocolVersion"), 2.1);
        if (!send({QStringLiteral("DLMessageProcessMessage"), response}))
            return false;

        UniquePlist request = m_connection->receivePlist();
        if (!request)
            return false;
        const QVariantMap body = PeerPlist::toVariant(PeerPlist::itemAt(request.get(), 1)).toMap();
        m_service->recordRequest(body.value(QStringLiteral("MessageName")).toString(), body);
        return true;
    }

    bool receiveStatus(const QString &answered)
    {
        UniquePlist reply = m_connection->receivePlist();
        if (!reply)
            return false;
        if (PeerPlist::textAt(reply.get(), 0) != QLatin1String("DLMessageStatusResponse")) {
            if (PeerPlist::textAt(reply.get(), 0) == QLatin1String("DLMessageDisconnect"))
                m_service->recordHostDisconnect();
            return false;
        }
        BackupStatusResponse status;
        status.message = answered;
        status.code = qint64(PeerPlist::toVariant(PeerPlist::itemAt(reply.get(), 1)).toULongLong());
        status.description = PeerPlist::textAt(reply.get(), 2);
        if (status.description == QLatin1String("___EmptyParameterString___"))
            status.description.clear();
        status.dictionary = PeerPlist::toVariant(PeerPlist::itemAt(reply.get(), 3));
        m_service->recordStatus(status);
        return true;
    }

    // One raw frame, its length written apart from its body as a phone's writes may come.
    bool writeFrame(const QByteArray &body)
    {
        const quint32 length = qToBigEndian(quint32(body.size()));
        return m_connection->writeAll(&length, 2) &&
               m_connection->writeAll(reinterpret_cast<const char *>(&length) + 2, 2) &&
               (body.isEmpty() || m_connection->writeAll(body));
    }

    // A file's data frame: its length and code, then the file's own bytes, in one call and without
    // copying them out of the file first.
    bool writeDataFrame(const char *data, int size)
    {
        char head[5];
        qToBigEndian(quint32(size) + 1, head);
        head[4] = 0x0C;
        return m_connection->writeAll(head, sizeof head, data, std::size_t(size));
    }

    bool readFrame(QByteArray &body)
    {
        quint32 length = 0;
        if (!m_connection->readExact(&length, 4))
            return false;
        body.resize(int(qFromBigEndian(length)));
        return body.isEmpty() || m_connection->readExact(body.data(), std::size_t(body.size()));
    }

    bool run(const BackupStep &step)
    {
        switch (step.kind) {
        case BackupStep::Kind::Message:
            return send(step.message) && receiveStatus(step.message.value(0).toString());
        case BackupStep::Kind::Notice:
            return send(step.message);
        case BackupStep::Kind::RawNotice:
            return writeFrame(step.bytes);
        case BackupStep::Kind::Pause:
            QThread::msleep(ulong(step.pauseMs));
            return true;
        case BackupStep::Kind::Cut:
            m_connection->shutdown();
            return false;
        case BackupStep::Kind::Upload:
            return upload(step);
        case BackupStep::Kind::Download:
            return download(step);
        }
        return false;
    }

    bool upload(const BackupStep &step)
    {
        quint64 total = 0;
        for (const BackupUploadFile &file : step.files)
            total += quint64(file.content.size());
        if (!send({QStringLiteral("DLMessageUploadFiles"), QVariantMap(), 0.5, total}))
            return false;
        int sent = 0;
        for (const BackupUploadFile &file : step.files) {
            if (step.cutAfterFiles >= 0 && sent == step.cutAfterFiles) {
                m_connection->shutdown();
                return false;
            }
            if (!writeFrame(file.deviceName.toUtf8()) || !writeFrame(file.backupPath.toUtf8()))
                return false;
            const int frameSize = qMax(1, file.frameSize);
            for (int offset = 0; offset < file.content.size(); offset += frameSize) {
                if (file.cutAfterBytes >= 0 && offset >= file.cutAfterBytes) {
                    m_connection->shutdown();
                    return false;
                }
                if (!writeDataFrame(file.content.constData() + offset,
                                    qMin(frameSize, int(file.content.size()) - offset)))
                    return false;
            }
            if (file.cutAfterBytes >= 0) {
                m_connection->shutdown();
                return false;
            }
            const QByteArray last = file.remoteError.isEmpty()
                                        ? QByteArray(1, 0x00)
                                        : QByteArray(1, 0x0B) + file.remoteError.toUtf8();
            if (!writeFrame(last))
                return false;
            ++sent;
        }
        if (step.cutAfterFiles >= 0 && sent == step.cutAfterFiles) {
            m_connection->shutdown();
            return false;
        }
        if (step.stallAfterFiles) {
            // Silent until the computer gives up and closes.
            char byte;
            while (m_connection->readExact(&byte, 1)) {
            }
            return false;
        }
        if (!writeFrame(QByteArray()))
            return false;
        return receiveStatus(QStringLiteral("DLMessageUploadFiles"));
    }

    bool download(const BackupStep &step)
    {
        QVariantList paths;
        for (const QVariant &path : step.message)
            paths << path;
        if (!send({QStringLiteral("DLMessageDownloadFiles"), paths, QVariantMap(), 0.25}))
            return false;
        for (;;) {
            QByteArray name;
            if (!readFrame(name))
                return false;
            m_service->recordDownloadFrame(name);
            if (name.isEmpty())
                break;
            QByteArray content;
            bool refused = false;
            for (;;) {
                QByteArray body;
                if (!readFrame(body))
                    return false;
                m_service->recordDownloadFrame(body);
                if (body.isEmpty())
                    return false;
                if (body.at(0) == 0x0C) {
                    content += body.mid(1);
                    continue;
                }
                refused = body.at(0) == 0x06;
                break;
            }
            m_service->recordDownloaded(QString::fromUtf8(name), content, refused);
        }
        return receiveStatus(QStringLiteral("DLMessageDownloadFiles"));
    }

    const std::shared_ptr<SimulatedBackupService> m_service;
    PeerConnection *m_connection = nullptr;
};

} // namespace

BackupStep BackupStep::request(const QVariantList &message)
{
    BackupStep step;
    step.kind = Kind::Message;
    step.message = message;
    return step;
}

BackupStep BackupStep::notice(const QVariantList &message)
{
    BackupStep step;
    step.kind = Kind::Notice;
    step.message = message;
    return step;
}

BackupStep BackupStep::rawNotice(const QByteArray &bytes)
{
    BackupStep step;
    step.kind = Kind::RawNotice;
    step.bytes = bytes;
    return step;
}

BackupStep BackupStep::upload(const QList<BackupUploadFile> &files, int cutAfterFiles)
{
    BackupStep step;
    step.kind = Kind::Upload;
    step.files = files;
    step.cutAfterFiles = cutAfterFiles;
    return step;
}

BackupStep BackupStep::download(const QStringList &paths)
{
    BackupStep step;
    step.kind = Kind::Download;
    for (const QString &path : paths)
        step.message << path;
    return step;
}

BackupStep BackupStep::pause(int ms)
{
    BackupStep step;
    step.kind = Kind::Pause;
    step.pauseMs = ms;
    return step;
}

BackupStep BackupStep::cut()
{
    BackupStep step;
    step.kind = Kind::Cut;
    return step;
}

BackupStep BackupStep::report(int errorCode, const QString &description, const QString &content)
{
    QVariantMap body;
    body.insert(QStringLiteral("MessageName"), QStringLiteral("Response"));
    body.insert(QStringLiteral("ErrorCode"), qlonglong(errorCode));
    if (!description.isNull())
        body.insert(QStringLiteral("ErrorDescription"), description);
    if (!content.isNull())
        body.insert(QStringLiteral("Content"), content);
    return notice({QStringLiteral("DLMessageProcessMessage"), body});
}

void SimulatedBackupService::install(SimulatedIPhone &phone,
                                     const std::shared_ptr<SimulatedBackupService> &service)
{
    phone.registerService(QString::fromLatin1(serviceName), [service]() {
        {
            QMutexLocker lock(&service->m_mutex);
            ++service->m_sessions;
        }
        return std::make_unique<BackupSession>(service);
    });
}

void SimulatedBackupService::setScript(const QList<BackupStep> &steps)
{
    QMutexLocker lock(&m_mutex);
    m_script = steps;
}

QList<BackupStep> SimulatedBackupService::script() const
{
    QMutexLocker lock(&m_mutex);
    return m_script;
}

QString SimulatedBackupService::requestName() const
{
    QMutexLocker lock(&m_mutex);
    return m_requestName;
}

QVariantMap SimulatedBackupService::request() const
{
    QMutexLocker lock(&m_mutex);
    return m_request;
}

QList<BackupStatusResponse> SimulatedBackupService::statusResponses() const
{
    QMutexLocker lock(&m_mutex);
    return m_statuses;
}

QList<QByteArray> SimulatedBackupService::downloadFrames() const
{
    QMutexLocker lock(&m_mutex);
    return m_frames;
}

QMap<QString, QByteArray> SimulatedBackupService::downloadedFiles() const
{
    QMutexLocker lock(&m_mutex);
    return m_downloaded;
}

QStringList SimulatedBackupService::refusedDownloads() const
{
    QMutexLocker lock(&m_mutex);
    return m_refused;
}

bool SimulatedBackupService::sawHostDisconnect() const
{
    QMutexLocker lock(&m_mutex);
    return m_hostDisconnect;
}

int SimulatedBackupService::sessions() const
{
    QMutexLocker lock(&m_mutex);
    return m_sessions;
}

void SimulatedBackupService::recordRequest(const QString &name, const QVariantMap &request)
{
    QMutexLocker lock(&m_mutex);
    m_requestName = name;
    m_request = request;
}

void SimulatedBackupService::recordStatus(const BackupStatusResponse &response)
{
    QMutexLocker lock(&m_mutex);
    m_statuses.append(response);
}

void SimulatedBackupService::recordDownloadFrame(const QByteArray &body)
{
    QMutexLocker lock(&m_mutex);
    m_frames.append(body);
}

void SimulatedBackupService::recordDownloaded(const QString &path, const QByteArray &content, bool refused)
{
    QMutexLocker lock(&m_mutex);
    if (refused)
        m_refused.append(path);
    else
        m_downloaded.insert(path, content);
}

void SimulatedBackupService::recordHostDisconnect()
{
    QMutexLocker lock(&m_mutex);
    m_hostDisconnect = true;
}

} // namespace tarnwick::peers
