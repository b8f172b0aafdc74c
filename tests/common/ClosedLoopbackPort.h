#pragma once

#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>

namespace tarnwick::test {

// A loopback port nothing listens on, for a session the test starts and binds itself later.
//
// It is drawn below the kernel's range of ephemeral ports: a port from that range, once its probe
// closes, may be handed to any outgoing connection of a busy machine (ours run by the hundred)
// before the session binds it, and the session then fails with "address already in use".
inline quint16 closedLoopbackPort()
{
    int ephemeralStart = 32768;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        const int first = range.readAll().simplified().split(' ').value(0).toInt();
        if (first > 0)
            ephemeralStart = first;
    }
    // Clear of the well-known ports and of the adb server's 5037.
    const int low = 10000;
    for (int attempt = 0; ephemeralStart > low + 100 && attempt < 100; ++attempt) {
        const auto port = quint16(QRandomGenerator::global()->bounded(low, ephemeralStart));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace tarnwick::test
