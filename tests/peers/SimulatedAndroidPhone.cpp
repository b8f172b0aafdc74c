#include "SimulatedAndroidPhone.h"

#include "platform/adb/AdbTcpChannel.h"
#include "platform/adb/AdbTransport.h"

#include <QMutexLocker>
#include <QRegularExpression>

namespace tarnwick::peers {

const QString SimulatedAndroidPhone::kPackage = QStringLiteral("com.ferrovantis.contactssync");

namespace {

SimulatedAdbd::ShellResult output(const QByteArray &out, int exitCode = 0)
{
    SimulatedAdbd::ShellResult r;
    r.out = out;
    r.exitCode = exitCode;
    return r;
}

} // namespace

SimulatedAndroidPhone::SimulatedAndroidPhone()
    : SimulatedAndroidPhone(Options())
{}

SimulatedAndroidPhone::SimulatedAndroidPhone(Options options)
    : m_installed(options.appInstalled)
    , m_otherPackages(options.otherPackages)
    , m_adbd(options.adbd)
{
    m_adbd.setShellHandler([this](const QString &command) { return answer(command); });
}

SimulatedAndroidPhone::~SimulatedAndroidPhone() = default;

PAdbUSBHandle SimulatedAndroidPhone::connect(std::shared_ptr<const AdbKey> key, int ms) const
{
    auto transport = AdbTransport::start(AdbTcpChannel::connectTo(QStringLiteral("127.0.0.1"), port()),
                                         m_adbd.options().serial, std::move(key));
    PAdbUSBHandle handle(new AdbUSBHandle(std::move(transport)));
    if (!handle->waitForAuth2(ms))
        return {};
    return handle;
}

void SimulatedAndroidPhone::setInstallFailure(const QString &reason)
{
    QMutexLocker lock(&m_mutex);
    m_installFailure = reason;
}

bool SimulatedAndroidPhone::appInstalled() const
{
    QMutexLocker lock(&m_mutex);
    return m_installed;
}

int SimulatedAndroidPhone::installCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_installs;
}

QList<quint16> SimulatedAndroidPhone::sessionPorts() const
{
    QMutexLocker lock(&m_mutex);
    return m_sessionPorts;
}

std::optional<SimulatedAdbd::ShellResult> SimulatedAndroidPhone::answer(const QString &command)
{
    static const QRegularExpression install(QStringLiteral("^pm install (?:-[a-z] )*(\\S+)$"));
    static const QRegularExpression broadcast(QStringLiteral(
        "^am broadcast -n ([^ ]+)/\\.AdbSyncBroadcastReceiver -d sync://(backup|restore):(\\d+)/$"));

    if (command == QLatin1String("pm list packages -3")) {
        QMutexLocker lock(&m_mutex);
        QByteArray out;
        QStringList listed = m_otherPackages;
        if (m_installed)
            listed << kPackage;
        for (const QString &name : std::as_const(listed))
            out += "package:" + name.toUtf8() + '\n';
        return output(out);
    }
    if (const QRegularExpressionMatch m = install.match(command); m.hasMatch()) {
        // The file must have been pushed, as the package manager reads it from the phone.
        const bool pushed = m_adbd.files().contains(m.captured(1));
        QMutexLocker lock(&m_mutex);
        ++m_installs;
        if (!pushed)
            return output("Failure [INSTALL_FAILED_INVALID_URI]\n", 1);
        if (!m_installFailure.isNull())
            return output("Failure [" + m_installFailure.toUtf8() + "]\n", 1);
        m_installed = true;
        return output("Success\n");
    }
    if (command == QStringLiteral("am start -n %1/.ContactsSync").arg(kPackage)) {
        QMutexLocker lock(&m_mutex);
        if (!m_installed)
            return output("Error: Activity class {" + kPackage.toUtf8() +
                          "/.ContactsSync} does not exist.\n");
        m_launched = true;
        return output("Starting: Intent { cmp=" + kPackage.toUtf8() + "/.ContactsSync }\n");
    }
    if (const QRegularExpressionMatch m = broadcast.match(command); m.hasMatch()) {
        const quint16 phonePort = quint16(m.captured(3).toUInt());
        bool receiver;
        {
            QMutexLocker lock(&m_mutex);
            // The receiver exists only once the app is installed and has been started.
            receiver = m_installed && m_launched && m.captured(1) == kPackage && phonePort != 0;
            if (receiver)
                m_sessionPorts << phonePort;
        }
        if (receiver)
            m_adbd.mapPort(phonePort, m_app.listenForSession(m.captured(2) == QLatin1String("backup")
                                                                 ? CompanionApp::Mode::Load
                                                                 : CompanionApp::Mode::Restore));
        return output("Broadcasting: Intent { dat=sync://... }\nBroadcast completed: result=0\n");
    }
    return std::nullopt;
}

} // namespace tarnwick::peers
