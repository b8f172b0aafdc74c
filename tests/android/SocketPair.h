#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace tarnwick::test {

// Two ends of one loopback connection on an ephemeral port, both driven by the test's thread: the
// desktop end for the code under test, the phone end for raw bytes.
class SocketPair
{
public:
    SocketPair()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        desktop.connectToHost(QHostAddress::LocalHost, m_server.serverPort());
        desktop.waitForConnected(5000);
        m_server.waitForNewConnection(5000);
        phone.reset(m_server.nextPendingConnection());
        phone->setParent(nullptr);
    }

    void phoneSends(const QByteArray &bytes)
    {
        phone->write(bytes);
        while (phone->bytesToWrite() > 0 && phone->waitForBytesWritten(5000)) {
        }
    }

    // What has reached the phone end within `ms`; stops early once `atLeast` bytes are there, or,
    // without `atLeast`, once a whole line is there.
    QByteArray phoneReceived(int ms = 300, qint64 atLeast = -1)
    {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms && (atLeast < 0 ? !got.endsWith('\n') : got.size() < atLeast)) {
            desktop.waitForBytesWritten(10);
            if (phone->waitForReadyRead(10))
                got += phone->readAll();
        }
        return got + phone->readAll();
    }

    QTcpSocket desktop;
    std::unique_ptr<QTcpSocket> phone;

private:
    QTcpServer m_server;
};

} // namespace tarnwick::test
