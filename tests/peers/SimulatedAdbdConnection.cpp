#include "SimulatedAdbdConnection.h"

#include "LoopbackSockets.h"
#include "SimulatedAdbd.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <utility>
#include <vector>

namespace tarnwick::peers {

namespace {

constexpr quint32 A_SYNC = 0x434e5953;
constexpr quint32 A_CNXN = 0x4e584e43;
constexpr quint32 A_AUTH = 0x48545541;
constexpr quint32 A_OPEN = 0x4e45504f;
constexpr quint32 A_OKAY = 0x59414b4f;
constexpr quint32 A_CLSE = 0x45534c43;
constexpr quint32 A_WRTE = 0x45545257;
constexpr quint32 kSkipChecksumVersion = 0x01000001;
constexpr int kMaxSyncData = 64 * 1024;
constexpr qsizetype kOutboxLimit = 4 * 1024 * 1024;

quint32 byteSum(const QByteArray &data)
{
    quint32 sum = 0;
    for (char c : data)
        sum += quint8(c);
    return sum;
}

QByteArray word(quint32 value)
{
    QByteArray out(4, '\0');
    qToLittleEndian(value, out.data());
    return out;
}

QByteArray syncPacket(const char *id, const QByteArray &data)
{
    return QByteArray(id, 4) + word(quint32(data.size())) + data;
}

} // namespace

struct SimulatedAdbdConnection::Stream
{
    enum class Kind { Shell, Sync, Tcp };

