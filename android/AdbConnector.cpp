#include "AdbConnector.h"

#include "Logging.h"
#include "adbhelper.h"

#include "model/DataFolder.h"
#include "platform/adb/AdbForwardServer.h"
#include "platform/adb/AdbInterruption.h"
#include "platform/adb/AdbShell.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <stdexcept>

const QString AdbConnector::kPackage = QStringLiteral("com.ferrovantis.contactssync");
const QString AdbConnector::kPackageResource = QStringLiteral(":res/com.ferrovantis.contactssync.apk");
const QString AdbConnector::kHost = QStringLiteral("127.0.0.1");

namespace {

std::runtime_error installError(const QString &reason)
{
    return std::runtime_error(
        QStringLiteral("Can not install %1. %2").arg(AdbConnector::kPackage, reason).toUtf8().toStdString());
}

} // namespace

AdbConnector::AdbConnector(PAdbUSBHandle handle, Pause pause)
    : handle(std::move(handle))
    , m_pause(pause ? std::move(pause) : Pause([](unsigned long seconds) {
        QElapsedTimer slept;
        slept.start();
        while (slept.elapsed() < qint64(seconds) * 1000) {
            AdbInterruption::throwIfRequested();
            QThread::msleep(AdbInterruption::kSliceMs);
        }
    }))
{}

AdbConnector::~AdbConnector() = default;

void AdbConnector::initialCheck()
{
    if (!handle)
        return;
    // A listing that yields nothing says nothing about the app: installing blind could fail for a
    // reason that has nothing to do with it.
    const QSet<QString> installed = adbhelper::packages(handle, adbhelper::LIST_PACKAGE_USER);
    if (installed.isEmpty() || installed.contains(kPackage))
        return;

    // Each install gets a package file of its own, so two phones installing at once cannot replace
    // or remove each other's copy halfway.
    QFile resource(kPackageResource);
    if (!resource.open(QIODevice::ReadOnly))
        throw installError(QStringLiteral("The package %1 cannot be read: %2")
                               .arg(kPackageResource, resource.errorString()));
    QTemporaryFile copy(g_dataSaveDir().filePath(QFileInfo(kPackageResource).completeBaseName() +
                                                 QStringLiteral("-XXXXXX.apk")));
    const QByteArray bytes = resource.readAll();
    if (!copy.open() || copy.write(bytes) != bytes.size() || !copy.flush())
        throw installError(QStringLiteral("The package cannot be copied to %1: %2")
                               .arg(copy.fileName(), copy.errorString()));
    copy.setPermissions(QFile::ReadUser | QFile::WriteUser);

    QString reason;
    if (!adbInstallLegacy(handle, QFileInfo(copy.fileName()).absoluteFilePath(), QStringLiteral("-r"),
                          &reason))
        throw installError(reason);
    qCInfo(lcAndroid) << "Installed" << kPackage << "on" << handle->deviceId();
    m_pause(kInstallPauseSeconds);
}

QString AdbConnector::startBackup(int port)
{
    return startSession(port, QStringLiteral("sync://backup:%1/").arg(port));
}

QString AdbConnector::startRestore(int port)
{
    return startSession(port, QStringLiteral("sync://restore:%1/").arg(port));
}

QString AdbConnector::startSession(int port, const QString &uri)
{
    if (!handle)
        return kHost;
    if (port < 1 || port > 65535)
        throw std::runtime_error(QStringLiteral("Invalid session port %1.").arg(port).toStdString());
    if (handle->isGone())
        throw failure(QString());

    startCommand(QStringLiteral("am start -n %1/.ContactsSync").arg(kPackage));
    // Without the forward the session would reach whatever else listens on this computer's port.
    QString error;
    if (adbForward(handle, quint16(port), quint16(port), &error) == 0)
        throw failure(QStringLiteral("Can not forward port %1 to the phone. %2").arg(port).arg(error));
    startCommand(QStringLiteral("am broadcast -n %1/.AdbSyncBroadcastReceiver -d %2").arg(kPackage, uri));
    m_pause(kSessionPauseSeconds);
    return kHost;
}

void AdbConnector::startCommand(const QString &command)
{
    bool ran = false;
    QString error;
    int exitCode = -1;
    const QByteArray output = adbShell(handle, command, &ran, &error, &exitCode);
    if (!ran)
        throw failure(QStringLiteral("Can not run \"%1\" on the phone. %2").arg(command, error));
    // "am" reports a missing component on its output, with a zero status on older phones.
    const QString answer = QString::fromUtf8(output).trimmed();
    if (exitCode != 0 || answer.startsWith(QLatin1String("Error")) ||
        answer.contains(QLatin1String("\nError")))
        throw failure(
            QStringLiteral("\"%1\" failed on the phone: %2")
                .arg(command, answer.isEmpty() ? QStringLiteral("status %1").arg(exitCode) : answer));
}

std::runtime_error AdbConnector::failure(const QString &text) const
{
    if (phoneGone())
        return std::runtime_error(
            QCoreApplication::translate("QObject", "IDS_ANDROID_PHONE_DISCONNECTED").toUtf8().toStdString());
    return std::runtime_error(text.toUtf8().toStdString());
}

bool AdbConnector::phoneGone() const
{
    return handle && handle->isGone();
}

void AdbConnector::endSession(int port)
{
    if (handle && port >= 1 && port <= 65535)
        AdbForwardServer::removeForward(handle, quint16(port));
}

QString AdbConnector::logcat()
{
    return handle ? adbhelper::logcatd(handle) : QString();
}

quint16 adbForward(PAdbUSBHandle handle, quint16 localPort, quint16 remotePort, QString *error)
{
    return AdbForwardServer::forward(std::move(handle), localPort, remotePort, error);
}
