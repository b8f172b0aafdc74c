#include "shell/app/LocalDbSelForm.h"

#include "ChooserFixtures.h"
#include "TestMain.h"
#include "model/LocalDb.h"

#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>

#include <functional>

namespace {

using fixture::press;

QComboBox *combo(LocalDbSelForm &form)
{
    return form.findChild<QComboBox *>(QStringLiteral("cbLocalDbNames"));
}

void type(LocalDbSelForm &form, const QString &text)
{
    combo(form)->lineEdit()->selectAll();
    combo(form)->lineEdit()->del();
    QTest::keyClicks(combo(form)->lineEdit(), text);
}

// Runs the dialog, playing `user` once it is up; a dialog still open after that is cancelled so
// that a wrong expectation fails instead of hanging.
QString runChooser(LocalDbSelForm &form, const std::function<void(LocalDbSelForm &)> &user,
                   bool *leftOpen = nullptr)
{
    fixture::playOnceShown(form, user, leftOpen);
    return form.execGetDbName();
}

void touch(const QString &name, const QDateTime &modified)
{
    QFile file(LocalDb::dbDir().filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class TestLocalDbSelForm : public QObject, private fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void listsDatabasesOldestFirst();
    void returnsName_data();
    void returnsName();
    void refusesName_data();
    void refusesName();
    void cancelReturnsEmpty_data();
    void cancelReturnsEmpty();
    void suggestedNameAcceptedAtOnce();
    void invalidNameRule_data();
    void invalidNameRule();
    void nameTooLongForFileSystem_data();
    void nameTooLongForFileSystem();
};

void TestLocalDbSelForm::initTestCase()
{
    installEnglishAndBoxRecorder();
    if (QTest::currentTestFailed())
        return;
    const QDateTime now = QDateTime::currentDateTime();
    touch(QStringLiteral("Work.db"), now.addDays(-3));
    touch(QStringLiteral("Family.db"), now.addDays(-1));
    touch(QStringLiteral("Old.db"), now.addDays(-10));
    touch(QStringLiteral("Archive.db.db"), now.addDays(-5));
    // A hidden database made before names with a leading dot were refused.
    touch(QStringLiteral(".secret.db"), now.addDays(-2));
    touch(QStringLiteral("notes.txt"), now);
    QVERIFY(LocalDb::dbDir().mkdir(QStringLiteral("folder.db")));
}

void TestLocalDbSelForm::init()
{
    boxes.clear();
}

void TestLocalDbSelForm::listsDatabasesOldestFirst()
{
    LocalDbSelForm form(nullptr, QString());
    QComboBox *box = combo(form);
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    // An empty first entry, then the database file names, oldest first, hidden ones too; folders and
    // other files are left out.
    QCOMPARE(items,
             (QStringList{QString(), "Old.db", "Archive.db.db", "Work.db", ".secret.db", "Family.db"}));
    QCOMPARE(box->currentIndex(), -1);
    QVERIFY(box->isEditable());
    QCOMPARE(form.windowTitle(), QStringLiteral("Select one Database for backup"));
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
}

void TestLocalDbSelForm::returnsName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("new name") << "Family"
                              << "Family.db";
    QTest::newRow("with extension") << "Work.db"
                                    << "Work.db";
    QTest::newRow("extension case kept") << "Work.DB"
                                         << "Work.DB.db";
    QTest::newRow("blanks kept") << " Trip "
                                 << " Trip .db";
    QTest::newRow("not checked for existence") << "Brand new"
                                               << "Brand new.db";
}

void TestLocalDbSelForm::returnsName()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    LocalDbSelForm form(nullptr, QString());
    const QString name = runChooser(form, [&typed](LocalDbSelForm &f) {
        type(f, typed);
        press(f, "btnOK");
    });
    QCOMPARE(name, expected);
    QVERIFY(boxes.isEmpty());
}

