#include "LoopbackSockets.h"
#include "SimulatedAdbd.h"
#include "TestMain.h"
#include "platform/adb/AdbChannel.h"
#include "platform/adb/AdbError.h"
#include "platform/adb/AdbForwardServer.h"
#include "platform/adb/AdbKey.h"
#include "platform/adb/AdbShell.h"
#include "platform/adb/AdbStream.h"
#include "platform/adb/AdbSyncService.h"
#include "platform/adb/AdbTcpChannel.h"
#include "platform/adb/AdbThreadPool.h"
#include "platform/adb/AdbTransport.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

using tarnwick::peers::SimulatedAdbd;

namespace {

// A wire whose reader is handed the last reference to its own transport and lets go of it there,
// as a stream answered on the reader thread may; it records on which thread the wire is destroyed.
class LastReferenceChannel : public AdbChannel
{
public:
    struct Seen
    {
        std::mutex mutex;
        std::condition_variable changed;
        std::shared_ptr<AdbTransport> handed;
        bool closed = false;
        std::thread::id reader;
        std::thread::id destroyer;
        bool destroyed = false;
    };

    explicit LastReferenceChannel(std::shared_ptr<Seen> seen)
        : m_seen(std::move(seen))
    {}
    ~LastReferenceChannel() override
    {
        std::lock_guard lock(m_seen->mutex);
        m_seen->destroyer = std::this_thread::get_id();
        m_seen->destroyed = true;
        m_seen->changed.notify_all();
    }
    qint64 read(char *, qint64) override
    {
        const std::shared_ptr<Seen> seen = m_seen;
        std::unique_lock lock(seen->mutex);
        seen->reader = std::this_thread::get_id();
        seen->changed.wait(lock, [&seen] { return seen->handed || seen->closed; });
        std::shared_ptr<AdbTransport> last = std::move(seen->handed);
        lock.unlock();
        last.reset();
        lock.lock();
        seen->changed.wait(lock, [&seen] { return seen->closed; });
        return 0;
    }
    void write(const QByteArray &, const QByteArray &) override {}
    void close() override
    {
        std::lock_guard lock(m_seen->mutex);
        m_seen->closed = true;
        m_seen->changed.notify_all();
    }

private:
    std::shared_ptr<Seen> m_seen;
};

// A service on the simulated phone: sends back what it gets, to every connection.
class EchoServer
{
public:
    EchoServer()
        : m_fd(tarnwick::peers::listenLoopback(m_port))
    {
        m_thread = std::thread([this] {
            for (;;) {
                const int c = ::accept(m_fd, nullptr, nullptr);
                if (c < 0)
                    return;
                m_clients.emplace_back([c] {
                    char buf[65536];
                    for (;;) {
                        const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                        if (n <= 0 || ::send(c, buf, size_t(n), MSG_NOSIGNAL) != n)
                            break;
                    }
                    ::close(c);
                });
            }
        });
    }
    ~EchoServer()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        for (auto &t : m_clients)
            t.join();
        ::close(m_fd);
    }
    quint16 port() const { return m_port; }

private:
    quint16 m_port = 0;
    int m_fd;
    std::thread m_thread;
    std::vector<std::thread> m_clients;
};

// Sends data to 127.0.0.1:port and reads back as many bytes.
QByteArray roundTrip(quint16 port, const QByteArray &data)
{
    const int fd = tarnwick::peers::connectLoopback(port);
    if (fd < 0)
        return {};
    std::thread writer([fd, data] { ::send(fd, data.constData(), size_t(data.size()), MSG_NOSIGNAL); });
    QByteArray back;
    char buf[65536];
    while (back.size() < data.size()) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        back.append(buf, int(n));
    }
    writer.join();
    ::close(fd);
    return back;
}

QByteArray randomBytes(int size)
{
    QByteArray data(size, '\0');
    for (char &c : data)
        c = char(QRandomGenerator::global()->bounded(256));
    return data;
}

} // namespace

class TestAdbTransport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_keyDir;
    std::shared_ptr<const AdbKey> m_key;

    std::shared_ptr<AdbTransport> connectTo(const SimulatedAdbd &phone)
    {
        return AdbTransport::start(AdbTcpChannel::connectTo(QStringLiteral("127.0.0.1"), phone.port()),
                                   phone.options().serial, m_key);
    }
    PAdbUSBHandle onlineHandle(const SimulatedAdbd &phone)
    {
        PAdbUSBHandle handle(new AdbUSBHandle(connectTo(phone)));
        if (!handle->waitForAuth2(20000))
            return {};
        return handle;
    }

