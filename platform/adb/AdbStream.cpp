#include "AdbStream.h"

#include "AdbError.h"
#include "AdbMessage.h"
#include "AdbTransport.h"

#include <chrono>

namespace {
// While less than this waits unread, each WRTE of the phone is acknowledged at once.
constexpr qsizetype kAckThreshold = 4 * 1024 * 1024;

template<typename Pred>
bool waitFor(std::condition_variable &cv, std::unique_lock<std::mutex> &lock, int timeoutMs, Pred pred)
{
    if (timeoutMs < 0) {
        cv.wait(lock, pred);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}
} // namespace

AdbStream::AdbStream(std::weak_ptr<AdbTransport> transport, quint32 localId)
    : m_transport(std::move(transport))
    , m_localId(localId)
{}

AdbStream::~AdbStream()
{
    close();
}

void AdbStream::opened(quint32 remoteId)
{
    std::lock_guard lock(m_mutex);
    if (m_state != State::Opening)
        return;
    m_remoteId = remoteId;
    m_state = State::Open;
    m_wasOpened = true;
    m_writable = true;
    m_changed.notify_all();
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
    if (m_buffered - data.size() < kAckThreshold)
        return true;
    m_ackOwed = true;
    return false;
}

void AdbStream::writeAcknowledged()
{
    std::lock_guard lock(m_mutex);
    m_writable = true;
    m_changed.notify_all();
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

void AdbStream::acknowledgeIfOwed(std::unique_lock<std::mutex> &lock)
{
    if (!m_ackOwed || m_buffered >= kAckThreshold || m_state != State::Open)
        return;
    m_ackOwed = false;
    const quint32 remote = m_remoteId;
    lock.unlock();
    if (auto transport = m_transport.lock()) {
        try {
            transport->send(AdbMessage{AdbMessage::Okay, m_localId, remote, {}});
        } catch (const AdbError &) {
            // The reader thread notices the broken transport and ends the stream.
        }
    }
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
        m_buffered -= data.size();
        acknowledgeIfOwed(lock);
        return data;
    }
    if (!ready)
        throw AdbError(QStringLiteral("The phone did not answer in time."));
    if (m_state == State::Lost)
        throw AdbError(m_lostReason);
    return {};
}

QByteArray AdbStream::readAll()
{
    QByteArray all;
    for (;;) {
        const QByteArray part = read();
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
        m_buffered -= take;
        if (take == front.size())
            m_incoming.pop_front();
        else
            front.remove(0, take);
        acknowledgeIfOwed(lock);
    }
    return out;
}

void AdbStream::write(const QByteArray &data)
{
    auto transport = m_transport.lock();
    if (!transport)
        throw AdbError(QStringLiteral("The phone is no longer connected."));
    const qsizetype chunk = qsizetype(transport->maxPayload());
    for (qsizetype offset = 0; offset < data.size(); offset += chunk) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_writable || m_state != State::Open; });
        if (m_state == State::Lost)
            throw AdbError(m_lostReason);
        if (m_state != State::Open)
            throw AdbError(QStringLiteral("The phone closed the connection."));
        m_writable = false;
        const quint32 remote = m_remoteId;
        lock.unlock();
        transport->send(AdbMessage{AdbMessage::Wrte, m_localId, remote, data.mid(offset, chunk)});
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
        if (open) {
            try {
                transport->send(AdbMessage{AdbMessage::Clse, m_localId, remote, {}});
            } catch (const AdbError &) {
            }
        }
        transport->forget(m_localId);
    }
}
