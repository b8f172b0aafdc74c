#include "contactui/AddrEntitiesEditor.h"
#include "contactui/ContactEditor.h"
#include "contactui/DateEntitiesEditor.h"
#include "contactui/EditContactForm.h"
#include "contactui/GenericEntitiesEditor.h"
#include "contactui/IMEntitiesEditor.h"
#include "contactui/Ui_EditContactForm.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDbCombineRule.h"
#include "shell/kit/MessageBoxResponder.h"

#include "EntityFixtures.h"
#include "ImageBytes.h"
#include "ScopedTimeZone.h"
#include "ScratchLocalDbs.h"
#include "StoredEntryShapes.h"
#include "TestMain.h"

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>
#include <QTranslator>

#include <functional>

using Edit = std::function<void(ContactEditor &)>;
Q_DECLARE_METATYPE(Edit)

namespace {

using tarnwick::test::parseEntry;
using tarnwick::test::render;

// One change as "A|U|D#<id> <type>|key=value…" with the non-empty text values (no photo bytes).
QString summary(const ContactChanges::_ChangeData &c)
{
    static const char letters[] = "?AUD";
    pim::Entity shown = c.entity;
    if (c.type == pim::ENTITY_PHOTO)
        shown.values.clear();
    return QStringLiteral("%1#%2 %3")
        .arg(QLatin1Char(letters[c.action]))
        .arg(c.entity.id)
        .arg(render(c.type, shown));
}

QStringList summaries(const QList<ContactChanges::_ChangeData> &changes)
{
    QStringList out;
    for (const ContactChanges::_ChangeData &c : changes)
        out << summary(c);
    return out;
}

QLineEdit *phoneValue(ContactEditor &e, int row)
{
    return e.phoneEditor->rows().at(row).txtValue;
}

} // namespace

class TestEditContactForm : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void initTestCase();
    void changeList_data();
    void changeList();
    void storedShapes_data();
    void storedShapes();
    void entriesShownEmptySurvive_data();
    void entriesShownEmptySurvive();
    void newContact();
    void photoChanges();
    void saveChecks_data();
    void saveChecks();
    void failingDuplicateQueryKeepsDialogOpen();
    void keysDoNotClose();
    void cancelAlwaysAsks();
    void titles();

private:
    // Stores the fixture contact and reads it back as the main window hands it over.
    pim::_Contact storedFixture(LocalDb &db);
    std::unique_ptr<LocalDb> m_db;
    QTranslator m_translator;
};

