#include "AdbEmuPoll.h"

#include "AdbError.h"
#include "AdbTcpChannel.h"
#include "AdbTransport.h"

namespace {

constexpr quint16 kFirstEmulatorPort = 5555;
constexpr int kEmulatorCount = 16;
constexpr int kConnectTimeoutMs = 200;

QString emulatorPath(quint16 port)
{
    return QStringLiteral("tcp:127.0.0.1:%1").arg(port);
}

} // namespace

AdbEmuPoll::AdbEmuPoll(int interval, QObject *parent)
    : AbsAdbPoll(interval, parent)
{
    qRegisterMetaType<PAdbUSBHandle>("PAdbUSBHandle");
    for (int i = 0; i < kEmulatorCount; ++i)
        m_ports.append(quint16(kFirstEmulatorPort + 2 * i));
}

AdbEmuPoll::~AdbEmuPoll()
{
    stop();
    for (const PAdbUSBHandle &handle : std::as_const(m_devices)) {
        if (auto transport = handle->transport())
            transport->close();
    }
}

void AdbEmuPoll::setPorts(const QList<quint16> &ports)
{
    m_ports = ports;
}

void AdbEmuPoll::poll()
{
    for (const quint16 port : std::as_const(m_ports)) {
        const auto known = m_devices.constFind(port);
        if (known != m_devices.constEnd()) {
            const auto transport = known.value()->transport();
            if (transport->state() != AdbTransport::State::Offline)
                continue;
            const PAdbUSBHandle handle = known.value();
            m_devices.remove(port);
            emit kickDevice(emulatorPath(port), handle);
            continue;
        }
        try {
            // Emulators are named after their console port, one below the daemon's.
            auto channel = AdbTcpChannel::connectTo(QStringLiteral("127.0.0.1"), port, kConnectTimeoutMs);
            auto transport = AdbTransport::start(std::move(channel), QStringLiteral("emulator-%1").arg(port - 1));
            const PAdbUSBHandle handle(new AdbUSBHandle(std::move(transport)));
            m_devices.insert(port, handle);
            emit newDevice(emulatorPath(port), handle);
        } catch (const AdbError &) {
            // Nothing listens there: no emulator.
        }
    }
}
