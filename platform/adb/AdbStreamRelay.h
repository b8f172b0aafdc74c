#pragma once

#include "AdbSocket.h"

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

class AdbPipe;
class AdbStream;
class AdbTransport;

// One connection accepted by a forward, carried to a service on the phone: what the desktop side
// sends goes into the stream, what the phone sends goes back. Both directions run as work of the
// ADB pool; when either side ends, both are closed.
class AdbStreamRelay : public std::enable_shared_from_this<AdbStreamRelay>
{
public:
    AdbStreamRelay(AdbSocket socket, std::weak_ptr<AdbTransport> transport, QByteArray service);
    ~AdbStreamRelay();
    AdbStreamRelay(const AdbStreamRelay &) = delete;
    AdbStreamRelay &operator=(const AdbStreamRelay &) = delete;

    void start();
    // Ends both directions and waits for them.
    void stop();
    bool isFinished() const;
    // Waits until both directions have ended on their own or the deadline has passed; whether they
    // have ended.
    bool waitFinished(std::chrono::steady_clock::time_point deadline);

private:
    void connectAndPumpUp();
    void pumpUpThroughBuffer(AdbStream &stream, qint64 chunk);
    void pumpUpThroughPipe(AdbStream &stream, const AdbPipe &pipe);
    void pumpDown();
    void finishOne();
    void endBoth();

    AdbSocket m_socket;
    std::weak_ptr<AdbTransport> m_transport;
    const QByteArray m_service;

    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    std::shared_ptr<AdbStream> m_stream;
    int m_running = 0;
    bool m_stopping = false;
};