void TestEditContactForm::initTestCase()
{
    qunsetenv("TARNWICK_UPDATE_HOST");
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

pim::_Contact TestEditContactForm::storedFixture(LocalDb &db)
{
    pim::_Contact c(0, QString(), QStringLiteral("Dr Ann Lee"));
    db.beginEdit();
    db.insertContactBase(c);
    const QStringList entries{
        "1|data2=Ann|data3=Lee|data5=Dr|data7=an|data8=li|data1=Dr Ann Lee",
        "5|data1=Annie|data2=4|data3=Pet",
        "5|data1=Second nickname|data2=1",
        "10|data1=ACME|data2=1|data3=Lab|data4=Chemist|data5=R&D",
        "9|data1=hello",
        "9|data1=second note",
        "3|data1=111|data2=2",
        "3|data1=222|data2=0|data3=Boat",
        "4|data1=a@x.org|data2=2",
        "6|data1=1980-05-17T00:00:00|data2=3",
        "6|data1=--05-12|data2=1",
        "8|data1=ann|data2=2|data5=4",
        "11|data1=Bob|data2=14",
        "12|data1=1 High St\nLeeds|data4=1 High St|data7=Leeds|data5=extra5|data6=extra6|data11=GB|data2=1",
        "13|data1=x.org|data2=1",
    };
    for (const QString &text : entries) {
        auto [type, e] = parseEntry(text);
        db.insertEntity(c.id, type, e);
    }
    db.setGroup(c.id, db.getGroupIdOrAdd(QStringLiteral("Friends")), QStringLiteral("Friends"));
    db.endEdit(true);
    pim::_Contact stored = db.contact(c.id);
    // A kind this program has no use for, as a newer source might bring it.
    stored.entities[99] = {parseEntry("99|data1=unknown").second};
    return stored;
}

void TestEditContactForm::changeList_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QStringList>("expected"); // with ids replaced by the stored entry's value

    QTest::newRow("nothing changed") << Edit([](ContactEditor &) {}) << QStringList();
    QTest::newRow("renamed: phonetic parts stay")
        << Edit([](ContactEditor &e) { e.nameEdit.txtFirstName->setText(QStringLiteral("Anne")); })
        << QStringList{"U#1 1|data1=Dr Anne Lee|data2=Anne|data3=Lee|data5=Dr|data7=an|data8=li"};
    QTest::newRow("company changed: sub-type and label stay")
        << Edit([](ContactEditor &e) { e.orgEdit.txtCompany->setText(QStringLiteral("ACME Ltd")); })
        << QStringList{"U#4 10|data1=ACME Ltd|data2=1|data3=Lab|data4=Chemist|data5=R&D"};
    QTest::newRow("nickname changed: its sub-type and label stay")
        << Edit([](ContactEditor &e) { e.nicknameEdit.txtNickname->setText(QStringLiteral("Nan")); })
        << QStringList{"U#2 5|data1=Nan|data2=4|data3=Pet"};
    QTest::newRow("city changed: hidden address columns stay")
        << Edit([](ContactEditor &e) {
               e.addrEditor->rows().first().txtCity->setText(QStringLiteral("York"));
           })
        << QStringList{
               "U#14 12|data1=1 High St\nYork|data2=1|data4=1 High St|data5=extra5|data6=extra6|data7=York|"
               "data11=GB"};
    QTest::newRow("phone changed and one erased") << Edit([](ContactEditor &e) {
        phoneValue(e, 0)->setText(QStringLiteral("112"));
        phoneValue(e, 1)->clear();
    }) << QStringList{"U#7 3|data1=112|data2=2", "D#8 3|data1=222|data2=0|data3=Boat"};
    QTest::newRow("nickname, note and organisation cleared")
        << Edit([](ContactEditor &e) {
               e.nicknameEdit.txtNickname->clear();
               e.notesEdit.txtNotes->clear();
               e.orgEdit.txtCompany->clear();
               e.orgEdit.txtJobTitle->clear();
               e.orgEdit.txtDepartment->clear();
           })
        << QStringList{"D#2 5|data1=Annie|data2=4|data3=Pet", "D#5 9|data1=hello",
                       "D#4 10|data1=ACME|data2=1|data3=Lab|data4=Chemist|data5=R&D"};
    QTest::newRow("row added and left empty") << Edit([](ContactEditor &e) {
        QTest::mousePress(e.urlEditor->findChildren<QToolButton *>().first(), Qt::LeftButton);
    }) << QStringList();
    QTest::newRow("row added with a value") << Edit([](ContactEditor &e) {
        QTest::mousePress(e.emailEditor->findChildren<QToolButton *>().first(), Qt::LeftButton);
        e.emailEditor->rows().last().txtValue->setText(QStringLiteral(" b@x.org "));
    }) << QStringList{"A#0 4|data1=b@x.org|data2=1"};
    QTest::newRow("value with blanks around it is trimmed") << Edit([](ContactEditor &e) {
        e.relEditor->rows().first().txtValue->setText(QStringLiteral("Bob "));
    }) << QStringList();
    QTest::newRow("event date changed")
        << Edit([](ContactEditor &e) { e.eventEditor->rows().first().dteDate->setDate(QDate(1981, 5, 17)); })
        << QStringList{"U#10 6|data1=1981-05-17T00:00:00|data2=3"};
    QTest::newRow("IM removed") << Edit([](ContactEditor &e) {
        QTest::mousePress(e.imEditor->rows().first().btnRemove, Qt::LeftButton);
    }) << QStringList{"D#12 8|data1=ann|data2=2|data5=4"};
}

