#include "shell/app/DataSourceSelForm.h"

#include "ChooserFixtures.h"
#include "TestMain.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <functional>

namespace {

using fixture::press;

QComboBox *combo(DataSourceSelForm &form)
{
    return form.findChild<QComboBox *>(QStringLiteral("cbDevice"));
}

// Runs execSel, playing `user` once the dialog is up; a dialog still open afterwards is closed so
// that a wrong expectation fails instead of hanging.
void *runSel(DataSourceSelForm &form, const QString &title, const QList<DataSourceSelForm::_SelItem> &items,
             const std::function<void(DataSourceSelForm &)> &user, bool *leftOpen = nullptr)
{
    fixture::playOnceShown(form, user, leftOpen);
    return form.execSel(title, items);
}

} // namespace

class TestDataSourceSelForm : public QObject, private fixture::EnglishWithRecordedBoxes
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void showsTitleAndEntriesInOrder();
    void singleEntryPreselected();
    void returnsChosenEntry();
    void emptyListWarnsOnOk();
    void cancelReturnsNull_data();
    void cancelReturnsNull();

private:
    int targets[3] = {1, 2, 3};
};

void TestDataSourceSelForm::initTestCase()
{
    installEnglishAndBoxRecorder();
}

void TestDataSourceSelForm::init()
{
    boxes.clear();
}

void TestDataSourceSelForm::showsTitleAndEntriesInOrder()
{
    DataSourceSelForm form(nullptr);
    QStringList texts;
    QString title;
    bool hintHidden = false;
    runSel(form, QStringLiteral("Choose the target phone"),
           {{":/res/icon_android.png", "Pixel", &targets[0]},
            {":/res/icon_android.png", "Galaxy", &targets[1]},
            {QString(), "Moto", &targets[2]}},
           [&](DataSourceSelForm &f) {
               for (int i = 0; i < combo(f)->count(); ++i)
                   texts << combo(f)->itemText(i);
               title = f.findChild<QLabel *>(QStringLiteral("lbSelDevice"))->text();
               hintHidden = f.findChild<QLabel *>(QStringLiteral("btnOpenOther"))->isHidden();
               f.reject();
           });
    QCOMPARE(texts, (QStringList{"Pixel", "Galaxy", "Moto"}));
    QCOMPARE(title, QStringLiteral("Choose the target phone"));
    QVERIFY(hintHidden);
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!combo(form)->isEditable());
}

void TestDataSourceSelForm::singleEntryPreselected()
{
    DataSourceSelForm form(nullptr);
    void *chosen = runSel(form, QStringLiteral("t"), {{QString(), "Only", &targets[1]}},
                          [](DataSourceSelForm &f) { press(f, "btnOK"); });
    QCOMPARE(chosen, static_cast<void *>(&targets[1]));
    QVERIFY(boxes.isEmpty());
}

void TestDataSourceSelForm::returnsChosenEntry()
{
    DataSourceSelForm form(nullptr);
    void *chosen =
        runSel(form, QStringLiteral("t"),
               {{QString(), "A", &targets[0]}, {QString(), "B", &targets[1]}, {QString(), "C", &targets[2]}},
               [](DataSourceSelForm &f) {
                   combo(f)->setCurrentIndex(1);
                   press(f, "btnOK");
               });
    QCOMPARE(chosen, static_cast<void *>(&targets[1]));
}

void TestDataSourceSelForm::emptyListWarnsOnOk()
{
    DataSourceSelForm form(nullptr);
    bool leftOpen = false;
    void *chosen = runSel(
        form, QStringLiteral("t"), {}, [](DataSourceSelForm &f) { press(f, "btnOK"); }, &leftOpen);
    QVERIFY(leftOpen);
    QCOMPARE(chosen, nullptr);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes[0].text, QStringLiteral("Please select one datasource."));
}

void TestDataSourceSelForm::cancelReturnsNull_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("cancel button") << false;
    QTest::newRow("escape key") << true;
}

void TestDataSourceSelForm::cancelReturnsNull()
{
    QFETCH(bool, escape);
    DataSourceSelForm form(nullptr);
    bool leftOpen = false;
    void *chosen = runSel(
        form, QStringLiteral("t"), {{QString(), "A", &targets[0]}, {QString(), "B", &targets[1]}},
        [escape](DataSourceSelForm &f) {
            combo(f)->setCurrentIndex(1);
            fixture::giveUp(f, escape);
        },
        &leftOpen);
    QVERIFY(!leftOpen);
    QCOMPARE(chosen, nullptr);
    QVERIFY(boxes.isEmpty());
}

TARNWICK_TEST_MAIN(TestDataSourceSelForm)
#include "tst_datasourceselform.moc"
