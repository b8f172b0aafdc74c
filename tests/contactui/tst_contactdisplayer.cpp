#include "contactui/ContactDisplayer.h"

#include "EntityFixtures.h"
#include "shell/kit/FileDialogs.h"
#include "ImageBytes.h"
#include "shell/kit/MessageBoxResponder.h"
#include "TestMain.h"
#include "model/EntityType.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QTemporaryDir>

#include <memory>

using tarnwick::test::entity;
using tarnwick::test::imageBytes;

namespace {

pim::_Contact contactWithPhoto(const QString &name, const QByteArray &bytes)
{
    pim::_Contact c(1, QString(), name);
    c.entities[pim::ENTITY_PHOTO] << entity({{"data15", bytes}});
    return c;
}

// Answers the save dialog without a user and remembers what it was asked.
class SaveAnswer : public FileDialogs
{
public:
    explicit SaveAnswer(QString answer, int *calls, QString *proposed)
        : m_answer(std::move(answer))
        , m_calls(calls)
        , m_proposed(proposed)
    {}
    QString saveFileName(QWidget *, const QString &, const QString &dir, const QString &, QString *,
                         QFileDialog::Options) override
    {
        ++*m_calls;
        *m_proposed = dir;
        return m_answer;
    }

private:
    QString m_answer;
    int *m_calls;
    QString *m_proposed;
};

// Installs a save-dialog answer for one test function and takes it away again.
class SaveDialogScope
{
public:
    explicit SaveDialogScope(const QString &answer)
    {
        FileDialogs::install(std::make_unique<SaveAnswer>(answer, &calls, &proposed));
    }
    ~SaveDialogScope() { FileDialogs::install(nullptr); }
    int calls = 0;
    QString proposed;
};

// One section as the user sees it: its title and the texts of its lines.
struct Section
{
    QString title;
    QStringList lines;
    QList<Qt::TextFormat> formats;
};

QList<Section> sectionsOf(const ContactDisplayer &pane)
{
    QList<Section> result;
    QLayout *layout = pane.widget()->layout();
    // Item 0 is the header.
    for (int i = 1; layout && i < layout->count(); ++i) {
        const QList<QLabel *> labels =
            layout->itemAt(i)->widget()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        Section s;
        s.title = labels.value(0)->text();
        for (int j = 1; j < labels.size(); ++j) {
            s.lines << labels[j]->text();
            s.formats << labels[j]->textFormat();
        }
        result << s;
    }
    return result;
}

QLabel *photoLabel(const ContactDisplayer &pane)
{
    for (QLabel *label : pane.widget()->findChildren<QLabel *>()) {
        if (label->accessibleName() == QLatin1String("imgPhoto"))
            return label;
    }
    return nullptr;
}

QLabel *nameLabel(const ContactDisplayer &pane)
{
    QLabel *photo = photoLabel(pane);
    if (!photo)
        return nullptr;
    const QList<QLabel *> header = photo->parentWidget()->findChildren<QLabel *>();
    return header.value(1);
}

} // namespace

class TestContactDisplayer : public QObject
{
    Q_OBJECT

private slots:
    void nameBlock_data();
    void nameBlock();
    void sectionsInOrder();
    void noEntriesNoSections();
    void photoDecoding_data();
    void photoDecoding();
    void photoClickSavesStoredBytes();
    void photoClickAfterCallerDroppedContact();
    void photoClickIgnoredCases();
    void photoSaveIntoUnwritablePathWarns();
    void contentFollowsPaneWidth();
    void clearBlanksPane();
    void markupInDataShownAsText();
    void freeTextAddressShown();
};

void TestContactDisplayer::nameBlock_data()
{
    QTest::addColumn<QVariantMap>("nickname");
    QTest::addColumn<QVariantMap>("org");
    QTest::addColumn<QString>("expected");

    QTest::newRow("name only") << QVariantMap() << QVariantMap() << "Ann Lee";
    QTest::newRow("nickname") << QVariantMap{{"data1", "Annie"}} << QVariantMap() << "Ann Lee\n\"Annie\"";
    QTest::newRow("empty nickname") << QVariantMap{{"data1", ""}} << QVariantMap() << "Ann Lee";
    // A department without a job title stands on its own line, not glued to the name.
    QTest::newRow("department only") << QVariantMap() << QVariantMap{{"data5", "Sales"}} << "Ann Lee\nSales";
    QTest::newRow("title department company")
        << QVariantMap()
        << QVariantMap{{"data4", "Engineer"}, {"data5", "Research"}, {"data1", "Lee and Sons"}}
        << "Ann Lee\nEngineer - Research\nLee and Sons";
    QTest::newRow("company only") << QVariantMap() << QVariantMap{{"data1", "Lee and Sons"}}
                                  << "Ann Lee\nLee and Sons";
    QTest::newRow("nickname and department")
        << QVariantMap{{"data1", "Annie"}} << QVariantMap{{"data5", "Sales"}} << "Ann Lee\n\"Annie\"\nSales";
}