void TestEditContactForm::changeList()
{
    QFETCH(Edit, edit);
    QFETCH(QStringList, expected);
    auto db = freshDb();
    const pim::_Contact stored = storedFixture(*db);
    EditContactForm form(&stored, nullptr, nullptr);
    edit(*form.form()->wdEditContact);
    LocalDbCombineRule rule;
    const QList<ContactChanges::_ChangeData> changes = form.getChanges(&rule, stored);
    // Ids in the expectations are the fixture's row ids, which a fresh database numbers from 1.
    QCOMPARE(summaries(changes), expected);
    for (const ContactChanges::_ChangeData &c : changes) {
        // Group memberships, the second nickname and note and unknown kinds are never touched.
        QVERIFY(c.type != pim::ENTITY_GROUP && c.type != 99);
        if (c.action != ContactChanges::ACTION_ADDED)
            QVERIFY(c.entity.id != 0);
    }
}

void TestEditContactForm::storedShapes_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<int>("changed"); // the shape the user edits; -1: none

    const QList<tarnwick::test::StoredEntryShape> shapes = tarnwick::test::storedEntryShapes();
    for (const QByteArray &zone : tarnwick::test::editorTimeZones()) {
        QTest::addRow("nothing changed, %s", zone.constData()) << zone << -1;
        for (int i = 0; i < shapes.size(); ++i)
            QTest::addRow("%s edited, %s", qPrintable(shapes.at(i).name), zone.constData()) << zone << i;
    }
}

void TestEditContactForm::storedShapes()
{
    QFETCH(QByteArray, zone);
    QFETCH(int, changed);
    const tarnwick::test::ScopedTimeZone inZone(zone);
    auto db = freshDb();
    const pim::_Contact stored = tarnwick::test::storeShapesContact(*db);
    EditContactForm form(&stored, nullptr, nullptr);
    const QList<tarnwick::test::StoredEntryShape> shapes = tarnwick::test::storedEntryShapes();
    if (changed >= 0)
        shapes.at(changed).edit(*form.form()->wdEditContact);
    LocalDbCombineRule rule;
    const QList<ContactChanges::_ChangeData> changes = form.getChanges(&rule, stored);

    // Each record as the stored entry it names and what it makes of it.
    QStringList got;
    for (const ContactChanges::_ChangeData &c : changes) {
        QString before = QStringLiteral("(none)");
        for (const pim::Entity &e : stored.entities.value(c.type)) {
            if (e.id == c.entity.id)
                before = render(c.type, e);
        }
        got << QStringLiteral("%1 %2 -> %3").arg(summary(c).left(1), before, render(c.type, c.entity));
    }
    // Only the edited entry, and the date alone that every save writes with its midnight.
    QStringList expected;
    const QStringList after = tarnwick::test::shapesAfterSave(changed);
    for (int i = 0; i < shapes.size(); ++i) {
        if (after.at(i) != shapes.at(i).stored)
            expected << QStringLiteral("U %1 -> %2").arg(shapes.at(i).stored, after.at(i));
    }
    got.sort();
    expected.sort();
    // Joined, so that a failure shows the records.
    QCOMPARE(got.join(QLatin1Char('\n')), expected.join(QLatin1Char('\n')));
}

void TestEditContactForm::entriesShownEmptySurvive_data()
{
    QTest::addColumn<QString>("entry");

    // Entries whose shown fields are all empty, as sources may store them.
    QTest::newRow("phone with a label only") << "3|data2=0|data3=Fax line";
    QTest::newRow("event without a date") << "6|data2=3";
    QTest::newRow("IM without an account") << "8|data2=1|data5=4";
    QTest::newRow("address with a country code only") << "12|data2=1|data11=GB";
    QTest::newRow("address with a postcode and its text") << "12|data1=LS1 4AP|data2=1|data9=LS1 4AP";
    QTest::newRow("nickname with a sub-type only") << "5|data2=4";
    QTest::newRow("organisation with a label only") << "10|data2=0|data3=Club";
    QTest::newRow("photo without picture bytes") << "2";
}