void TestLocalDbSelForm::refusesName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("warning");

    const QString empty = QStringLiteral("Select one Database or enter a new Database name");
    const QString invalid = QStringLiteral("Invalid Local Database name(can't contain \\ / : * ? \" < > |).");
    QTest::newRow("empty") << "" << empty;
    QTest::newRow("blanks") << "   " << empty;
    QTest::newRow("slash") << "a/b" << invalid;
    QTest::newRow("colon") << "a:b" << invalid;
    QTest::newRow("tab") << "a\tb" << invalid;
    QTest::newRow("question mark") << "what?" << invalid;
    QTest::newRow("quote") << "say \"hi\"" << invalid;
    QTest::newRow("pipe") << "a|b" << invalid;
    QTest::newRow("angle brackets") << "<b>" << invalid;
    // A leading dot would make a hidden file.
    QTest::newRow("leading dot") << ".secret" << invalid;
    QTest::newRow("dot") << "." << invalid;
    QTest::newRow("two dots") << ".." << invalid;
}

void TestLocalDbSelForm::refusesName()
{
    QFETCH(QString, typed);
    QFETCH(QString, warning);

    LocalDbSelForm form(nullptr, QString());
    bool leftOpen = false;
    QString shownText;
    const QString name = runChooser(
        form,
        [&](LocalDbSelForm &f) {
            // Set directly: a tab typed into the field would move the focus instead.
            combo(f)->setEditText(typed);
            press(f, "btnOK");
            shownText = combo(f)->currentText();
        },
        &leftOpen);

    QVERIFY(leftOpen);
    QVERIFY(name.isEmpty());
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    // What the box shows, every character of the warning included.
    QTextDocument shown;
    shown.setHtml(boxes[0].text);
    QCOMPARE(shown.toPlainText(), warning);
    // The refused text stays in the field as typed.
    QCOMPARE(shownText, typed);
}

void TestLocalDbSelForm::cancelReturnsEmpty_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<bool>("refusedFirst");

    QTest::newRow("cancel") << false << false;
    QTest::newRow("escape") << true << false;
    QTest::newRow("cancel after refusal") << false << true;
}

void TestLocalDbSelForm::cancelReturnsEmpty()
{
    QFETCH(bool, escape);
    QFETCH(bool, refusedFirst);

    LocalDbSelForm form(nullptr, QStringLiteral("Suggested"));
    bool leftOpen = false;
    const QString name = runChooser(
        form,
        [&](LocalDbSelForm &f) {
            if (refusedFirst) {
                combo(f)->setEditText(QStringLiteral("bad/name"));
                press(f, "btnOK");
            }
            fixture::giveUp(f, escape);
        },
        &leftOpen);
    QVERIFY(!leftOpen);
    QVERIFY(name.isEmpty());
    QCOMPARE(boxes.size(), refusedFirst ? 1 : 0);
}

void TestLocalDbSelForm::suggestedNameAcceptedAtOnce()
{
    LocalDbSelForm form(nullptr, QStringLiteral("iPhone-backup.db"));
    QCOMPARE(combo(form)->currentText(), QStringLiteral("iPhone-backup.db"));
    QCOMPARE(runChooser(form, [](LocalDbSelForm &f) { press(f, "btnOK"); }),
             QStringLiteral("iPhone-backup.db"));

    LocalDbSelForm other(nullptr, QStringLiteral("contacts.vcf"));
    QCOMPARE(runChooser(other, [](LocalDbSelForm &f) { press(f, "btnOK"); }),
             QStringLiteral("contacts.vcf.db"));

    LocalDbSelForm listed(nullptr, QString());
    const QString chosen = runChooser(listed, [](LocalDbSelForm &f) {
        combo(f)->setCurrentIndex(3); // "Work.db"
        press(f, "btnOK");
    });
    QCOMPARE(chosen, QStringLiteral("Work.db"));

    // A listed file whose name holds ".db" twice leads back to that very file.
    LocalDbSelForm doubled(nullptr, QString());
    const QString archive = runChooser(doubled, [](LocalDbSelForm &f) {
        combo(f)->setCurrentIndex(2); // "Archive.db.db"
        press(f, "btnOK");
    });
    QCOMPARE(archive, QStringLiteral("Archive.db.db"));
}

