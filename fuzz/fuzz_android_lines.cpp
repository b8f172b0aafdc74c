// The companion-app line reader, fed the bytes a phone might send over a real loopback connection:
// commands until the connection ends, then the same bytes as a stream transfer.
#include "android/simpleprotocol.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <cstdint>
#include <memory>

namespace {

// Connects a desktop end to a phone end, lets the phone send `bytes` and hang up, and runs `read`
// on the desktop end until it throws.
template<typename Read> void replay(const QByteArray &bytes, Read read)
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return;
    QTcpSocket desktop;
    desktop.connectToHost(QHostAddress::LocalHost, server.serverPort());
    if (!desktop.waitForConnected(2000) || !server.waitForNewConnection(2000))
        return;
    std::unique_ptr<QTcpSocket> phone(server.nextPendingConnection());
    phone->setParent(nullptr);
    phone->write(bytes);
    while (phone->bytesToWrite() > 0 && phone->waitForBytesWritten(2000)) {
    }
    phone->disconnectFromHost();
    try {
        read(desktop);
    } catch (const std::exception &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_android_lines";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = [] {
        std::signal(SIGPIPE, SIG_IGN);
        return new QCoreApplication(argc, argv);
    }();
    Q_UNUSED(app);

    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    simpleprotocol::ReadWait wait([] {}, 2000, 10);
    wait.maxLineBytes = 1 << 20;
    replay(bytes, [&wait](QTcpSocket &socket) {
        for (;;)
            simpleprotocol::readCommand(socket, wait);
    });
    replay(bytes, [](QTcpSocket &socket) {
        QBuffer target;
        target.open(QIODevice::WriteOnly);
        simpleprotocol::readStreamContent(socket, target, 2000);
    });
    return 0;
}
