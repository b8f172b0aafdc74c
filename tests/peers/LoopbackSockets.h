#pragma once

#include <QtGlobal>

namespace tarnwick::peers {

// Plain blocking TCP sockets on 127.0.0.1 for simulated phones, their apps and the tests around
// them. Each returns a descriptor the caller closes, or -1.

// Listens on a free port, written to port.
int listenLoopback(quint16 &port, int backlog = 16);
// Connects to 127.0.0.1:port; small writes leave at once (TCP_NODELAY).
int connectLoopback(quint16 port);

} // namespace tarnwick::peers
