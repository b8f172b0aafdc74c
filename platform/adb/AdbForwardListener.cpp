#include "AdbForwardListener.h"

#include "AdbStreamRelay.h"

AdbForwardListener::AdbForwardListener(std::weak_ptr<AdbTransport> transport, quint16 localPort,
                                       quint16 remotePort)
    : m_transport(std::move(transport))
    , m_listener(AdbSocket::listenLoopback(localPort))
    , m_localPort(m_listener.localPort())
    , m_remotePort(remotePort)
{
    m_acceptor = std::thread([this] { acceptLoop(); });
}

AdbForwardListener::~AdbForwardListener()
{
    close(std::chrono::milliseconds(0));
}

void AdbForwardListener::close(std::chrono::milliseconds grace)
{
    if (!m_stopping.exchange(true)) {
        // A session may have connected, sent its last lines and hung up before the acceptor got
        // round to it: what waits in the queue is still carried, since shutting the listener down
        // would reset it.
        for (AdbSocket waiting = m_listener.acceptWaiting(); waiting.isValid();
             waiting = m_listener.acceptWaiting())
            carry(std::move(waiting));
        m_listener.shutdown();
        m_acceptor.join();
        m_listener = AdbSocket();
    }
    std::list<std::shared_ptr<AdbStreamRelay>> relays;
    {
        std::lock_guard lock(m_mutex);
        relays.swap(m_relays);
    }
    const auto deadline = std::chrono::steady_clock::now() + grace;
    for (const auto &relay : relays) {
        relay->waitFinished(deadline);
        relay->stop();
    }
}

void AdbForwardListener::acceptLoop()
{
    for (;;) {
        AdbSocket connection = m_listener.accept();
        if (!connection.isValid())
            return;
        // Even while closing: the connection was made before the listener went.
        carry(std::move(connection));
    }
}

void AdbForwardListener::carry(AdbSocket connection)
{
    auto relay = std::make_shared<AdbStreamRelay>(std::move(connection), m_transport,
                                                  "tcp:" + QByteArray::number(m_remotePort.load()));
    std::lock_guard lock(m_mutex);
    m_relays.remove_if([](const std::shared_ptr<AdbStreamRelay> &r) { return r->isFinished(); });
    m_relays.push_back(relay);
    relay->start();
}
