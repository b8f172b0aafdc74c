#include "model/DataFolder.h"
#include "platform/desktop/SystemOpener.h"

#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

// The functions of the data folder that hold no per-run state. The data folder itself, decided once
// per process, is tested by the tst_datafolder_* programs.

namespace {

const QString kProductId = QStringLiteral("5D13B7E0A9C24F68B1E07D3C92A4F5E6");

QString redirectPath()
{
    return g_defaultSaveDirPath() + QLatin1Char('/') + kProductId + QLatin1String(".redirect");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void folders();
    void dataSaveDirLink_data();
    void dataSaveDirLink();
    void unusableRedirectTarget_data();
    void unusableRedirectTarget();
    void setDataSaveDirLink();
    void setDataSaveDirLinkWithoutFolder();
    void validFilePath_data();
    void validFilePath();
    void delDirCascade();
    void delDirCascadeKeepsHiddenEntries();
    void delDirCascadeDoesNotFollowLinks();
    void delDirCascadeOnMissingOrLinkedFolder();
    void openPassesTextUnchanged_data();
    void openPassesTextUnchanged();
    void systemCommandGetsOneArgument_data();
    void systemCommandGetsOneArgument();

private:
    QTemporaryDir m_tmp;
};

void TestDataFolder::init()
{
    QVERIFY(m_tmp.isValid());
    QVERIFY(QDir().mkpath(g_defaultSaveDirPath()));
}

void TestDataFolder::cleanup()
{
    QFile::remove(redirectPath());
    SystemOpener::setHandler({});
}

void TestDataFolder::folders()
{
    // The test runs under a temporary HOME, so every path below lies inside it.
    const QString home = QDir::homePath();
#ifdef Q_OS_MACOS
    QCOMPARE(g_osAppDir().absolutePath(), home + QLatin1String("/Library/Application Support"));
#else
    QCOMPARE(g_osAppDir().absolutePath(),
             QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QVERIFY(g_osAppDir().absolutePath().startsWith(home + QLatin1Char('/')));
#endif
    QCOMPARE(g_defaultSaveDirPath(), g_osAppDir().absolutePath() + QLatin1String("/FerroVantis"));
    QVERIFY(QDir::isAbsolutePath(g_defaultSaveDirPath()));
}

void TestDataFolder::dataSaveDirLink_data()
{
    QTest::addColumn<QByteArray>("content"); // "@" stands for the temporary folder
    QTest::addColumn<QString>("expected");   // the same
    QTest::addColumn<bool>("writeRedirect");

    QTest::newRow("no redirect file") << QByteArray() << QString() << false;
    QTest::newRow("empty file") << QByteArray() << QString() << true;
    QTest::newRow("existing folder") << QByteArray("@/base") << QStringLiteral("@/base") << true;
    // An editor ends the line it saves; blanks around a path typed by hand are no part of it.
    QTest::newRow("trailing line break dropped")
        << QByteArray("@/base\n") << QStringLiteral("@/base") << true;
    QTest::newRow("trailing CR LF dropped") << QByteArray("@/base\r\n") << QStringLiteral("@/base") << true;
    QTest::newRow("blanks around dropped") << QByteArray("  @/base \t") << QStringLiteral("@/base") << true;
    QTest::newRow("only white space") << QByteArray(" \n") << QString() << true;
    QTest::newRow("name with line break that exists")
        << QByteArray("@/odd\n") << QStringLiteral("@/odd\n") << true;
    QTest::newRow("cut at first NUL")
        << QByteArray("@/base\0/garbage", 15) << QStringLiteral("@/base") << true;
    QTest::newRow("existing file honoured")
        << QByteArray("@/plain.txt") << QStringLiteral("@/plain.txt") << true;
    QTest::newRow("missing target") << QByteArray("@/nowhere") << QString() << true;
    QTest::newRow("utf-8 folder name")
        << QString::fromUtf8("@/Kontakte-äöü").toUtf8() << QString::fromUtf8("@/Kontakte-äöü") << true;
    QTest::newRow("NUL first") << QByteArray("\0@/base", 7) << QString() << true;
    // Read from the redirect file's own folder, not from the folder the program started in.
    QTest::newRow("relative path") << QByteArray("relative-base\n") << QStringLiteral("%/relative-base")
                                   << true;
    QTest::newRow("relative path upwards")
        << QByteArray("../up-base") << QStringLiteral("%/../up-base") << true;
}

void TestDataFolder::dataSaveDirLink()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(bool, writeRedirect);

    const QString root = m_tmp.path();
    QVERIFY(QDir(root).mkpath(QStringLiteral("base")));
    QVERIFY(QDir(root).mkpath(QString::fromUtf8("Kontakte-äöü")));
    QVERIFY(QDir(root).mkpath(QStringLiteral("odd\n")));
    writeFile(root + QLatin1String("/plain.txt"), "x");

    content.replace('@', root.toUtf8());
    expected.replace(QLatin1Char('@'), root);
    const QString redirectFolder = g_defaultSaveDirPath();
    expected.replace(QLatin1Char('%'), redirectFolder);
    QVERIFY(QDir(redirectFolder).mkpath(QStringLiteral("relative-base")));
    QVERIFY(QDir(redirectFolder).mkpath(QStringLiteral("../up-base")));
    if (writeRedirect)
        writeFile(redirectPath(), content);

    // Started elsewhere, as from a desktop or another shell.
    const QString started = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root));
    const QString link = g_dataSaveDirLink();
    QVERIFY(QDir::setCurrent(started));
    QCOMPARE(QDir::cleanPath(link), QDir::cleanPath(expected));
    // A redirect that names a usable folder is no cause for a warning.
    if (!expected.isEmpty() && QFileInfo(expected).isDir())
        QCOMPARE(g_unusableRedirectTarget(), QString());
}

