// The backup chooser and its list model, with backups the fixtures write into the (temporary) home.
#include "BackupBuilder.h"
#include "ChooserFixtures.h"
#include "TestMain.h"
#include "itunesbackup/BackupManifest.h"
#include "shell/app/ItemModelLoadBk.h"
#include "shell/app/LoadItunesBackupDlg.h"
#include "shell/kit/FileDialogs.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

#include <utime.h>

using namespace itunesfixture;

namespace {

// Answers the folder chooser from a queue; an empty answer plays a cancel.
class FolderAnswers : public FileDialogs
{
public:
    explicit FolderAnswers(QStringList *answers, QStringList *asked)
        : m_answers(answers)
        , m_asked(asked)
    {}
    QString existingDirectory(QWidget *, const QString &, const QString &dir, QFileDialog::Options) override
    {
        *m_asked << dir;
        return m_answers->isEmpty() ? QString() : m_answers->takeFirst();
    }

private:
    QStringList *m_answers;
    QStringList *m_asked;
};

QSharedPointer<BackupManifest> summaryOnly(const QString &dir, const QDateTime &date, const QString &name)
{
    BackupSpec spec;
    spec.layout = Layout::None;
    spec.deviceName = name;
    spec.date = date;
    writeBackup(dir, spec);
    QSharedPointer<BackupManifest> b(new BackupManifest(dir));
    b->readManifestInfo();
    return b;
}

void setFolderTime(const QString &path, qint64 secs)
{
    struct utimbuf t;
    t.actime = time_t(secs);
    t.modtime = time_t(secs);
    ::utime(QFile::encodeName(path).constData(), &t);
}

} // namespace

class TestLoadItunesBackupDlg : public QObject, fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

    QTemporaryDir m_elsewhere;
    QString root() const { return BackupManifest::iTunesBackupDirs().first().absolutePath(); }

    QString backupIn(const QString &name, const QDateTime &date, qint64 folderTime)
    {
        BackupSpec spec;
        spec.deviceName = name;
        spec.date = date;
        const QString dir = root() + "/" + name;
        writeBackup(dir, spec);
        setFolderTime(dir, folderTime);
        return dir;
    }

