#include "AdbStream.h"

#include "AdbError.h"
#include "AdbInterruption.h"
#include "AdbMessage.h"
#include "AdbTransport.h"

#include <QtEndian>

#include <chrono>
#include <optional>

namespace {
// While less than this waits unread, each WRTE of the phone is acknowledged at once.
constexpr qsizetype kAckThreshold = 4 * 1024 * 1024;
// With windows, what the reader took is reported in portions: small enough that a phone whose
// reader keeps up never runs out of window, large enough that OKAYs stay few.
constexpr qint64 kWindowUpdate = AdbStream::kReceiveWindow / 4;

// The count an OKAY carries under delayed acknowledgement: a signed 32-bit little-endian number;
// none when the payload is not one.
std::optional<qint64> windowIn(const QByteArray &payload)
{
    if (payload.size() != 4)
        return std::nullopt;
    return qint64(qFromLittleEndian<qint32>(payload.constData()));
}

QByteArray windowPayload(qint64 bytes)
{
    QByteArray out(4, Qt::Uninitialized);
    qToLittleEndian(quint32(bytes), out.data());
    return out;
}

// A phone that grants no window for this long has stopped taking data on the stream.
constexpr int kWindowLimitMs = 30000;

// Waits for pred up to timeoutMs (none when negative); a thread under an AdbInterruption scope
// looks at its check in short slices and ends the wait with AdbError when cancelled.
template<typename Pred>
bool waitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, int timeoutMs, Pred pred)
{
    if (!AdbInterruption::watched()) {
        if (timeoutMs < 0) {
            cv.wait(lock, pred);
            return true;
        }
        return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (pred())
            return true;
        AdbInterruption::throwIfRequested();
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto slice = std::chrono::milliseconds(AdbInterruption::kSliceMs);
        cv.wait_until(lock, deadline - now > slice ? now + slice : deadline);
    }
}
} // namespace

AdbStream::AdbStream(std::weak_ptr<AdbTransport> transport, quint32 localId, bool delayedAck)
    : m_transport(std::move(transport))
    , m_localId(localId)
    , m_delayedAck(delayedAck)
{}

AdbStream::~AdbStream()
{
    close();
}

void AdbStream::acknowledged(quint32 remoteId, const QByteArray &payload)
{
    std::unique_lock lock(m_mutex);
    QString fault;
    if (m_state == State::Opening) {
        // The answer to OPEN: with windows it tells how much we may send before the next OKAY,
        // which is the most the window may ever hold.
        opened(remoteId);
        if (m_delayedAck) {
            const std::optional<qint64> window = windowIn(payload);
            if (!window)
                fault = QStringLiteral("The phone sent a stream acknowledgement without its window.");
            else if (*window < 0)
                fault = QStringLiteral("The phone granted a negative stream window (%1).").arg(*window);
            else
                m_sendWindow = m_windowLimit = *window;
        }
    } else if (m_state == State::Open) {
        if (m_delayedAck) {
            const std::optional<qint64> count = windowIn(payload);
            if (!count)
                fault = QStringLiteral("The phone sent a stream acknowledgement without its window.");
            else if (*count < 0 || m_sendWindow + *count > m_windowLimit)
                fault =
                    QStringLiteral("The phone acknowledged %1 bytes, which puts the stream window outside "
                                   "0 to %2.")
                        .arg(*count)
                        .arg(m_windowLimit);
            else
                m_sendWindow += *count;
        } else {
            m_writable = true;
        }
    }
    m_changed.notify_all();
    if (fault.isEmpty())
        return;
    // Only this stream is lost; the transport and its other streams go on.
    m_state = State::Lost;
    m_lostReason = fault;
    const quint32 remote = m_remoteId;
    lock.unlock();
    if (auto transport = m_transport.lock()) {
        transport->post(AdbMessage{AdbMessage::Clse, m_localId, remote, {}});
        transport->forget(m_localId);
    }
}

void AdbStream::opened(quint32 remoteId)
{
    m_remoteId = remoteId;
    m_state = State::Open;
    m_wasOpened = true;
    m_writable = true;
}

bool AdbStream::waitOpened(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    waitFor(m_changed, lock, timeoutMs, [this] { return m_state != State::Opening; });
    // A short command may have answered and closed before this thread woke up; its output waits.
    return m_wasOpened;
}

bool AdbStream::received(const QByteArray &data)
{
    std::lock_guard lock(m_mutex);
    if (m_state != State::Open)
        return false;
    m_incoming.push_back(data);
    m_buffered += data.size();
    m_changed.notify_all();
    // With windows the phone is told what was taken, not what arrived.
    if (m_delayedAck)
        return false;
    if (m_buffered - data.size() < kAckThreshold)
        return true;
    m_ackOwed = true;
    return false;
}

void AdbStream::closedByPhone()
{
    std::lock_guard lock(m_mutex);
    if (m_state == State::Opening || m_state == State::Open)
        m_state = State::Closed;
    m_changed.notify_all();
}

void AdbStream::lost(const QString &reason)
{
    std::lock_guard lock(m_mutex);
    if (m_state == State::Opening || m_state == State::Open) {
        m_state = State::Lost;
        m_lostReason = reason;
    }
    m_changed.notify_all();
}

