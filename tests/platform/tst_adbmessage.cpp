#include "platform/adb/AdbError.h"
#include "platform/adb/AdbMessage.h"
#include "platform/adb/AdbMessageReader.h"
#include "TestMain.h"

#include <QtEndian>

namespace {

QByteArray header(quint32 command, quint32 arg0, quint32 arg1, quint32 length, quint32 sum, quint32 magic)
{
    QByteArray h(24, '\0');
    qToLittleEndian(command, h.data());
    qToLittleEndian(arg0, h.data() + 4);
    qToLittleEndian(arg1, h.data() + 8);
    qToLittleEndian(length, h.data() + 12);
    qToLittleEndian(sum, h.data() + 16);
    qToLittleEndian(magic, h.data() + 20);
    return h;
}

QByteArray message(quint32 command, const QByteArray &payload, quint32 sumDelta = 0)
{
    return header(command, 7, 9, quint32(payload.size()), AdbMessage::checksum(payload) + sumDelta,
                  command ^ 0xffffffffu) +
           payload;
}

using Policy = AdbMessageReader::ChecksumPolicy;

} // namespace

Q_DECLARE_METATYPE(AdbMessageReader::ChecksumPolicy)

class TestAdbMessage : public QObject
{
    Q_OBJECT

private slots:
    void encode_data()
    {
        QTest::addColumn<quint32>("command");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("expectedHex");

        // Header fields are little-endian, so the command reads as its four letters on the wire.
        QTest::newRow("okay without payload")
            << quint32(AdbMessage::Okay) << QByteArray()
            << QByteArray("4f4b4159" "01000000" "02000000" "00000000" "00000000" "b0b4bea6");
        QTest::newRow("byte sum, not a crc")
            << quint32(AdbMessage::Wrte) << QByteArray("\xff\xff\x01", 3)
            << QByteArray("57525445" "01000000" "02000000" "03000000" "ff010000" "a8adabba" "ffff01");
        QTest::newRow("cnxn banner")
            << quint32(AdbMessage::Cnxn) << QByteArray("host::")
            << QByteArray("434e584e" "01000000" "02000000" "06000000" "32020000" "bcb1a7b1" "686f73743a3a");
    }

