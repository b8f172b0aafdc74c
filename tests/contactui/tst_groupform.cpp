#include "contactui/GroupForm.h"
#include "contactui/Ui_GroupForm.h"
#include "model/LocalDbCombineRule.h"
#include "shell/kit/MessageBoxResponder.h"

#include "ScratchLocalDbs.h"
#include "TestMain.h"
#include "platform/sqlite/Sqlite3Sql.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <QTranslator>

class TestGroupForm : public QObject, private tarnwick::test::ScratchLocalDbs
{
    Q_OBJECT

private slots:
    void initTestCase();
    void choice_data();
    void choice();
    void emptyNameAsks();
    void cancelAndEscapeAskNothing();
    void unreadableGroupsNeverShown();
    void layoutAndTexts();

private:
    QTranslator m_translator;
};

void TestGroupForm::initTestCase()
{
    qunsetenv("TARNWICK_UPDATE_HOST");
    QVERIFY(m_translator.load(QStringLiteral(":/en.qm")));
    QCoreApplication::installTranslator(&m_translator);
}

void TestGroupForm::choice_data()
{
    QTest::addColumn<QStringList>("groups"); // stored in this order
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("idOf"); // index into groups, -1 for none
    QTest::addColumn<QString>("name");

    QTest::newRow("no groups, typed name") << QStringList() << "Work" << -1 << "Work";
    QTest::newRow("listed group") << QStringList{"Family", "Friends"} << "Friends" << 1 << "Friends";
    QTest::newRow("other letter case") << QStringList{"Friends"} << "friends" << -1 << "friends";
    QTest::newRow("other inner spaces")
        << QStringList{"Best Friends"} << "Best  Friends" << -1 << "Best  Friends";
    QTest::newRow("blanks around a listed name") << QStringList{"Friends"} << "  Friends " << 0 << "Friends";
    QTest::newRow("two groups of one name") << QStringList{"Club", "Club"} << "Club" << 0 << "Club";
}

void TestGroupForm::choice()
{
    QFETCH(QStringList, groups);
    QFETCH(QString, typed);
    QFETCH(int, idOf);
    auto db = freshDb();
    db->open_check();
    QList<quint64> ids;
    for (const QString &g : groups) {
        db->db.executeThrow(
            Sqlite3Sql(QStringLiteral("insert into contact_group(name) values('%1')").arg(g)));
        ids << quint64(db->db.lastInsertId());
    }
    GroupForm form(db.get(), nullptr);
    QCOMPARE(form.form()->cbGroups->count(), groups.size());
    QTimer::singleShot(0, &form, [&] {
        form.form()->cbGroups->lineEdit()->setText(typed);
        QTest::mousePress(form.form()->btnOK, Qt::LeftButton);
    });
    QCOMPARE(form.exec(), 1);
    QCOMPARE(form.groupId, idOf < 0 ? 0ull : ids.at(idOf));
    QTEST(form.groupName, "name");
}

void TestGroupForm::emptyNameAsks()
{
    auto db = freshDb();
    QStringList questions;
    bool yes = false;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &r) {
        questions << r.text;
        return int(yes ? QMessageBox::Yes : QMessageBox::No);
    });
    GroupForm form(db.get(), nullptr);
    form.show();
    form.form()->cbGroups->lineEdit()->setText(QStringLiteral("   "));
    QTest::mousePress(form.form()->btnOK, Qt::LeftButton);
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions.first().contains(QLatin1String("Confirm to remove seleted member from the Group?")));
    QVERIFY(form.isVisible());
    yes = true;
    QTest::mousePress(form.form()->btnOK, Qt::LeftButton);
    QCOMPARE(form.result(), 1);
    QCOMPARE(form.groupId, 0ull);
    QVERIFY(form.groupName.isEmpty());
}

void TestGroupForm::cancelAndEscapeAskNothing()
{
    auto db = freshDb();
    int boxes = 0;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &) {
        ++boxes;
        return int(QMessageBox::Yes);
    });
    for (bool escape : {false, true}) {
        GroupForm form(db.get(), nullptr);
        QTimer::singleShot(0, &form, [&] {
            form.form()->cbGroups->lineEdit()->setText(QStringLiteral("Work"));
            if (escape)
                QTest::keyClick(&form, Qt::Key_Escape);
            else
                QTest::mousePress(form.form()->btnCancel, Qt::LeftButton);
        });
        QCOMPARE(form.exec(), 0);
        QCOMPARE(form.groupId, 0ull);
        QVERIFY(form.groupName.isEmpty());
    }
    QCOMPARE(boxes, 0);
}

void TestGroupForm::unreadableGroupsNeverShown()
{
    LocalDb missing(filePath(QStringLiteral("gone.db")),
                    QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    QList<QMessageBox::Icon> icons;
    MessageBoxResponder::Scope answer([&](const MessageBoxRequest &r) {
        icons << r.icon;
        return int(QMessageBox::Ok);
    });
    GroupForm form(&missing, nullptr);
    bool shown = false;
    QTimer::singleShot(0, &form, [&] {
        shown = form.isVisible();
        form.reject();
    });
    QCOMPARE(form.exec(), 0);
    QCoreApplication::processEvents();
    QVERIFY(!shown);
    QCOMPARE(icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
}

void TestGroupForm::layoutAndTexts()
{
    auto db = freshDb();
    GroupForm form(db.get(), nullptr);
    QCOMPARE(form.size(), QSize(403, 146));
    QCOMPARE(int(form.windowFlags() & (Qt::Dialog | Qt::FramelessWindowHint)), 0x803);
    QCOMPARE(form.form()->label->text(), QStringLiteral("Pick a Group or enter new Group name;"));
    QVERIFY(form.form()->cbGroups->isEditable());
    QCOMPARE(form.form()->btnOK->geometry(), QRect(98, 104, 75, 23));
}

TARNWICK_TEST_MAIN(TestGroupForm)
#include "tst_groupform.moc"
