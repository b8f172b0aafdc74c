#include "BinaryPlistBytes.h"
#include "ScriptedServiceChannel.h"
#include "TestMain.h"

#include "platform/idevice/MobileBackup2Client.h"

#include <QByteArray>

#include <memory>

using tarnwick::test::BinaryPlistBytes;
using tarnwick::test::ScriptedServiceChannel;

namespace {

using B = BinaryPlistBytes;

QByteArray versionOffer(quint64 major, const QByteArray &name = B::ascii("DLMessageVersionExchange"))
{
    BinaryPlistBytes offer;
    offer.add(B::array({1, 2, 3}));
    offer.add(name);
    offer.add(B::integer(major));
    offer.add(B::integer(0));
    BinaryPlistBytes ready;
    ready.add(B::array({1}));
    ready.add(B::ascii("DLMessageDeviceReady"));
    return offer.frame() + ready.frame();
}

// ["DLMessageProcessMessage", {"MessageName": "Response", <key>: <errorCode>, "ProtocolVersion": 2.1}]
QByteArray helloAnswer(quint64 errorCode, const QByteArray &errorCodeKey = B::ascii("ErrorCode"))
{
    BinaryPlistBytes answer;
    answer.add(B::array({1, 2}));
    answer.add(B::ascii("DLMessageProcessMessage"));
    answer.add(B::dict({3, 4, 5}, {6, 7, 8}));
    answer.add(B::ascii("MessageName"));
    answer.add(errorCodeKey);
    answer.add(B::ascii("ProtocolVersion"));
    answer.add(B::ascii("Response"));
    answer.add(B::integer(errorCode));
    answer.add(B::real(2.1));
    return answer.frame();
}

// ["DLMessageMoveItems", {<key>: "dev/a.txt"}, {}, 0.5]
QByteArray moveItems(const QByteArray &key)
{
    BinaryPlistBytes move;
    move.add(B::array({1, 2, 5, 6}));
    move.add(B::ascii("DLMessageMoveItems"));
    move.add(B::dict({3}, {4}));
    move.add(key);
    move.add(B::ascii("dev/a.txt"));
    move.add(B::dict({}, {}));
    move.add(B::real(0.5));
    return move.frame();
}

const QString nulKey = QStringLiteral("\u00e9") + QChar(0) + QStringLiteral("x");

} // namespace

class MobileBackup2ClientTest : public QObject
{
    Q_OBJECT

private slots:
    void checksEveryMessage_data();
    void checksEveryMessage();
    void rawFramesAndMessagesShareTheStream_data();
    void rawFramesAndMessagesShareTheStream();
};

void MobileBackup2ClientTest::checksEveryMessage_data()
{
    QTest::addColumn<QByteArray>("stream");
    // The first step that does not succeed, and its code: "connect", "hello" or "message".
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("code");
    // A word of lastRefusal(); empty when nothing was refused.
    QTest::addColumn<QString>("refusal");

    const QByteArray handshake = versionOffer(400) + helloAnswer(0);
    QTest::newRow("whole session") << handshake + moveItems(B::ascii("dev/b.txt")) << QString()
                                   << int(MOBILEBACKUP2_E_SUCCESS) << QString();
    QTest::newRow("NUL in the version offer")
        << versionOffer(400, B::utf16(QStringLiteral("DLMessage") + QChar(0))) << "connect"
        << int(MOBILEBACKUP2_E_PLIST_ERROR) << "NUL";
    QTest::newRow("DeviceLink version too new")
        << versionOffer(500) << "connect" << int(MOBILEBACKUP2_E_BAD_VERSION) << QString();
    QTest::newRow("NUL in a key of the protocol answer")
        << versionOffer(400) + helloAnswer(0, B::utf16(nulKey)) << "hello" << int(MOBILEBACKUP2_E_PLIST_ERROR)
        << "NUL";
    QTest::newRow("no common version") << versionOffer(400) + helloAnswer(1) << "hello"
                                       << int(MOBILEBACKUP2_E_NO_COMMON_VERSION) << QString();
    QTest::newRow("answer refused") << versionOffer(400) + helloAnswer(2) << "hello"
                                    << int(MOBILEBACKUP2_E_REPLY_NOT_OK) << QString();
    QTest::newRow("NUL in a key of a message")
        << handshake + moveItems(B::utf16(nulKey)) << "message" << int(MOBILEBACKUP2_E_PLIST_ERROR) << "NUL";
    QTest::newRow("message that is no device-link message")
        << handshake + B::framed("<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>Hi</string>"
                                 "</array></plist>")
        << "message" << int(MOBILEBACKUP2_E_PLIST_ERROR) << QString();
}

