#include "model/DataFolder.h"

#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// The data folder is decided at the first g_dataSaveDir() call of a process; this program writes
// a redirect file to an existing folder before that call.

class TestDataFolderRedirect : public QObject
{
    Q_OBJECT

private slots:
    void redirectHonouredOnce();
};

void TestDataFolderRedirect::redirectHonouredOnce()
{
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(QDir().mkpath(g_defaultSaveDirPath()));
    g_setDataSaveDirLink(base.path());

    const QString expected = base.path() + QLatin1String("/5D13B7E0A9C24F68B1E07D3C92A4F5E6");
    QCOMPARE(g_dataSaveDir().absolutePath(), expected);
    QVERIFY(QFileInfo(expected).isDir());
    QVERIFY(!QFileInfo::exists(g_defaultSaveDirPath() + QLatin1String("/5D13B7E0A9C24F68B1E07D3C92A4F5E6")));

    // Removing the redirect file or pointing it elsewhere changes nothing during the run.
    QTemporaryDir other;
    QVERIFY(other.isValid());
    g_setDataSaveDirLink(other.path());
    QCOMPARE(g_dataSaveDir().absolutePath(), expected);
    QVERIFY(
        QFile::remove(g_defaultSaveDirPath() + QLatin1String("/5D13B7E0A9C24F68B1E07D3C92A4F5E6.redirect")));
    QCOMPARE(g_dataSaveDir().absolutePath(), expected);
}

TARNWICK_TEST_MAIN(TestDataFolderRedirect)
#include "tst_datafolder_redirect.moc"
