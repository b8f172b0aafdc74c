#include "AndroidSessionLink.h"

#include "Logging.h"

#include "model/ProgressSink.h"

#include <QCoreApplication>
#include <QTcpSocket>

#include <stdexcept>

AndroidSessionLink::AndroidSessionLink(ProgressSink *progress, int idleLimitMs)
    : m_progress(progress)
    , m_interruption([progress] { return progress && progress->canceled; })
    , m_socket(std::make_unique<QTcpSocket>())
    , m_wait([this] { checkCanceled(); }, idleLimitMs)
{}

AndroidSessionLink::~AndroidSessionLink()
{
    // The phone sees the connection end here; nothing is waited for.
    m_socket->abort();
    if (m_connector) {
        try {
            m_connector->endSession(m_port);
        } catch (const std::exception &e) {
            qCWarning(lcAndroid) << "Ending the session on port" << m_port << "failed:" << e.what();
        }
    }
}

template<typename Step> auto AndroidSessionLink::guarded(Step step)
{
    try {
        return step();
    } catch (const std::exception &) {
        checkCanceled();
        if (m_connector && m_connector->phoneGone())
            throw std::runtime_error(QCoreApplication::translate("QObject", "IDS_ANDROID_PHONE_DISCONNECTED")
                                         .toUtf8()
                                         .toStdString());
        throw;
    }
}

void AndroidSessionLink::open(const PAndroidConnector &connector, Service service, int port)
{
    // Taken before the start: a start that fails halfway may have set up part of the session.
    m_connector = connector;
    m_port = port;
    guarded([&] {
        connectTo(service == Service::Load ? connector->startBackup(port) : connector->startRestore(port),
                  port);
    });
}

void AndroidSessionLink::checkCanceled() const
{
    if (m_progress && m_progress->canceled)
        throw -1;
}

void AndroidSessionLink::connectTo(const QString &host, int port)
{
    m_socket->connectToHost(host, quint16(port), QIODevice::ReadWrite);
    if (!m_socket->waitForConnected(kConnectTimeoutMs))
        throw std::runtime_error(QCoreApplication::translate("QObject", "IDS_ANDROID_CONNECT_FAIL%0:%1")
                                     .arg(host)
                                     .arg(port)
                                     .toUtf8()
                                     .toStdString());
    // Each batch ends with a flushed line the phone must see at once; without this the last piece of
    // every batch would wait for the phone's delayed acknowledgement.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

void AndroidSessionLink::send(const QString &command, const QString &argument, bool flush)
{
    guarded([&] { simpleprotocol::sendCommand(*m_socket, command, argument, flush, -1); });
}

QString AndroidSessionLink::readCommand()
{
    return guarded([&] { return simpleprotocol::readCommand(*m_socket, m_wait); });
}

QString AndroidSessionLink::readBatchAnswer()
{
    const QString answer = readCommand();
    if (!answer.startsWith(simpleprotocol::kBatch))
        throw std::runtime_error(QStringLiteral("receive $batch: command error, invalid command:%1")
                                     .arg(answer)
                                     .toUtf8()
                                     .toStdString());
    qCDebug(lcAndroid, "Android Sync, %s", answer.left(200).toLocal8Bit().constData());
    return answer;
}

void AndroidSessionLink::finish()
{
    while (m_socket->bytesToWrite() > 0 && m_socket->waitForBytesWritten(1000)) {
    }
    m_socket->disconnectFromHost();
}
