#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

// A one-shot-per-connection HTTP server on the loopback interface (free port), enough to see what
// the program sends and to answer it with a chosen status and body.
class LoopbackHttpServer
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;

        QByteArray header(const QByteArray &name) const
        {
            for (const auto &h : headers)
                if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                    return h.second;
            return {};
        }
    };

    int status = 200;
    QByteArray body;
    bool splitBody = false; // send the body in two chunks, the second one later
    QByteArray location;    // sent as a "Location" header when not empty (redirects)

    LoopbackHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(&m_server);
                auto *buffer = new QByteArray;
                QObject::connect(socket, &QObject::destroyed, [buffer] { delete buffer; });
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket, buffer] { onData(socket, buffer); });
            }
        });
    }

    QString host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    const QList<Request> &requests() const { return m_requests; }

private:
    void onData(QTcpSocket *socket, QByteArray *buffer)
    {
        buffer->append(socket->readAll());
        const int headerEnd = buffer->indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        int length = 0;
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon < 0)
                continue;
            const QByteArray name = lines[i].left(colon).trimmed();
            const QByteArray value = lines[i].mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = value.toInt();
        }
        if (buffer->size() < headerEnd + 4 + length)
            return;
        request.body = buffer->mid(headerEnd + 4, length);
        buffer->clear();
        m_requests.append(request);

        const QByteArray head = "HTTP/1.1 " + QByteArray::number(status) +
                                " X\r\nContent-Length: " + QByteArray::number(body.size()) +
                                (location.isEmpty() ? QByteArray() : "\r\nLocation: " + location) +
                                "\r\nConnection: close\r\n\r\n";
        if (!splitBody) {
            socket->write(head + body);
            socket->disconnectFromHost();
            return;
        }
        const int half = body.size() / 2;
        socket->write(head + body.left(half));
        socket->flush();
        const QByteArray rest = body.mid(half);
        QTimer::singleShot(100, socket, [socket, rest] {
            socket->write(rest);
            socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QList<Request> m_requests;
};
