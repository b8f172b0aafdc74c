#include "AndroidWifiConnector.h"

#include "Logging.h"
#include "WifiServiceTimeoutException.h"
#include "simpleprotocol.h"

#include <QDeadlineTimer>
#include <QTcpSocket>
#include <QThread>

#include <stdexcept>

namespace {

const QString kLoopbackArg = QStringLiteral("//127.0.0.1");
const QString kHello = QStringLiteral("hello:");

} // namespace

AndroidWifiConnector::AndroidWifiConnector(Pause pause)
    : m_pause(pause ? std::move(pause) : Pause([](unsigned long seconds) { QThread::sleep(seconds); }))
{}

AndroidWifiConnector::~AndroidWifiConnector() = default;

void AndroidWifiConnector::initialize(const QString &ip)
{
    host = ip;
    QTcpSocket socket;
    socket.connectToHost(host, kControlPort, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kConnectTimeoutMs)) {
        qCInfo(lcAndroid) << "no control connection to" << host << socket.errorString();
        throw WifiServiceTimeoutException();
    }
    simpleprotocol::sendCommand(socket, kHello, kLoopbackArg, true, -1);

    // Wait for the whole reply line (or the end of the connection, which the protocol reports).
    const QDeadlineTimer deadline(m_helloTimeoutMs);
    while (!socket.canReadLine() && socket.state() == QAbstractSocket::ConnectedState) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) {
            qCInfo(lcAndroid) << "no greeting from" << host;
            throw WifiServiceTimeoutException();
        }
        socket.waitForReadyRead(int(left));
    }
    const QString reply = simpleprotocol::readCommand(socket, 0);
    // The reply's first word is not checked; what follows it is the name.
    deviceName = reply.mid(kHello.size());
}

void AndroidWifiConnector::initialCheck() {}

QString AndroidWifiConnector::startBackup(int port)
{
    return startSession(QStringLiteral("backup:"), port);
}

QString AndroidWifiConnector::startRestore(int port)
{
    return startSession(QStringLiteral("restore:"), port);
}

QString AndroidWifiConnector::logcat()
{
    return QString();
}

QString AndroidWifiConnector::startSession(const QString &command, int port)
{
    QTcpSocket socket;
    socket.connectToHost(host, kControlPort, QIODevice::ReadWrite);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        throw std::runtime_error(socket.errorString().toUtf8().toStdString());
    simpleprotocol::sendCommand(socket, command, QStringLiteral("%1:%2/").arg(kLoopbackArg).arg(port), true,
                                -1);
    m_pause(kSessionPauseSeconds);
    return host;
}
