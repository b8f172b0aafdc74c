#include "SimulatedUsbmuxd.h"

#include "PeerConnection.h"
#include "PeerPlist.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QThread>
#include <QUuid>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tarnwick::peers {

namespace {

// usbmuxd's packet header, little-endian like the hosts it runs on.
struct Header
{
    quint32 length;
    quint32 version;
    quint32 message;
    quint32 tag;
};
static_assert(sizeof(Header) == 16, "usbmuxd header is 16 bytes");

constexpr quint32 plistMessage = 8;
constexpr quint32 plistVersion = 1;
constexpr quint32 resultOk = 0;
constexpr quint32 resultBadCommand = 1;
constexpr quint32 resultBadDevice = 2;
constexpr quint32 resultConnectionRefused = 3;

} // namespace

struct SimulatedUsbmuxd::Client
{
    explicit Client(int fd)
        : connection(fd)
    {}
    PeerConnection connection;
    bool listening = false;
    quint32 deviceId = 0;
};

SimulatedUsbmuxd::SimulatedUsbmuxd()
    : m_systemBuid(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper())
{
    if (!m_dir.isValid())
        return;
    m_socketPath = m_dir.filePath(QStringLiteral("usbmuxd"));
    const QByteArray path = m_socketPath.toLocal8Bit();
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        return;
    }
    m_listenFd = fd;
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

SimulatedUsbmuxd::~SimulatedUsbmuxd()
{
    m_stopping = true;
    if (m_listenFd >= 0) {
        ::shutdown(m_listenFd, SHUT_RDWR);
        ::close(m_listenFd);
    }
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    {
        QMutexLocker lock(&m_mutex);
        for (Client *client : std::as_const(m_clients))
            client->connection.shutdown();
    }
    // The threads are no longer added to once the accept thread has ended.
    for (std::thread &thread : m_threads)
        thread.join();
}

void SimulatedUsbmuxd::makeCurrent() const
{
    qputenv("USBMUXD_SOCKET_ADDRESS", socketAddress().toLocal8Bit());
}

std::shared_ptr<SimulatedIPhone> SimulatedUsbmuxd::addDevice(const QString &udid,
                                                             SimulatedIPhone::Connection connection)
{
    auto phone = std::make_shared<SimulatedIPhone>(udid, connection);
    attach(phone);
    return phone;
}

void SimulatedUsbmuxd::attach(const std::shared_ptr<SimulatedIPhone> &phone)
{
    QMutexLocker lock(&m_mutex);
    phone->setDeviceId(m_nextDeviceId++);
    m_devices.append(phone);
    UniquePlist event = attachedRecord(*phone);
    broadcast(event.get());
}

void SimulatedUsbmuxd::detach(const QString &udid)
{
    QMutexLocker lock(&m_mutex);
    for (int i = 0; i < m_devices.size(); ++i) {
        if (m_devices.at(i)->udid() != udid)
            continue;
        const quint32 id = m_devices.at(i)->deviceId();
        m_devices.removeAt(i);
        UniquePlist event(plist_new_dict());
        plist_dict_set_item(event.get(), "DeviceID", plist_new_uint(id));
        plist_dict_set_item(event.get(), "MessageType", plist_new_string("Detached"));
        broadcast(event.get());
        // Unplugging cuts whatever was talking to the phone.
        for (Client *client : std::as_const(m_clients)) {
            if (client->deviceId == id)
                client->connection.shutdown();
        }
        return;
    }
}

void SimulatedUsbmuxd::announcePaired(const QString &udid)
{
    QMutexLocker lock(&m_mutex);
    for (const auto &phone : std::as_const(m_devices)) {
        if (phone->udid() != udid)
            continue;
        UniquePlist event(plist_new_dict());
        plist_dict_set_item(event.get(), "DeviceID", plist_new_uint(phone->deviceId()));
        plist_dict_set_item(event.get(), "MessageType", plist_new_string("Paired"));
        broadcast(event.get());
    }
}

