#include "devicebackup/Backup2ToolHook.h"
#include "devicebackup/BackupPathCheck.h"

#include "TestMain.h"
#include "tests/devicebackup/ScratchFiles.h"

#include <QTemporaryDir>

using tarnwick::test::readAll;
using tarnwick::test::writeFile;

namespace {

// "path=content" for every file under `root` (links as "path->target"), sorted; folders as "path/".
QStringList tree(const QString &root)
{
    QStringList lines;
    const QDir base(root);
    std::function<void(const QString &)> walk = [&](const QString &folder) {
        const QFileInfoList entries = QDir(folder).entryInfoList(
            QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
        for (const QFileInfo &entry : entries) {
            const QString relative = base.relativeFilePath(entry.absoluteFilePath());
            if (entry.isSymLink())
                lines << relative + QStringLiteral("->") + entry.symLinkTarget();
            else if (entry.isDir()) {
                lines << relative + QLatin1Char('/');
                walk(entry.absoluteFilePath());
            } else
                lines << relative + QLatin1Char('=') + QString::fromUtf8(readAll(entry.absoluteFilePath()));
        }
    };
    walk(root);
    return lines;
}

} // namespace

class TestBackup2ToolHook : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_root = QDir(m_dir->path());
        writeFile(m_root.absoluteFilePath(QStringLiteral("d/a")), "a");
        writeFile(m_root.absoluteFilePath(QStringLiteral("d/sub/b")), "b");
        writeFile(m_root.absoluteFilePath(QStringLiteral("d/.hidden")), "h");
        writeFile(m_root.absoluteFilePath(QStringLiteral("f")), "f");
    }

    void operations_data();
    void operations();
    void removalsDoNotFollowLinks();
    void copyKeepsLinksAsLinks();
    void dirContents();
    void recvFileOpenWriteMakesTheFolders();
    void pathCheck_data();
    void pathCheck();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QDir m_root;
};

void TestBackup2ToolHook::operations_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QStringList>("after");

    const QStringList start{QStringLiteral("d/"),     QStringLiteral("d/.hidden=h"), QStringLiteral("d/a=a"),
                            QStringLiteral("d/sub/"), QStringLiteral("d/sub/b=b"),   QStringLiteral("f=f")};
    QTest::newRow("move missing source") << "move"
                                         << "nothing"
                                         << "f" << 0 << QString() << start;
    QTest::newRow("move onto a file")
        << "move"
        << "d/a"
        << "f" << 0 << QString() << QStringList{"d/", "d/.hidden=h", "d/sub/", "d/sub/b=b", "f=a"};
    QTest::newRow("move onto a folder")
        << "move"
        << "f"
        << "d/sub" << 0 << QString() << QStringList{"d/", "d/.hidden=h", "d/a=a", "d/sub=f"};
    QTest::newRow("move into new folders")
        << "move"
        << "f"
        << "x/y/z" << 0 << QString()
        << QStringList{"d/", "d/.hidden=h", "d/a=a", "d/sub/", "d/sub/b=b", "x/", "x/y/", "x/y/z=f"};
    QTest::newRow("copy file onto folder") << "copy"
                                           << "f"
                                           << "d" << 14 << "Destination is a folder." << start;
    QTest::newRow("copy folder onto file") << "copy"
                                           << "d"
                                           << "f" << 14 << "Destination is a file." << start;
    QTest::newRow("copy missing source") << "copy"
                                         << "nothing"
                                         << "new" << 0 << QString() << start;
    QTest::newRow("copy folder merges")
        << "copy"
        << "d/sub"
        << "d" << 0 << QString()
        << QStringList{"d/", "d/.hidden=h", "d/a=a", "d/b=b", "d/sub/", "d/sub/b=b", "f=f"};
    QTest::newRow("copy file replaces")
        << "copy"
        << "d/a"
        << "f" << 0 << QString() << QStringList{"d/", "d/.hidden=h", "d/a=a", "d/sub/", "d/sub/b=b", "f=a"};
    // The hidden file keeps its folder.
    QTest::newRow("remove folder") << "remove"
                                   << "d" << QString() << 0 << QString()
                                   << QStringList{"d/", "d/.hidden=h", "f=f"};
    QTest::newRow("remove missing") << "remove"
                                    << "nothing" << QString() << 0 << QString() << start;
    QTest::newRow("mkdir over a file") << "mkdir"
                                       << "f" << QString() << 0 << QString() << start;
    QTest::newRow("mkdir chain") << "mkdir"
                                 << "n/m" << QString() << 0 << QString() << start + QStringList{"n/", "n/m/"};
}

void TestBackup2ToolHook::operations()
{
    QFETCH(QString, op);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, result);
    QFETCH(QString, error);
    QFETCH(QStringList, after);

    Backup2ToolHook hook;
    QString text;
    int r = -1;
    if (op == QLatin1String("move"))
        r = hook.moveFile(m_root, from, to, text);
    else if (op == QLatin1String("copy"))
        r = hook.copyFile(m_root, from, to, text);
    else if (op == QLatin1String("remove"))
        r = hook.removeFile(m_root, from, text);
    else
        r = hook.mkdir(m_root, from, text);
    QCOMPARE(r, result);
    QCOMPARE(text, error);
    after.sort();
    QCOMPARE(tree(m_root.path()), after);
}

