#include "devicebackup/Backup2ToolHook.h"
#include "devicebackup/BackupPathCheck.h"

#include "TestMain.h"
#include "tests/devicebackup/ScratchFiles.h"

#include <QTemporaryDir>

#include <algorithm>

using tarnwick::test::placeUnder;
using tarnwick::test::readAll;
using tarnwick::test::snapshot;
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
    void everyOperationStaysInside_data();
    void everyOperationStaysInside();

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
    // A copy or move into its own subtree would copy a folder into itself without end, or remove
    // its own source first.
    QTest::newRow("copy folder into itself") << "copy"
                                             << "d"
                                             << "d/sub/copy" << 14 << "d/sub/copy lies inside d." << start;
    QTest::newRow("copy folder onto itself") << "copy"
                                             << "d/./sub"
                                             << "d/sub/" << 14 << "d/sub lies inside d/sub." << start;
    QTest::newRow("copy file onto itself") << "copy"
                                           << "f"
                                           << "d/../f" << 14 << "f lies inside f." << start;
    QTest::newRow("copy into itself through a link") << "copy"
                                                     << "d"
                                                     << "in/copy" << 14 << "in/copy lies inside d." << start;
    QTest::newRow("move folder into itself") << "move"
                                             << "d"
                                             << "d/sub/x" << 10 << "d/sub/x lies inside d." << start;
    QTest::newRow("move file onto itself") << "move"
                                           << "f"
                                           << "f" << 10 << "f lies inside f." << start;
    // The hidden file keeps its folder, and the phone is told.
    QTest::newRow("remove folder") << "remove"
                                   << "d" << QString() << 9 << "Cannot remove d."
                                   << QStringList{"d/", "d/.hidden=h", "f=f"};
    QTest::newRow("remove file") << "remove"
                                 << "d/sub/b" << QString() << 0 << QString()
                                 << QStringList{"d/", "d/.hidden=h", "d/a=a", "d/sub/", "f=f"};
    QTest::newRow("remove missing") << "remove"
                                    << "nothing" << QString() << 0 << QString() << start;
    QTest::newRow("mkdir over a file")
        << "mkdir"
        << "f" << QString() << 2 << "A file stands where the folder f goes." << start;
    QTest::newRow("mkdir below a file")
        << "mkdir"
        << "f/g" << QString() << 2 << "Cannot create the folder f/g." << start;
    QTest::newRow("mkdir of a folder there") << "mkdir"
                                             << "d/sub" << QString() << 0 << QString() << start;
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

    QVERIFY(QFile::link(m_root.absoluteFilePath(QStringLiteral("d/sub")),
                        m_root.absoluteFilePath(QStringLiteral("in"))));
    if (!after.contains(QStringLiteral("in->") + m_root.absoluteFilePath(QStringLiteral("d/sub"))))
        after << QStringLiteral("in->") + m_root.absoluteFilePath(QStringLiteral("d/sub"));
    Backup2ToolHook hook;
    QString text;
    int r = -1;
    if (op == QLatin1String("move"))
        r = hook.moveFile(placeUnder(m_root, from), placeUnder(m_root, to), text);
    else if (op == QLatin1String("copy"))
        r = hook.copyFile(placeUnder(m_root, from), placeUnder(m_root, to), text);
    else if (op == QLatin1String("remove"))
        r = hook.removeFile(placeUnder(m_root, from), text);
    else
        r = hook.mkdir(placeUnder(m_root, from), text);
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
    // Nothing hidden stays behind in the folder: it is removed whole.
    QVERIFY(QFile::remove(m_root.absoluteFilePath(QStringLiteral("d/.hidden"))));
    Backup2ToolHook hook;
    QString error;
    QCOMPARE(hook.removeFile(placeUnder(m_root, QStringLiteral("d")), error), 0);
    QVERIFY(!QFileInfo::exists(m_root.absoluteFilePath(QStringLiteral("d"))));
    QCOMPARE(readAll(outside.filePath(QStringLiteral("keep"))), QByteArray("keep"));
    // Moving onto a link to a folder replaces the link, not the folder's contents.
    QVERIFY(QFile::link(outside.path(), m_root.absoluteFilePath(QStringLiteral("link2"))));
    QCOMPARE(hook.moveFile(placeUnder(m_root, QStringLiteral("f")),
                           placeUnder(m_root, QStringLiteral("link2")), error),
             0);
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
    QCOMPARE(hook.copyFile(placeUnder(m_root, QStringLiteral("d")),
                           placeUnder(m_root, QStringLiteral("copy")), error),
             0);
    QVERIFY(QFileInfo(m_root.absoluteFilePath(QStringLiteral("copy/sub/up"))).isSymLink());
    QCOMPARE(readAll(m_root.absoluteFilePath(QStringLiteral("copy/sub/b"))), QByteArray("b"));
}