private slots:
    void initTestCase() { installEnglishAndBoxRecorder(); }
    void init()
    {
        boxes.clear();
        QDir(root()).removeRecursively();
    }

    // ---- model ----------------------------------------------------------------------------

    void modelOrderAndRows()
    {
        QTemporaryDir dir;
        ItemModelLoadBk model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        const QDateTime may2019(QDate(2019, 5, 1), QTime(0, 0), Qt::UTC);
        const QDateTime jan2020(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
        model.addBackup(summaryOnly(dir.filePath("a"), may2019, "first 2019"));
        QCOMPARE(inserted.takeFirst().mid(1), (QVariantList{0, 0}));
        model.addBackup(summaryOnly(dir.filePath("b"), jan2020, "2020"));
        QCOMPARE(inserted.takeFirst().mid(1), (QVariantList{0, 0}));
        auto *node = model.addBackup(summaryOnly(dir.filePath("c"), may2019, "second 2019"));
        QCOMPARE(inserted.takeFirst().mid(1), (QVariantList{2, 2}));
        QCOMPARE(model.indexOfItemNode(node).row(), 2);
        QStringList names;
        for (int row = 0; row < model.rowCount(); ++row)
            names << model.index(row, 0).data().toString();
        QCOMPARE(names, QStringList({"2020-b", "first 2019-a", "second 2019-c"}));
        QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    }

    void modelRoles()
    {
        QTemporaryDir dir;
        ItemModelLoadBk model;
        const QDateTime date(QDate(2019, 5, 1), QTime(10, 0), Qt::UTC);
        model.addBackup(summaryOnly(dir.filePath("a"), date, "Phone"));
        model.addBackup(summaryOnly(dir.filePath("b"), date, "Phone"));
        QCOMPARE(model.columnCount(), 3);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Name"));
        QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), QString("Backup Date"));
        QCOMPARE(model.headerData(2, Qt::Horizontal).toString(), QString("Path"));
        QVERIFY(!model.headerData(3, Qt::Horizontal).isValid());
        QVERIFY(!model.headerData(0, Qt::Vertical).isValid());
        QVERIFY(!model.headerData(0, Qt::Horizontal, Qt::ToolTipRole).isValid());

        const QModelIndex name = model.index(0, 0);
        const QModelIndex when = model.index(0, 1);
        const QModelIndex path = model.index(0, 2);
        QCOMPARE(when.data().toString(), QLocale::system().toString(date.toLocalTime(), QLocale::ShortFormat));
        QCOMPARE(path.data().toString(), QDir(dir.filePath("a")).absolutePath());
        QCOMPARE(path.data(Qt::ToolTipRole), path.data());
        QVERIFY(!name.data(Qt::EditRole).isValid());
        QVERIFY(!name.data(Qt::ForegroundRole).isValid());
        QCOMPARE(name.data(Qt::DecorationRole).value<QPixmap>().width(), 18);
        QVERIFY(!when.data(Qt::DecorationRole).isValid());
        QVERIFY(!name.data(Qt::UserRole).isValid());
        for (int column = 0; column < 3; ++column) {
            QCOMPARE(model.index(0, column).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(250, 250, 250));
            QCOMPARE(model.index(1, column).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 255, 255));
            QCOMPARE(model.index(1, column).data(Qt::SizeHintRole).toSize(), QSize(0, 25));
        }
    }

    // ---- dialog ---------------------------------------------------------------------------

    void scanListsReadableBackups()
    {
        const QDateTime d2019(QDate(2019, 5, 1), QTime(0, 0), Qt::UTC);
        backupIn("good", d2019, 1000);
        backupIn("newer", d2019.addYears(1), 1100);
        // Not backups: passed over without a word.
        BackupSpec plistOnly;
        plistOnly.layout = Layout::None;
        writeBackup(root() + "/plistonly", plistOnly);
        BackupSpec mbdbOnly;
        mbdbOnly.layout = Layout::Mbdb;
        mbdbOnly.writeManifestPlist = false;
        writeBackup(root() + "/mbdbonly", mbdbOnly);
        // Unreadable summaries, scanned oldest folder first.
        for (const auto &[name, time] : {std::pair<QString, qint64>{"broken2", 900}, {"broken1", 800}}) {
            BackupSpec s;
            s.layout = Layout::Mbdb;
            s.writeManifestPlist = false;
            writeBackup(root() + "/" + name, s);
            QDir(root() + "/" + name).mkdir("Manifest.plist");
            setFolderTime(root() + "/" + name, time);
        }

        LoadItunesBackupDlg dialog;
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.at(0).icon, QMessageBox::Critical);
        QVERIFY(boxes.at(0).text.contains("load " + root() + "/broken1 error. "));
        QVERIFY(boxes.at(1).text.contains("load " + root() + "/broken2 error. "));
        auto *list = dialog.findChild<QTreeView *>("listBackups");
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->model()->index(0, 0).data().toString(), QString("newer-newer"));
        QVERIFY(!list->currentIndex().isValid());
    }

    void emptyScanWarnsThenLoadNeedsARow()
    {
        LoadItunesBackupDlg dialog;
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Warning);
        QVERIFY(boxes.first().text.startsWith(
            "Can't find any backups. If you are using MacOS 10.14 or above,  please click <a href="));
        QVERIFY(boxes.first().text.endsWith("access-iphone-backups-on-mac-os-mojave.html\">HERE</a>."));
        bool leftOpen = false;
        fixture::playOnceShown<LoadItunesBackupDlg>(
            dialog, [](LoadItunesBackupDlg &d) { emit d.findChild<QPushButton *>("btnLoad")->pressed(); }, &leftOpen);
        QCOMPARE(dialog.exec(), 0);
        QVERIFY(leftOpen);
        QCOMPARE(boxes.size(), 2);
        QCOMPARE(boxes.last().text, QString("Need to select an iTunes Backup to continue."));
        QVERIFY(!dialog.selectedBackup);
    }

    void addByHand()
    {
        backupIn("listed", QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC), 1000);
        BackupSpec older;
        older.layout = Layout::None; // neither manifest: still listed when added by hand
        older.deviceName = "Other";
        older.date = QDateTime(QDate(2018, 1, 1), QTime(0, 0), Qt::UTC);
        const QString other = m_elsewhere.filePath("other");
        writeBackup(other, older);

        QStringList answers{other, other, QString(), m_elsewhere.filePath("nothing here")};
        QStringList asked;
        auto previous = FileDialogs::install(std::make_unique<FolderAnswers>(&answers, &asked));
        LoadItunesBackupDlg dialog;
        auto *label = dialog.findChild<QLabel *>("lbAddOther");
        auto *list = dialog.findChild<QTreeView *>("listBackups");
        emit label->linkActivated("#");
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(list->currentIndex().row(), 1);
        QCOMPARE(list->currentIndex().data().toString(), QString("Other-other"));
        emit label->linkActivated("#");
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(boxes.last().text, QString("This iTunes Backup has been listed on the left."));
        const int before = int(boxes.size());
        emit label->linkActivated("#"); // cancelled chooser
        QCOMPARE(boxes.size(), before);
        emit label->linkActivated("#"); // no summary there
        QCOMPARE(boxes.size(), before + 1);
        QVERIFY(boxes.last().text.contains("load " + m_elsewhere.filePath("nothing here") + " error. Cannot find "));
        QCOMPARE(list->model()->rowCount(), 2);
        QCOMPARE(asked, QStringList(4, QDir::homePath()));
        FileDialogs::install(std::move(previous));
    }

    void pressAndDoubleClickChoose()
    {
        backupIn("one", QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC), 1000);
        {
            LoadItunesBackupDlg dialog;
            fixture::playOnceShown<LoadItunesBackupDlg>(
                dialog,
                [](LoadItunesBackupDlg &d) {
                    auto *list = d.findChild<QTreeView *>("listBackups");
                    list->setCurrentIndex(list->model()->index(0, 0));
                    // Acts on the press, before any release.
                    QTest::mousePress(d.findChild<QPushButton *>("btnLoad"), Qt::LeftButton);
                },
                nullptr);
            QCOMPARE(dialog.exec(), 1);
            QVERIFY(dialog.selectedBackup);
            QCOMPARE(dialog.selectedBackup->displayName, QString("one-one"));
        }
        {
            LoadItunesBackupDlg dialog;
            fixture::playOnceShown<LoadItunesBackupDlg>(
                dialog,
                [](LoadItunesBackupDlg &d) {
                    auto *list = d.findChild<QTreeView *>("listBackups");
                    list->setCurrentIndex(list->model()->index(0, 1));
                    emit list->doubleClicked(list->currentIndex());
                },
                nullptr);
            QCOMPARE(dialog.exec(), 1);
            QVERIFY(dialog.selectedBackup);
        }
        {
            LoadItunesBackupDlg dialog;
            fixture::playOnceShown<LoadItunesBackupDlg>(
                dialog, [](LoadItunesBackupDlg &d) { QTest::mousePress(d.findChild<QPushButton *>("btnCancel"), Qt::LeftButton); },
                nullptr);
            QCOMPARE(dialog.exec(), 0);
            QVERIFY(!dialog.selectedBackup);
        }
    }

    void columnWidths_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<QList<int>>("sections");
        QTest::newRow("600") << 600 << QList<int>{208, 130, 182};
        QTest::newRow("800") << 800 << QList<int>{288, 180, 251};
    }
    void columnWidths()
    {
        QFETCH(int, width);
        QFETCH(QList<int>, sections);
        backupIn("one", QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC), 1000);
        LoadItunesBackupDlg dialog;
        dialog.resize(width, 400);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QHeaderView *header = dialog.findChild<QTreeView *>("listBackups")->header();
        header->setStretchLastSection(false);
        dialog.resize(width + 1, 400);
        dialog.resize(width, 400);
        QTRY_COMPARE(header->sectionSize(0), sections.at(0));
        QCOMPARE(header->sectionSize(1), sections.at(1));
        QCOMPARE(header->sectionSize(2), sections.at(2));
    }
};

TARNWICK_TEST_MAIN(TestLoadItunesBackupDlg)
#include "tst_loaditunesbackupdlg.moc"
