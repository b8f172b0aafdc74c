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
    m_stopping = true;
    m_listener.shutdown();
    m_acceptor.join();
    std::list<std::shared_ptr<AdbStreamRelay>> relays;
    {
        std::lock_guard lock(m_mutex);
        relays.swap(m_relays);
    }
    for (const auto &relay : relays)
        relay->stop();
}

void AdbForwardListener::acceptLoop()
{
    for (;;) {
        AdbSocket connection = m_listener.accept();
        if (!connection.isValid() || m_stopping)
            return;
        auto relay = std::make_shared<AdbStreamRelay>(std::move(connection), m_transport,
                                                      "tcp:" + QByteArray::number(m_remotePort.load()));
        std::lock_guard lock(m_mutex);
        m_relays.remove_if([](const std::shared_ptr<AdbStreamRelay> &r) { return r->isFinished(); });
        m_relays.push_back(relay);
        relay->start();
    }
}
