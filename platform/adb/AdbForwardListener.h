#pragma once

#include "AdbSocket.h"

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

class AdbStreamRelay;
class AdbTransport;

// Listens on 127.0.0.1 and carries each connection to a TCP port on the phone ("tcp:<port>").
// Lives until its session releases it or its phone's handle goes; its destruction ends every
// carried connection at once.
class AdbForwardListener
{
public:
    // Throws AdbError when the local port cannot be taken.
    AdbForwardListener(std::weak_ptr<AdbTransport> transport, quint16 localPort, quint16 remotePort);
    ~AdbForwardListener();
    AdbForwardListener(const AdbForwardListener &) = delete;
    AdbForwardListener &operator=(const AdbForwardListener &) = delete;

    // The port actually listened on (the one asked for, or a free one for 0).
    quint16 localPort() const { return m_localPort; }
    quint16 remotePort() const { return m_remotePort; }
    // New connections go to this phone port from now on.
    void setRemotePort(quint16 port) { m_remotePort = port; }

    // Stops taking connections and frees the port at once; the connections it carries get until
    // `grace` has passed to end on their own (what the desktop side sent last still reaches the
    // phone), then they are cut.
    void close(std::chrono::milliseconds grace);

private:
    void acceptLoop();
    void carry(AdbSocket connection);

    std::weak_ptr<AdbTransport> m_transport;
    AdbSocket m_listener;
    const quint16 m_localPort;
    std::atomic<quint16> m_remotePort;
    std::atomic_bool m_stopping{false};

    std::mutex m_mutex;
    std::list<std::shared_ptr<AdbStreamRelay>> m_relays;
    std::thread m_acceptor;
};