void MobileBackup2ClientTest::checksEveryMessage()
{
    QFETCH(QByteArray, stream);
    QFETCH(QString, step);
    QFETCH(int, code);
    QFETCH(QString, refusal);

    auto channel =
        std::make_unique<ScriptedServiceChannel>(stream.constData(), std::size_t(stream.size()), 7);
    const ScriptedServiceChannel *script = channel.get();
    if (!refusal.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("refused: .*") + refusal));
    std::unique_ptr<MobileBackup2Client> client;
    std::string why;
    const mobilebackup2_error_t connected = MobileBackup2Client::connect(std::move(channel), client, &why);
    if (step == QLatin1String("connect")) {
        QCOMPARE(int(connected), code);
        QVERIFY(!client);
        QCOMPARE(QString::fromStdString(why).contains(refusal), true);
        return;
    }
    QCOMPARE(int(connected), int(MOBILEBACKUP2_E_SUCCESS));
    const double versions[] = {2.0, 2.1};
    double remote = 0;
    const mobilebackup2_error_t hello = client->versionExchange(versions, 2, &remote);
    if (step == QLatin1String("hello")) {
        QCOMPARE(int(hello), code);
        QCOMPARE(QString::fromStdString(client->lastRefusal()).contains(refusal), true);
        return;
    }
    QCOMPARE(int(hello), int(MOBILEBACKUP2_E_SUCCESS));
    QCOMPARE(remote, 2.1);
    // The offer went out framed as a binary list.
    QVERIFY(QByteArray::fromStdString(script->sent()).contains("SupportedProtocolVersions"));

    UniquePlist message;
    std::string name;
    const mobilebackup2_error_t received = client->receiveMessage(message, name);
    QCOMPARE(int(received), code);
    if (code == MOBILEBACKUP2_E_SUCCESS) {
        QCOMPARE(name, std::string("DLMessageMoveItems"));
        QVERIFY(message);
    } else {
        QVERIFY(!message);
        QCOMPARE(QString::fromStdString(client->lastRefusal()).contains(refusal), true);
    }
}

void MobileBackup2ClientTest::rawFramesAndMessagesShareTheStream_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<bool>("underTls");
    QTest::newRow("a few bytes a read") << 7 << false;
    QTest::newRow("everything in one read") << (1 << 20) << false;
    QTest::newRow("under TLS") << (1 << 20) << true;
}

// File frames come as raw bytes between messages on one connection: whatever the client reads
// ahead for one must be there for the next, and under TLS nothing may be asked for beyond what the
// phone sends, or the read would wait there until its time ran out.
void MobileBackup2ClientTest::rawFramesAndMessagesShareTheStream()
{
    QFETCH(int, chunk);
    QFETCH(bool, underTls);
    const QByteArray frames = QByteArray::fromHex("000000060c68656c6c6f000000010000000000");
    const QByteArray stream = versionOffer(400) + helloAnswer(0) + frames + moveItems(B::ascii("dev/b.txt"));
    auto channel = std::make_unique<ScriptedServiceChannel>(
        stream.constData(), std::size_t(stream.size()), std::size_t(chunk),
        underTls ? ScriptedServiceChannel::Reads::AllAsked : ScriptedServiceChannel::Reads::WhatArrived);
    const ScriptedServiceChannel *script = channel.get();
    std::unique_ptr<MobileBackup2Client> client;
    QCOMPARE(int(MobileBackup2Client::connect(std::move(channel), client, nullptr)),
             int(MOBILEBACKUP2_E_SUCCESS));
    const double versions[] = {2.0, 2.1};
    double remote = 0;
    QCOMPARE(int(client->versionExchange(versions, 2, &remote)), int(MOBILEBACKUP2_E_SUCCESS));

    // Read as the backup reads them: a length, a code, the rest; then the next frame.
    QByteArray raw;
    for (const int piece : {4, 1, 5, 4, 1, 4}) {
        QByteArray bytes(piece, '\0');
        int done = 0;
        while (done < piece) {
            uint32_t got = 0;
            client->receiveRaw(bytes.data() + done, uint32_t(piece - done), &got);
            QVERIFY(got > 0);
            done += int(got);
        }
        raw += bytes;
    }
    QCOMPARE(raw, frames);

    UniquePlist message;
    std::string name;
    QCOMPARE(int(client->receiveMessage(message, name)), int(MOBILEBACKUP2_E_SUCCESS));
    QCOMPARE(name, std::string("DLMessageMoveItems"));
    QCOMPARE(script->overAsked(), 0);
}

TARNWICK_TEST_MAIN(MobileBackup2ClientTest)
#include "tst_mobilebackup2client.moc"