void TestBackup2ToolHook::dirContents()
{
    Backup2ToolHook hook;
    QVERIFY(hook.dirContents(placeUnder(m_root, QStringLiteral("missing"))).isEmpty());
    QMap<QString, Backup2ToolHook::DirItem> byName;
    for (const Backup2ToolHook::DirItem &item : hook.dirContents(placeUnder(m_root, QStringLiteral("d"))))
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
    QCOMPARE(hook.recvFileOpenWrite(placeUnder(m_root, QStringLiteral("p/q/r")), file, error), 0);
    QVERIFY(file.isOpen());
    QCOMPARE(file.size(), 0);

    QFile blocked(m_root.absoluteFilePath(QStringLiteral("d")));
    QVERIFY(hook.recvFileOpenWrite(placeUnder(m_root, QStringLiteral("d")), blocked, error) != 0);
    QVERIFY(!error.isEmpty());
}

namespace {

const QString refused = QStringLiteral("<refused>");

// A backup root beside a sentinel tree, with links from inside the root to the sentinel, to the
// root's parent, to "/", inside the root and to nowhere.
struct Containment
{
    Containment()
        : root(outer.filePath(QStringLiteral("root")))
    {
        writeFile(outer.filePath(QStringLiteral("outside/victim")), "precious");
        writeFile(outer.filePath(QStringLiteral("outside/sub/other")), "precious too");
        writeFile(outer.filePath(QStringLiteral("outside/x")), "x");
        writeFile(root.absoluteFilePath(QStringLiteral("d/a")), "a");
        writeFile(root.absoluteFilePath(QStringLiteral("d/sub/b")), "b");
        link(outer.filePath(QStringLiteral("outside/sub")), QStringLiteral("d/lnk"));
        link(outer.path(), QStringLiteral("d/up"));
        link(QStringLiteral("/"), QStringLiteral("d/slash"));
        link(root.absoluteFilePath(QStringLiteral("d/sub")), QStringLiteral("d/in"));
        link(outer.filePath(QStringLiteral("outside/none")), QStringLiteral("d/dangling"));
        // Older than any change a test could make, so that a touched time shows.
        for (const QString &path : {QStringLiteral("outside/victim"), QStringLiteral("outside/sub/other")}) {
            QFile file(outer.filePath(path));
            file.open(QIODevice::ReadOnly);
            file.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime);
        }
    }

    void link(const QString &target, const QString &at)
    {
        QVERIFY(QFile::link(target, root.absoluteFilePath(at)));
    }

    // Everything beside the root.
    QStringList outside() const
    {
        QStringList lines = snapshot(outer.path());
        lines.erase(
            std::remove_if(lines.begin(), lines.end(),
                           [](const QString &line) { return line.startsWith(QLatin1String("root")); }),
            lines.end());
        return lines;
    }

    QTemporaryDir outer;
    QDir root;
};

QString placeText(const std::optional<BackupPath> &place)
{
    return place ? place->relative() : refused;
}

} // namespace

void TestBackup2ToolHook::pathCheck_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("followed"); // the place for actions that would follow a last link
    QTest::addColumn<QString>("asLink");   // the place for those that act on a link itself

    auto row = [](const char *name, const QString &path, const QString &followed, const QString &asLink) {
        QTest::newRow(name) << path << followed << asLink;
    };
    row("plain", "d/a", "d/a", "d/a");
    row("not yet there", "new/deep/file", "new/deep/file", "new/deep/file");
    row("dot dot staying inside", "d/sub/../a", "d/a", "d/a");
    row("root itself", ".", ".", refused);
    row("root by climbing back", "d/..", ".", refused);
    row("empty", "", refused, refused);
    row("climbing", "../x", refused, refused);
    row("climbing later", "d/../../x", refused, refused);
    row("absolute", "/etc/passwd", refused, refused);
    row("absolute into the sentinel", "%OUTER%/outside/victim", refused, refused);
    row("NUL character", QStringLiteral("d/a") + QChar(0) + QStringLiteral("x"), refused, refused);
    // ".." after a link means the parent of the link's target to the kernel: refused.
    row("lnk/..", "d/lnk/..", refused, refused);
    row("lnk/../..", "d/lnk/../..", refused, refused);
    row("lnk/../x", "d/lnk/../victim", refused, refused);
    row("lnk/../../x", "d/lnk/../../outside/victim", refused, refused);
    row("lnk/../../../x", "d/lnk/../../../outside/victim", refused, refused);
    row("a/../lnk/x", "d/sub/../lnk/other", refused, refused);
    // However the path reaches a ".." after a link: through ".", empty components or folders.
    row("lnk/./..", "d/lnk/./..", refused, refused);
    row("lnk/./../x", "d/lnk/./../a", refused, refused);
    row("lnk//../x", "d/lnk//../a", refused, refused);
    row("lnk/././/../x", "d/lnk/././/../a", refused, refused);
    row("lnk/file/..", "d/lnk/other/..", refused, refused);
    row("lnk/folder/..", "d/up/root/d/..", refused, refused);
    row("lnk/folder/./../x", "d/up/root/./d/./../d/a", refused, refused);
    row("link inside, ., then ..", "d/in/./../a", refused, refused);
    row("link inside, folder", "d/up/root/d/a", "d/up/root/d/a", "d/up/root/d/a");
    row("link out", "d/lnk/other", refused, refused);
    row("link out itself", "d/lnk", refused, "d/lnk");
    row("link out, trailing slash", "d/lnk/", refused, "d/lnk");
    row("link to the root's parent", "d/up/outside/victim", refused, refused);
    row("link to the root's parent itself", "d/up", refused, "d/up");
    row("link to the root's parent, back", "d/up/../a", refused, refused);
    row("link to /", "d/slash%OUTER%/outside/victim", refused, refused);
    row("link to / itself", "d/slash", refused, "d/slash");
    row("link inside", "d/in/b", "d/in/b", "d/in/b");
    row("link inside, new name", "d/in/new", "d/in/new", "d/in/new");
    row("link inside itself", "d/in", refused, "d/in");
    row("dangling link", "d/dangling", refused, "d/dangling");
    row("through a dangling link", "d/dangling/x", refused, refused);
}