std::shared_ptr<SimulatedIPhone> SimulatedUsbmuxd::device(const QString &udid) const
{
    QMutexLocker lock(&m_mutex);
    for (const auto &phone : m_devices) {
        if (phone->udid() == udid)
            return phone;
    }
    return {};
}

QStringList SimulatedUsbmuxd::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

int SimulatedUsbmuxd::listenerCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(
        std::count_if(m_clients.cbegin(), m_clients.cend(), [](const Client *c) { return c->listening; }));
}

bool SimulatedUsbmuxd::waitForListeners(int count, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (listenerCount() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

int SimulatedUsbmuxd::connectionCount() const
{
    QMutexLocker lock(&m_mutex);
    return int(std::count_if(m_clients.cbegin(), m_clients.cend(),
                             [](const Client *c) { return c->deviceId != 0; }));
}

void SimulatedUsbmuxd::acceptLoop()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (m_stopping) {
            if (fd >= 0)
                ::close(fd);
            return;
        }
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        QMutexLocker lock(&m_mutex);
        m_threads.emplace_back([this, fd] { serveClient(fd); });
    }
}

void SimulatedUsbmuxd::serveClient(int fd)
{
    Client client(fd);
    {
        QMutexLocker lock(&m_mutex);
        if (m_stopping)
            return;
        m_clients.insert(&client);
    }
    for (;;) {
        Header header{};
        if (!client.connection.readExact(&header, sizeof header) || header.length < sizeof header)
            break;
        QByteArray payload(int(header.length - sizeof header), Qt::Uninitialized);
        if (!client.connection.readExact(payload.data(), std::size_t(payload.size())))
            break;
        if (header.message != plistMessage) {
            // Only the plist protocol is spoken; the binary one of very old daemons is refused.
            if (!sendResult(client.connection, header.tag, resultBadCommand))
                break;
            continue;
        }
        plist_t raw = nullptr;
        plist_from_xml(payload.constData(), quint32(payload.size()), &raw);
        UniquePlist request(raw);
        const QString type =
            request ? PeerPlist::text(plist_dict_get_item(request.get(), "MessageType")) : QString();
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append(type);
        }
        if (!handle(client, header.tag, type, request.get()))
            break;
    }
    QMutexLocker lock(&m_mutex);
    m_clients.remove(&client);
}

bool SimulatedUsbmuxd::handle(Client &client, quint32 tag, const QString &type, plist_t request)
{
    PeerConnection &connection = client.connection;
    if (type == QLatin1String("ListDevices")) {
        UniquePlist reply(plist_new_dict());
        plist_t list = plist_new_array();
        {
            QMutexLocker lock(&m_mutex);
            for (const auto &phone : std::as_const(m_devices))
                plist_array_append_item(list, attachedRecord(*phone).release());
        }
        plist_dict_set_item(reply.get(), "DeviceList", list);
        return sendReply(connection, tag, reply.get());
    }
    if (type == QLatin1String("Listen")) {
        QMutexLocker lock(&m_mutex);
        if (!sendResult(connection, tag, resultOk))
            return false;
        // Phones already plugged in are announced first, as the real daemon does.
        for (const auto &phone : std::as_const(m_devices)) {
            UniquePlist event = attachedRecord(*phone);
            sendReply(connection, 0, event.get());
        }
        client.listening = true;
        return true;
    }
    if (type == QLatin1String("ReadBUID")) {
        UniquePlist reply(plist_new_dict());
        plist_dict_set_item(reply.get(), "BUID", PeerPlist::string(m_systemBuid));
        return sendReply(connection, tag, reply.get());
    }
    if (type == QLatin1String("ReadPairRecord")) {
        const auto phone = device(PeerPlist::text(plist_dict_get_item(request, "PairRecordID")));
        if (!phone || !phone->isPaired())
            return sendResult(connection, tag, resultBadDevice);
        UniquePlist record = PeerPlist::fromVariant(phone->pairRecord(m_systemBuid));
        char *raw = nullptr;
        uint32_t length = 0;
        plist_to_xml(record.get(), &raw, &length);
        UniqueCString bytes(raw);
        UniquePlist reply(plist_new_dict());
        plist_dict_set_item(reply.get(), "PairRecordData", plist_new_data(bytes.get(), length));
        return sendReply(connection, tag, reply.get());
    }
    if (type == QLatin1String("SavePairRecord") || type == QLatin1String("DeletePairRecord")) {
        return sendResult(connection, tag, resultOk);
    }
    if (type == QLatin1String("Connect")) {
        uint64_t deviceId = 0;
        uint64_t portNumber = 0;
        if (plist_t node = plist_dict_get_item(request, "DeviceID"))
            plist_get_uint_val(node, &deviceId);
        if (plist_t node = plist_dict_get_item(request, "PortNumber"))
            plist_get_uint_val(node, &portNumber);
        // The port travels in network byte order inside the integer.
        const quint16 port = quint16(((portNumber & 0xff) << 8) | ((portNumber >> 8) & 0xff));
        std::shared_ptr<SimulatedIPhone> phone;
        {
            QMutexLocker lock(&m_mutex);
            for (const auto &candidate : std::as_const(m_devices)) {
                if (candidate->deviceId() == deviceId)
                    phone = candidate;
            }
            if (phone)
                client.deviceId = quint32(deviceId);
        }
        if (!phone)
            return sendResult(connection, tag, resultBadDevice);
        if (!phone->acceptsPort(port))
            return sendResult(connection, tag, resultConnectionRefused);
        if (!sendResult(connection, tag, resultOk))
            return false;
        phone->serve(port, connection);
        return false;
    }
    return sendResult(connection, tag, resultBadCommand);
}

