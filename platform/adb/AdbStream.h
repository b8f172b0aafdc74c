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
// thread feeds the stream. A thread under an AdbInterruption scope has its waits ended by Cancel.
//
// Flow control comes in two flavours. Where both sides offer "delayed_ack", each side grants the
// other a window of bytes (in OPEN and in the OKAY answering it) and every later OKAY carries the
// bytes taken since, so many WRTEs travel at once. Otherwise a WRTE waits for the phone's OKAY of
// the previous one, and what the phone sends is acknowledged at once while little waits unread.
// Either way a slow reader holds the phone back instead of filling memory.
class AdbStream
{
public:
    // What the phone may send ahead of our reader when windows are in use.
    static constexpr quint32 kReceiveWindow = 4 * 1024 * 1024;

    AdbStream(std::weak_ptr<AdbTransport> transport, quint32 localId, bool delayedAck = false);
    ~AdbStream();
    AdbStream(const AdbStream &) = delete;
    AdbStream &operator=(const AdbStream &) = delete;

    quint32 localId() const { return m_localId; }

    // The next bytes from the phone; empty once the phone closed the stream. Throws AdbError when
    // the transport broke or timeoutMs (when not negative) ran out.
    QByteArray read(int timeoutMs = -1);
    // Reads until the phone closes the stream; timeoutMs (when not negative) limits each wait for
    // the next bytes.
    QByteArray readAll(int timeoutMs = -1);
    // Reads exactly size bytes. Throws AdbError when the stream ends first.
    QByteArray readExactly(qsizetype size, int timeoutMs = -1);
    // Sends data in messages no larger than the transport allows. Throws AdbError when the stream
    // or the transport is closed, or the phone grants no room to send for half a minute.
    void write(const QByteArray &data);
    // As write(), with `size` bytes that wait in `pipe`; only where the transport carriesPipes().
    void writeFromPipe(int pipe, qint64 size);
    // Closes the stream (CLSE) unless it is closed already.
    void close();

    // Transport side, called on its reader thread.
    // An OKAY of the phone: the answer to OPEN, then acknowledgements of our writes. One whose
    // window is missing, negative or beyond what the phone granted at opening fails this stream.
    void acknowledged(quint32 remoteId, const QByteArray &payload);
    // Returns whether the data may be acknowledged right away.
    bool received(const QByteArray &data);
    void closedByPhone();
    void lost(const QString &reason);
    // Waits for the answer to OPEN; false when the phone refused or did not answer in time.
    bool waitOpened(int timeoutMs);

private:
    enum class State { Opening, Open, Closed, Lost };

    void opened(quint32 remoteId);
    // Waits until the phone takes data and claims room for up to `wanted` bytes: what may be sent,
    // and the phone's id of the stream. Throws AdbError as write() does.
    qsizetype claim(qsizetype wanted, quint32 &remote);
    // Bookkeeping after the reader took size bytes; may send an OKAY.
    void taken(std::unique_lock<std::mutex> &lock, qsizetype size);

    std::weak_ptr<AdbTransport> m_transport;
    const quint32 m_localId;
    const bool m_delayedAck;
    quint32 m_remoteId = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    State m_state = State::Opening;
    QString m_lostReason;
    bool m_wasOpened = false;
    // One WRTE in flight: whether the phone acknowledged the last.
    bool m_writable = false;
    bool m_ackOwed = false;
    // Windows: what the phone still accepts from us, and what our reader took but the phone has
    // not been told about.
    qint64 m_sendWindow = 0;
    qint64 m_windowLimit = 0;
    qint64 m_takenUnacknowledged = 0;
    std::deque<QByteArray> m_incoming;
    qsizetype m_buffered = 0;
};
