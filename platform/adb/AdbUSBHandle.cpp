#include "AdbUSBHandle.h"

#include "AdbError.h"
#include "AdbForwardListener.h"
#include "AdbShellService.h"
#include "AdbSyncService.h"
#include "AdbTransport.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <chrono>

namespace {

// How long a released forward's connections may take to pass on what is still under way.
constexpr std::chrono::milliseconds kForwardDrain{5000};

const QString kNoTransport = QStringLiteral("No ADB transport is available.");
const QString kGone = QStringLiteral("The phone is no longer connected.");

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// The pushed package gets a name the phone's shell reads as one plain word.
QString remotePackagePath(const QString &apkPath)
{
    QString name = QFileInfo(apkPath).fileName();
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QStringLiteral("package"));
    return QStringLiteral("/data/local/tmp/") + name;
}

} // namespace

AdbUSBHandle::AdbUSBHandle(QString deviceId)
    : m_deviceId(std::move(deviceId))
{}

AdbUSBHandle::AdbUSBHandle(std::shared_ptr<AdbTransport> transport)
    : m_deviceId(transport ? transport->serial() : QString())
    , m_transport(std::move(transport))
{}

AdbUSBHandle::~AdbUSBHandle() = default;

QString AdbUSBHandle::deviceId() const
{
    return m_deviceId;
}

bool AdbUSBHandle::isGone() const
{
    return m_transport && m_transport->state() == AdbTransport::State::Offline;
}

bool AdbUSBHandle::waitForAuth2(int ms)
{
    if (m_transport) {
        const int unanswered = m_unansweredOffers.exchange(-1);
        // Only while the phone still waits for a key: once it let us in, another offer would ask its
        // user again for nothing.
        if (unanswered >= 0)
            m_transport->offerKeyAgain(unanswered);
        if (m_transport->waitForOnline(ms))
            return true;
        if (m_transport->state() == AdbTransport::State::Authorizing)
            m_unansweredOffers = m_transport->keyOffers();
        return false;
    }
    // No transport behind this handle: authorisation never comes, but the caller's time-out is kept
    // so that its waiting loop behaves as with a phone that does not answer.
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
    return false;
}

bool AdbUSBHandle::shell(const QString &command, QByteArray *output, QString *error)
{
    if (m_transport)
        return shellStatus(command, output, error, nullptr);
    if (output)
        output->clear();
    setError(error, kNoTransport);
    return false;
}

bool AdbUSBHandle::shellStatus(const QString &command, QByteArray *output, QString *error, int *exitCode)
{
    if (!m_transport) {
        const bool ran = shell(command, output, error);
        if (exitCode)
            *exitCode = ran ? 0 : -1;
        return ran;
    }
    try {
        AdbShellService::Result result = AdbShellService::run(*m_transport, command);
        if (output)
            *output = std::move(result.output);
        if (exitCode)
            *exitCode = result.exitCode;
        return true;
    } catch (const AdbError &e) {
        if (output)
            output->clear();
        if (exitCode)
            *exitCode = -1;
        setError(error, QString::fromUtf8(e.what()));
        return false;
    }
}

bool AdbUSBHandle::install(const QString &apkPath, const QString &options, QString *error)
{
    if (!m_transport) {
        setError(error, kNoTransport);
        return false;
    }
    QFile file(apkPath);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error, QStringLiteral("Cannot read %1: %2").arg(apkPath, file.errorString()));
        return false;
    }
    const QString remote = remotePackagePath(apkPath);
    try {
        const quint32 mtime = quint32(QFileInfo(file).lastModified().toSecsSinceEpoch());
        AdbSyncService::push(*m_transport, file, remote, 0644, mtime);
        QString command = QStringLiteral("pm install ");
        if (!options.isEmpty())
            command += options + QLatin1Char(' ');
        const AdbShellService::Result result =
            AdbShellService::run(*m_transport, command + remote, AdbShellService::kInstallSilenceLimitMs);
        try {
            AdbShellService::run(*m_transport, QStringLiteral("rm -f ") + remote);
        } catch (const AdbError &) {
            // A copy left in the phone's temporary folder does no harm.
        }
        return installSucceeded(result.output, result.exitCode, error);
    } catch (const AdbError &e) {
        setError(error, QString::fromUtf8(e.what()));
        return false;
    }
}

bool AdbUSBHandle::installSucceeded(const QByteArray &output, int exitCode, QString *error)
{
    // The package manager prints "Success" on a line of its own, or "Failure [REASON]" with a zero
    // exit status on older phones, so its words count, not the status alone; a reason that merely
    // mentions success is no success.
    const QString text = QString::fromUtf8(output).trimmed();
    bool success = false;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString word = line.trimmed();
        if (word.startsWith(QLatin1String("Failure"))) {
            setError(error, text);
            return false;
        }
        success = success || word == QLatin1String("Success");
    }
    if (exitCode == 0 && success)
        return true;
    setError(error, text.isEmpty() ? QStringLiteral("pm install ended with status %1.").arg(exitCode) : text);
    return false;
}

quint16 AdbUSBHandle::forward(quint16 localPort, quint16 remotePort, QString *error)
{
    if (!m_transport) {
        setError(error, kNoTransport);
        return 0;
    }
    if (isGone()) {
        setError(error, kGone);
        return 0;
    }
    std::lock_guard lock(m_forwardsMutex);
    // Sessions forward the same port again for each run; the listener that is there serves on.
    if (localPort != 0) {
        const auto it = m_forwards.find(localPort);
        if (it != m_forwards.end()) {
            it->second.listener->setRemotePort(remotePort);
            ++it->second.users;
            return localPort;
        }
    }
    try {
        auto listener = std::make_unique<AdbForwardListener>(m_transport, localPort, remotePort);
        const quint16 port = listener->localPort();
        m_forwards[port] = Forward{std::move(listener), 1};
        return port;
    } catch (const AdbError &e) {
        setError(error, QString::fromUtf8(e.what()));
        return 0;
    }
}

void AdbUSBHandle::removeForward(quint16 localPort)
{
    std::unique_ptr<AdbForwardListener> listener;
    {
        std::lock_guard lock(m_forwardsMutex);
        const auto it = m_forwards.find(localPort);
        if (it == m_forwards.end() || --it->second.users > 0)
            return;
        listener = std::move(it->second.listener);
        m_forwards.erase(it);
    }
    // Outside the lock: other sessions may forward while this one drains.
    listener->close(kForwardDrain);
}
