#include "model/DataFolder.h"

#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// The data folder is decided at the first g_dataSaveDir() call of a process; this program makes
// that call without a redirect file.

class TestDataFolderDefault : public QObject
{
    Q_OBJECT

private slots:
    void defaultFolderAndCache();
};

void TestDataFolderDefault::defaultFolderAndCache()
{
    const QString expected = g_defaultSaveDirPath() + QLatin1String("/5D13B7E0A9C24F68B1E07D3C92A4F5E6");
    QVERIFY(!QFileInfo::exists(g_defaultSaveDirPath()));

    // The first call creates the maker's folder and the data folder inside it.
    QCOMPARE(g_dataSaveDir().absolutePath(), expected);
    QVERIFY(QFileInfo(expected).isDir());

    // A redirect written during the run counts only from the next start.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    g_setDataSaveDirLink(other.path());
    QCOMPARE(g_dataSaveDirLink(), other.path());
    QCOMPARE(g_dataSaveDir().absolutePath(), expected);
    QVERIFY(!QFileInfo::exists(other.filePath(QStringLiteral("5D13B7E0A9C24F68B1E07D3C92A4F5E6"))));

    // A data folder removed during the run is made again by the next call.
    QVERIFY(QDir(expected).removeRecursively());
    QCOMPARE(g_dataSaveDir().absolutePath(), expected);
    QVERIFY(QFileInfo(expected).isDir());
}

TARNWICK_TEST_MAIN(TestDataFolderDefault)
#include "tst_datafolder_default.moc"