void TestContactDisplayer::nameBlock()
{
    QFETCH(QVariantMap, nickname);
    QFETCH(QVariantMap, org);
    QFETCH(QString, expected);

    pim::_Contact c(1, QString(), QStringLiteral("Ann Lee"));
    if (!nickname.isEmpty())
        c.entities[pim::ENTITY_NICKNAME] << entity(nickname) << entity({{"data1", "Second"}});
    if (!org.isEmpty())
        c.entities[pim::ENTITY_ORG] << entity(org);

    ContactDisplayer pane;
    pane.showContact(&c);
    QVERIFY(nameLabel(pane));
    QCOMPARE(nameLabel(pane)->text(), expected);
    QCOMPARE(nameLabel(pane)->textFormat(), Qt::PlainText);
    // The only organisation lives in the name block; later nicknames appear nowhere.
    QVERIFY(sectionsOf(pane).isEmpty());
}

void TestContactDisplayer::sectionsInOrder()
{
    pim::_Contact c(7, QString(), QStringLiteral("Bo"));
    c.entities[pim::ENTITY_NOTE] << entity({{"data1", "line1\nline2"}});
    c.entities[pim::ENTITY_URL] << entity({{"data2", "1"}, {"data1", "http://bo"}});
    c.entities[pim::ENTITY_ADDR] << entity({{"data2", "2"}, {"data4", "1 Main St"}, {"data7", "Leeds"}});
    c.entities[pim::ENTITY_REL] << entity({{"data2", "8"}, {"data1", "Mary"}});
    c.entities[pim::ENTITY_ORG] << entity({{"data1", "First Co"}})
                                << entity({{"data2", "1"}, {"data1", "Second Co"}})
                                << entity({{"data2", "1"}, {"data4", "Chief"}});
    c.entities[pim::ENTITY_IM] << entity({{"data2", "1"}, {"data1", "bo"}, {"data5", "4"}});
    c.entities[pim::ENTITY_EVENT] << entity({{"data2", "3"}, {"data1", ""}});
    c.entities[pim::ENTITY_EMAIL] << entity({{"data2", "1"}, {"data1", "bo@x"}});
    c.entities[pim::ENTITY_PHONE] << entity({{"data2", "2"}, {"data1", "1"}}) << entity({{"data3", "Car"}});
    c.entities[pim::ENTITY_GROUP] << entity({{"data1", "3"}, {"data2", "Friends"}});
    c.entities[pim::ENTITY_NAME] << entity({{"data2", "Bo"}});
    c.entities[42] << entity({{"data1", "unknown kind"}});

    ContactDisplayer pane;
    pane.showContact(&c);
    const QList<Section> sections = sectionsOf(pane);

    QStringList titles;
    for (const Section &s : sections)
        titles << s.title;
    QCOMPARE(titles, (QStringList{"Phone:", "E-Mail:", "Date:", "IM:", "Organization:", "Relationship:",
                                  "Address:", "Website:", "Notes:"}));

    QCOMPARE(sections[0].lines, (QStringList{"Mobile:1", "Car:"}));
    QCOMPARE(sections[1].lines, QStringList{"Home:bo@x"});
    QCOMPARE(sections[2].lines, QStringList{"Birthday:"});
    QCOMPARE(sections[3].lines, QStringList{"Home:bo(Skype)"});
    QCOMPARE(sections[4].lines, (QStringList{"Work:Second Co", "Work:Chief"}));
    QCOMPARE(sections[5].lines, QStringList{"Mother:Mary"});
    QCOMPARE(sections[6].lines, QStringList{"<b>Work</b><br/>1 Main St<br/>Leeds"});
    QCOMPARE(sections[7].lines, QStringList{"Home page:http://bo"});
    QCOMPARE(sections[8].lines, QStringList{"line1\nline2"});

    // Only the address is markup; every other line is shown as written.
    for (int i = 0; i < sections.size(); ++i) {
        for (Qt::TextFormat f : sections[i].formats)
            QCOMPARE(f, i == 6 ? Qt::RichText : Qt::PlainText);
    }
}