    quint32 id = 0;
    quint32 hostId = 0;
    Kind kind = Kind::Shell;
    std::mutex mutex;
    std::condition_variable changed;
    bool hostReady = true;
    bool closed = false;
    // Delayed acknowledgement: what the host still accepts from us, and what we still accept.
    qint64 sendWindow = 0;
    qint64 receiveWindow = 0;
    // "sync:"
    QByteArray syncBuffer;
    QString pushPath;
    int pushMode = 0;
    std::vector<QByteArray> pushData;
    qint64 pushSize = 0;
    bool sawData = false;
    // "tcp:": what the host sent waits here for the writer thread; the host is acknowledged at
    // once while little waits, as adbd does with its socket buffers.
    std::unique_ptr<PeerConnection> socket;
    std::deque<QByteArray> outbox;
    qsizetype outboxBytes = 0;
    bool writing = false; // the writer thread holds bytes taken from the outbox
    bool ackOwed = false;
};

SimulatedAdbdConnection::SimulatedAdbdConnection(SimulatedAdbd &daemon, int fd)
    : m_daemon(daemon)
    , m_connection(fd)
{}

SimulatedAdbdConnection::~SimulatedAdbdConnection()
{
    drop();
    for (std::thread &t : m_workers)
        t.join();
    for (int fd : m_pipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void SimulatedAdbdConnection::drop()
{
    m_dropped = true;
    m_connection.shutdown();
    std::lock_guard lock(m_mutex);
    for (auto &[id, stream] : m_streams) {
        std::lock_guard streamLock(stream->mutex);
        stream->closed = true;
        if (stream->socket)
            stream->socket->shutdown();
        stream->changed.notify_all();
    }
}

void SimulatedAdbdConnection::spawn(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    m_workers.emplace_back(std::move(work));
}

quint32 SimulatedAdbdConnection::agreedMax() const
{
    return qMin<quint32>(m_hostMax, m_daemon.options().maxPayload);
}

bool SimulatedAdbdConnection::receive(Message &message)
{
    char header[24];
    if (!m_connection.readExact(header, sizeof header))
        return false;
    message.command = qFromLittleEndian<quint32>(header);
    message.arg0 = qFromLittleEndian<quint32>(header + 4);
    message.arg1 = qFromLittleEndian<quint32>(header + 8);
    const quint32 length = qFromLittleEndian<quint32>(header + 12);
    const quint32 sum = qFromLittleEndian<quint32>(header + 16);
    const quint32 magic = qFromLittleEndian<quint32>(header + 20);
    // A real daemon drops a host that breaks the framing.
    if (magic != (message.command ^ 0xffffffffu) ||
        length > qMax<quint32>(m_daemon.options().maxPayload, 4096))
        return false;
    if (message.command == A_WRTE && m_daemon.options().spliceForwards) {
        bool broken = false;
        if (spliceToApp(message.arg1, length, broken)) {
            message.command = 0; // done with
            return true;
        }
        if (broken)
            return false;
    }
    // The last payload's buffer is reused unless a service still holds it; then one that a service
    // gave back is taken, or a new one, rather than copying the old bytes over. Fresh megabytes for
    // every message would cost more in page faults than the copying of the data itself.
    if (!message.payload.isDetached())
        message.payload = takeBuffer();
    message.payload.resize(qsizetype(length));
    if (length > 0 && !m_connection.readExact(message.payload.data(), length))
        return false;
    if (m_daemon.options().version < kSkipChecksumVersion && byteSum(message.payload) != sum)
        return false;
    return true;
}

bool SimulatedAdbdConnection::send(quint32 command, quint32 arg0, quint32 arg1, const QByteArray &payload,
                                   bool corruptSum)
{
    char header[24];
    qToLittleEndian(command, header);
    qToLittleEndian(arg0, header + 4);
    qToLittleEndian(arg1, header + 8);
    qToLittleEndian(quint32(payload.size()), header + 12);
    qToLittleEndian(byteSum(payload) + (corruptSum ? 1u : 0u), header + 16);
    qToLittleEndian(command ^ 0xffffffffu, header + 20);
    // Header and payload leave in one call, without copying the payload.
    iovec parts[2] = {{header, sizeof header},
                      {const_cast<char *>(payload.constData()), size_t(payload.size())}};
    int first = 0;
    std::lock_guard lock(m_writeMutex);
    while (first < 2) {
        msghdr msg{};
        msg.msg_iov = parts + first;
        msg.msg_iovlen = size_t(2 - first);
        const ssize_t n = ::sendmsg(m_connection.fd(), &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        size_t left = size_t(n);
        while (first < 2 && left >= parts[first].iov_len) {
            left -= parts[first].iov_len;
            ++first;
        }
        if (first < 2) {
            parts[first].iov_base = static_cast<char *>(parts[first].iov_base) + left;
            parts[first].iov_len -= left;
        }
    }
    return true;
}

bool SimulatedAdbdConnection::spliceToApp(quint32 streamId, quint32 length, bool &broken)
{
    constexpr quint32 kWorthIt = 64 * 1024;
    if (!m_delayedAck || length < kWorthIt)
        return false;
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_streams.find(streamId);
        if (it == m_streams.end() || it->second->kind != Stream::Kind::Tcp)
            return false;
        stream = it->second;
    }
    {
        // Only the reader thread queues, so an empty outbox stays empty while this runs.
        std::lock_guard lock(stream->mutex);
        if (!stream->outbox.empty() || stream->writing || stream->closed ||
            stream->receiveWindow < qint64(length))
            return false;
        stream->receiveWindow -= length;
    }
    if (m_pipe[0] < 0) {
        if (::pipe2(m_pipe, O_CLOEXEC) != 0)
            return broken = true, false;
        ::fcntl(m_pipe[1], F_SETPIPE_SZ, int(qMax<quint32>(m_daemon.options().maxPayload, 65536)));
    }
    bool appGone = false;
    for (quint32 left = length; left > 0;) {
        const ssize_t in = ::splice(m_connection.fd(), nullptr, m_pipe[1], nullptr, left, SPLICE_F_MOVE);
        if (in < 0 && errno == EINTR)
            continue;
        if (in <= 0)
            return broken = true, false;
        left -= quint32(in);
        for (ssize_t out = 0; out < in;) {
            ssize_t n = -1;
            if (!appGone) {
                n = ::splice(m_pipe[0], nullptr, stream->socket->fd(), nullptr, size_t(in - out),
                             SPLICE_F_MOVE);
                if (n < 0 && errno == EINTR)
                    continue;
            }
            if (n <= 0) {
                // The app hung up: the rest of the message is read and dropped, the stream ends.
                appGone = true;
                char scrap[4096];
                n = ::read(m_pipe[0], scrap, size_t(qMin<ssize_t>(in - out, ssize_t(sizeof scrap))));
                if (n <= 0)
                    return broken = true, false;
            }
            out += n;
        }
    }
    if (appGone) {
        stream->socket->shutdown();
        close(stream);
        return true;
    }
    acknowledge(*stream, qsizetype(length));
    return true;
}

QByteArray SimulatedAdbdConnection::takeBuffer()
{
    std::lock_guard lock(m_poolMutex);
    if (m_pool.empty())
        return {};
    QByteArray buffer = std::move(m_pool.back());
    m_pool.pop_back();
    return buffer;
}

void SimulatedAdbdConnection::recycle(QByteArray buffer)
{
    constexpr std::size_t kPoolSize = 16;
    if (!buffer.isDetached())
        return;
    std::lock_guard lock(m_poolMutex);
    if (m_pool.size() < kPoolSize)
        m_pool.push_back(std::move(buffer));
}

void SimulatedAdbdConnection::acknowledge(Stream &stream, qsizetype size)
{
    if (!m_delayedAck) {
        send(A_OKAY, stream.id, stream.hostId);
        return;
    }
    {
        std::lock_guard lock(stream.mutex);
        stream.receiveWindow += size;
    }
    send(A_OKAY, stream.id, stream.hostId, word(quint32(size)));
}

void SimulatedAdbdConnection::sendConnect()
{
    const SimulatedAdbd::Options &o = m_daemon.options();
    QByteArray banner =
        "device::ro.product.name=simulated;ro.product.model=Simulated 5;ro.product.device=sim;";
    banner += "features=cmd";
    if (o.shellV2)
        banner += ",shell_v2";
    if (o.delayedAck)
        banner += ",delayed_ack";
    m_online = true;
    send(A_CNXN, o.version, o.maxPayload, banner);
}

void SimulatedAdbdConnection::sendToken()
{
    m_token.resize(20);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(m_token.data()), 5);
    send(A_AUTH, 1, 0, m_token);
}

void SimulatedAdbdConnection::serve()
{
    Message message;
    while (!m_dropped && receive(message)) {
        switch (message.command) {
        case A_CNXN: {
            m_hostMax = message.arg1;
            // Windows are used only where both sides offer them.
            QByteArray banner = message.payload;
            if (banner.endsWith('\0'))
                banner.chop(1);
            const int props = banner.indexOf("::");
            bool hostOffers = false;
            for (const QByteArray &prop : banner.mid(props < 0 ? 0 : props + 2).split(';')) {
                if (prop.startsWith("features="))
                    hostOffers = prop.mid(9).split(',').contains("delayed_ack");
            }
            m_delayedAck = hostOffers && m_daemon.options().delayedAck;
            if (m_daemon.options().requireAuth)
                sendToken();
            else
                sendConnect();
            break;
        }
        case A_AUTH:
            if (message.arg0 == 2) {
                if (!m_token.isEmpty() && m_daemon.trustedKeyFor(m_token, message.payload))
                    sendConnect();
                else
                    sendToken();
            } else if (message.arg0 == 3) {
                const int generation = m_daemon.keyOffered(message.payload);
                const auto key = SimulatedAdbdKey::fromPublicKeyLine(message.payload);
                const SimulatedAdbd::Options &o = m_daemon.options();
                if (!key || o.prompt == SimulatedAdbd::Prompt::Refuse) {
                    drop();
                } else if (o.prompt == SimulatedAdbd::Prompt::Accept) {
                    // The user taps "Allow" a little later; the phone then greets the host.
                    spawn([this, key, delay = o.promptDelayMs] {
                        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                        if (m_dropped)
                            return;
                        m_daemon.trust(key);
                        sendConnect();
                    });
                } else if (o.prompt == SimulatedAdbd::Prompt::Ask) {
                    // The prompt stays up until the test plays the user's answer.
                    spawn([this, key, generation] {
                        std::optional<bool> allow;
                        while (!m_dropped) {
                            // A dismissed prompt takes no answer given after it went away.
                            const SimulatedAdbd::PromptState state = m_daemon.promptState(generation);
                            if (state.dismissed) {
                                if (state.tokenAfterDismiss)
                                    sendToken();
                                return;
                            }
                            if ((allow = state.answer))
                                break;
                            std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        }
                        if (m_dropped)
                            return;
                        if (*allow) {
                            m_daemon.trust(key);
                            sendConnect();
                        }
                    });
                }
            }
            break;
        case A_OPEN:
            if (m_online && message.arg0 != 0) {
                // Without delayed acknowledgement the second argument must be 0.
                if (!m_delayedAck && message.arg1 != 0) {
                    send(A_CLSE, 0, message.arg0);
                    break;
                }
                QByteArray service = message.payload;
                if (service.endsWith('\0'))
                    service.chop(1);
                open(message.arg0, message.arg1, service);
            }
            break;
        case A_OKAY:
        case A_WRTE:
        case A_CLSE: {
            std::shared_ptr<Stream> stream;
            {
                std::lock_guard lock(m_mutex);
                const auto it = m_streams.find(message.arg1);
                if (it != m_streams.end())
                    stream = it->second;
            }
            if (!stream)
                break;
            if (message.command == A_OKAY) {
                // Under delayed acknowledgement every OKAY carries the bytes the host took.
                if (m_delayedAck && message.payload.size() != 4)
                    return drop();
                std::lock_guard lock(stream->mutex);
                if (m_delayedAck)
                    stream->sendWindow += qFromLittleEndian<quint32>(message.payload.constData());
                else
                    stream->hostReady = true;
                stream->changed.notify_all();
            } else if (message.command == A_CLSE) {
                {
                    // A "tcp:" socket is shut by its writer once what the host sent before has
                    // reached the app.
                    std::lock_guard lock(stream->mutex);
                    stream->closed = true;
                    stream->changed.notify_all();
                }
                std::lock_guard lock(m_mutex);
                m_streams.erase(stream->id);
            } else {
                if (m_delayedAck) {
                    // A host that sends beyond its window breaks the protocol.
                    std::lock_guard lock(stream->mutex);
                    stream->receiveWindow -= message.payload.size();
                    if (stream->receiveWindow < 0) {
                        qWarning("simulated adbd: the host overran the window of stream %u", stream->id);
                        return drop();
                    }
                }
                if (stream->kind == Stream::Kind::Tcp && m_delayedAck) {
                    const qsizetype sent = passToApp(*stream, message.payload);
                    if (sent > 0)
                        acknowledge(*stream, sent);
                    break;
                }
                if (stream->kind == Stream::Kind::Tcp) {
                    bool ackNow = false;
                    {
                        std::lock_guard lock(stream->mutex);
                        stream->outbox.push_back(message.payload);
                        stream->outboxBytes += message.payload.size();
                        // With windows the writer tells the host what reached the app.
                        ackNow = !m_delayedAck && stream->outboxBytes < kOutboxLimit;
                        stream->ackOwed = !m_delayedAck && !ackNow;
                        stream->changed.notify_all();
                    }
                    if (ackNow)
                        send(A_OKAY, stream->id, stream->hostId);
                    break;
                }
                acknowledge(*stream, message.payload.size());
                if (stream->kind == Stream::Kind::Sync)
                    syncReceived(stream, message.payload);
            }
            break;
        }
        case A_SYNC:
        default:
            break;
        }
    }
    drop();
}

void SimulatedAdbdConnection::open(quint32 hostId, quint32 hostWindow, const QByteArray &service)
{
    auto stream = std::make_shared<Stream>();
    stream->hostId = hostId;
    stream->sendWindow = hostWindow;
    stream->receiveWindow = m_daemon.options().receiveWindow;
    bool v2 = false;
    QString command;
    if (service.startsWith("shell,v2,raw:") && m_daemon.options().shellV2) {
        v2 = true;
        command = QString::fromUtf8(service.mid(13));
    } else if (service.startsWith("shell:")) {
        command = QString::fromUtf8(service.mid(6));
    } else if (service == "sync:") {
        stream->kind = Stream::Kind::Sync;
    } else if (service.startsWith("tcp:")) {
        bool ok = false;
        const quint16 port = quint16(service.mid(4).toUInt(&ok));
        const int fd = ok ? connectLoopback(m_daemon.mappedPort(port)) : -1;
        if (fd < 0) {
            send(A_CLSE, 0, hostId);
            return;
        }
        stream->kind = Stream::Kind::Tcp;
        stream->socket = std::make_unique<PeerConnection>(fd);
    } else {
        send(A_CLSE, 0, hostId);
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        stream->id = m_nextId++;
        m_streams[stream->id] = stream;
    }
    const bool withWindow = m_delayedAck && m_daemon.takeFault(SimulatedAdbd::Fault::OkayWithoutWindow) !=
                                                SimulatedAdbd::Fault::OkayWithoutWindow;
    const bool negative = withWindow && m_daemon.takeFault(SimulatedAdbd::Fault::NegativeWindow) ==
                                            SimulatedAdbd::Fault::NegativeWindow;
    const bool pastGrant = withWindow && m_daemon.takeFault(SimulatedAdbd::Fault::WindowPastGrant) ==
                                             SimulatedAdbd::Fault::WindowPastGrant;
    const quint32 window = negative ? quint32(-1) : m_daemon.options().receiveWindow;
    send(A_OKAY, stream->id, hostId, withWindow ? word(window) : QByteArray());
    if (pastGrant)
        send(A_OKAY, stream->id, hostId, word(m_daemon.options().receiveWindow));
    if (stream->kind == Stream::Kind::Shell)
        spawn([this, stream, command, v2] { runShell(stream, command, v2); });
    else if (stream->kind == Stream::Kind::Tcp) {
        spawn([this, stream] { pumpTcp(stream); });
        spawn([this, stream] { drainTcp(stream); });
    }
}

bool SimulatedAdbdConnection::write(Stream &stream, const QByteArray &data)
{
    const SimulatedAdbd::Fault fault = m_daemon.takeFault(SimulatedAdbd::Fault::BadChecksum);
    const qsizetype chunk = qsizetype(agreedMax());
    for (qsizetype offset = 0; offset < data.size(); offset += chunk) {
        {
            std::unique_lock lock(stream.mutex);
            // Like adbd, a full message goes while any window is left: hosts must take the overshoot.
            stream.changed.wait(lock, [&] {
                return (m_delayedAck ? stream.sendWindow > 0 : stream.hostReady) || stream.closed ||
                       m_dropped;
            });
            if (stream.closed || m_dropped)
                return false;
            stream.hostReady = false;
            stream.sendWindow -= qMin(chunk, data.size() - offset);
        }
        const QByteArray part =
            offset == 0 && chunk >= data.size()
                ? data
                : QByteArray::fromRawData(data.constData() + offset, qMin(chunk, data.size() - offset));
        if (!send(A_WRTE, stream.id, stream.hostId, part, fault == SimulatedAdbd::Fault::BadChecksum))
            return false;
    }
    return true;
}

void SimulatedAdbdConnection::close(const std::shared_ptr<Stream> &stream)
{
    {
        std::lock_guard lock(stream->mutex);
        if (stream->closed)
            return;
        stream->closed = true;
        stream->changed.notify_all();
    }
    send(A_CLSE, stream->id, stream->hostId);
    std::lock_guard lock(m_mutex);
    m_streams.erase(stream->id);
}

void SimulatedAdbdConnection::runShell(std::shared_ptr<Stream> stream, QString command, bool v2)
{
    const SimulatedAdbd::ShellResult result = m_daemon.runShell(command);
    if (m_daemon.takeFault(SimulatedAdbd::Fault::TruncatedMessage) ==
        SimulatedAdbd::Fault::TruncatedMessage) {
        // A header that promises 64 bytes, half of them, and the cable is gone.
        QByteArray header(24, '\0');
        qToLittleEndian(A_WRTE, header.data());
        qToLittleEndian(stream->id, header.data() + 4);
        qToLittleEndian(stream->hostId, header.data() + 8);
        qToLittleEndian(quint32(64), header.data() + 12);
        qToLittleEndian(A_WRTE ^ 0xffffffffu, header.data() + 20);
        {
            std::lock_guard lock(m_writeMutex);
            m_connection.writeAll(header + QByteArray(32, 'x'));
        }
        drop();
        return;
    }
    if (m_daemon.takeFault(SimulatedAdbd::Fault::OversizedPayload) ==
        SimulatedAdbd::Fault::OversizedPayload) {
        send(A_WRTE, stream->id, stream->hostId, QByteArray(int(agreedMax()) + 1, 'o'));
        return;
    }
    QByteArray out;
    if (v2) {
        auto packet = [](quint8 id, const QByteArray &data) {
            return QByteArray(1, char(id)) + word(quint32(data.size())) + data;
        };
        // The daemon reads the command's output through a buffer of its own, so long output comes
        // in several packets.
        constexpr int kPacketData = 32 * 1024;
        for (int i = 0; i < result.out.size(); i += kPacketData)
            out += packet(1, result.out.mid(i, kPacketData));
        for (int i = 0; i < result.err.size(); i += kPacketData)
            out += packet(2, result.err.mid(i, kPacketData));
        out += packet(3, QByteArray(1, char(quint8(result.exitCode))));
    } else {
        // The raw shell runs on a terminal: both streams arrive mixed, and the status is lost.
        out = result.out + result.err;
    }
    if (write(*stream, out))
        close(stream);
}

void SimulatedAdbdConnection::pumpTcp(std::shared_ptr<Stream> stream)
{
    QByteArray buffer(int(agreedMax()), '\0');
    for (;;) {
        const ssize_t n = ::recv(stream->socket->fd(), buffer.data(), size_t(buffer.size()), 0);
        if (n <= 0)
            break;
        // The message borrows the buffer; it is written before the next recv fills it again.
        if (!write(*stream, QByteArray::fromRawData(buffer.constData(), qsizetype(n))))
            return;
    }
    close(stream);
}

qsizetype SimulatedAdbdConnection::passToApp(Stream &stream, const QByteArray &data)
{
    std::lock_guard lock(stream.mutex);
    qsizetype sent = 0;
    // Like adbd's non-blocking sockets: what the app takes at once needs no writer thread. Once
    // something waits, everything after it waits too, to keep the order.
    if (stream.outbox.empty() && !stream.writing && !stream.closed) {
        while (sent < data.size()) {
            const ssize_t n = ::send(stream.socket->fd(), data.constData() + sent, size_t(data.size() - sent),
                                     MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break; // full, or broken: the writer thread finds out
            sent += n;
        }
    }
    if (sent < data.size()) {
        stream.outbox.push_back(sent == 0 ? data : data.mid(sent));
        stream.outboxBytes += data.size() - sent;
        stream.changed.notify_all();
    }
    return sent;
}

void SimulatedAdbdConnection::drainTcp(std::shared_ptr<Stream> stream)
{
    for (;;) {
        QByteArray data;
        {
            std::unique_lock lock(stream->mutex);
            stream->changed.wait(lock,
                                 [&] { return !stream->outbox.empty() || stream->closed || m_dropped; });
            if (stream->outbox.empty() || m_dropped) {
                stream->socket->shutdown();
                return;
            }
            data = std::move(stream->outbox.front());
            stream->outbox.pop_front();
            stream->writing = true;
        }
        if (!stream->socket->writeAll(data)) {
            stream->socket->shutdown();
            return;
        }
        const qsizetype size = data.size();
        recycle(std::move(data));
        bool ack = false;
        {
            std::lock_guard lock(stream->mutex);
            stream->writing = false;
            stream->outboxBytes -= size;
            if (stream->ackOwed && stream->outboxBytes < kOutboxLimit) {
                stream->ackOwed = false;
                ack = true;
            }
        }
        if (m_delayedAck)
            acknowledge(*stream, size);
        else if (ack)
            send(A_OKAY, stream->id, stream->hostId);
    }
}

void SimulatedAdbdConnection::syncReceived(const std::shared_ptr<Stream> &stream, const QByteArray &data)
{
    // A request cut by a message boundary is completed from the front of the next message; the
    // rest of that message is read in place.
    QByteArray &carry = stream->syncBuffer;
    qsizetype at = 0;
    while (!carry.isEmpty()) {
        const qsizetype want = carry.size() < 8 ? 8 : syncRequestSize(carry.constData());
        const qsizetype take = qMin(want - carry.size(), data.size() - at);
        carry.append(data.constData() + at, take);
        at += take;
        if (carry.size() < want) {
            if (at == data.size())
                return;
            continue; // the header is whole now; its body follows
        }
        const QByteArray request = std::exchange(carry, QByteArray());
        if (!syncRequest(stream, request.constData()))
            return;
    }
    while (data.size() - at >= 8) {
        const qsizetype size = syncRequestSize(data.constData() + at);
        if (data.size() - at < size)
            break;
        if (!syncRequest(stream, data.constData() + at))
            return;
        at += size;
    }
    carry = data.mid(at);
}

qsizetype SimulatedAdbdConnection::syncRequestSize(const char *header)
{
    const QByteArray id(header, 4);
    if (id == "DONE" || id == "QUIT")
        return 8; // their word is not a length
    const quint32 length = qFromLittleEndian<quint32>(header + 4);
    // An oversized length is refused as soon as its header is seen.
    return length > quint32(kMaxSyncData) ? 8 : 8 + qsizetype(length);
}

bool SimulatedAdbdConnection::syncRequest(const std::shared_ptr<Stream> &stream, const char *request)
{
    const QByteArray id(request, 4);
    const quint32 length = qFromLittleEndian<quint32>(request + 4);
    if (id == "QUIT") {
        close(stream);
        return false;
    }
    if (id == "DONE") {
        QByteArray file;
        qsizetype total = 0;
        for (const QByteArray &part : stream->pushData)
            total += part.size();
        file.reserve(total);
        for (const QByteArray &part : stream->pushData)
            file += part;
        stream->pushData.clear();
        m_daemon.storeFile(stream->pushPath, file, stream->pushMode, stream->pushSize);
        stream->pushSize = 0;
        if (m_daemon.takeFault(SimulatedAdbd::Fault::MuteAfterPush) != SimulatedAdbd::Fault::MuteAfterPush)
            send(A_WRTE, stream->id, stream->hostId, syncPacket("OKAY", {}));
        return true;
    }
    if ((id != "SEND" && id != "DATA") || length > kMaxSyncData) {
        send(A_WRTE, stream->id, stream->hostId, syncPacket("FAIL", "invalid sync request"));
        close(stream);
        return false;
    }
    const char *body = request + 8;
    if (id == "SEND") {
        const QByteArray target(body, int(length));
        const int comma = target.lastIndexOf(',');
        stream->pushPath = QString::fromUtf8(comma >= 0 ? target.left(comma) : target);
        stream->pushMode = comma >= 0 ? target.mid(comma + 1).toInt() : 0;
        if (!stream->pushPath.startsWith(QLatin1Char('/'))) {
            send(A_WRTE, stream->id, stream->hostId, syncPacket("FAIL", "path must be absolute"));
            close(stream);
            return false;
        }
        return true;
    }
    stream->pushSize += length;
    if (m_daemon.options().keepFileContents)
        stream->pushData.push_back(QByteArray(body, int(length)));
    if (!stream->sawData) {
        stream->sawData = true;
        if (m_daemon.takeFault(SimulatedAdbd::Fault::StreamClosedMidPush) ==
            SimulatedAdbd::Fault::StreamClosedMidPush) {
            close(stream);
            return false;
        }
        if (m_daemon.takeFault(SimulatedAdbd::Fault::GoneMidPush) == SimulatedAdbd::Fault::GoneMidPush) {
            drop();
            return false;
        }
    }
    return true;
}

} // namespace tarnwick::peers
