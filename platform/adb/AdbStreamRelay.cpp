#include "AdbStreamRelay.h"

#include "AdbError.h"
#include "AdbMessage.h"
#include "AdbPipe.h"
#include "AdbStream.h"
#include "AdbThreadPool.h"
#include "AdbTransport.h"
#include "Logging.h"

#include <QThreadPool>

#include <optional>

AdbStreamRelay::AdbStreamRelay(AdbSocket socket, std::weak_ptr<AdbTransport> transport, QByteArray service)
    : m_socket(std::move(socket))
    , m_transport(std::move(transport))
    , m_service(std::move(service))
{}

AdbStreamRelay::~AdbStreamRelay()
{
    stop();
}

void AdbStreamRelay::start()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = 1;
    }
    // The pool task keeps the relay alive until it is done.
    adbThreadPool()->start([self = shared_from_this()] { self->connectAndPumpUp(); });
}

void AdbStreamRelay::connectAndPumpUp()
{
    std::shared_ptr<AdbStream> stream;
    try {
        std::shared_ptr<AdbTransport> transport = m_transport.lock();
        if (!transport)
            throw AdbError(QStringLiteral("The phone is no longer connected."));
        stream = transport->open(m_service);
    } catch (const AdbError &e) {
        qCWarning(lcAdb) << "Forward to" << m_service << "failed:" << e.what();
        endBoth();
        finishOne();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stream = stream;
        if (m_stopping) {
            stream->close();
        } else {
            ++m_running;
            adbThreadPool()->start([self = shared_from_this()] { self->pumpDown(); });
        }
    }

    try {
        const std::shared_ptr<AdbTransport> transport = m_transport.lock();
        const qint64 chunk =
            transport ? qint64(transport->maxPayload()) : qint64(AdbMessage::kMaxPayloadLegacy);
        std::optional<AdbPipe> pipe;
        if (transport && transport->carriesPipes())
            pipe.emplace(chunk);
        if (pipe && pipe->isValid() && pipe->capacity() > 0)
            pumpUpThroughPipe(*stream, *pipe);
        else
            pumpUpThroughBuffer(*stream, chunk);
    } catch (const AdbError &) {
    }
    endBoth();
    finishOne();
}

void AdbStreamRelay::pumpUpThroughBuffer(AdbStream &stream, qint64 chunk)
{
    QByteArray buffer(int(chunk), '\0');
    for (;;) {
        qint64 got = m_socket.receive(buffer.data(), buffer.size());
        if (got <= 0)
            return;
        // Each message waits for the phone's OKAY, so it should carry all that is there.
        while (got < buffer.size()) {
            const qint64 more = m_socket.receiveAvailable(buffer.data() + got, buffer.size() - got);
            if (more <= 0)
                break;
            got += more;
        }
        // Sent straight from the buffer: the message shares it and is gone once written.
        buffer.resize(int(got));
        stream.write(buffer);
        buffer.resize(int(chunk));
    }
}

void AdbStreamRelay::pumpUpThroughPipe(AdbStream &stream, const AdbPipe &pipe)
{
    // The kernel moves the bytes from one socket to the other; this thread only frames them. The
    // pipe is empty again whenever a write returns.
    for (;;) {
        const qint64 got = m_socket.receiveIntoPipe(pipe.writeEnd(), pipe.capacity());
        if (got <= 0)
            return;
        stream.writeFromPipe(pipe.readEnd(), got);
    }
}

void AdbStreamRelay::pumpDown()
{
    std::shared_ptr<AdbStream> stream;
    {
        std::lock_guard lock(m_mutex);
        stream = m_stream;
    }
    try {
        for (;;) {
            const QByteArray data = stream->read();
            if (data.isEmpty())
                break;
            m_socket.sendAll(data);
        }
    } catch (const AdbError &) {
    }
    endBoth();
    finishOne();
}

void AdbStreamRelay::endBoth()
{
    std::shared_ptr<AdbStream> stream;
    {
        std::lock_guard lock(m_mutex);
        stream = m_stream;
    }
    if (stream)
        stream->close();
    m_socket.shutdown();
}

void AdbStreamRelay::finishOne()
{
    std::lock_guard lock(m_mutex);
    --m_running;
    m_done.notify_all();
}

void AdbStreamRelay::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    endBoth();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_running <= 0; });
}

bool AdbStreamRelay::waitFinished(std::chrono::steady_clock::time_point deadline)
{
    std::unique_lock lock(m_mutex);
    return m_done.wait_until(lock, deadline, [this] { return m_running <= 0; });
}

bool AdbStreamRelay::isFinished() const
{
    std::lock_guard lock(m_mutex);
    return m_running <= 0;
}
