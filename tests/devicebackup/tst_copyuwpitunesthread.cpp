#include "devicebackup/CopyUWPItunesThread.h"

#include "TestMain.h"
#include "shell/kit/MessageBoxResponder.h"
#include "shell/kit/ProgressForm.h"
#include "tests/devicebackup/ScratchFiles.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using tarnwick::test::readAll;
using tarnwick::test::writeFile;

namespace {

QDir copyRoot()
{
    return QDir(QDir::home().absoluteFilePath(QStringLiteral("ferrovantis_itunes")));
}

struct Outcome
{
    int result = -1;
    QStringList boxes; // texts of the message boxes the dialog showed
};

// One run the way the application runs a worker: the real dialog, started, exec(), joined.
Outcome copy(const QString &source, bool cleanFirst)
{
    Outcome outcome;
    MessageBoxResponder::Scope scope([&outcome](const MessageBoxRequest &request) {
        outcome.boxes << request.text;
        return int(QMessageBox::Ok);
    });
    ProgressForm form(QStringLiteral("Copy"));
    CopyUWPItunesThread thread(source, cleanFirst, form);
    thread.start();
    outcome.result = form.exec();
    thread.wait();
    return outcome;
}

} // namespace

class TestCopyUWPItunesThread : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(copyRoot()).removeRecursively();
        m_source = std::make_unique<QTemporaryDir>();
        m_media = m_source->filePath(QStringLiteral("Media"));
        writeFile(m_media + QStringLiteral("/a.txt"), "a");
        writeFile(m_media + QStringLiteral("/sub/b.txt"), "b");
        writeFile(m_media + QStringLiteral("/.hidden"), "h");
        QVERIFY(QDir().mkpath(m_media + QStringLiteral("/empty")));
    }

    void copiesAndMarks();
    void secondRunKeepsWhatIsThere();
    void cleanFirstRemovesEveryCopy();
    void entriesThatCannotBeCopied_data();
    void entriesThatCannotBeCopied();
    void linksAreNotFollowedBackIntoTheTree();
    void sourceWithoutName_data();
    void sourceWithoutName();
    void emptySourceGetsNoMarker();

private:
    std::unique_ptr<QTemporaryDir> m_source;
    QString m_media;
};

void TestCopyUWPItunesThread::copiesAndMarks()
{
    QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(m_media)));
    const Outcome outcome = copy(m_media, false);
    QCOMPARE(outcome.result, 1);
    QVERIFY(outcome.boxes.isEmpty());
    const QDir saved = CopyUWPItunesThread::uwpItunesSaveDir(m_media);
    QCOMPARE(saved.absolutePath(), copyRoot().absoluteFilePath(QStringLiteral("Media")));
    QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(saved));
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("a.txt"))), QByteArray("a"));
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("sub/b.txt"))), QByteArray("b"));
    QVERIFY(!QFileInfo::exists(saved.absoluteFilePath(QStringLiteral(".hidden"))));
    QVERIFY(!QFileInfo::exists(saved.absoluteFilePath(QStringLiteral("empty"))));
    // A trailing separator names the same folder.
    QCOMPARE(CopyUWPItunesThread::uwpItunesSaveDir(m_media + QLatin1Char('/')).absolutePath(),
             saved.absolutePath());
}

void TestCopyUWPItunesThread::secondRunKeepsWhatIsThere()
{
    QCOMPARE(copy(m_media, false).result, 1);
    const QDir saved = CopyUWPItunesThread::uwpItunesSaveDir(m_media);
    writeFile(m_media + QStringLiteral("/a.txt"), "changed");
    writeFile(m_media + QStringLiteral("/c.txt"), "c");
    writeFile(saved.absoluteFilePath(QStringLiteral("__CopyUWPItunesThread")), "stale");
    QCOMPARE(copy(m_media, false).result, 1);
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("a.txt"))), QByteArray("a"));
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("c.txt"))), QByteArray("c"));
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("__CopyUWPItunesThread"))), QByteArray());
}

