#include "platform/adb/AdbMessage.h"
#include "platform/adb/AdbTransport.h"
#include "platform/adb/AdbUsbChannel.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QtEndian>

#include <deque>
#include <future>
#include <mutex>

namespace {

// Both bulk endpoints of a phone, as seen from the host: what the host sends is recorded transfer by
// transfer, and the phone's side is a script of transfers handed out in order.
class FakeEndpoints : public AdbUsbEndpoints
{
public:
    explicit FakeEndpoints(int packet, qint64 outLimit = -1)
        : m_packet(packet)
        , m_outLimit(outLimit)
    {}

    int maxPacketSize() const override { return m_packet; }

    qint64 bulkIn(char *buffer, qint64 size, int) override
    {
        std::lock_guard lock(m_mutex);
        requested.push_back(size);
        if (script.empty())
            return 0;
        QByteArray &next = script.front();
        const qint64 n = qMin<qint64>(size, next.size());
        memcpy(buffer, next.constData(), size_t(n));
        next.remove(0, n);
        if (next.isEmpty())
            script.pop_front();
        return n;
    }

    qint64 bulkOut(const char *data, qint64 size, int) override
    {
        std::lock_guard lock(m_mutex);
        const qint64 n = m_outLimit >= 0 ? qMin(size, m_outLimit) : size;
        sent.push_back(QByteArray(data, int(n)));
        return n;
    }

    std::vector<QByteArray> sentCopy()
    {
        std::lock_guard lock(m_mutex);
        return sent;
    }

    std::mutex m_mutex;
    std::deque<QByteArray> script;
    std::vector<QByteArray> sent;
    std::vector<qint64> requested;

private:
    const int m_packet;
    const qint64 m_outLimit;
};

QByteArray phoneMessage(quint32 command, quint32 arg0, quint32 arg1, const QByteArray &payload)
{
    return AdbMessage{command, arg0, arg1, payload}.encode();
}

} // namespace

class TestAdbUsbChannel : public QObject
{
    Q_OBJECT

private slots:
    void messageTransfers_data()
    {
        QTest::addColumn<int>("packet");
        QTest::addColumn<int>("payloadSize");
        QTest::addColumn<QList<int>>("transfers");

        QTest::newRow("no payload") << 512 << 0 << QList<int>{24};
        QTest::newRow("short payload") << 512 << 100 << QList<int>{24, 100};
        QTest::newRow("one packet exactly, then a zero-length packet") << 512 << 512 << QList<int>{24, 512, 0};
        QTest::newRow("several packets exactly") << 512 << 4096 << QList<int>{24, 4096, 0};
        QTest::newRow("ends in a short packet") << 512 << 1000 << QList<int>{24, 1000};
        QTest::newRow("full-speed packets") << 64 << 128 << QList<int>{24, 128, 0};
        QTest::newRow("superspeed packets") << 1024 << 1536 << QList<int>{24, 1536};
    }

    void messageTransfers()
    {
        QFETCH(int, packet);
        QFETCH(int, payloadSize);
        QFETCH(QList<int>, transfers);
        auto endpoints = std::make_unique<FakeEndpoints>(packet);
        FakeEndpoints *fake = endpoints.get();
        AdbUsbChannel channel(std::move(endpoints));
        const AdbMessage message{AdbMessage::Wrte, 1, 2, QByteArray(payloadSize, 'p')};
        channel.write(message.encodeHeader(), message.payload);
        QList<int> sizes;
        for (const QByteArray &t : fake->sent)
            sizes.append(int(t.size()));
        QCOMPARE(sizes, transfers);
        QCOMPARE(fake->sent.front(), message.encodeHeader());
    }

    // A transfer cut short by the time limit goes on where it stopped, and the zero-length packet
    // still follows the payload's last byte.
    void interruptedTransferResumes()
    {
        auto endpoints = std::make_unique<FakeEndpoints>(512, 300);
        FakeEndpoints *fake = endpoints.get();
        AdbUsbChannel channel(std::move(endpoints));
        QByteArray payload(1024, '\0');
        for (int i = 0; i < payload.size(); ++i)
            payload[i] = char(i * 7);
        channel.write(AdbMessage{AdbMessage::Wrte, 1, 2, payload}.encodeHeader(), payload);
        QByteArray joined;
        for (size_t i = 1; i + 1 < fake->sent.size(); ++i)
            joined += fake->sent[i];
        QCOMPARE(joined, payload);
        QCOMPARE(fake->sent.back().size(), 0);
    }

    void readsAskForWholePackets()
    {
        auto endpoints = std::make_unique<FakeEndpoints>(512);
        FakeEndpoints *fake = endpoints.get();
        fake->script.push_back(QByteArray(700, 'a'));
        AdbUsbChannel channel(std::move(endpoints));
        char buffer[1000];
        QCOMPARE(channel.read(buffer, sizeof buffer), qint64(512));
        QCOMPARE(fake->requested.front(), qint64(512));
        QCOMPARE(channel.read(buffer, sizeof buffer), qint64(188));
    }

    // The phone sends header and payload as separate transfers; the transport reads them as one
    // message and comes online.
    void transportOverUsbComesOnline()
    {
        auto endpoints = std::make_unique<FakeEndpoints>(512);
        FakeEndpoints *fake = endpoints.get();
        const QByteArray cnxn =
            phoneMessage(AdbMessage::Cnxn, AdbMessage::kVersionSkipChecksum, 4096, "device::features=shell_v2");
        fake->script.push_back(cnxn.left(24));
        fake->script.push_back(cnxn.mid(24));
        auto transport = AdbTransport::start(std::make_unique<AdbUsbChannel>(std::move(endpoints)), "usb-serial");
        QVERIFY(transport->waitForOnline(5000));
        QVERIFY(transport->hasFeature("shell_v2"));
        QCOMPARE(transport->maxPayload(), 4096u);
        const auto sent = fake->sentCopy();
        QVERIFY(sent.size() >= 2);
        QCOMPARE(sent[0].left(4), QByteArray("CNXN"));
        QCOMPARE(qFromLittleEndian<quint32>(sent[0].constData() + 12), quint32(sent[1].size()));
        QVERIFY(sent[1].startsWith("host::"));
        transport->close();
    }

    void closeEndsABlockedRead()
    {
        AdbUsbChannel channel(std::make_unique<FakeEndpoints>(512));
        auto reading = std::async(std::launch::async, [&channel] {
            char buffer[512];
            return channel.read(buffer, sizeof buffer);
        });
        QCOMPARE(reading.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        channel.close();
        QCOMPARE(reading.wait_for(std::chrono::seconds(2)), std::future_status::ready);
        QCOMPARE(reading.get(), qint64(0));
    }
};

TARNWICK_TEST_MAIN(TestAdbUsbChannel)
#include "tst_adbusbchannel.moc"