void AdbStream::taken(std::unique_lock<std::mutex> &lock, qsizetype size)
{
    m_buffered -= size;
    if (m_state != State::Open)
        return;
    QByteArray window;
    if (m_delayedAck) {
        m_takenUnacknowledged += size;
        if (m_takenUnacknowledged < kWindowUpdate)
            return;
        window = windowPayload(m_takenUnacknowledged);
        m_takenUnacknowledged = 0;
    } else {
        if (!m_ackOwed || m_buffered >= kAckThreshold)
            return;
        m_ackOwed = false;
    }
    const quint32 remote = m_remoteId;
    lock.unlock();
    if (auto transport = m_transport.lock())
        transport->post(AdbMessage{AdbMessage::Okay, m_localId, remote, window});
    lock.lock();
}

QByteArray AdbStream::read(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    const bool ready = waitFor(m_changed, lock, timeoutMs, [this] {
        return !m_incoming.empty() || (m_state != State::Open && m_state != State::Opening);
    });
    if (!m_incoming.empty()) {
        QByteArray data = std::move(m_incoming.front());
        m_incoming.pop_front();
        taken(lock, data.size());
        return data;
    }
    if (!ready)
        throw AdbError(QStringLiteral("The phone did not answer in time."));
    if (m_state == State::Lost)
        throw AdbError(m_lostReason);
    return {};
}

QByteArray AdbStream::readAll(int timeoutMs)
{
    QByteArray all;
    for (;;) {
        const QByteArray part = read(timeoutMs);
        if (part.isEmpty())
            return all;
        all += part;
    }
}

QByteArray AdbStream::readExactly(qsizetype size, int timeoutMs)
{
    QByteArray out;
    std::unique_lock lock(m_mutex);
    while (out.size() < size) {
        const bool ready = waitFor(m_changed, lock, timeoutMs, [this] {
            return !m_incoming.empty() || (m_state != State::Open && m_state != State::Opening);
        });
        if (m_incoming.empty()) {
            if (!ready)
                throw AdbError(QStringLiteral("The phone did not answer in time."));
            if (m_state == State::Lost)
                throw AdbError(m_lostReason);
            throw AdbError(QStringLiteral("The phone ended the conversation early."));
        }
        QByteArray &front = m_incoming.front();
        const qsizetype take = qMin(size - out.size(), front.size());
        out.append(front.constData(), take);
        if (take == front.size())
            m_incoming.pop_front();
        else
            front.remove(0, take);
        taken(lock, take);
    }
    return out;
}

qsizetype AdbStream::claim(qsizetype wanted, quint32 &remote)
{
    std::unique_lock lock(m_mutex);
    if (!waitFor(m_changed, lock, kWindowLimitMs,
                 [this] { return (m_delayedAck ? m_sendWindow > 0 : m_writable) || m_state != State::Open; }))
        throw AdbError(QStringLiteral("The phone stopped taking data."));
    if (m_state == State::Lost)
        throw AdbError(m_lostReason);
    if (m_state != State::Open)
        throw AdbError(QStringLiteral("The phone closed the connection."));
    qsizetype size = wanted;
    if (m_delayedAck) {
        // Never beyond the window, though the phone would take one message more.
        size = qsizetype(qMin<qint64>(size, m_sendWindow));
        m_sendWindow -= size;
    } else {
        m_writable = false;
    }
    remote = m_remoteId;
    return size;
}

void AdbStream::write(const QByteArray &data)
{
    auto transport = m_transport.lock();
    if (!transport)
        throw AdbError(QStringLiteral("The phone is no longer connected."));
    const qsizetype chunk = qsizetype(transport->maxPayload());
    for (qsizetype offset = 0; offset < data.size();) {
        quint32 remote = 0;
        const qsizetype size = claim(qMin(chunk, data.size() - offset), remote);
        // The message borrows the caller's bytes: the channel has written them when send returns.
        const QByteArray payload =
            size == data.size() ? data : QByteArray::fromRawData(data.constData() + offset, size);
        transport->send(AdbMessage{AdbMessage::Wrte, m_localId, remote, payload});
        offset += size;
    }
}

void AdbStream::writeFromPipe(int pipe, qint64 size)
{
    auto transport = m_transport.lock();
    if (!transport)
        throw AdbError(QStringLiteral("The phone is no longer connected."));
    const qint64 chunk = qint64(transport->maxPayload());
    while (size > 0) {
        quint32 remote = 0;
        const qint64 part = claim(qsizetype(qMin(chunk, size)), remote);
        transport->sendFromPipe(AdbMessage{AdbMessage::Wrte, m_localId, remote, {}}, pipe, part);
        size -= part;
    }
}

void AdbStream::close()
{
    std::unique_lock lock(m_mutex);
    const bool open = m_state == State::Open;
    if (m_state == State::Open || m_state == State::Opening)
        m_state = State::Closed;
    const quint32 remote = m_remoteId;
    m_changed.notify_all();
    lock.unlock();
    if (auto transport = m_transport.lock()) {
        // Posted: a write of another thread that the phone holds up must not hold up the close.
        if (open)
            transport->post(AdbMessage{AdbMessage::Clse, m_localId, remote, {}});
        transport->forget(m_localId);
    }
}