private slots:
    void initTestCase()
    {
        m_key =
            std::make_shared<const AdbKey>(AdbKey::loadOrCreate(m_keyDir.filePath(QStringLiteral("adbkey"))));
    }

    void signIn_data()
    {
        QTest::addColumn<bool>("requireAuth");
        QTest::addColumn<bool>("knownKey");
        QTest::addColumn<int>("prompt");
        QTest::addColumn<bool>("online");
        QTest::addColumn<int>("keysOffered");

        QTest::newRow("phone without sign-in")
            << false << false << int(SimulatedAdbd::Prompt::Accept) << true << 0;
        QTest::newRow("phone knows our key")
            << true << true << int(SimulatedAdbd::Prompt::Refuse) << true << 0;
        QTest::newRow("user allows the new key")
            << true << false << int(SimulatedAdbd::Prompt::Accept) << true << 1;
        QTest::newRow("user refuses the new key")
            << true << false << int(SimulatedAdbd::Prompt::Refuse) << false << 1;
        QTest::newRow("user ignores the prompt")
            << true << false << int(SimulatedAdbd::Prompt::Ignore) << false << 1;
    }

    void signIn()
    {
        QFETCH(bool, requireAuth);
        QFETCH(bool, knownKey);
        QFETCH(int, prompt);
        QFETCH(bool, online);
        QFETCH(int, keysOffered);

        SimulatedAdbd::Options options;
        options.requireAuth = requireAuth;
        options.prompt = SimulatedAdbd::Prompt(prompt);
        SimulatedAdbd phone(options);
        if (knownKey)
            phone.trustKey(m_key->androidPublicKey());
        PAdbUSBHandle handle(new AdbUSBHandle(connectTo(phone)));
        QCOMPARE(handle->deviceId(), options.serial);
        QCOMPARE(handle->waitForAuth2(online ? 20000 : 500), online);
        // A phone that lets us in has read the offer first; one that does not may read it later.
        QTRY_COMPARE(phone.offeredKeys().size(), keysOffered);
        if (keysOffered > 0) {
            // What the phone shows its user: our key in its layout, then who asks.
            const QByteArray offered = phone.offeredKeys().first();
            QVERIFY(offered.endsWith('\0'));
            QCOMPARE(offered.chopped(1), m_key->publicKeyLine());
        }
        QCOMPARE(phone.signaturesAccepted(), knownKey ? 1 : 0);
        if (online) {
            QCOMPARE(adbShell(handle, QStringLiteral("echo ready"), nullptr, nullptr, nullptr),
                     QByteArray("ready\n"));
        } else {
            bool ok = true;
            QString error;
            adbShell(handle, QStringLiteral("echo ready"), &ok, &error, nullptr);
            QVERIFY(!ok);
            QVERIFY(!error.isEmpty());
        }
    }

    // The trust wait: the shell asks in short slices while the user makes up their mind, and a key
    // once allowed signs in silently next time.
    void trustWaitThenKeyRemembered()
    {
        SimulatedAdbd::Options options;
        options.requireAuth = true;
        // The prompt stays up until the test answers it, so the wait is seen however slow the
        // machine is.
        options.prompt = SimulatedAdbd::Prompt::Ask;
        SimulatedAdbd phone(options);
        PAdbUSBHandle handle(new AdbUSBHandle(connectTo(phone)));
        QVERIFY(!handle->waitForAuth2(100));
        QCOMPARE(handle->transport()->waitWhileConnecting(20000), AdbTransport::State::Authorizing);
        phone.answerPrompt(true);
        QElapsedTimer timer;
        timer.start();
        while (!handle->waitForAuth2(100))
            QVERIFY(timer.elapsed() < 60 * 1000);
        // A slice that timed out before the phone came online offers the key again; the phone reads
        // one connection in order, so once a shell answers, every offer of this handle is counted.
        QCOMPARE(adbShell(handle, QStringLiteral("echo ready"), nullptr, nullptr, nullptr),
                 QByteArray("ready\n"));
        const qsizetype offered = phone.offeredKeys().size();
        QVERIFY(offered >= 1);

        PAdbUSBHandle again(new AdbUSBHandle(connectTo(phone)));
        QVERIFY(again->waitForAuth2(20000));
        QCOMPARE(phone.offeredKeys().size(), offered);
        QCOMPARE(phone.signaturesAccepted(), 1);
    }

    // The phone's prompt went away unanswered; Retry in the trust box (the next wait) brings it
    // back, whether the phone sends a new token by itself or waits for the host, and the user's
    // yes then lets the computer in without a replug.
    void trustRetryAfterDismissedPrompt_data()
    {
        QTest::addColumn<bool>("phoneSendsNewToken");
        QTest::newRow("phone waits for the host") << false;
        QTest::newRow("phone sends a new token") << true;
    }

    void trustRetryAfterDismissedPrompt()
    {
        QFETCH(bool, phoneSendsNewToken);
        SimulatedAdbd::Options options;
        options.requireAuth = true;
        options.prompt = SimulatedAdbd::Prompt::Ask;
        SimulatedAdbd phone(options);
        PAdbUSBHandle handle(new AdbUSBHandle(connectTo(phone)));
        QCOMPARE(handle->transport()->waitWhileConnecting(20000), AdbTransport::State::Authorizing);
        QVERIFY(!handle->waitForAuth2(50));
        // The computer is authorizing once the key has left; the phone reads it in its own time.
        QTRY_COMPARE(phone.offeredKeys().size(), 1);

        phone.dismissPrompt(phoneSendsNewToken);
        if (phoneSendsNewToken)
            QTRY_COMPARE(phone.offeredKeys().size(), 2);
        phone.answerPrompt(true);
        QVERIFY(handle->waitForAuth2(20000));
        // One offer for each prompt: the retry does not add one where the phone asked by itself.
        QCOMPARE(phone.offeredKeys().size(), 2);
        QCOMPARE(phone.offeredKeys().last(), phone.offeredKeys().first());
        QCOMPARE(adbShell(handle, QStringLiteral("echo in"), nullptr, nullptr, nullptr), QByteArray("in\n"));
    }

    void maxPayloadNegotiated_data()
    {
        QTest::addColumn<quint32>("phoneMax");
        QTest::addColumn<quint32>("agreed");
        QTest::newRow("old phone") << 4096u << 4096u;
        QTest::newRow("newer phone") << quint32(256 * 1024) << quint32(256 * 1024);
        QTest::newRow("phone beyond our limit") << quint32(4 * 1024 * 1024) << quint32(1024 * 1024);
    }

    void maxPayloadNegotiated()
    {
        QFETCH(quint32, phoneMax);
        QFETCH(quint32, agreed);
        SimulatedAdbd::Options options;
        options.maxPayload = phoneMax;
        SimulatedAdbd phone(options);
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QCOMPARE(handle->transport()->maxPayload(), agreed);
        // Output larger than one message comes through whole.
        const QByteArray big = randomBytes(int(agreed) * 3 + 17);
        phone.setShellHandler([big](const QString &command) -> std::optional<SimulatedAdbd::ShellResult> {
            if (command != QLatin1String("cat big"))
                return std::nullopt;
            return SimulatedAdbd::ShellResult{big, {}, 0};
        });
        QCOMPARE(adbShell(handle, QStringLiteral("cat big"), nullptr, nullptr, nullptr), big);
    }

    void shell_data()
    {
        QTest::addColumn<bool>("shellV2");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<quint32>("version");

        QTest::newRow("v2 output") << true << "echo hello" << QByteArray("hello\n") << 0 << 0x01000001u;
        QTest::newRow("v2 exit status") << true << "exit 3" << QByteArray() << 3 << 0x01000001u;
        QTest::newRow("v2 error text and status")
            << true << "frobnicate" << QByteArray("/system/bin/sh: frobnicate: not found\n") << 127
            << 0x01000001u;
        QTest::newRow("raw shell output")
            << false << "echo hello" << QByteArray("hello\n") << 0 << 0x01000001u;
        // The raw shell has no status to give: the command ran, and that is all we know.
        QTest::newRow("raw shell without status") << false << "exit 3" << QByteArray() << 0 << 0x01000001u;
        // An old phone drops a host whose messages lack the right sums.
        QTest::newRow("old phone checks our sums")
            << false << "echo hello" << QByteArray("hello\n") << 0 << 0x01000000u;
    }

    void shell()
    {
        QFETCH(bool, shellV2);
        QFETCH(QString, command);
        QFETCH(QByteArray, output);
        QFETCH(int, exitCode);
        QFETCH(quint32, version);
        SimulatedAdbd::Options options;
        options.shellV2 = shellV2;
        options.version = version;
        SimulatedAdbd phone(options);
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        bool ok = false;
        int status = -99;
        QString error;
        QCOMPARE(adbShell(handle, command, &ok, &error, &status), output);
        QVERIFY2(ok, qPrintable(error));
        QCOMPARE(status, exitCode);
        QCOMPARE(phone.shellCommands(), QStringList{command});
    }

    void pushKeepsBytesAndMode_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<quint32>("phoneMax");
        QTest::newRow("empty file") << 0 << quint32(256 * 1024);
        QTest::newRow("one block exactly") << 65536 << quint32(256 * 1024);
        QTest::newRow("many blocks, large messages") << 1000003 << quint32(1024 * 1024);
        QTest::newRow("many blocks, old phone") << 200001 << 4096u;
    }

    void pushKeepsBytesAndMode()
    {
        QFETCH(int, size);
        QFETCH(quint32, phoneMax);
        SimulatedAdbd::Options options;
        options.maxPayload = phoneMax;
        SimulatedAdbd phone(options);
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QByteArray data = randomBytes(size);
        QBuffer source(&data);
        QVERIFY(source.open(QIODevice::ReadOnly));
        AdbSyncService::push(*handle->transport(), source, QStringLiteral("/sdcard/x.bin"), 0640, 1700000000);
        QCOMPARE(phone.files().value(QStringLiteral("/sdcard/x.bin")), data);
        QCOMPARE(phone.fileModes().value(QStringLiteral("/sdcard/x.bin")), 0100640);
    }

    void pushRefusedGivesThePhonesReason()
    {
        SimulatedAdbd phone;
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QByteArray data("abc");
        QBuffer source(&data);
        QVERIFY(source.open(QIODevice::ReadOnly));
        try {
            AdbSyncService::push(*handle->transport(), source, QStringLiteral("relative/path"), 0644, 0);
            QFAIL("a refused push must throw");
        } catch (const AdbError &e) {
            QVERIFY2(QByteArray(e.what()).contains("path must be absolute"), e.what());
        }
        // The transport survives a refused file.
        QCOMPARE(adbShell(handle, QStringLiteral("echo still"), nullptr, nullptr, nullptr),
                 QByteArray("still\n"));
    }

    void install_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a package") << QByteArray("PK\x03\x04 package body") << true << QString();
        QTest::newRow("not a package")
            << QByteArray("plain text") << false << QStringLiteral("Failure [INSTALL_PARSE_FAILED_NOT_APK]");
    }

    void install()
    {
        QFETCH(QByteArray, package);
        QFETCH(bool, installed);
        QFETCH(QString, reason);
        SimulatedAdbd phone;
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QTemporaryDir dir;
        const QString apk = dir.filePath(QStringLiteral("com.ferrovantis.contactssync.apk"));
        QFile file(apk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(package);
        file.close();

        QString error;
        QCOMPARE(adbInstallLegacy(handle, apk, QStringLiteral("-r"), &error), installed);
        QCOMPARE(error, reason);
        const QString remote = QStringLiteral("/data/local/tmp/com.ferrovantis.contactssync.apk");
        QVERIFY(phone.shellCommands().contains(QStringLiteral("pm install -r ") + remote));
        // The pushed copy does not stay on the phone.
        QVERIFY(!phone.files().contains(remote));
        QCOMPARE(phone.installedPackages().contains(QStringLiteral("com.ferrovantis.contactssync")),
                 installed);
    }

    void installOfMissingFileFails()
    {
        SimulatedAdbd phone;
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QString error;
        QVERIFY(
            !adbInstallLegacy(handle, QStringLiteral("/nonexistent/app.apk"), QStringLiteral("-r"), &error));
        QVERIFY(error.contains(QLatin1String("/nonexistent/app.apk")));
        QVERIFY(phone.shellCommands().isEmpty());
    }

    void forwardCarriesBothWays()
    {
        SimulatedAdbd phone;
        EchoServer app;
        phone.mapPort(23456, app.port());
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QString error;
        const quint16 local = AdbForwardServer::forward(handle, 0, 23456, &error);
        QVERIFY2(local != 0, qPrintable(error));
        const QByteArray data = randomBytes(3 * 1024 * 1024 + 5);
        QCOMPARE(roundTrip(local, data), data);
        // Each session forwards its port again: the same listener goes on serving.
        QCOMPARE(AdbForwardServer::forward(handle, local, 23456, nullptr), local);
        QCOMPARE(roundTrip(local, "again"), QByteArray("again"));
    }

    void forwardToAClosedPhonePortEndsTheConnection()
    {
        SimulatedAdbd phone;
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        phone.mapPort(4000, 1); // nothing listens on port 1
        const quint16 local = AdbForwardServer::forward(handle, 0, 4000, nullptr);
        QVERIFY(local != 0);
        QCOMPARE(roundTrip(local, "hello"), QByteArray());
        // The refusal ends that connection only.
        QCOMPARE(adbShell(handle, QStringLiteral("echo fine"), nullptr, nullptr, nullptr),
                 QByteArray("fine\n"));
    }

    void forwardOnATakenPortFails()
    {
        SimulatedAdbd phone;
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        const quint16 first = AdbForwardServer::forward(handle, 0, 1234, nullptr);
        QVERIFY(first != 0);
        PAdbUSBHandle other = onlineHandle(phone);
        QString error;
        QCOMPARE(AdbForwardServer::forward(other, first, 1234, &error), quint16(0));
        QVERIFY(!error.isEmpty());
    }

    // Shell commands, a push and forwarded connections share one transport at the same time.
    void severalStreamsAtOnce()
    {
        SimulatedAdbd::Options options;
        options.maxPayload = 4096; // many messages per stream, so they interleave
        SimulatedAdbd phone(options);
        EchoServer app;
        phone.mapPort(7000, app.port());
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        const quint16 local = AdbForwardServer::forward(handle, 0, 7000, nullptr);
        QVERIFY(local != 0);
        const QByteArray big = randomBytes(100000);
        phone.setShellHandler([big](const QString &command) -> std::optional<SimulatedAdbd::ShellResult> {
            if (command != QLatin1String("cat big"))
                return std::nullopt;
            return SimulatedAdbd::ShellResult{big, {}, 0};
        });

        std::atomic_int failures{0};
        std::vector<std::thread> workers;
        for (int i = 0; i < 4; ++i) {
            workers.emplace_back([&, i] {
                if (adbShell(handle, QStringLiteral("cat big"), nullptr, nullptr, nullptr) != big)
                    ++failures;
                const QByteArray mine = randomBytes(200000 + i);
                if (roundTrip(local, mine) != mine)
                    ++failures;
                QByteArray file = randomBytes(150000 + i);
                QBuffer source(&file);
                source.open(QIODevice::ReadOnly);
                try {
                    AdbSyncService::push(*handle->transport(), source, QStringLiteral("/sdcard/%1").arg(i),
                                         0644, 0);
                } catch (const AdbError &) {
                    ++failures;
                }
                if (phone.files().value(QStringLiteral("/sdcard/%1").arg(i)) != file)
                    ++failures;
            });
        }
        for (auto &w : workers)
            w.join();
        QCOMPARE(int(failures), 0);
    }

    // Streams pipeline their writes in windows where the phone offers delayed acknowledgement, and
    // fall back to one write in flight where it does not; either way every byte arrives in order.
    // The simulated phone drops a host that sends beyond the window it granted, so a small window
    // shows that ours is respected over many updates; a transfer larger than our own window shows
    // that we keep granting more.
    void flowControl_data()
    {
        QTest::addColumn<bool>("phoneOffersWindows");
        QTest::addColumn<quint32>("phoneWindow");
        QTest::addColumn<quint32>("phoneMax");
        QTest::addColumn<bool>("phoneSplices");
        QTest::addColumn<quint32>("version");
        const quint32 current = 0x01000001;
        QTest::newRow("windows") << true << quint32(2 * 1024 * 1024) << quint32(256 * 1024) << false
                                 << current;
        QTest::newRow("windows, phone splicing forwards")
            << true << quint32(2 * 1024 * 1024) << quint32(1024 * 1024) << true << current;
        QTest::newRow("small window, small messages") << true << quint32(20000) << 4096u << false << current;
        QTest::newRow("window smaller than a message") << true << quint32(3000) << 4096u << false << current;
        QTest::newRow("older phone: one write in flight")
            << false << 0u << quint32(256 * 1024) << false << current;
        // Payload sums on every message, windows or not.
        QTest::newRow("oldest protocol, windows")
            << true << quint32(2 * 1024 * 1024) << 4096u << false << 0x01000000u;
        QTest::newRow("oldest protocol, one write in flight") << false << 0u << 4096u << false << 0x01000000u;
    }

    void flowControl()
    {
        QFETCH(bool, phoneOffersWindows);
        QFETCH(quint32, phoneWindow);
        QFETCH(quint32, phoneMax);
        QFETCH(bool, phoneSplices);
        QFETCH(quint32, version);
        SimulatedAdbd::Options options;
        options.version = version;
        options.spliceForwards = phoneSplices;
        options.delayedAck = phoneOffersWindows;
        options.receiveWindow = phoneWindow;
        options.maxPayload = phoneMax;
        SimulatedAdbd phone(options);
        EchoServer app;
        phone.mapPort(7100, app.port());
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QCOMPARE(handle->transport()->delayedAck(), phoneOffersWindows);

        // More than our own window, from the phone.
        QByteArray big(int(AdbStream::kReceiveWindow) * 2 + 12345, '\0');
        for (int i = 0; i < big.size(); ++i)
            big[i] = char((i * 7) ^ (i >> 11));
        phone.setShellHandler([big](const QString &command) -> std::optional<SimulatedAdbd::ShellResult> {
            if (command != QLatin1String("cat big"))
                return std::nullopt;
            return SimulatedAdbd::ShellResult{big, {}, 0};
        });
        QCOMPARE(adbShell(handle, QStringLiteral("cat big"), nullptr, nullptr, nullptr), big);

        // Both ways at once through a forward.
        const quint16 local = AdbForwardServer::forward(handle, 0, 7100, nullptr);
        QVERIFY(local != 0);
        const QByteArray data = randomBytes(1024 * 1024 + 3);
        QCOMPARE(roundTrip(local, data), data);

        // A push writes many messages before it reads the phone's answer.
        QByteArray file = big.left(3 * 1024 * 1024 + 1);
        QBuffer source(&file);
        QVERIFY(source.open(QIODevice::ReadOnly));
        AdbSyncService::push(*handle->transport(), source, QStringLiteral("/sdcard/w.bin"), 0644, 0);
        QCOMPARE(phone.files().value(QStringLiteral("/sdcard/w.bin")), file);
        QCOMPARE(handle->transport()->state(), AdbTransport::State::Online);
    }

    void refusedServiceIsAnError()
    {
        SimulatedAdbd phone;
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        QVERIFY_THROWS_EXCEPTION(AdbError, handle->transport()->open("nosuch:"));
        QCOMPARE(adbShell(handle, QStringLiteral("echo fine"), nullptr, nullptr, nullptr),
                 QByteArray("fine\n"));
    }

    // A broken phone fails the call in hand with a reason and leaves the transport offline; nothing
    // hangs and nothing is reported as success.
    void faults_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<quint32>("version");
        QTest::addColumn<bool>("duringInstall");
        QTest::addColumn<bool>("callSucceeds");
        QTest::addColumn<bool>("transportSurvives");
        QTest::addColumn<QString>("reasonContains");

        QTest::newRow("bad checksum from an old phone")
            << int(SimulatedAdbd::Fault::BadChecksum) << 0x01000000u << false << false << false
            << "check sum";
        QTest::newRow("newer phones do not check sums")
            << int(SimulatedAdbd::Fault::BadChecksum) << 0x01000001u << false << true << true << "";
        QTest::newRow("truncated message") << int(SimulatedAdbd::Fault::TruncatedMessage) << 0x01000001u
                                           << false << false << false << "went away";
        QTest::newRow("payload beyond the agreed limit")
            << int(SimulatedAdbd::Fault::OversizedPayload) << 0x01000001u << false << false << false
            << "agreed";
        QTest::newRow("stream closed in the middle of a push")
            << int(SimulatedAdbd::Fault::StreamClosedMidPush) << 0x01000001u << true << false << true << "";
        QTest::newRow("phone gone in the middle of a push")
            << int(SimulatedAdbd::Fault::GoneMidPush) << 0x01000001u << true << false << false << "";
        // A bad window fails its own stream; the phone stays usable.
        QTest::newRow("stream answer without its window")
            << int(SimulatedAdbd::Fault::OkayWithoutWindow) << 0x01000001u << false << false << true
            << "window";
        QTest::newRow("negative window") << int(SimulatedAdbd::Fault::NegativeWindow) << 0x01000001u << false
                                         << false << true << "negative";
        QTest::newRow("window past the grant") << int(SimulatedAdbd::Fault::WindowPastGrant) << 0x01000001u
                                               << false << false << true << "window";
    }

    void faults()
    {
        QFETCH(int, fault);
        QFETCH(quint32, version);
        QFETCH(bool, duringInstall);
        QFETCH(bool, callSucceeds);
        QFETCH(bool, transportSurvives);
        QFETCH(QString, reasonContains);

        SimulatedAdbd::Options options;
        options.version = version;
        options.maxPayload = 4096;
        SimulatedAdbd phone(options);
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        phone.setFault(SimulatedAdbd::Fault(fault));

        bool ok = false;
        QString error;
        if (duringInstall) {
            QTemporaryDir dir;
            QFile apk(dir.filePath(QStringLiteral("app.apk")));
            QVERIFY(apk.open(QIODevice::WriteOnly));
            apk.write("PK" + randomBytes(300000));
            apk.close();
            ok = adbInstallLegacy(handle, apk.fileName(), QStringLiteral("-r"), &error);
            QVERIFY(!ok);
            QVERIFY(phone.installedPackages().isEmpty());
        } else {
            const QByteArray out = adbShell(handle, QStringLiteral("echo hello"), &ok, &error, nullptr);
            QCOMPARE(ok, callSucceeds);
            if (ok)
                QCOMPARE(out, QByteArray("hello\n"));
        }
        if (!ok)
            QVERIFY(!error.isEmpty());
        QVERIFY2(error.contains(reasonContains), qPrintable(error));
        const bool survived = handle->transport()->state() == AdbTransport::State::Online;
        QCOMPARE(survived, transportSurvives);
        if (survived) {
            error.clear();
            QCOMPARE(adbShell(handle, QStringLiteral("echo next"), &ok, &error, nullptr),
                     QByteArray("next\n"));
            QVERIFY2(ok, qPrintable(error));
        }
    }

    // The last reference may go on the transport's own reader thread; the transport then ends on
    // another thread, which joins the reader, so the reader never runs on a freed object.
    void lastReferenceOnTheReaderThread()
    {
        auto seen = std::make_shared<LastReferenceChannel::Seen>();
        std::weak_ptr<AdbTransport> watch;
        {
            std::shared_ptr<AdbTransport> transport =
                AdbTransport::start(std::make_unique<LastReferenceChannel>(seen), QStringLiteral("last"));
            watch = transport;
            std::lock_guard lock(seen->mutex);
            seen->handed = std::move(transport);
            seen->changed.notify_all();
        }
        std::unique_lock lock(seen->mutex);
        QVERIFY(seen->changed.wait_for(lock, std::chrono::seconds(10), [&seen] { return seen->destroyed; }));
        QVERIFY(seen->destroyer != seen->reader);
        lock.unlock();
        QVERIFY(watch.expired());
        adbThreadPool()->waitForDone();
    }

    void unpluggedPhoneEndsABlockedCommand()
    {
        SimulatedAdbd phone;
        std::promise<void> started;
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        phone.setShellHandler(
            [&started, released](const QString &) -> std::optional<SimulatedAdbd::ShellResult> {
                started.set_value();
                released.wait_for(std::chrono::seconds(30));
                return std::nullopt;
            });
        const PAdbUSBHandle handle = onlineHandle(phone);
        QVERIFY(handle);
        auto result = std::async(std::launch::async, [handle] {
            bool ok = true;
            adbShell(handle, QStringLiteral("sleep 30"), &ok, nullptr, nullptr);
            return ok;
        });
        started.get_future().wait();
        phone.unplug();
        QCOMPARE(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QVERIFY(!result.get());
        QCOMPARE(handle->transport()->state(), AdbTransport::State::Offline);
        release.set_value();
    }
};

TARNWICK_TEST_MAIN(TestAdbTransport)
#include "tst_adbtransport.moc"
