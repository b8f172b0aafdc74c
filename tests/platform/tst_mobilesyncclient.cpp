#include "BinaryPlistBytes.h"
#include "ScriptedServiceChannel.h"
#include "TestMain.h"

#include "platform/idevice/MobileSyncClient.h"

#include <QByteArray>

#include <memory>

using tarnwick::test::BinaryPlistBytes;
using tarnwick::test::ScriptedServiceChannel;

namespace {

using B = BinaryPlistBytes;

// The phone's first two messages: its version offer and, once confirmed, that it is ready.
QByteArray offerAndReady()
{
    BinaryPlistBytes offer;
    offer.add(B::array({1, 2, 3}));
    offer.add(B::ascii("DLMessageVersionExchange"));
    offer.add(B::integer(400));
    offer.add(B::integer(0));
    BinaryPlistBytes ready;
    ready.add(B::array({1}));
    ready.add(B::ascii("DLMessageDeviceReady"));
    return offer.frame() + ready.frame();
}

QByteArray header(quint32 length)
{
    QByteArray out;
    B::appendBigEndian(out, length, 4);
    return out;
}

} // namespace

class MobileSyncClientTest : public QObject
{
    Q_OBJECT

private slots:
    void readsFramedMessages_data();
    void readsFramedMessages();
};

void MobileSyncClientTest::readsFramedMessages_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("code");
    // A word of lastRefusal(); empty when nothing was refused.
    QTest::addColumn<QString>("refusal");

    QTest::newRow("binary messages") << offerAndReady() << int(MOBILESYNC_E_SUCCESS) << QString();
    QTest::newRow("one byte at a time") << offerAndReady() << int(MOBILESYNC_E_SUCCESS) << QString();
    QTest::newRow("XML with control characters, read as spaces")
        << B::framed(
               "<?xml version=\"1.0\"?>\x01<plist version=\"1.0\"><array>\x02<string>DLMessageVersionExchange"
               "</string><integer>300</integer><integer>0</integer></array></plist>") +
               B::framed("<?xml version=\"1.0\"?><plist "
                         "version=\"1.0\"><array><string>DLMessageDeviceReady</string>"
                         "</array></plist>")
        << int(MOBILESYNC_E_SUCCESS) << QString();
    // Nothing is allocated for the length a phone announces before its bytes come.
    QTest::newRow("length of 4 GiB") << header(0xFFFFFFFFu) + "bplist00" << int(MOBILESYNC_E_PLIST_ERROR)
                                     << "larger than";
    QTest::newRow("empty message") << header(0) << int(MOBILESYNC_E_PLIST_ERROR) << "empty";
    QTest::newRow("no property list")
        << B::framed("hello, computer") << int(MOBILESYNC_E_PLIST_ERROR) << "no property list";
    QTest::newRow("damaged binary list") << B::framed("bplist00 and then nothing of use, not even a trailer")
                                         << int(MOBILESYNC_E_PLIST_ERROR) << "binary property list";
    QTest::newRow("connection closed inside a message")
        << header(100) + "bplist00" << int(MOBILESYNC_E_MUX_ERROR) << QString();
}

void MobileSyncClientTest::readsFramedMessages()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, code);
    QFETCH(QString, refusal);

    const std::size_t chunk = QByteArray(QTest::currentDataTag()) == "one byte at a time" ? 1 : 4096;
    auto channel =
        std::make_unique<ScriptedServiceChannel>(stream.constData(), std::size_t(stream.size()), chunk);
    const ScriptedServiceChannel *script = channel.get();
    std::unique_ptr<MobileSyncClient> client;
    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused: .*") + refusal));
    QCOMPARE(int(MobileSyncClient::connect(std::move(channel), client)), code);
    if (code != MOBILESYNC_E_SUCCESS)
        return;
    QVERIFY(client);
    QVERIFY(client->lastRefusal().empty());
    // The confirmation went out framed: a 4-byte big-endian length, then a binary list.
    const QByteArray sent = QByteArray::fromStdString(script->sent());
    QVERIFY(sent.size() > 12);
    QCOMPARE(sent.mid(4, 8), QByteArray("bplist00"));
    QCOMPARE(header(quint32(sent.size() - 4)), sent.left(4));
}

TARNWICK_TEST_MAIN(MobileSyncClientTest)
#include "tst_mobilesyncclient.moc"
