#include "devicebackup/mobiledevice_pipe.h"

#include "TestMain.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The other party's side, written straight to its descriptors.
QByteArray frame(const QByteArray &payload, qint32 length)
{
    return QByteArray(reinterpret_cast<const char *>(&length), sizeof length) + payload;
}

QByteArray frame(const QByteArray &payload)
{
    return frame(payload, qint32(payload.size()));
}

void peerWrite(const mobiledevice_pipe &pipe, const QByteArray &bytes)
{
    QCOMPARE(::write(pipe.peerWriteFd.toInt(), bytes.constData(), size_t(bytes.size())),
             ssize_t(bytes.size()));
}

QByteArray peerReadAvailable(const mobiledevice_pipe &pipe)
{
    const int fd = pipe.peerReadFd.toInt();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    QByteArray all;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        all.append(buffer, int(n));
    return all;
}

QByteArray xmlOf(const PlistCFType &plist)
{
    return plist.CFPropertyListToBytes(kCFPropertyListXMLFormat_v1_0);
}

} // namespace

class TestMobiledevicePipe : public QObject
{
    Q_OBJECT

private slots:
    void requestFrame();
    void responses_data();
    void responses();
    void brokenFrames_data();
    void brokenFrames();
    void waitsAreBounded();
    void closeTwice();
    void highDescriptors();
};

void TestMobiledevicePipe::requestFrame()
{
    mobiledevice_pipe pipe(1000);
    QVERIFY(pipe.create());
    PlistCFType request = PlistCFType::createCFDictionary();
    request.put(QStringLiteral("Command"), PlistCFType::createCFString(QStringLiteral("Ping")));
    QVERIFY(pipe.writeRequest(request));
    const QByteArray xml = xmlOf(request);
    QCOMPARE(peerReadAvailable(pipe), frame(xml));
    // A handle without a node writes nothing and counts as sent.
    QVERIFY(pipe.writeRequest(PlistCFType()));
    QCOMPARE(peerReadAvailable(pipe), QByteArray());
    QCOMPARE(pipe.write("x", 0, true), 0);
}

void TestMobiledevicePipe::responses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("expected"); // XML of the response, empty for none

    PlistCFType dict = PlistCFType::createCFDictionary();
    dict.put(QStringLiteral("Status"), PlistCFType::createCFString(QStringLiteral("OK")));
    const QByteArray xml = xmlOf(dict);
    QTest::newRow("xml") << frame(xml) << xml;
    QTest::newRow("binary") << frame(dict.CFPropertyListToBytes(kCFPropertyListBinaryFormat_v1_0)) << xml;
    QTest::newRow("zero length") << frame(QByteArray(), 0) << QByteArray();
    QTest::newRow("negative length") << frame(QByteArray(), -5) << QByteArray();
    QTest::newRow("not a property list") << frame("garbage!") << QByteArray();
}

void TestMobiledevicePipe::responses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, expected);
    mobiledevice_pipe pipe(200);
    QVERIFY(pipe.create());
    peerWrite(pipe, bytes);
    const PlistCFType response = pipe.readReponse();
    QCOMPARE(xmlOf(response), expected);
    QVERIFY(!pipe.isBroken());
    // The stream stays in step: the next frame reads whole.
    peerWrite(pipe, frame(xmlOf(PlistCFType::createCFBoolean(true))));
    QVERIFY(pipe.readReponse().CFNumberBool(false));
}

void TestMobiledevicePipe::brokenFrames_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("oversize length") << frame("tail", mobiledevice_pipe::maxResponseLength + 1);
    QTest::newRow("huge length") << frame("tail", 0x7fffffff);
    QTest::newRow("cut payload") << frame("<plist", 100);
    QTest::newRow("cut length") << QByteArray("\x10\x00", 2);
}

void TestMobiledevicePipe::brokenFrames()
{
    QFETCH(QByteArray, bytes);
    mobiledevice_pipe pipe(100);
    QVERIFY(pipe.create());
    peerWrite(pipe, bytes);
    QVERIFY(!pipe.readReponse().ref());
    QVERIFY(pipe.isBroken());
    // Whatever follows is not read as a length any more.
    peerWrite(pipe, frame(xmlOf(PlistCFType::createCFBoolean(true))));
    QVERIFY(!pipe.readReponse().ref());
}

void TestMobiledevicePipe::waitsAreBounded()
{
    mobiledevice_pipe pipe(150);
    QVERIFY(pipe.create());
    char buffer[8];
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(pipe.read(buffer, 8), 0);
    QVERIFY(timer.elapsed() >= 100);
    QCOMPARE(pipe.read(buffer, 0), 0);
    // Nothing arrived: no frame, yet the channel is still usable.
    QVERIFY(!pipe.readReponse().ref());
    QVERIFY(!pipe.isBroken());
    peerWrite(pipe, "abc");
    QCOMPARE(pipe.read(buffer, 8), 3);
}

void TestMobiledevicePipe::closeTwice()
{
    mobiledevice_pipe pipe(100);
    QVERIFY(pipe.create());
    const QString readFd = pipe.peerReadFd;
    pipe.close();
    QCOMPARE(pipe.responsePipe[0], -1);
    QCOMPARE(pipe.requestPipe[1], -1);
    pipe.close();
    QCOMPARE(pipe.peerReadFd, readFd);
}

void TestMobiledevicePipe::highDescriptors()
{
    // Descriptors from 1024 on are waited for like any other.
    QList<int> spare;
    for (int i = 0; i < 1100; ++i) {
        const int fd = ::dup(0);
        if (fd < 0)
            QSKIP("the descriptor limit is too low for this case");
        spare << fd;
    }
    mobiledevice_pipe pipe(500);
    QVERIFY(pipe.create());
    QVERIFY(pipe.responsePipe[0] >= 1024);
    peerWrite(pipe, frame(xmlOf(PlistCFType::createCFBoolean(true))));
    QVERIFY(pipe.readReponse().CFNumberBool(false));
    for (int fd : spare)
        ::close(fd);
}

TARNWICK_TEST_MAIN(TestMobiledevicePipe)
#include "tst_mobiledevice_pipe.moc"
