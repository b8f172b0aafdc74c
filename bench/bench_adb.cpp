// ADB client throughput on loopback: a 50 MB push through "sync:" and 50 MB streamed through a
// forwarded "tcp:" port, both to the simulated adbd, against the same bytes over a plain loopback
// TCP connection. Target: each at least half the plain rate.
#include "BenchTargets.h"
#include "LoopbackSockets.h"
#include "SimulatedAdbd.h"
#include "platform/adb/AdbForwardServer.h"
#include "platform/adb/AdbKey.h"
#include "platform/adb/AdbSyncService.h"
#include "platform/adb/AdbTcpChannel.h"
#include "platform/adb/AdbTransport.h"
#include "platform/adb/AdbUSBHandle.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

using tarnwick::peers::connectLoopback;
using tarnwick::peers::listenLoopback;
using tarnwick::peers::SimulatedAdbd;

namespace {

constexpr qint64 kBytes = 50LL * 1024 * 1024;
constexpr int kChunk = 256 * 1024;
// A round moves its 50 MB in tens of milliseconds, through threads on both ends: on a busy machine
// five rounds often left the forward without one undisturbed run. The best of each kind counts.
constexpr int kRuns = 15;

// Reads everything from one connection and answers with one byte once kBytes have arrived.
class Sink
{
public:
    Sink()
        : m_fd(listenLoopback(m_port))
    {
        m_thread = std::thread([this] {
            const int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                return;
            std::vector<char> buf(kChunk);
            qint64 total = 0;
            while (total < kBytes) {
                const ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
                if (n <= 0)
                    break;
                total += n;
            }
            ::send(c, "k", 1, MSG_NOSIGNAL);
            char dummy;
            ::recv(c, &dummy, 1, 0);
            ::close(c);
        });
    }
    ~Sink()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        ::close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    quint16 m_port = 0;
    int m_fd;
    std::thread m_thread;
};

// Sends kBytes to the port and waits for the sink's answer; the seconds it took.
double sendThrough(quint16 port, const QByteArray &chunk)
{
    QElapsedTimer timer;
    timer.start();
    const int fd = connectLoopback(port);
    if (fd < 0)
        return -1;
    for (qint64 sent = 0; sent < kBytes;) {
        const ssize_t n =
            ::send(fd, chunk.constData(), size_t(qMin<qint64>(chunk.size(), kBytes - sent)), MSG_NOSIGNAL);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        sent += n;
    }
    char ack = 0;
    const bool ok = ::recv(fd, &ack, 1, 0) == 1;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    ::close(fd);
    return ok ? seconds : -1;
}

double mbPerSecond(double seconds)
{
    return seconds > 0 && seconds < 1e9 ? double(kBytes) / (1024.0 * 1024.0) / seconds : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir keyDir;
    const auto key = std::make_shared<const AdbKey>(AdbKey::loadOrCreate(keyDir.filePath("adbkey")));
    QByteArray chunk(kChunk, '\0');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char(i * 31 + 7);

    SimulatedAdbd::Options options;
    options.maxPayload = 1024 * 1024;
    // The phone's flash is not what is measured.
    options.keepFileContents = false;
    options.spliceForwards = true;
    SimulatedAdbd phone(options);
    PAdbUSBHandle handle(new AdbUSBHandle(
        AdbTransport::start(AdbTcpChannel::connectTo("127.0.0.1", phone.port()), "bench", key)));
    if (!handle->waitForAuth2(5000)) {
        std::printf("failed: the simulated phone did not come online\n");
        return 1;
    }

    // Arguments pick measurements ("plain", "push", "forward"), for profiling one of them alone.
    const QStringList picked = app.arguments().mid(1);
    const auto runs = [&picked](const char *name) {
        return picked.isEmpty() || picked.contains(QLatin1String(name));
    };

    QByteArray file;
    file.reserve(int(kBytes));
    while (runs("push") && file.size() < kBytes)
        file += chunk;

    double plain = 1e9, push = 1e9, forward = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        if (runs("plain")) {
            Sink sink;
            plain = qMin(plain, sendThrough(sink.port(), chunk));
        }
        if (runs("push")) {
            QBuffer source(&file);
            source.open(QIODevice::ReadOnly);
            QElapsedTimer timer;
            timer.start();
            try {
                AdbSyncService::push(*handle->transport(), source, QStringLiteral("/sdcard/bench.bin"), 0644,
                                     0);
            } catch (const std::exception &e) {
                std::printf("failed: push: %s\n", e.what());
                return 1;
            }
            push = qMin(push, double(timer.nsecsElapsed()) / 1e9);
            if (phone.fileSizes().value(QStringLiteral("/sdcard/bench.bin")) != kBytes) {
                std::printf("failed: the pushed file is incomplete\n");
                return 1;
            }
        }
        if (runs("forward")) {
            Sink sink;
            phone.mapPort(40000, sink.port());
            QString error;
            const quint16 local = AdbForwardServer::forward(handle, 0, 40000, &error);
            const double seconds = local ? sendThrough(local, chunk) : -1;
            if (seconds < 0) {
                std::printf("failed: forward: %s\n", qPrintable(error));
                return 1;
            }
            forward = qMin(forward, seconds);
        }
    }

    BenchTargets targets(QStringLiteral("bench_adb"));
    const double plainRate = mbPerSecond(plain);
    const auto report = [plainRate, &targets](const char *label, double seconds) {
        const double rate = mbPerSecond(seconds);
        if (plainRate <= 0) {
            std::printf("%s%.0f MB/s\n", label, rate);
            return;
        }
        targets.atLeast(QString::fromLatin1(label).trimmed() + QStringLiteral(" rate / plain TCP"),
                        100 * rate / plainRate, 50, QStringLiteral("%"));
        std::printf("%s%.0f MB/s = %.0f%% of plain (target: at least 50%%) %s\n", label, rate,
                    100 * rate / plainRate, rate >= plainRate / 2 ? "ok" : "MISSED");
    };
    if (runs("plain"))
        std::printf("plain loopback TCP: %.0f MB/s\n", plainRate);
    if (runs("push"))
        report("push through sync:  ", push);
    if (runs("forward"))
        report("forwarded tcp:      ", forward);
    return targets.finish();
}
