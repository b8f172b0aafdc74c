#include "SimulatedWifiPhone.h"

#include "CompanionApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

namespace tarnwick::peers {

namespace {

constexpr quint16 kControlPort = 48888;

// Candidate addresses, starting from one that depends on the process so that parallel tests
// rarely meet.
QList<QHostAddress> candidates()
{
    QList<QHostAddress> out;
    const int start = int(QCoreApplication::applicationPid() % 200);
    for (int i = 0; i < 200; ++i)
        out << QHostAddress(QStringLiteral("127.0.0.%1").arg(20 + (start + i) % 200));
    return out;
}

// Sends everything one side has to the other; either side closing closes the other after what is
// still buffered has gone out.
void pipe(QTcpSocket *from, QTcpSocket *to)
{
    QObject::connect(from, &QTcpSocket::readyRead, to, [from, to] { to->write(from->readAll()); });
    QObject::connect(from, &QTcpSocket::disconnected, to, [from, to] {
        to->write(from->readAll());
        to->disconnectFromHost();
    });
}

} // namespace

SimulatedWifiPhone::SimulatedWifiPhone(CompanionApp *app)
    : m_app(app)
{}

SimulatedWifiPhone::~SimulatedWifiPhone()
{
    quit();
    wait();
}

bool SimulatedWifiPhone::open()
{
    start();
    m_ready.acquire();
    return !m_address.isNull();
}

QString SimulatedWifiPhone::address() const
{
    return m_address.toString();
}

QStringList SimulatedWifiPhone::received() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QString SimulatedWifiPhone::unusedAddress()
{
    // Outside the phones' range: a probe of theirs would hand out an address that a phone of a test
    // running in parallel could take the next moment.
    for (int last = 230; last < 255; ++last) {
        const QHostAddress a(QStringLiteral("127.0.0.%1").arg(last));
        QTcpServer probe;
        if (probe.listen(a, kControlPort))
            return a.toString();
    }
    return QStringLiteral("127.0.0.254");
}

void SimulatedWifiPhone::run()
{
    QTcpServer control;
    m_control = &control;
    for (const QHostAddress &a : candidates()) {
        if (control.listen(a, kControlPort)) {
            m_address = a;
            break;
        }
    }
    m_ready.release();
    if (m_address.isNull())
        return;

    QObject::connect(&control, &QTcpServer::newConnection, &control, [this, &control] {
        while (QTcpSocket *socket = control.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine()) {
                    QByteArray line = socket->readLine();
                    line.chop(1);
                    handleLine(socket, QString::fromUtf8(line));
                }
            });
        }
    });
    exec();
}

void SimulatedWifiPhone::handleLine(QTcpSocket *socket, const QString &line)
{
    {
        QMutexLocker lock(&m_mutex);
        m_received << line;
    }
    if (line.startsWith(QLatin1String("hello:"))) {
        switch (greeting) {
        case Greeting::Answer:
            socket->write(helloReply.toUtf8() + "\n");
            socket->flush();
            break;
        case Greeting::Silent:
            break;
        case Greeting::Close:
            socket->disconnectFromHost();
            break;
        }
        return;
    }
    static const QRegularExpression session(QStringLiteral("^(backup|restore)://127\\.0\\.0\\.1:(\\d+)/$"));
    const QRegularExpressionMatch m = session.match(line);
    if (!m.hasMatch())
        return;
    relay(quint16(m.captured(2).toUInt()));
    m_app->serve(m.captured(1) == QLatin1String("backup") ? CompanionApp::Mode::Load
                                                          : CompanionApp::Mode::Restore,
                 m_app->port());
    ++m_sessions;
}

void SimulatedWifiPhone::relay(quint16 port)
{
    // The session port of the phone's address leads to the app, wherever the app listens here.
    auto *server = new QTcpServer(m_control);
    if (!server->listen(m_address, port)) {
        delete server;
        return;
    }
    const quint16 appPort = m_app->port();
    QObject::connect(server, &QTcpServer::newConnection, server, [this, server, appPort] {
        while (QTcpSocket *desktop = server->nextPendingConnection()) {
            auto *app = new QTcpSocket(m_control);
            desktop->setParent(m_control);
            pipe(desktop, app);
            pipe(app, desktop);
            QObject::connect(desktop, &QTcpSocket::disconnected, desktop, &QObject::deleteLater);
            QObject::connect(app, &QTcpSocket::disconnected, app, &QObject::deleteLater);
            app->connectToHost(QHostAddress::LocalHost, appPort);
        }
        // One session per request.
        server->close();
        server->deleteLater();
    });
}

bool SimulatedWifiPhone::waitForSessions(int count, int ms) const
{
    QDeadlineTimer deadline(ms);
    while (m_sessions.load() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
    return true;
}

} // namespace tarnwick::peers