    void encode()
    {
        QFETCH(quint32, command);
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, expectedHex);
        const AdbMessage m{command, 1, 2, payload};
        QCOMPARE(m.encode().toHex(), expectedHex);
    }

    void reader_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("feedSize"); // bytes per append, 0 = all at once
        QTest::addColumn<quint32>("maxPayload");
        QTest::addColumn<Policy>("policy");
        QTest::addColumn<int>("messages"); // whole messages expected before the end or the error
        QTest::addColumn<bool>("fails");

        const QByteArray hello = message(AdbMessage::Wrte, "hello");
        QTest::newRow("one message") << hello << 0 << 4096u << Policy::Checked << 1 << false;
        QTest::newRow("byte by byte") << hello << 1 << 4096u << Policy::Checked << 1 << false;
        QTest::newRow("two in one read") << hello + message(AdbMessage::Clse, {}) << 0 << 4096u << Policy::Checked
                                         << 2 << false;
        QTest::newRow("incomplete payload waits") << hello.left(hello.size() - 1) << 0 << 4096u << Policy::Checked
                                                  << 0 << false;
        QTest::newRow("damaged magic")
            << header(AdbMessage::Okay, 1, 1, 0, 0, AdbMessage::Okay) << 0 << 4096u << Policy::Checked << 0 << true;
        QTest::newRow("unknown command")
            << header(0x41414141, 1, 1, 0, 0, 0x41414141 ^ 0xffffffffu) << 0 << 4096u << Policy::Checked << 0
            << true;
        // The length alone condemns the message: nothing waits for four gigabytes to arrive.
        QTest::newRow("length beyond the agreed limit")
            << header(AdbMessage::Wrte, 1, 1, 0xfffffff0u, 0, AdbMessage::Wrte ^ 0xffffffffu) << 0 << 4096u
            << Policy::Checked << 0 << true;
        QTest::newRow("one byte over the limit")
            << message(AdbMessage::Wrte, QByteArray(4097, 'a')) << 0 << 4096u << Policy::Unchecked << 0 << true;
        QTest::newRow("exactly the limit") << message(AdbMessage::Wrte, QByteArray(4096, 'a')) << 0 << 4096u
                                           << Policy::Checked << 1 << false;
        QTest::newRow("wrong sum, old peer") << hello + message(AdbMessage::Wrte, "x", 1) << 0 << 4096u
                                             << Policy::Checked << 1 << true;
        QTest::newRow("wrong sum, new peer") << message(AdbMessage::Wrte, "x", 1) << 0 << 4096u << Policy::Unchecked
                                             << 1 << false;
        QTest::newRow("zero sum before the version is known")
            << header(AdbMessage::Auth, 7, 9, 3, 0, AdbMessage::Auth ^ 0xffffffffu) + "abc" << 0 << 4096u
            << Policy::UnlessZero << 1 << false;
        QTest::newRow("wrong non-zero sum before the version is known")
            << message(AdbMessage::Auth, "abc", 5) << 0 << 4096u << Policy::UnlessZero << 0 << true;
    }

    void reader()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, feedSize);
        QFETCH(quint32, maxPayload);
        QFETCH(Policy, policy);
        QFETCH(int, messages);
        QFETCH(bool, fails);

        AdbMessageReader reader(maxPayload);
        reader.setChecksumPolicy(policy);
        int got = 0;
        bool failed = false;
        try {
            const int step = feedSize > 0 ? feedSize : int(stream.size());
            for (int i = 0; i < stream.size(); i += step) {
                reader.append(stream.mid(i, step));
                while (const auto m = reader.next()) {
                    QCOMPARE(m->arg0, 7u);
                    QCOMPARE(m->arg1, 9u);
                    ++got;
                }
            }
        } catch (const AdbError &) {
            failed = true;
        }
        QCOMPARE(got, messages);
        QCOMPARE(failed, fails);
    }

    void payloadComesOutWhole()
    {
        AdbMessageReader reader;
        const QByteArray payload = QByteArray(70000, 'p') + "end";
        reader.append(message(AdbMessage::Wrte, payload) + message(AdbMessage::Okay, {}).left(10));
        const auto m = reader.next();
        QVERIFY(m);
        QCOMPARE(m->command, quint32(AdbMessage::Wrte));
        QCOMPARE(m->payload, payload);
        QVERIFY(!reader.next());
        QCOMPARE(reader.pending(), qsizetype(10));
    }

    // However the bytes are cut on their way in, each payload comes out as sent and the message
    // after it is not swallowed.
    void payloadsSurviveAnyCut_data()
    {
        QTest::addColumn<int>("feedSize");
        QTest::newRow("byte by byte") << 1;
        QTest::newRow("odd pieces") << 7;
        QTest::newRow("header split from payload") << 24;
        QTest::newRow("USB-sized pieces") << 16384;
        QTest::newRow("all at once") << 0;
    }

    void payloadsSurviveAnyCut()
    {
        QFETCH(int, feedSize);
        QByteArray first(70001, '\0');
        for (int i = 0; i < first.size(); ++i)
            first[i] = char(i * 13 + (i >> 8));
        const QByteArray second = "second";
        const QByteArray stream =
            message(AdbMessage::Wrte, first) + message(AdbMessage::Okay, {}) + message(AdbMessage::Wrte, second);
        AdbMessageReader reader;
        QList<AdbMessage> out;
        const int step = feedSize > 0 ? feedSize : int(stream.size());
        for (int i = 0; i < stream.size(); i += step) {
            reader.append(stream.mid(i, step));
            while (auto m = reader.next())
                out.append(*m);
        }
        QCOMPARE(out.size(), 3);
        QCOMPARE(out[0].payload, first);
        QCOMPARE(out[1].command, quint32(AdbMessage::Okay));
        QVERIFY(out[1].payload.isEmpty());
        QCOMPARE(out[2].payload, second);
        QCOMPARE(reader.pending(), qsizetype(0));
    }
};

TARNWICK_TEST_MAIN(TestAdbMessage)
#include "tst_adbmessage.moc"
