#include "AdbTcpChannel.h"

AdbTcpChannel::AdbTcpChannel(AdbSocket socket)
    : m_socket(std::move(socket))
{}

std::unique_ptr<AdbTcpChannel> AdbTcpChannel::connectTo(const QString &host, quint16 port, int timeoutMs)
{
    return std::make_unique<AdbTcpChannel>(AdbSocket::connectTo(host, port, timeoutMs));
}

qint64 AdbTcpChannel::read(char *buffer, qint64 size)
{
    return m_socket.receive(buffer, size);
}

void AdbTcpChannel::write(const QByteArray &header, const QByteArray &payload)
{
    m_socket.sendAll(header, payload);
}

void AdbTcpChannel::writeFromPipe(const QByteArray &header, int pipe, qint64 size)
{
    m_socket.sendAllFromPipe(header, pipe, size);
}

void AdbTcpChannel::close()
{
    m_socket.shutdown();
}
