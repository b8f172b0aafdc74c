#include "devicebackup/mobiledevice_afc.h"

#include "SimulatedAfc.h"
#include "SimulatedPhoneFixture.h"
#include "TestMain.h"
#include "tests/devicebackup/ScratchFiles.h"

#include <QBuffer>
#include <QTemporaryDir>

using namespace tarnwick::peers;

using tarnwick::test::readAll;
using tarnwick::test::writeFile;

namespace {

const QString udid = QStringLiteral("00008101-000A1B2C3D4E5F62");

QByteArray patterned(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(i * 13 + i / 97);
    return bytes;
}

} // namespace

class TestMobiledeviceAfc : public QObject, public SimulatedPhoneFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        plugInPhone(udid);
        m_folder = std::make_unique<QTemporaryDir>();
        m_afc = std::make_shared<SimulatedAfc>(m_folder->path());
        SimulatedAfc::install(*m_phone, m_afc);
        writeFile(m_folder->filePath(QStringLiteral("Downloads/a.txt")), "hello");
        QVERIFY(QDir().mkpath(m_folder->filePath(QStringLiteral("Downloads/sub"))));
        writeFile(m_folder->filePath(QStringLiteral("Downloads/sub/deep.txt")), "deep");
    }
    void cleanup() { unplugAll(); }

    void pathOperations();
    void wholeFileCopies();
    void failedChunksStopTheCopy_data();
    void failedChunksStopTheCopy();
    void nothingWithoutTheService();
    void fileInfoRecord_data();
    void fileInfoRecord();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::shared_ptr<SimulatedAfc> m_afc;
};

void TestMobiledeviceAfc::pathOperations()
{
    mobiledevice_afc afc(udid);
    QVERIFY(afc.startService());
    QCOMPARE(m_phone->startedServices().last(), QStringLiteral("com.apple.afc"));

    QStringList all = afc.ls(QStringLiteral("/Downloads"), false);
    all.sort();
    QCOMPARE(all, (QStringList{".", "..", "a.txt", "sub"}));
    QStringList names = afc.ls(QStringLiteral("/Downloads"), true);
    names.sort();
    QCOMPARE(names, (QStringList{"a.txt", "sub"}));
    QVERIFY(afc.ls(QStringLiteral("/missing"), true).isEmpty());

    const _AfcFileInfo info = afc.fileInfo(QStringLiteral("/Downloads/a.txt"));
    QVERIFY(info.isValid() && info.isFile() && !info.isDir());
    QCOMPARE(info.path, QStringLiteral("/Downloads/a.txt"));
    QCOMPARE(info.size, 5);
    QCOMPARE(info.mtime, QFileInfo(m_folder->filePath(QStringLiteral("Downloads/a.txt"))).lastModified());
    const _AfcFileInfo missing = afc.fileInfo(QStringLiteral("/Downloads/none"));
    QVERIFY(!missing.isValid());
    QVERIFY(missing.path.isEmpty());

    QList<_AfcFileInfo> entries = afc.ls_finfo(QStringLiteral("/Downloads"));
    QCOMPARE(entries.size(), 2);
    for (const _AfcFileInfo &entry : entries)
        QVERIFY(entry.path.startsWith(QStringLiteral("/Downloads/")));

    QVERIFY(afc.mkdir(QStringLiteral("/Made/Deep")));
    QVERIFY(QFileInfo(m_folder->filePath(QStringLiteral("Made/Deep"))).isDir());
    QVERIFY(afc.rename(QStringLiteral("/Downloads/a.txt"), QStringLiteral("/Made/b.txt")));
    QCOMPARE(readAll(m_folder->filePath(QStringLiteral("Made/b.txt"))), QByteArray("hello"));
    QVERIFY(!afc.rename(QStringLiteral("/Downloads/a.txt"), QStringLiteral("/Made/c.txt")));
    QVERIFY(afc.del(QStringLiteral("/Downloads")));
    QVERIFY(!QFileInfo::exists(m_folder->filePath(QStringLiteral("Downloads"))));
    QVERIFY(!afc.del(QStringLiteral("/Downloads")));

    AfcFile file;
    QCOMPARE(file.lock(AFC_LOCK_EX), 1);
    QVERIFY(afc.readWriteFile(QStringLiteral("/Made/b.txt"), file));
    QCOMPARE(file.lock(AFC_LOCK_EX), 0);
    char buffer[16];
    QCOMPARE(file.read(buffer, 16), 5);
    QCOMPARE(file.read(buffer, 16), 0);
    file.close();
    QCOMPARE(file.handle, quint64(0));
    QCOMPARE(file.read(buffer, 16), -1);
}