void TestLocalDbSelForm::invalidNameRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("invalid");

    for (const QString &c : {"\\", "/", ":", "*", "?", "\"", "<", ">", "|", "\n", "\r", "\t"})
        QTest::addRow("refused %s", qPrintable(QString::number(c.at(0).unicode())))
            << ("a" + c + "b") << true;
    QTest::newRow("unicode") << QStringLiteral("Kontakte äöü 联系人") << false;
    QTest::newRow("dots and dashes") << "my.contacts-2024_v1" << false;
    QTest::newRow("leading dot") << ".hidden" << true;
    QTest::newRow("dot after a blank") << " .x" << false;
    QTest::newRow("blanks") << "  " << false;
}

void TestLocalDbSelForm::invalidNameRule()
{
    QFETCH(QString, name);
    QFETCH(bool, invalid);
    QCOMPARE(LocalDbSelForm::isInvalidDbName(name), invalid);
}

void TestLocalDbSelForm::nameTooLongForFileSystem_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("refused");

    // The journal SQLite keeps beside the file, "<name>.db-journal", is the longest name; on the
    // usual limit of 255 bytes a new name may hold 244 of them.
    const int longest = LocalDbSelForm::longestFileName(LocalDb::dbDir().absolutePath());
    const int room = longest - int(qstrlen(".db-journal"));
    QTest::newRow("longest accepted") << QString(room, QLatin1Char('a')) << false;
    QTest::newRow("one byte more") << QString(room + 1, QLatin1Char('a')) << true;
    QTest::newRow("whole file name fits, journal does not") << QString(longest - 3, QLatin1Char('a')) << true;
    QTest::newRow("typed with its extension")
        << QString(room, QLatin1Char('a')) + QStringLiteral(".db") << false;
    QTest::newRow("extension typed, one byte more")
        << QString(room + 1, QLatin1Char('a')) + QStringLiteral(".db") << true;
    // Counted in bytes of the file system's encoding, not in characters.
    QTest::newRow("two-byte letters, fitting") << QString(room / 2, QChar(0xE4)) << false;
    QTest::newRow("two-byte letters, too many") << QString(room / 2 + 1, QChar(0xE4)) << true;
    QTest::newRow("three-byte letters") << QString(room / 3 + 1, QChar(0x8054)) << true;
}

void TestLocalDbSelForm::nameTooLongForFileSystem()
{
    QFETCH(QString, typed);
    QFETCH(bool, refused);

    LocalDbSelForm form(nullptr, QString());
    bool leftOpen = false;
    const QString name = runChooser(
        form,
        [&](LocalDbSelForm &f) {
            combo(f)->setEditText(typed);
            press(f, "btnOK");
        },
        &leftOpen);
    QCOMPARE(leftOpen, refused);
    if (!refused) {
        QVERIFY(boxes.isEmpty());
        QCOMPARE(name, typed.endsWith(QStringLiteral(".db")) ? typed : typed + QStringLiteral(".db"));
        // The name takes writes: the database made under it and its journal fit the folder.
        QFile made(LocalDb::dbDir().filePath(name));
        QVERIFY2(made.open(QIODevice::WriteOnly), qPrintable(made.errorString()));
        QFile journal(made.fileName() + QStringLiteral("-journal"));
        QVERIFY2(journal.open(QIODevice::WriteOnly), qPrintable(journal.errorString()));
        QVERIFY(journal.remove());
        QVERIFY(made.remove());
        return;
    }
    QVERIFY(name.isEmpty());
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QTextDocument shown;
    shown.setHtml(boxes[0].text);
    const int longest = LocalDbSelForm::longestFileName(LocalDb::dbDir().absolutePath());
    QCOMPARE(shown.toPlainText(),
             QStringLiteral("Invalid Local Database name: it is too long for the file system. The "
                            "database's file name, with \".db\", may hold at most %1 bytes.")
                 .arg(longest - 8));
}

TARNWICK_TEST_MAIN(TestLocalDbSelForm)
#include "tst_localdbselform.moc"