void TestContactDisplayer::noEntriesNoSections()
{
    pim::_Contact c(1, QString(), QStringLiteral("Solo"));
    c.entities[pim::ENTITY_PHONE]; // present but empty
    c.entities[pim::ENTITY_ORG];

    ContactDisplayer pane;
    pane.showContact(&c);
    QVERIFY(sectionsOf(pane).isEmpty());
    QCOMPARE(nameLabel(pane)->text(), QStringLiteral("Solo"));
}

void TestContactDisplayer::photoDecoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("shown");

    QTest::newRow("jpeg") << imageBytes("JPEG") << true;
    QTest::newRow("png") << imageBytes("PNG") << true;
    QTest::newRow("bmp is not tried") << imageBytes("BMP") << false;
    QTest::newRow("garbage") << QByteArray("not a picture") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestContactDisplayer::photoDecoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, shown);

    const pim::_Contact c = contactWithPhoto(QStringLiteral("P"), bytes);
    ContactDisplayer pane;
    pane.showContact(&c);
    QLabel *photo = photoLabel(pane);
    QVERIFY(photo);
    QCOMPARE(photo->size(), QSize(128, 128));
    QCOMPARE(photo->cursor().shape(), shown ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (shown) {
        QCOMPARE(photo->pixmap().width(), 128);
        QCOMPARE(photo->pixmap().height(), 64);
    } else {
        const QImage placeholder = QPixmap(QStringLiteral(":/res/empty_contact.png")).toImage();
        // Shown unscaled, so it must fill the photo frame on its own.
        QCOMPARE(placeholder.size(), QSize(128, 128));
        QCOMPARE(photo->pixmap().toImage(), placeholder);
    }
}

void TestContactDisplayer::photoClickSavesStoredBytes()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("out.jpg"));
    SaveDialogScope dialog(target);

    // Two photos: only the first is shown and saved, byte for byte (a PNG under a ".jpg" name).
    const QByteArray first = imageBytes("PNG");
    pim::_Contact c = contactWithPhoto(QStringLiteral("Ann Lee"), first);
    c.entities[pim::ENTITY_PHOTO] << entity({{"data15", imageBytes("JPEG")}});

    ContactDisplayer pane;
    pane.resize(400, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.showContact(&c);
    QTest::mousePress(photoLabel(pane), Qt::LeftButton);

    QCOMPARE(dialog.calls, 1);
    QCOMPARE(dialog.proposed, QDir::home().absoluteFilePath(QStringLiteral("Ann Lee.jpg")));
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), first);
}

void TestContactDisplayer::photoClickAfterCallerDroppedContact()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("kept.jpg"));
    SaveDialogScope dialog(target);
    const QByteArray bytes = imageBytes("JPEG");

    ContactDisplayer pane;
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    {
        // The shell's list is reloaded and grows after the contact was shown: its elements move.
        QList<pim::_Contact> list{contactWithPhoto(QStringLiteral("Moved"), bytes)};
        pane.showContact(&list[0]);
        for (int i = 0; i < 100; ++i)
            list << contactWithPhoto(QStringLiteral("Other %1").arg(i), QByteArray("x"));
        list[0].fullName = QStringLiteral("Changed");
        list[0].entities.clear();
    }
    QTest::mousePress(photoLabel(pane), Qt::LeftButton);

    QCOMPARE(dialog.calls, 1);
    QCOMPARE(dialog.proposed, QDir::home().absoluteFilePath(QStringLiteral("Moved.jpg")));
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), bytes);
}

void TestContactDisplayer::photoClickIgnoredCases()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("never.jpg"));

    ContactDisplayer pane;
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));

    {
        // A right press on a real photo is consumed and asks nothing.
        SaveDialogScope dialog(target);
        const pim::_Contact c = contactWithPhoto(QString(), imageBytes("JPEG"));
        pane.showContact(&c);
        QTest::mousePress(photoLabel(pane), Qt::RightButton);
        QCOMPARE(dialog.calls, 0);
        // An empty name proposes ".jpg" in the home folder; a cancelled dialog writes nothing.
        SaveDialogScope cancelled{QString()};
        QTest::mousePress(photoLabel(pane), Qt::LeftButton);
        QCOMPARE(cancelled.calls, 1);
        QCOMPARE(cancelled.proposed, QDir::home().absoluteFilePath(QStringLiteral(".jpg")));
    }
    {
        // The placeholder does not react.
        SaveDialogScope dialog(target);
        const pim::_Contact c = contactWithPhoto(QStringLiteral("G"), imageBytes("BMP"));
        pane.showContact(&c);
        QTest::mousePress(photoLabel(pane), Qt::LeftButton);
        QCOMPARE(dialog.calls, 0);
    }
    QVERIFY(!QFile::exists(target));
}