void TestEditContactForm::entriesShownEmptySurvive()
{
    QFETCH(QString, entry);
    auto db = freshDb();
    pim::_Contact c(0, QString(), QStringLiteral("Ann"));
    db->beginEdit();
    db->insertContactBase(c);
    for (const QString &text : {QStringLiteral("1|data1=Ann|data2=Ann"), entry}) {
        auto [type, e] = parseEntry(text);
        db->insertEntity(c.id, type, e);
    }
    db->endEdit(true);
    const pim::_Contact stored = db->contact(c.id);
    LocalDbCombineRule rule;

    EditContactForm form(&stored, nullptr, nullptr);
    QCOMPARE(summaries(form.getChanges(&rule, stored)), QStringList());
}

void TestEditContactForm::newContact()
{
    pim::_Contact fresh;
    EditContactForm form(&fresh, nullptr, nullptr);
    ContactEditor &e = *form.form()->wdEditContact;
    e.nameEdit.txtLastName->setText(QStringLiteral("Lee"));
    QTest::mousePress(e.phoneEditor->findChildren<QToolButton *>().first(), Qt::LeftButton);
    e.phoneEditor->rows().first().txtValue->setText(QStringLiteral("555"));
    QTest::mousePress(e.emailEditor->findChildren<QToolButton *>().first(), Qt::LeftButton);
    LocalDbCombineRule rule;
    const QStringList got = summaries(form.getChanges(&rule, fresh));
    // The empty e-mail row, the empty nickname, note and organisation give nothing.
    QCOMPARE(got, QStringList({"A#0 1|data1=Lee|data3=Lee", "A#0 3|data1=555|data2=2"}));
}

void TestEditContactForm::photoChanges()
{
    auto db = freshDb();
    pim::_Contact c(0, QString(), QStringLiteral("Ann"));
    db->beginEdit();
    db->insertContactBase(c);
    auto [type, name] = parseEntry("1|data2=Ann|data1=Ann");
    db->insertEntity(c.id, type, name);
    pim::Entity photo;
    photo.values[pim::PhotoKey::Image] = tarnwick::test::imageBytes("PNG");
    db->insertEntity(c.id, pim::ENTITY_PHOTO, photo);
    db->endEdit(true);
    const pim::_Contact stored = db->contact(c.id);
    LocalDbCombineRule rule;

    EditContactForm form(&stored, nullptr, nullptr);
    ContactEditor &e = *form.form()->wdEditContact;
    QVERIFY(form.getChanges(&rule, stored).isEmpty());
    e.photoEdit.reset();
    QList<ContactChanges::_ChangeData> changes = form.getChanges(&rule, stored);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(int(changes.first().action), int(ContactChanges::ACTION_DELETED));
    QCOMPARE(changes.first().entity.id, photo.id);
    const QByteArray picked = tarnwick::test::imageBytes("JPEG", QSize(320, 160));
    e.photoEdit.setPhoto(picked);
    changes = form.getChanges(&rule, stored);
    QCOMPARE(changes.size(), 1);
    QCOMPARE(int(changes.first().action), int(ContactChanges::ACTION_UPDATED));
    QCOMPARE(changes.first().entity.id, photo.id);
    QCOMPARE(changes.first().entity.values.value(pim::PhotoKey::Image).toByteArray(), picked);
}

void TestEditContactForm::saveChecks_data()
{
    QTest::addColumn<QStringList>("typed"); // prefix, first, last
    QTest::addColumn<bool>("withDb");
    QTest::addColumn<QString>("warning"); // empty: accepted

    QTest::newRow("both blank") << QStringList{"", "", ""} << false
                                << "First name or Last name can't be blank.";
    QTest::newRow("only spaces") << QStringList{"", "   ", " "} << false
                                 << "First name or Last name can't be blank.";
    QTest::newRow("prefix alone") << QStringList{"Dr", "", ""} << false
                                  << "First name or Last name can't be blank.";
    QTest::newRow("first name alone") << QStringList{"", "Ann", ""} << false << "";
    QTest::newRow("stored name, other letter case")
        << QStringList{"", "ann", "LEE"} << true << "Contact ann LEE has already existed.";
    QTest::newRow("new name") << QStringList{"", "Bob", "Lee"} << true << "";
}