void TestCopyUWPItunesThread::cleanFirstRemovesEveryCopy()
{
    writeFile(copyRoot().absoluteFilePath(QStringLiteral("Other/old.txt")), "old");
    writeFile(copyRoot().absoluteFilePath(QStringLiteral(".keep")), "hidden");
    QTemporaryDir outside;
    writeFile(outside.filePath(QStringLiteral("precious")), "precious");
    QVERIFY(QFile::link(outside.path(), copyRoot().absoluteFilePath(QStringLiteral("Other/link"))));
    QCOMPARE(copy(m_media, true).result, 1);
    QVERIFY(!QFileInfo::exists(copyRoot().absoluteFilePath(QStringLiteral("Other"))));
    QVERIFY(QFileInfo::exists(copyRoot().absoluteFilePath(QStringLiteral(".keep"))));
    // The clean-up removes a link as a link.
    QCOMPARE(readAll(outside.filePath(QStringLiteral("precious"))), QByteArray("precious"));
    QVERIFY(CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(m_media)));
}

void TestCopyUWPItunesThread::entriesThatCannotBeCopied_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("dangling link") << "link";
    QTest::newRow("fifo") << "fifo";
}

void TestCopyUWPItunesThread::entriesThatCannotBeCopied()
{
    QFETCH(QString, kind);
    const QString entry = m_media + QStringLiteral("/sub/odd");
    if (kind == QLatin1String("link"))
        QVERIFY(QFile::link(m_media + QStringLiteral("/nowhere"), entry));
    else
        QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
    const Outcome outcome = copy(m_media, false);
    QCOMPARE(outcome.result, 0);
    QCOMPARE(outcome.boxes.size(), 1);
    QVERIFY2(outcome.boxes.first().contains(QStringLiteral("Can not copy iTunes files.")),
             qPrintable(outcome.boxes.first()));
    QVERIFY(outcome.boxes.first().contains(QStringLiteral("odd")));
    QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(m_media)));
}

void TestCopyUWPItunesThread::linksAreNotFollowedBackIntoTheTree()
{
    QVERIFY(QFile::link(m_media, m_media + QStringLiteral("/sub/loop")));
    QVERIFY(QFile::link(m_media + QStringLiteral("/sub"), m_media + QStringLiteral("/sibling")));
    QTemporaryDir outside;
    writeFile(outside.filePath(QStringLiteral("x.txt")), "x");
    QVERIFY(QFile::link(outside.path(), m_media + QStringLiteral("/outside")));
    QVERIFY(QFile::link(m_media + QStringLiteral("/a.txt"), m_media + QStringLiteral("/alias.txt")));
    QCOMPARE(copy(m_media, false).result, 1);
    const QDir saved = CopyUWPItunesThread::uwpItunesSaveDir(m_media);
    QVERIFY(!QFileInfo::exists(saved.absoluteFilePath(QStringLiteral("sub/loop"))));
    QVERIFY(!QFileInfo::exists(saved.absoluteFilePath(QStringLiteral("sibling"))));
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("outside/x.txt"))), QByteArray("x"));
    QCOMPARE(readAll(saved.absoluteFilePath(QStringLiteral("alias.txt"))), QByteArray("a"));
    QVERIFY(!QFileInfo(saved.absoluteFilePath(QStringLiteral("alias.txt"))).isSymLink());
}

void TestCopyUWPItunesThread::sourceWithoutName_data()
{
    QTest::addColumn<QString>("source");
    QTest::newRow("root") << "/";
    QTest::newRow("empty") << "";
}

void TestCopyUWPItunesThread::sourceWithoutName()
{
    QFETCH(QString, source);
    const Outcome outcome = copy(source, false);
    QCOMPARE(outcome.result, 0);
    QCOMPARE(outcome.boxes.size(), 1);
    QVERIFY(!QFileInfo::exists(QStringLiteral("/__CopyUWPItunesThread")));
    QVERIFY(!copyRoot().exists());
}

void TestCopyUWPItunesThread::emptySourceGetsNoMarker()
{
    const QString empty = m_source->filePath(QStringLiteral("Empty"));
    QVERIFY(QDir().mkpath(empty));
    QCOMPARE(copy(empty, false).result, 1);
    QVERIFY(!CopyUWPItunesThread::isUWPItunesCopied(CopyUWPItunesThread::uwpItunesSaveDir(empty)));
    QVERIFY(!QFileInfo::exists(copyRoot().absoluteFilePath(QStringLiteral("Empty"))));
}

TARNWICK_TEST_MAIN(TestCopyUWPItunesThread)
#include "tst_copyuwpitunesthread.moc"
