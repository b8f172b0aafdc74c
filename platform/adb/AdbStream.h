#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

class AdbTransport;

// One stream of a transport: a service on the phone ("shell:…", "sync:", "tcp:<port>") reached
// through OPEN/OKAY/WRTE/CLSE. Reads and writes block the calling thread; the transport's reader
// thread feeds the stream. Writes wait for the phone's OKAY before the next WRTE, and what the
// phone sends is acknowledged as soon as it is taken, or at once while little is waiting, so a slow
// reader holds the phone back instead of filling memory.
class AdbStream
{
public:
    AdbStream(std::weak_ptr<AdbTransport> transport, quint32 localId);
    ~AdbStream();
    AdbStream(const AdbStream &) = delete;
    AdbStream &operator=(const AdbStream &) = delete;

    quint32 localId() const { return m_localId; }

    // The next bytes from the phone; empty once the phone closed the stream. Throws AdbError when
    // the transport broke or timeoutMs (when not negative) ran out.
    QByteArray read(int timeoutMs = -1);
    // Reads until the phone closes the stream.
    QByteArray readAll();
    // Reads exactly size bytes. Throws AdbError when the stream ends first.
    QByteArray readExactly(qsizetype size, int timeoutMs = -1);
    // Sends data in messages no larger than the transport allows. Throws AdbError when the stream
    // or the transport is closed.
    void write(const QByteArray &data);
    // Closes the stream (CLSE) unless it is closed already.
    void close();

    // Transport side, called on its reader thread.
    void opened(quint32 remoteId);
    // Returns whether the data may be acknowledged right away.
    bool received(const QByteArray &data);
    void writeAcknowledged();
    void closedByPhone();
    void lost(const QString &reason);
    // Waits for the answer to OPEN; false when the phone refused or did not answer in time.
    bool waitOpened(int timeoutMs);

private:
    enum class State { Opening, Open, Closed, Lost };

    void acknowledgeIfOwed(std::unique_lock<std::mutex> &lock);

    std::weak_ptr<AdbTransport> m_transport;
    const quint32 m_localId;
    quint32 m_remoteId = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::Opening;
    QString m_lostReason;
    bool m_wasOpened = false;
    bool m_writable = false;
    bool m_ackOwed = false;
    std::deque<QByteArray> m_incoming;
    qsizetype m_buffered = 0;
};