void TestDataFolder::unusableRedirectTarget_data()
{
    QTest::addColumn<QByteArray>("content"); // "@" stands for the temporary folder
    QTest::addColumn<QString>("unusable");   // the same

    QTest::newRow("existing folder") << QByteArray("@/base\n") << QString();
    QTest::newRow("empty file") << QByteArray() << QString();
    QTest::newRow("missing folder") << QByteArray("@/nowhere\n") << QStringLiteral("@/nowhere");
    QTest::newRow("a plain file") << QByteArray("@/plain.txt") << QStringLiteral("@/plain.txt");
}

void TestDataFolder::unusableRedirectTarget()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, unusable);
    const QString root = m_tmp.path();
    QVERIFY(QDir(root).mkpath(QStringLiteral("base")));
    writeFile(root + QLatin1String("/plain.txt"), "x");
    content.replace('@', root.toUtf8());
    unusable.replace(QLatin1Char('@'), root);

    QCOMPARE(g_unusableRedirectTarget(), QString()); // no redirect file
    writeFile(redirectPath(), content);
    QCOMPARE(g_unusableRedirectTarget(), unusable);
    QCOMPARE(g_dataSaveDirRedirectFile(), redirectPath());
}

void TestDataFolder::setDataSaveDirLink()
{
    const QString target = m_tmp.path() + QString::fromUtf8("/Ordner mit Leerzeichen é\n");
    g_setDataSaveDirLink(target);
    // Exactly the UTF-8 bytes, nothing appended.
    QCOMPARE(readFile(redirectPath()), target.toUtf8());

    // A shorter text replaces the whole file.
    g_setDataSaveDirLink(QStringLiteral("/x"));
    QCOMPARE(readFile(redirectPath()), QByteArray("/x"));

    // An empty text leaves an empty file, which is not honoured.
    g_setDataSaveDirLink(QString());
    QVERIFY(QFile::exists(redirectPath()));
    QCOMPARE(readFile(redirectPath()), QByteArray());
    QCOMPARE(g_dataSaveDirLink(), QString());

    // What was written is read back when the target exists.
    g_setDataSaveDirLink(m_tmp.path());
    QCOMPARE(g_dataSaveDirLink(), m_tmp.path());
}

void TestDataFolder::setDataSaveDirLinkWithoutFolder()
{
    QVERIFY(QDir(g_defaultSaveDirPath()).removeRecursively());
    g_setDataSaveDirLink(m_tmp.path());
    // The maker's folder is not created for the redirect file.
    QVERIFY(!QFile::exists(g_defaultSaveDirPath()));
    QCOMPARE(g_dataSaveDirLink(), QString());
}

