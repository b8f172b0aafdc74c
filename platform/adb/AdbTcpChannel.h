#pragma once

#include "AdbChannel.h"
#include "AdbSocket.h"

#include <QString>

#include <memory>

// An ADB transport over TCP, as phones in network debugging and emulators offer it.
class AdbTcpChannel : public AdbChannel
{
public:
    explicit AdbTcpChannel(AdbSocket socket);
    // Throws AdbError when the daemon cannot be reached.
    static std::unique_ptr<AdbTcpChannel> connectTo(const QString &host, quint16 port, int timeoutMs = 3000);

    qint64 read(char *buffer, qint64 size) override;
    void write(const QByteArray &header, const QByteArray &payload) override;
    bool takesPipes() const override { return true; }
    void writeFromPipe(const QByteArray &header, int pipe, qint64 size) override;
    void close() override;

private:
    AdbSocket m_socket;
};
