#include "SimulatedAndroidHandle.h"

#include "CompanionApp.h"

#include <QFile>
#include <QMutexLocker>
#include <QRegularExpression>

namespace tarnwick::peers {

namespace {

const QString kPackage = QStringLiteral("com.ferrovantis.contactssync");

QByteArray packageList(const QStringList &names)
{
    QByteArray out;
    for (const QString &name : names)
        out += "package:" + name.toLatin1() + "\r\n";
    return out;
}

} // namespace

SimulatedAndroidHandle::SimulatedAndroidHandle(CompanionApp *app, QString deviceId)
    : AdbUSBHandle(std::move(deviceId))
    , m_app(app)
{}

SimulatedAndroidHandle::~SimulatedAndroidHandle() = default;

void SimulatedAndroidHandle::record(QStringList &list, const QString &entry)
{
    QMutexLocker lock(&m_mutex);
    list << entry;
}

bool SimulatedAndroidHandle::shell(const QString &command, QByteArray *output, QString *)
{
    record(m_commands, command);
    QByteArray out;
    static const QRegularExpression broadcast(QStringLiteral(
        "^am broadcast -n ([^ ]+)/\\.AdbSyncBroadcastReceiver -d sync://(backup|restore):(\\d+)/$"));
    if (command == QLatin1String("pm list packages -3")) {
        out = packageList(userPackages);
    } else if (command == QLatin1String("pm list packages -s")) {
        out = packageList(systemPackages);
    } else if (command == QLatin1String("pm list packages")) {
        out = packageList(systemPackages + userPackages);
    } else if (command == QStringLiteral("am start -n %1/.ContactsSync").arg(kPackage)) {
        if (userPackages.contains(kPackage)) {
            QMutexLocker lock(&m_mutex);
            m_launched = true;
            out = "Starting: Intent { cmp=" + kPackage.toLatin1() + "/.ContactsSync }\n";
        } else {
            out = "Error: Activity class {" + kPackage.toLatin1() + "/.ContactsSync} does not exist.\n";
        }
    } else if (const QRegularExpressionMatch m = broadcast.match(command); m.hasMatch()) {
        bool launched;
        {
            QMutexLocker lock(&m_mutex);
            launched = m_launched;
        }
        // The receiver only exists once the app has been installed and started.
        if (m_app && launched && m.captured(1) == kPackage)
            m_app->serve(m.captured(2) == QLatin1String("backup") ? CompanionApp::Mode::Load
                                                                  : CompanionApp::Mode::Restore,
                         m.captured(3).toInt());
        out = "Broadcasting: Intent { dat=sync://... }\nBroadcast completed: result=0\n";
    } else if (command == QLatin1String("logcat -d")) {
        out = logText;
    } else if (command.startsWith(QLatin1String("dumpsys package "))) {
        out = packageDump;
    } else if (command == QLatin1String("cat /system/build.prop")) {
        out = buildProp;
    } else {
        out = "/system/bin/sh: " + command.section(QLatin1Char(' '), 0, 0).toLatin1() + ": not found\n";
    }
    if (output)
        *output = out;
    return true;
}

bool SimulatedAndroidHandle::install(const QString &apkPath, const QString &options, QString *error)
{
    QFile file(apkPath);
    Install entry{apkPath, options, {}, file.permissions()};
    if (file.open(QIODevice::ReadOnly))
        entry.bytes = file.readAll();
    {
        QMutexLocker lock(&m_mutex);
        m_installs << entry;
    }
    if (!installFailure.isNull()) {
        if (error)
            *error = installFailure;
        return false;
    }
    if (!userPackages.contains(kPackage))
        userPackages << kPackage;
    return true;
}

quint16 SimulatedAndroidHandle::forward(quint16 localPort, quint16 remotePort, QString *error)
{
    record(m_forwards, QStringLiteral("%1->%2").arg(localPort).arg(remotePort));
    // This double has no relay: the app listens on this machine, so only its own port, forwarded to
    // the same local port, can be reached.
    QString failure = forwardFailure;
    if (failure.isEmpty() && (!m_app || remotePort != m_app->port() || localPort != remotePort))
        failure = QStringLiteral("cannot connect to phone port %1").arg(remotePort);
    if (!failure.isEmpty()) {
        if (error)
            *error = failure;
        return 0;
    }
    return localPort;
}

QStringList SimulatedAndroidHandle::commands() const
{
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

QList<SimulatedAndroidHandle::Install> SimulatedAndroidHandle::installs() const
{
    QMutexLocker lock(&m_mutex);
    return m_installs;
}

QStringList SimulatedAndroidHandle::forwards() const
{
    QMutexLocker lock(&m_mutex);
    return m_forwards;
}

} // namespace tarnwick::peers