bool SimulatedUsbmuxd::sendReply(PeerConnection &connection, quint32 tag, plist_t message)
{
    char *raw = nullptr;
    uint32_t length = 0;
    plist_to_xml(message, &raw, &length);
    UniqueCString xml(raw);
    const Header header{quint32(sizeof(Header)) + length, plistVersion, plistMessage, tag};
    return connection.writeAll(&header, sizeof header) && connection.writeAll(xml.get(), length);
}

bool SimulatedUsbmuxd::sendResult(PeerConnection &connection, quint32 tag, quint32 result)
{
    UniquePlist reply(plist_new_dict());
    plist_dict_set_item(reply.get(), "MessageType", plist_new_string("Result"));
    plist_dict_set_item(reply.get(), "Number", plist_new_uint(result));
    return sendReply(connection, tag, reply.get());
}

UniquePlist SimulatedUsbmuxd::attachedRecord(const SimulatedIPhone &phone) const
{
    QVariantMap properties;
    properties.insert(QStringLiteral("DeviceID"), phone.deviceId());
    properties.insert(QStringLiteral("SerialNumber"), phone.udid());
    if (phone.connection() == SimulatedIPhone::Connection::Usb) {
        properties.insert(QStringLiteral("ConnectionType"), QStringLiteral("USB"));
        properties.insert(QStringLiteral("ConnectionSpeed"), 480000000);
        properties.insert(QStringLiteral("LocationID"), 0);
        properties.insert(QStringLiteral("ProductID"), 0x12a8);
    } else {
        // A sockaddr_in for 127.0.0.1: length, family, port, address.
        const QByteArray address("\x10\x02\xf2\x7e\x7f\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00", 16);
        properties.insert(QStringLiteral("ConnectionType"), QStringLiteral("Network"));
        properties.insert(QStringLiteral("NetworkAddress"), address);
        properties.insert(QStringLiteral("EscapedFullServiceName"),
                          phone.udid() + QStringLiteral("@fe80::1._apple-mobdev2._tcp.local."));
    }
    QVariantMap record;
    record.insert(QStringLiteral("DeviceID"), phone.deviceId());
    record.insert(QStringLiteral("MessageType"), QStringLiteral("Attached"));
    record.insert(QStringLiteral("Properties"), properties);
    return PeerPlist::fromVariant(record);
}

void SimulatedUsbmuxd::broadcast(plist_t event)
{
    // Called with m_mutex held, which also keeps the listeners' writes apart.
    for (Client *client : std::as_const(m_clients)) {
        if (client->listening)
            sendReply(client->connection, 0, event);
    }
}

} // namespace tarnwick::peers