void TestDataFolder::validFilePath_data()
{
    QTest::addColumn<QStringList>("existing"); // made before the call, relative to the temporary folder
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free path unchanged") << QStringList() << "report.txt"
                                         << "report.txt";
    QTest::newRow("first variant") << QStringList{"report.txt"} << "report.txt"
                                   << "report(1).txt";
    QTest::newRow("second variant") << QStringList{"a.txt", "a(1).txt"} << "a.txt"
                                    << "a(2).txt";
    QTest::newRow("gap is filled") << QStringList{"a.txt", "a(2).txt"} << "a.txt"
                                   << "a(1).txt";
    QTest::newRow("no suffix") << QStringList{"notes"} << "notes"
                               << "notes(1)";
    QTest::newRow("several dots") << QStringList{"a.tar.gz"} << "a.tar.gz"
                                  << "a(1).gz";
    QTest::newRow("hidden file") << QStringList{".profile"} << ".profile"
                                 << "(1).profile";
    QTest::newRow("existing folder") << QStringList{"dir/"} << "dir"
                                     << "dir(1)";
    QTest::newRow("percent sign taken literally") << QStringList{"x%1y.txt"} << "x%1y.txt"
                                                  << "x%1y(1).txt";
    QTest::newRow("variant taken by a folder") << QStringList{"b.db", "b(1).db/"} << "b.db"
                                               << "b(2).db";
}

void TestDataFolder::validFilePath()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, path);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : existing) {
        if (name.endsWith(QLatin1Char('/')))
            QVERIFY(QDir(dir.path()).mkpath(name));
        else
            writeFile(dir.filePath(name), "x");
    }
    QCOMPARE(g_getValidFilePath(dir.filePath(path)), dir.filePath(expected));
}

void TestDataFolder::delDirCascade()
{
    const QString top = m_tmp.filePath(QStringLiteral("cascade"));
    QVERIFY(QDir().mkpath(top + QLatin1String("/a/b/c")));
    QVERIFY(QDir().mkpath(top + QLatin1String("/empty")));
    writeFile(top + QLatin1String("/f.txt"), "x");
    writeFile(top + QLatin1String("/a/g.txt"), "x");
    writeFile(top + QLatin1String("/a/b/c/h.txt"), "x");
    QFile::setPermissions(top + QLatin1String("/a/g.txt"), QFileDevice::ReadOwner);

    g_delDirCascade(top);
    QVERIFY(!QFileInfo::exists(top));
}

void TestDataFolder::delDirCascadeKeepsHiddenEntries()
{
    const QString top = m_tmp.filePath(QStringLiteral("hidden"));
    QVERIFY(QDir().mkpath(top + QLatin1String("/sub")));
    writeFile(top + QLatin1String("/visible.txt"), "x");
    writeFile(top + QLatin1String("/sub/.secret"), "x");
    writeFile(top + QLatin1String("/sub/other.txt"), "x");

    g_delDirCascade(top);
    // The hidden file is not listed, so its folder and the folders above it stay.
    QVERIFY(QFileInfo::exists(top + QLatin1String("/sub/.secret")));
    QVERIFY(!QFileInfo::exists(top + QLatin1String("/sub/other.txt")));
    QVERIFY(!QFileInfo::exists(top + QLatin1String("/visible.txt")));
}

void TestDataFolder::delDirCascadeDoesNotFollowLinks()
{
    const QString outside = m_tmp.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(outside + QLatin1String("/deep")));
    writeFile(outside + QLatin1String("/keep.txt"), "precious");
    writeFile(outside + QLatin1String("/deep/keep2.txt"), "precious");

    const QString top = m_tmp.filePath(QStringLiteral("withlinks"));
    QVERIFY(QDir().mkpath(top + QLatin1String("/sub")));
    QVERIFY(QFile::link(outside, top + QLatin1String("/sub/dirlink")));
    QVERIFY(QFile::link(outside + QLatin1String("/keep.txt"), top + QLatin1String("/filelink")));

    g_delDirCascade(top);

    QVERIFY(!QFileInfo::exists(top));
    QCOMPARE(readFile(outside + QLatin1String("/keep.txt")), QByteArray("precious"));
    QCOMPARE(readFile(outside + QLatin1String("/deep/keep2.txt")), QByteArray("precious"));
}