void TestMobiledeviceAfc::wholeFileCopies()
{
    mobiledevice_afc afc(udid);
    QVERIFY(afc.startService());
    const QByteArray big = patterned(3 * 8192 + 17);
    QVERIFY(afc.writeFileContent(QStringLiteral("/big.bin"), big));
    QCOMPARE(readAll(m_folder->filePath(QStringLiteral("big.bin"))), big);
    bool ok = false;
    QCOMPARE(afc.readFileContent(QStringLiteral("/big.bin"), &ok), big);
    QVERIFY(ok);

    // An empty write leaves an empty file, created or emptied.
    QVERIFY(afc.writeFileContent(QStringLiteral("/big.bin"), QByteArray()));
    QCOMPARE(readAll(m_folder->filePath(QStringLiteral("big.bin"))), QByteArray());
    QCOMPARE(afc.readFileContent(QStringLiteral("/none.bin"), &ok), QByteArray());
    QVERIFY(!ok);
    QCOMPARE(afc.readFileContent(QStringLiteral("/big.bin"), &ok), QByteArray());
    QVERIFY(ok);
}

void TestMobiledeviceAfc::failedChunksStopTheCopy_data()
{
    QTest::addColumn<bool>("writing");
    QTest::addColumn<int>("failing");
    QTest::newRow("first read") << false << 1;
    QTest::newRow("read mid-file") << false << 3;
    QTest::newRow("first write") << true << 1;
    QTest::newRow("write mid-file") << true << 2;
}

void TestMobiledeviceAfc::failedChunksStopTheCopy()
{
    QFETCH(bool, writing);
    QFETCH(int, failing);
    const QByteArray content = patterned(5 * 8192);
    writeFile(m_folder->filePath(QStringLiteral("src.bin")), content);
    mobiledevice_afc afc(udid);
    QVERIFY(afc.startService());
    if (writing) {
        m_afc->failWrite(failing);
        QBuffer in;
        in.setData(content);
        QVERIFY(in.open(QIODevice::ReadOnly));
        QVERIFY(!afc.writeFileContent(QStringLiteral("/dst.bin"), in));
        // What reached the phone is a prefix of whole chunks, never a file with a hole.
        const QByteArray landed = readAll(m_folder->filePath(QStringLiteral("dst.bin")));
        QCOMPARE(landed, content.left((failing - 1) * 8192));
    } else {
        m_afc->failRead(failing);
        QBuffer out;
        QVERIFY(out.open(QIODevice::WriteOnly));
        QVERIFY(!afc.readFileContent(QStringLiteral("/src.bin"), out));
        QCOMPARE(out.data(), content.left((failing - 1) * 8192));
    }
}

void TestMobiledeviceAfc::nothingWithoutTheService()
{
    mobiledevice_afc afc(udid);
    QVERIFY(!afc.fileInfo(QStringLiteral("/Downloads/a.txt")).isValid());
    QVERIFY(afc.ls(QStringLiteral("/Downloads"), true).isEmpty());
    QVERIFY(!afc.mkdir(QStringLiteral("/x")));
    AfcFile file;
    QVERIFY(!afc.readFile(QStringLiteral("/Downloads/a.txt"), file));
    QVERIFY(!afc.writeFileContent(QStringLiteral("/x"), QByteArray("x")));
    QVERIFY(afc.startService());
    afc.closeService();
    QVERIFY(!afc.del(QStringLiteral("/Downloads")));
    QVERIFY(m_afc->operations().isEmpty());

    mobiledevice_afc absent(QStringLiteral("00008101-FFFFFFFFFFFFFFFF"));
    QVERIFY(!absent.startService());
}

void TestMobiledeviceAfc::fileInfoRecord_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("file");
    QTest::addColumn<bool>("dir");
    QTest::addColumn<bool>("link");
    QTest::newRow("lower-case dir") << "s_ifdir" << false << true << false;
    QTest::newRow("link") << "S_IFLNK" << false << false << true;
    QTest::newRow("other") << "S_IFBLK" << false << false << false;
}

void TestMobiledeviceAfc::fileInfoRecord()
{
    QFETCH(QString, type);
    QFETCH(bool, file);
    QFETCH(bool, dir);
    QFETCH(bool, link);
    _AfcFileInfo info(QStringLiteral("/x"));
    QVERIFY(!info.isValid());
    info.type = type;
    QVERIFY(info.isValid());
    QCOMPARE(info.isFile(), file);
    QCOMPARE(info.isDir(), dir);
    QCOMPARE(info.isLink(), link);
}

TARNWICK_TEST_MAIN(TestMobiledeviceAfc)
#include "tst_mobiledevice_afc.moc"
