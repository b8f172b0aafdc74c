// The companion-app line protocol at the byte level: framing, encodings, the three failure kinds,
// the stream transfer, the bounds against a broken peer and the sliced waits behind cancel.
#include "SocketPair.h"
#include "TestMain.h"

#include "android/simpleprotocol.h"

#include <QBuffer>

using namespace simpleprotocol;
using tarnwick::test::SocketPair;

namespace {

QByteArray b64(const QByteArray &bytes)
{
    return bytes.toBase64();
}

} // namespace

class TestSimpleProtocol : public QObject
{
    Q_OBJECT

private slots:
    void readsLinesByteForByte_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("line");
        QTest::newRow("lf") << QByteArray("$count:12\n") << QStringLiteral("$count:12");
        QTest::newRow("crlf") << QByteArray("$count:12\r\n") << QStringLiteral("$count:12");
        QTest::newRow("cr inside the word") << QByteArray("$co\runt:12\n") << QStringLiteral("$count:12");
        QTest::newRow("several crs") << QByteArray("\r$a\r\r:b\r\n") << QStringLiteral("$a:b");
        QTest::newRow("latin-1 byte") << QByteArray("$device:\xe9\n") << QStringLiteral("$device:\u00e9");
        QTest::newRow("utf-8 sent raw arrives per byte")
            << QByteArray("$x:\xc3\xa9\n") << QString::fromLatin1("$x:\xc3\xa9");
        QTest::newRow("nul kept") << QByteArray("$a\0b\n", 5)
                                  << QString(QStringLiteral("$a")) + QChar(0) + 'b';
        QTest::newRow("not trimmed") << QByteArray("  $a: \n") << QStringLiteral("  $a: ");
    }
    void readsLinesByteForByte()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, line);
        SocketPair pair;
        pair.phoneSends(wire + "$next:\n");
        QCOMPARE(readLine(pair.desktop, 5000), line);
        // Nothing after the line feed was taken.
        QCOMPARE(readLine(pair.desktop, 5000), QStringLiteral("$next:"));
    }

    void lineSplitAcrossPacketsIsJoined()
    {
        SocketPair pair;
        pair.phoneSends("$ent:1/2/3/4,QUJD");
        pair.desktop.waitForReadyRead(1000);
        pair.phoneSends("REVG,\r");
        pair.phoneSends("\n");
        QCOMPARE(readLine(pair.desktop, 5000), QStringLiteral("$ent:1/2/3/4,QUJDREVG,"));
    }

    void readCommandFailures_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty line") << QByteArray("\n") << "transfer"
                                    << "Null command.";
        QTest::newRow("only a cr") << QByteArray("\r\n") << "transfer"
                                   << "Null command.";
        QTest::newRow("phone error") << "$error:" + b64("Speicher voll – Ü") + "\n"
                                     << "remote" << QStringLiteral("Speicher voll – Ü");
        QTest::newRow("empty error") << QByteArray("$error:\n") << "remote" << QString("");
        QTest::newRow("error stops at nul") << "$error:" + b64(QByteArray("abc\0def", 7)) + "\n"
                                            << "remote"
                                            << "abc";
        QTest::newRow("error with junk in its base64") << QByteArray("$error:SGVs*bG8=\n") << "remote"
                                                       << "Hello";
    }
    void readCommandFailures()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        SocketPair pair;
        pair.phoneSends(wire);
        try {
            readCommand(pair.desktop, 5000);
            QFAIL("no exception");
        } catch (const RemoteException &e) {
            QCOMPARE(QStringLiteral("remote"), kind);
            QCOMPARE(QString::fromUtf8(e.what()), text);
        } catch (const SocketDataTransferException &e) {
            QCOMPARE(QStringLiteral("transfer"), kind);
            QCOMPARE(QString::fromUtf8(e.what()), text);
        }
    }

    void closedConnectionIsATransferFailure()
    {
        SocketPair pair;
        pair.phoneSends("$ent:1/2/3");
        pair.phone->disconnectFromHost();
        QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, readCommand(pair.desktop, 5000));
    }

    void sendsExactBytes_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QByteArray>("wire");
        QTest::newRow("batch ack is 8 bytes") << "$batch:"
                                              << "" << QByteArray("$batch:\n");
        QTest::newRow("utf-8 out") << "$x:" << QStringLiteral("é") << QByteArray("$x:\xc3\xa9\n");
        QTest::newRow("record") << "$ent:"
                                << "3/12/12/-57,mobile,,KzQ0"
                                << QByteArray("$ent:3/12/12/-57,mobile,,KzQ0\n");
    }
    void sendsExactBytes()
    {
        QFETCH(QString, command);
        QFETCH(QString, argument);
        QFETCH(QByteArray, wire);
        SocketPair pair;
        sendCommand(pair.desktop, command, argument, true, 5000);
        QCOMPARE(pair.phoneReceived(2000, wire.size()), wire);
    }

    void sendBytesOfNothingWritesNothing()
    {
        SocketPair pair;
        sendBytes(pair.desktop, "x", 0, true, 5000);
        QCOMPARE(pair.desktop.bytesToWrite(), 0);
        QCOMPARE(pair.phoneReceived(100, 1), QByteArray());
    }

    void unflushedLinesLeaveWithTheFlushedOne()
    {
        SocketPair pair;
        sendCommand(pair.desktop, QStringLiteral("$ent:"), QStringLiteral("1/1/1/-1"), false, 5000);
        sendCommand(pair.desktop, QStringLiteral("$end:"), QString(), true, 5000);
        QCOMPARE(pair.phoneReceived(2000, 19), QByteArray("$ent:1/1/1/-1\n$end:\n"));
    }

    void localExceptionTellsThePeer()
    {
        SocketPair pair;
        pair.phoneSends("$end:\n");
        try {
            readFeedback(pair.desktop, QStringLiteral("$batch:"), 5000);
            QFAIL("no exception");
        } catch (const LocalException &e) {
            const QString text = QStringLiteral("invalid feedback [$end:], must be [$batch:]");
            QCOMPARE(QString::fromUtf8(e.what()), text);
            QCOMPARE(pair.phoneReceived(2000), "$error:" + b64(text.toUtf8()) + "\n");
        }
    }

    void readFeedbackReturnsTheWholeLine()
    {
        SocketPair pair;
        pair.phoneSends("$batch:1/1/1/-1=>1/2/3/4,\n");
        QCOMPARE(readFeedback(pair.desktop, QStringLiteral("$batch:"), 5000),
                 QStringLiteral("$batch:1/1/1/-1=>1/2/3/4,"));
    }

    void base64Tolerance_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QString::fromLatin1(b64("Zoë")) << QStringLiteral("Zoë");
        QTest::newRow("no padding") << QStringLiteral("SGVsbG8") << QStringLiteral("Hello");
        QTest::newRow("blanks and padding skipped")
            << QStringLiteral(" SGVs bG8= ") << QStringLiteral("Hello");
        QTest::newRow("cut at nul") << QString::fromLatin1(b64(QByteArray("ab\0cd", 5)))
                                    << QStringLiteral("ab");
        QTest::newRow("bad utf-8 replaced") << QString::fromLatin1(b64("a\xff")) << QStringLiteral("a\ufffd");
        QTest::newRow("empty") << QString() << QString();
    }
    void base64Tolerance()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QCOMPARE(decodeText(field), text);
    }

    void encodeTextRoundTrips()
    {
        const QString text = QStringLiteral("Ærøskøbing, 日本, 👍");
        QCOMPARE(encodeText(text), QString::fromLatin1(text.toUtf8().toBase64()));
        QCOMPARE(decodeText(encodeText(text)), text);
    }

    void streamBlocks_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("one block") << QByteArray("$block:3\nabc$end:\n") << QByteArray("abc");
        QTest::newRow("zero ignored") << QByteArray("$block:0\n$block:2\nxy$end:\n") << QByteArray("xy");
        QTest::newRow("negative ignored") << QByteArray("$block:-4\n$end:\n") << QByteArray();
        QTest::newRow("not a number ignored") << QByteArray("$block:abc\n$end:\n") << QByteArray();
        QTest::newRow("raw bytes may hold line ends")
            << QByteArray("$block:4\n\n\r\n\0$end:\n", 19) << QByteArray("\n\r\n\0", 4);
        QTest::newRow("smaller after larger")
            << QByteArray("$block:4\nwxyz$block:1\nq$end:\n") << QByteArray("wxyzq");
    }
    void streamBlocks()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QByteArray, written);
        SocketPair pair;
        pair.phoneSends(wire);
        QBuffer target;
        target.open(QIODevice::WriteOnly);
        readStreamContent(pair.desktop, target, 5000);
        QCOMPARE(target.data(), written);
    }

    void streamRefusals()
    {
        {
            SocketPair pair;
            pair.phoneSends("$ent:x\n");
            QBuffer target;
            target.open(QIODevice::WriteOnly);
            QVERIFY_THROWS_EXCEPTION(LocalException, readStreamContent(pair.desktop, target, 5000));
            QCOMPARE(
                pair.phoneReceived(2000),
                "$error:" + b64("readStreamContent: invalid feedback [$ent:x], must be [$block:], [$end:]") +
                    "\n");
        }
        {
            // A broken peer announcing a huge block is refused before anything is allocated.
            SocketPair pair;
            pair.phoneSends("$block:2000000000\n");
            QBuffer target;
            target.open(QIODevice::WriteOnly);
            QVERIFY_THROWS_EXCEPTION(LocalException, readStreamContent(pair.desktop, target, 5000));
            QVERIFY(pair.phoneReceived(2000).startsWith("$error:"));
        }
        {
            SocketPair pair;
            pair.phoneSends("$error:" + b64("disk full") + "\n");
            QBuffer target;
            target.open(QIODevice::WriteOnly);
            QVERIFY_THROWS_EXCEPTION(RemoteException, readStreamContent(pair.desktop, target, 5000));
        }
    }

    void streamRoundTripInPieces()
    {
        QByteArray content(kStreamPieceBytes * 2 + 17, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char(i * 7);
        SocketPair pair;
        QBuffer source(&content);
        source.open(QIODevice::ReadOnly);
        sendStreamContent(pair.desktop, source, true, 5000);
        const QByteArray wire = pair.phoneReceived(5000, content.size() + 40);
        QVERIFY(wire.startsWith("$block:524288\n"));
        QVERIFY(wire.endsWith("$block:17\n" + content.right(17) + "$end:\n"));

        // Played back to the desktop, the pieces give the content again.
        SocketPair back;
        back.phoneSends(wire);
        QBuffer target;
        target.open(QIODevice::WriteOnly);
        readStreamContent(back.desktop, target, 5000);
        QCOMPARE(target.data(), content);
    }

    void emptyStreamSendsOnlyTheEnd()
    {
        SocketPair pair;
        QBuffer source;
        source.open(QIODevice::ReadOnly);
        sendStreamContent(pair.desktop, source, true, 5000);
        QCOMPARE(pair.phoneReceived(1000, 6), QByteArray("$end:\n"));
    }

    void overlongLineIsRefused()
    {
        SocketPair pair;
        ReadWait wait(5000);
        wait.maxLineBytes = 1000;
        pair.phoneSends("$ent:" + QByteArray(2000, 'A'));
        QVERIFY_THROWS_EXCEPTION(SocketDataTransferException, readLine(pair.desktop, wait));
        // A line just within the bound passes.
        SocketPair fits;
        fits.phoneSends("$ent:" + QByteArray(995, 'A') + "\n");
        QCOMPARE(readLine(fits.desktop, wait).size(), 1000);
    }

    void slicedWaitSeesCancel()
    {
        SocketPair pair;
        int checks = 0;
        const ReadWait wait(
            [&checks] {
                if (++checks == 3)
                    throw -1;
            },
            60000, 10);
        bool canceled = false;
        try {
            readCommand(pair.desktop, wait);
        } catch (int) {
            canceled = true;
        }
        QVERIFY(canceled);
        QCOMPARE(checks, 3);
    }

    void silentPeerHitsTheIdleLimit()
    {
        SocketPair pair;
        const ReadWait wait([] {}, 150, 20);
        const QString text = [&] {
            try {
                readCommand(pair.desktop, wait);
            } catch (const SocketDataTransferException &e) {
                return QString::fromUtf8(e.what());
            }
            return QString();
        }();
        QVERIFY2(text.contains(QLatin1String("sent nothing")), qPrintable(text));
    }

    void slicedWaitStillReadsLines()
    {
        SocketPair pair;
        pair.phoneSends("$device:");
        const ReadWait wait([&pair] { pair.phoneSends("UGl4ZWw=\r\n"); }, 5000, 10);
        QCOMPARE(readCommand(pair.desktop, wait), QStringLiteral("$device:UGl4ZWw="));
    }
};

TARNWICK_TEST_MAIN(TestSimpleProtocol)
#include "tst_simpleprotocol.moc"