void TestEditContactForm::saveChecks()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, withDb);
    auto db = freshDb();
    pim::_Contact existing(0, QString(), QStringLiteral("Ann Lee"));
    db->insertContactBase(existing);

    QStringList boxes;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &r) {
        boxes << r.text;
        return int(QMessageBox::Ok);
    });
    pim::_Contact fresh;
    EditContactForm form(&fresh, withDb ? db.get() : nullptr, nullptr);
    ContactEditor &e = *form.form()->wdEditContact;
    e.nameEdit.txtPrefix->setText(typed.at(0));
    e.nameEdit.txtFirstName->setText(typed.at(1));
    e.nameEdit.txtLastName->setText(typed.at(2));
    QTest::mousePress(form.form()->btnSave, Qt::LeftButton);

    QFETCH(QString, warning);
    if (warning.isEmpty()) {
        QVERIFY(boxes.isEmpty());
        QCOMPARE(form.result(), int(QDialog::Accepted));
    } else {
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.first().contains(warning), qPrintable(boxes.first()));
        QCOMPARE(form.result(), 0);
    }
}

void TestEditContactForm::failingDuplicateQueryKeepsDialogOpen()
{
    // A database whose file is gone cannot answer the duplicate question.
    LocalDb missing(filePath(QStringLiteral("gone.db")),
                    QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    QList<QMessageBox::Icon> icons;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &r) {
        icons << r.icon;
        return int(QMessageBox::Ok);
    });
    pim::_Contact fresh;
    EditContactForm form(&fresh, &missing, nullptr);
    form.form()->wdEditContact->nameEdit.txtFirstName->setText(QStringLiteral("Ann"));
    QTest::mousePress(form.form()->btnSave, Qt::LeftButton);
    QCOMPARE(icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    QCOMPARE(form.result(), 0);
    QCOMPARE(form.form()->wdEditContact->nameEdit.txtFirstName->text(), QStringLiteral("Ann"));
}

void TestEditContactForm::keysDoNotClose()
{
    pim::_Contact fresh;
    EditContactForm form(&fresh, nullptr, nullptr);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    QTest::keyClick(&form, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(form.isVisible());
    QCOMPARE(form.result(), 0);
}

void TestEditContactForm::cancelAlwaysAsks()
{
    QStringList questions;
    bool yes = false;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &r) {
        questions << r.text;
        return int(yes ? QMessageBox::Yes : QMessageBox::No);
    });
    pim::_Contact fresh;
    EditContactForm form(&fresh, nullptr, nullptr);
    form.show();
    form.form()->wdEditContact->nameEdit.txtFirstName->setText(QStringLiteral("Ann"));
    QTest::mousePress(form.form()->btnCancel, Qt::LeftButton);
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions.first().contains(QLatin1String("Discard the editing?")));
    QVERIFY(form.isVisible());
    QCOMPARE(form.form()->wdEditContact->nameEdit.txtFirstName->text(), QStringLiteral("Ann"));
    yes = true;
    QTest::mousePress(form.form()->btnCancel, Qt::LeftButton);
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QVERIFY(!form.isVisible());
}

void TestEditContactForm::titles()
{
    pim::_Contact fresh;
    EditContactForm added(&fresh, nullptr, nullptr);
    QCOMPARE(added.windowTitle(), QStringLiteral("Add New Contact"));
    QCOMPARE(added.form()->lbTitle->text(), QStringLiteral("Add New Contact"));
    QCOMPARE(added.form()->btnSave->text(), QStringLiteral("Apply"));
    QCOMPARE(int(added.windowFlags() & (Qt::Dialog | Qt::FramelessWindowHint)), 0x803);

    pim::_Contact named(3, QString(), QStringLiteral("Ann Lee"));
    EditContactForm edited(&named, nullptr, nullptr);
    QCOMPARE(edited.form()->lbTitle->text(), QStringLiteral("Edit Contact Ann Lee"));

    EditContactForm bare(nullptr, nullptr, nullptr);
    QCOMPARE(bare.windowTitle(), QStringLiteral("Add Contact"));
}

TARNWICK_TEST_MAIN(TestEditContactForm)
#include "tst_editcontactform.moc"