void TestBackup2ToolHook::removalsDoNotFollowLinks()
{
    QTemporaryDir outside;
    writeFile(outside.filePath(QStringLiteral("keep")), "keep");
    QVERIFY(QFile::link(outside.path(), m_root.absoluteFilePath(QStringLiteral("d/link"))));
    Backup2ToolHook hook;
    QString error;
    QCOMPARE(hook.removeFile(m_root, QStringLiteral("d"), error), 0);
    QCOMPARE(readAll(outside.filePath(QStringLiteral("keep"))), QByteArray("keep"));
    // Moving onto a link to a folder replaces the link, not the folder's contents.
    QVERIFY(QFile::link(outside.path(), m_root.absoluteFilePath(QStringLiteral("link2"))));
    QCOMPARE(hook.moveFile(m_root, QStringLiteral("f"), QStringLiteral("link2"), error), 0);
    QCOMPARE(readAll(outside.filePath(QStringLiteral("keep"))), QByteArray("keep"));
    QCOMPARE(readAll(m_root.absoluteFilePath(QStringLiteral("link2"))), QByteArray("f"));
}

void TestBackup2ToolHook::copyKeepsLinksAsLinks()
{
    // A link back up the tree would make a following copy recurse without end.
    QVERIFY(QFile::link(m_root.absoluteFilePath(QStringLiteral("d")),
                        m_root.absoluteFilePath(QStringLiteral("d/sub/up"))));
    Backup2ToolHook hook;
    QString error;
    QCOMPARE(hook.copyFile(m_root, QStringLiteral("d"), QStringLiteral("copy"), error), 0);
    QVERIFY(QFileInfo(m_root.absoluteFilePath(QStringLiteral("copy/sub/up"))).isSymLink());
    QCOMPARE(readAll(m_root.absoluteFilePath(QStringLiteral("copy/sub/b"))), QByteArray("b"));
}

void TestBackup2ToolHook::dirContents()
{
    Backup2ToolHook hook;
    QVERIFY(hook.dirContents(m_root, QStringLiteral("missing")).isEmpty());
    QMap<QString, Backup2ToolHook::DirItem> byName;
    for (const Backup2ToolHook::DirItem &item : hook.dirContents(m_root, QStringLiteral("d")))
        byName.insert(item.name, item);
    QCOMPARE(byName.keys(), (QStringList{QStringLiteral("a"), QStringLiteral("sub")}));
    QCOMPARE(byName.value(QStringLiteral("a")).type, 1);
    QCOMPARE(byName.value(QStringLiteral("a")).size, 1);
    QCOMPARE(byName.value(QStringLiteral("sub")).type, 2);
    QCOMPARE(byName.value(QStringLiteral("a")).lastModified,
             QFileInfo(m_root.absoluteFilePath(QStringLiteral("d/a"))).lastModified());
}

void TestBackup2ToolHook::recvFileOpenWriteMakesTheFolders()
{
    Backup2ToolHook hook;
    QString error;
    QFile file(m_root.absoluteFilePath(QStringLiteral("p/q/r")));
    QCOMPARE(hook.recvFileOpenWrite(m_root, QStringLiteral("p/q/r"), file, error), 0);
    QVERIFY(file.isOpen());
    QCOMPARE(file.size(), 0);

    QFile blocked(m_root.absoluteFilePath(QStringLiteral("d")));
    QVERIFY(hook.recvFileOpenWrite(m_root, QStringLiteral("d"), blocked, error) != 0);
    QVERIFY(!error.isEmpty());
}

void TestBackup2ToolHook::pathCheck_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("inside");
    QTest::newRow("plain") << "d/a" << true;
    QTest::newRow("not yet there") << "new/deep/file" << true;
    QTest::newRow("dot dot staying inside") << "d/sub/../a" << true;
    QTest::newRow("root itself") << "." << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("climbing") << "../x" << false;
    QTest::newRow("climbing later") << "d/../../x" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("link out") << "out/x" << false;
    QTest::newRow("dangling link") << "dangling" << false;
    QTest::newRow("link inside") << "in/b" << true;
}

void TestBackup2ToolHook::pathCheck()
{
    QFETCH(QString, path);
    QFETCH(bool, inside);
    QTemporaryDir outside;
    QVERIFY(QFile::link(outside.path(), m_root.absoluteFilePath(QStringLiteral("out"))));
    QVERIFY(QFile::link(m_root.absoluteFilePath(QStringLiteral("d/sub")),
                        m_root.absoluteFilePath(QStringLiteral("in"))));
    QVERIFY(QFile::link(outside.filePath(QStringLiteral("none")),
                        m_root.absoluteFilePath(QStringLiteral("dangling"))));
    QCOMPARE(BackupPathCheck(m_root).isInside(path), inside);
}

TARNWICK_TEST_MAIN(TestBackup2ToolHook)
#include "tst_backup2toolhook.moc"