void TestDataFolder::delDirCascadeOnMissingOrLinkedFolder()
{
    // Nothing there: nothing happens.
    g_delDirCascade(m_tmp.filePath(QStringLiteral("missing")));
    QVERIFY(!QFileInfo::exists(m_tmp.filePath(QStringLiteral("missing"))));

    // A file is not a folder: it stays.
    writeFile(m_tmp.filePath(QStringLiteral("file.txt")), "x");
    g_delDirCascade(m_tmp.filePath(QStringLiteral("file.txt")));
    QVERIFY(QFileInfo::exists(m_tmp.filePath(QStringLiteral("file.txt"))));

    // A link given as the folder is removed as a link; the folder it points at keeps its content.
    const QString target = m_tmp.filePath(QStringLiteral("target"));
    QVERIFY(QDir().mkpath(target));
    writeFile(target + QLatin1String("/keep.txt"), "x");
    const QString link = m_tmp.filePath(QStringLiteral("link"));
    QVERIFY(QFile::link(target, link));
    g_delDirCascade(link);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(QFileInfo::exists(target + QLatin1String("/keep.txt")));
}

void TestDataFolder::openPassesTextUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("plain path") << QStringLiteral("/tmp/data");
    QTest::newRow("blanks") << QStringLiteral("/tmp/My Contacts/data");
    QTest::newRow("double quote") << QStringLiteral("/tmp/a\"b");
    QTest::newRow("dollar") << QStringLiteral("/tmp/$HOME/$(id)");
    QTest::newRow("backquote") << QStringLiteral("/tmp/`touch pwned`");
    QTest::newRow("backslash") << QStringLiteral("/tmp/a\\b\\");
    QTest::newRow("single quote and semicolon") << QStringLiteral("http://x/?a='1';rm -rf ~");
    QTest::newRow("link with query") << QStringLiteral("http://example.invalid/help?lang=en&v=1.0#top");
    QTest::newRow("non-ascii") << QString::fromUtf8("/tmp/Kontakte äöü 漢字");
}

void TestDataFolder::openPassesTextUnchanged()
{
    QFETCH(QString, text);
    QStringList seen;
    SystemOpener::setHandler([&seen](const QString &target) { seen << target; });
    g_openFileOrFolder(text);
    g_openLink(text);
    QCOMPARE(seen, (QStringList{text, text}));
}

void TestDataFolder::systemCommandGetsOneArgument_data()
{
    openPassesTextUnchanged_data();
}

void TestDataFolder::systemCommandGetsOneArgument()
{
#ifdef Q_OS_MACOS
    QSKIP("the stand-in opener replaces xdg-open only");
#else
    QFETCH(QString, text);

    // A stand-in for xdg-open, first on PATH, records how many arguments it got and the first one.
    QTemporaryDir bin;
    QVERIFY(bin.isValid());
    const QString script = bin.filePath(QStringLiteral("xdg-open"));
    writeFile(script, "#!/bin/sh\nprintf '%s' \"$#\" > \"$TARNWICK_OPEN_OUT.count\"\n"
                      "printf '%s' \"$1\" > \"$TARNWICK_OPEN_OUT\"\n");
    QVERIFY(QFile::setPermissions(script,
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QByteArray oldPath = qgetenv("PATH");
    const QString out = bin.filePath(QStringLiteral("out"));
    qputenv("PATH", bin.path().toLocal8Bit() + ':' + oldPath);
    qputenv("TARNWICK_OPEN_OUT", out.toLocal8Bit());

    g_openLink(text); // the default handler: waits for the command

    qputenv("PATH", oldPath);
    qunsetenv("TARNWICK_OPEN_OUT");
    QCOMPARE(readFile(out + QLatin1String(".count")), QByteArray("1"));
    QCOMPARE(QString::fromUtf8(readFile(out)), text);
    QVERIFY(!QFileInfo::exists(QStringLiteral("pwned")));
#endif
}

TARNWICK_TEST_MAIN(TestDataFolder)
#include "tst_datafolder.moc"