void TestBackup2ToolHook::pathCheck()
{
    QFETCH(QString, path);
    QFETCH(QString, followed);
    QFETCH(QString, asLink);
    Containment fixture;
    path.replace(QStringLiteral("%OUTER%"), fixture.outer.path());
    const BackupPathCheck check(fixture.root);
    QCOMPARE(placeText(check.check(path, BackupPathCheck::LastComponent::NoLink)), followed);
    QCOMPARE(placeText(check.check(path, BackupPathCheck::LastComponent::AsLink)), asLink);
    if (const std::optional<BackupPath> place = check.check(path, BackupPathCheck::LastComponent::AsLink)) {
        QVERIFY(!place->absolute().contains(QLatin1String("/..")));
        QCOMPARE(place->absolute(), QDir::cleanPath(fixture.root.absoluteFilePath(place->relative())));
    }
}

void TestBackup2ToolHook::everyOperationStaysInside_data()
{
    pathCheck_data();
}

void TestBackup2ToolHook::everyOperationStaysInside()
{
    QFETCH(QString, path);
    using Last = BackupPathCheck::LastComponent;
    const QStringList operations{"upload",      "listing", "create",      "move source",
                                 "move target", "remove",  "copy source", "copy target"};
    for (const QString &operation : operations) {
        Containment fixture;
        const QString phonePath = QString(path).replace(QStringLiteral("%OUTER%"), fixture.outer.path());
        const QStringList before = fixture.outside();
        const BackupPathCheck check(fixture.root);
        const BackupPath a = placeUnder(fixture.root, QStringLiteral("d/a"));
        const BackupPath spare = placeUnder(fixture.root, QStringLiteral("d/spare"));
        const std::optional<BackupPath> followed = check.check(phonePath, Last::NoLink);
        const std::optional<BackupPath> asLink = check.check(phonePath, Last::AsLink);
        // As the session does: a refused path reaches no action.
        Backup2ToolHook hook;
        QString error;
        if (operation == QLatin1String("upload") && followed) {
            QFile file(followed->absolute());
            if (hook.recvFileOpenWrite(*followed, file, error) == 0 && file.isOpen())
                file.write("overwritten");
        } else if (operation == QLatin1String("listing") && followed) {
            hook.dirContents(*followed);
        } else if (operation == QLatin1String("create") && followed) {
            hook.mkdir(*followed, error);
        } else if (operation == QLatin1String("move source") && asLink) {
            hook.moveFile(*asLink, spare, error);
        } else if (operation == QLatin1String("move target") && asLink) {
            hook.moveFile(a, *asLink, error);
        } else if (operation == QLatin1String("remove") && asLink) {
            hook.removeFile(*asLink, error);
        } else if (operation == QLatin1String("copy source") && asLink) {
            hook.copyFile(*asLink, spare, error);
        } else if (operation == QLatin1String("copy target") && asLink) {
            hook.copyFile(a, *asLink, error);
        }
        QVERIFY2(fixture.outside() == before, qPrintable(operation));
    }
}

TARNWICK_TEST_MAIN(TestBackup2ToolHook)
#include "tst_backup2toolhook.moc"
