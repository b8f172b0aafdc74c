#include "model/DataFolder.h"

#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// A redirect naming a plain file is honoured: the data folder cannot be made below it, and the path
// is returned all the same. Separate program because the data folder is decided once per process.

class TestDataFolderRedirectFile : public QObject
{
    Q_OBJECT

private slots:
    void redirectToFile();
};

void TestDataFolderRedirectFile::redirectToFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("not-a-folder"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir().mkpath(g_defaultSaveDirPath()));
    g_setDataSaveDirLink(file);

    const QDir data = g_dataSaveDir();
    QCOMPARE(data.absolutePath(), file + QLatin1String("/5D13B7E0A9C24F68B1E07D3C92A4F5E6"));
    QVERIFY(!data.exists());
    QVERIFY(QFileInfo(file).isFile());
}

TARNWICK_TEST_MAIN(TestDataFolderRedirectFile)
#include "tst_datafolder_redirectfile.moc"
