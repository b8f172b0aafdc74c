// The "Import from iTunes" flow after the chooser, offscreen: the chosen backup lands in the target
// database's node; a failed import removes a database made for it and keeps one that was listed.
#include "AppFixtures.h"
#include "BackupBuilder.h"
#include "ChooserFixtures.h"
#include "TestMain.h"
#include "itunesbackup/BackupManifest.h"
#include "shell/app/ITunesImportAction.h"
#include "shell/app/PasscodeDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <QTemporaryDir>

using namespace itunesfixture;

class TestITunesImportAction : public QObject, fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

    QTemporaryDir m_backups;
    int m_no = 0;

    QSharedPointer<BackupManifest> backup(bool withBook, const QString &device = "Anna's iPhone",
                                          bool encrypted = false)
    {
        BackupSpec spec;
        spec.deviceName = device;
        spec.encrypted = encrypted;
        Person a;
        a.first = "Anna";
        a.last = "Berg";
        Person b;
        b.first = "Bert";
        if (withBook)
            spec.files = {addressBookFile({a, b}), imagesFile({a, b})};
        const QString dir = m_backups.filePath(QString::number(++m_no));
        writeBackup(dir, spec);
        QSharedPointer<BackupManifest> bk(new BackupManifest(dir));
        bk->readManifestInfo();
        return bk;
    }

    struct Run
    {
        ItemModelMainTree tree;
        QStringList suggested;
        QList<ItemModelMainTree::_DBItemNode *> shown;
        ItemModelMainTree::_DBItemNode *listed = nullptr;

        // A new database file under `name`, or the listed one when `name` is taken.
        ITunesImportAction action()
        {
            return ITunesImportAction(
                nullptr, tree,
                [this](const QString &name) {
                    suggested << name;
                    if (listed)
                        return ITunesImportAction::Target{listed, false};
                    QSharedPointer<LocalDb> db(new LocalDb(LocalDb::dbDir().absoluteFilePath(name),
                                                           QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
                    db->create();
                    return ITunesImportAction::Target{tree.addLocalDb(db, name), true};
                },
                [this](ItemModelMainTree::_DBItemNode *node) { shown << node; });
        }
    };

private slots:
    void initTestCase() { installEnglishAndBoxRecorder(); }
    void init() { boxes.clear(); }

    void suggestedName_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("device name") << "Anna's iPhone" << "Anna's iPhone-backup.db";
        QTest::newRow("no device name") << "" << "Unknown Device";
    }
    void suggestedName()
    {
        QFETCH(QString, device);
        QFETCH(QString, name);
        QCOMPARE(ITunesImportAction::suggestedDbName(*backup(false, device)), name);
    }

    void importLandsInNewDatabase()
    {
        Run run;
        QVERIFY(run.action().importBackup(backup(true)));
        QCOMPARE(run.suggested, QStringList{"Anna's iPhone-backup.db"});
        QCOMPARE(run.tree.rootLocalDb.childs.size(), 1);
        auto *node = static_cast<ItemModelMainTree::_DBItemNode *>(run.tree.rootLocalDb.childs.first());
        QCOMPARE(run.shown, QList<ItemModelMainTree::_DBItemNode *>{node});
        QCOMPARE(node->db->contacts(0, QString()).size(), 2);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().text, QString("Successfully imported 2 contacts from iTunes Backup."));
    }

    void failedImportRemovesCreatedDatabase()
    {
        Run run;
        QVERIFY(!run.action().importBackup(backup(false)));
        QCOMPARE(run.tree.rootLocalDb.childs.size(), 0);
        QVERIFY(!QFile::exists(LocalDb::dbDir().absoluteFilePath("Anna's iPhone-backup.db")));
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
        QVERIFY(run.shown.isEmpty());
    }

    void failedImportKeepsListedDatabase()
    {
        Run run;
        const QString path = LocalDb::dbDir().absoluteFilePath("listed.db");
        fixture::makeDb(path, {{"Kept", "+1", "", ""}});
        QSharedPointer<LocalDb> db(new LocalDb(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule)));
        run.listed = run.tree.addLocalDb(db, "listed.db");
        QVERIFY(!run.action().importBackup(backup(false)));
        QCOMPARE(run.tree.rootLocalDb.childs.size(), 1);
        QVERIFY(QFile::exists(path));
        QCOMPARE(db->contacts(0, QString()).size(), 1);
    }

    void unreadableManifestStopsBeforeTheTarget()
    {
        Run run;
        QSharedPointer<BackupManifest> bk = backup(true);
        QVERIFY(QFile::remove(bk->backupDir.absoluteFilePath("Manifest.db")));
        QVERIFY(QFile::remove(bk->backupDir.absoluteFilePath("Manifest.plist")));
        QVERIFY(!run.action().importBackup(bk));
        QVERIFY(run.suggested.isEmpty());
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Critical);
    }

    void encryptedBackupAsksForThePassword_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("imported");
        QTest::newRow("right password") << "secret" << true;
        QTest::newRow("cancelled dialog") << "" << false;
    }
    void encryptedBackupAsksForThePassword()
    {
        QFETCH(QString, password);
        QFETCH(bool, imported);
        BackupSpec spec;
        spec.encrypted = true;
        KeybagSpec kb;
        kb.classes = {KeybagClass{3, 3, QByteArray(32, '\x33'), false}};
        spec.keybag = kb;
        spec.encryptManifestDb = true;
        Person a;
        a.first = "Anna";
        spec.files = {addressBookFile({a}), imagesFile({a})};
        const QString dir = m_backups.filePath("encrypted" + QString::number(++m_no));
        writeBackup(dir, spec);
        QSharedPointer<BackupManifest> bk(new BackupManifest(dir));
        bk->readManifestInfo();

        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *dialog = qobject_cast<PasscodeDlg *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (password.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->findChild<QLineEdit *>("txtPasscode")->setText(password);
            emit dialog->findChild<QPushButton *>("btnOK")->pressed();
        });
        poll.start(10);
        Run run;
        QCOMPARE(run.action().importBackup(bk), imported);
        QCOMPARE(run.tree.rootLocalDb.childs.size(), imported ? 1 : 0);
        if (imported)
            QCOMPARE(static_cast<ItemModelMainTree::_DBItemNode *>(run.tree.rootLocalDb.childs.first())
                         ->db->contacts(0, QString()).size(),
                     1);
    }
};

TARNWICK_TEST_MAIN(TestITunesImportAction)
#include "tst_itunesimportaction.moc"
