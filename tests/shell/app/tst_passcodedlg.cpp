// The password dialog offscreen, over encrypted backups the fixtures write: the empty field, wrong
// passwords before the right one, an error while the manifest is decrypted, and Cancel during the
// key derivation.
#include "BackupBuilder.h"
#include "ChooserFixtures.h"
#include "TestMain.h"
#include "itunesbackup/BackupManifest.h"
#include "shell/app/PasscodeDlg.h"
#include "shell/kit/ProgressForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

using namespace itunesfixture;

class TestPasscodeDlg : public QObject
{
    Q_OBJECT

    QTranslator m_translator;
    QTemporaryDir m_dir;
    int m_no = 0;
    QList<MessageBoxRequest> m_boxes;
    std::unique_ptr<MessageBoxResponder::Scope> m_responder;

    QSharedPointer<BackupManifest> backup(int dpic = 10, bool withManifestDb = true)
    {
        BackupSpec spec;
        spec.encrypted = true;
        KeybagSpec kb;
        kb.dpic = dpic;
        kb.classes = {KeybagClass{3, 3, QByteArray(32, '\x33'), false}};
        spec.keybag = kb;
        spec.encryptManifestDb = true;
        const QString dir = m_dir.filePath(QString::number(++m_no));
        writeBackup(dir, spec);
        if (!withManifestDb)
            QFile::remove(dir + "/Manifest.db");
        QSharedPointer<BackupManifest> b(new BackupManifest(dir));
        b->readManifestInfo();
        return b;
    }

    // Types each password in turn and presses OK; the dialog left open afterwards is cancelled.
    int play(PasscodeDlg &dialog, const QStringList &passwords)
    {
        QTimer::singleShot(0, &dialog, [&dialog, passwords] {
            for (const QString &p : passwords) {
                if (!dialog.isVisible())
                    return;
                dialog.findChild<QLineEdit *>("txtPasscode")->setText(p);
                emit dialog.findChild<QPushButton *>("btnOK")->pressed();
            }
            if (dialog.isVisible())
                dialog.reject();
        });
        return dialog.exec();
    }

    QStringList texts() const
    {
        QStringList out;
        for (const MessageBoxRequest &r : m_boxes)
            out << r.text;
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
        QCoreApplication::installTranslator(&m_translator);
        m_responder = std::make_unique<MessageBoxResponder::Scope>([this](const MessageBoxRequest &r) {
            m_boxes << r;
            return int(r.buttons & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok);
        });
    }
    void init() { m_boxes.clear(); }

    void emptyField()
    {
        auto b = backup();
        PasscodeDlg dialog(b.data());
        QCOMPARE(play(dialog, {""}), 0);
        QCOMPARE(texts(), QStringList{"Password is required."});
        QVERIFY(b->passcode.isEmpty());
    }

    void wrongWrongRight()
    {
        auto b = backup();
        PasscodeDlg dialog(b.data());
        QCOMPARE(play(dialog, {"wrong", " ", "secret"}), 1);
        QCOMPARE(texts(), QStringList({"Invalid password.", "Invalid password."}));
        QCOMPARE(b->passcode, QString("secret"));
        QCOMPARE(b->manifestKey.size(), 32);
    }

    void errorWhileDecryptingTheManifest()
    {
        auto b = backup(10, false);
        PasscodeDlg dialog(b.data());
        QCOMPARE(play(dialog, {"secret"}), 0);
        QCOMPARE(m_boxes.size(), 2);
        QVERIFY2(m_boxes.at(0).text.contains("IOSiTunesBKSetPasswordThread: can not open "), qPrintable(m_boxes.at(0).text));
        QCOMPARE(m_boxes.at(1).text, QString("Invalid password."));
        QVERIFY(dialog.findChild<QLineEdit *>("txtPasscode")->text().isEmpty());
    }

    void cancelDuringTheCheck()
    {
        // A derivation long enough to be caught running.
        auto b = backup(2000000);
        QTimer poll;
        bool pressed = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *form = qobject_cast<ProgressForm *>(QApplication::activeModalWidget());
            if (!form || pressed)
                return;
            pressed = true;
            emit form->findChild<QPushButton *>("btnCancel")->pressed();
        });
        poll.start(20);
        QCOMPARE(PasscodeDlg::setPasscode(*b, "secret"), PasscodeDlg::Check::Stopped);
        QVERIFY(pressed);
        QVERIFY(b->passcode.isEmpty());
        QVERIFY(b->manifestKey.isEmpty());
        // The question was asked, and no "Invalid password." follows a cancel.
        QVERIFY(texts().contains("Are You Sure You Want To Cancel?"));
        QVERIFY(!texts().contains("Invalid password."));
    }
};

TARNWICK_TEST_MAIN(TestPasscodeDlg)
#include "tst_passcodedlg.moc"