void TestContactDisplayer::photoSaveIntoUnwritablePathWarns()
{
    // A folder cannot be opened for writing, whatever the privileges of the test.
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a folder"));
    QVERIFY(QDir().mkpath(target));
    SaveDialogScope dialog(target);

    QList<MessageBoxRequest> boxes;
    MessageBoxResponder::Scope responder([&boxes](const MessageBoxRequest &r) {
        boxes << r;
        return int(QMessageBox::Ok);
    });

    const pim::_Contact c = contactWithPhoto(QStringLiteral("P"), imageBytes("JPEG"));
    ContactDisplayer pane;
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.showContact(&c);
    QTest::mousePress(photoLabel(pane), Qt::LeftButton);

    QCOMPARE(dialog.calls, 1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Warning);
    QVERIFY(!boxes[0].text.isEmpty());
    QVERIFY(QFileInfo(target).isDir());
}

void TestContactDisplayer::contentFollowsPaneWidth()
{
    pim::_Contact c(1, QString(), QStringLiteral("Wide"));
    c.entities[pim::ENTITY_NOTE] << entity({{"data1", QString(300, QLatin1Char('w'))}});

    ContactDisplayer pane;
    pane.resize(300, 200);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.showContact(&c);
    QCOMPARE(pane.widget()->width(), pane.width());

    pane.resize(700, 200);
    QTRY_COMPARE(pane.widget()->width(), 700);

    pane.clear();
    QCOMPARE(pane.widget()->width(), 700);
    pane.resize(500, 200);
    QTRY_COMPARE(pane.widget()->width(), 500);
}

void TestContactDisplayer::clearBlanksPane()
{
    const pim::_Contact c = contactWithPhoto(QStringLiteral("Gone"), imageBytes("JPEG"));
    ContactDisplayer pane;
    QVERIFY(pane.widget());
    QVERIFY(pane.widget()->findChildren<QLabel *>().isEmpty());

    pane.showContact(&c);
    QPointer<QWidget> shown = pane.widget();
    QVERIFY(!shown->findChildren<QLabel *>().isEmpty());

    pane.clear();
    QVERIFY(pane.widget() != shown);
    QVERIFY(pane.widget()->findChildren<QLabel *>().isEmpty());
    QVERIFY(pane.widget()->layout() == nullptr);
    QTRY_VERIFY(shown.isNull());

    // A null contact is treated like clear().
    pane.showContact(&c);
    pane.showContact(nullptr);
    QVERIFY(pane.widget()->findChildren<QLabel *>().isEmpty());
}

void TestContactDisplayer::markupInDataShownAsText()
{
    pim::_Contact c(1, QString(), QStringLiteral("<b>Bold</b>"));
    c.entities[pim::ENTITY_NOTE] << entity({{"data1", "<i>note</i>"}});

    ContactDisplayer pane;
    pane.showContact(&c);
    QCOMPARE(nameLabel(pane)->textFormat(), Qt::PlainText);
    QCOMPARE(nameLabel(pane)->text(), QStringLiteral("<b>Bold</b>"));
    QCOMPARE(sectionsOf(pane).value(0).formats, QList<Qt::TextFormat>{Qt::PlainText});
}

// A phone keeps an address typed as one text in data1 alone: the pane shows that text, its lines
// and its characters as typed; an address with parts shows the parts.
void TestContactDisplayer::freeTextAddressShown()
{
    pim::_Contact c(1, QString(), QStringLiteral("Ann"));
    c.entities[pim::ENTITY_ADDR] << entity({{"data2", "1"}, {"data1", "12 Oak Rd & Co\nLeeds LS1 <2>"}})
                                 << entity({{"data2", "2"}, {"data1", "stale text"}, {"data7", "York"}});

    ContactDisplayer pane;
    pane.showContact(&c);
    const QList<Section> sections = sectionsOf(pane);
    QCOMPARE(sections.size(), 1);
    QCOMPARE(sections[0].title, QStringLiteral("Address:"));
    QCOMPARE(sections[0].lines, (QStringList{"<b>Home</b><br/>12 Oak Rd &amp; Co<br/>Leeds LS1 &lt;2&gt;",
                                             "<b>Work</b><br/>York"}));
}

TARNWICK_TEST_MAIN(TestContactDisplayer)
#include "tst_contactdisplayer.moc"
