#include "contactui/AddrEntitiesEditor.h"
#include "contactui/ContactEditor.h"
#include "contactui/DateEntitiesEditor.h"
#include "contactui/GenericEntitiesEditor.h"
#include "contactui/IMEntitiesEditor.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "shell/kit/FileDialogs.h"

#include "ImageBytes.h"
#include "TestMain.h"

#include <QBuffer>
#include <QDateTimeEdit>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextEdit>

namespace {

// Answers the photo chooser with a prepared path and notes what it was asked.
class PickedFile : public FileDialogs
{
public:
    PickedFile(QString path, int *calls, QString *filter)
        : m_path(std::move(path))
        , m_calls(calls)
        , m_filter(filter)
    {}
    QString openFileName(QWidget *, const QString &, const QString &, const QString &filter, QString *,
                         QFileDialog::Options) override
    {
        ++*m_calls;
        *m_filter = filter;
        return m_path;
    }

private:
    QString m_path;
    int *m_calls;
    QString *m_filter;
};

// A 1x1 GIF, written out byte by byte.
QByteArray gifBytes()
{
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04,
                                        0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    return QByteArray(reinterpret_cast<const char *>(gif), sizeof gif);
}

pim::Entity entry(quint64 id, const QString &srcId, const QVariantMap &values)
{
    pim::Entity e(id, srcId);
    e.values = values;
    return e;
}

QSize storedSize(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "JPEG");
    return reader.size();
}

} // namespace

class TestContactEditor : public QObject
{
    Q_OBJECT

private slots:
    void emptyEditorGivesEmptyEntries();
    void nameParts_data();
    void nameParts();
    void loadsFullContact();
    void notesAreTextNotMarkup();
    void photoPick_data();
    void photoPick();
    void otherButtonsOpenNothing();
    void deletePhotoKeepsEntryId();
    void undecodablePhotoBytesKept();
    void cameraFileOffered();
    void headerFollowsWidth();
    void longListShowsAsIfBuilt();
};

void TestContactEditor::emptyEditorGivesEmptyEntries()
{
    ContactEditor editor(nullptr);
    const pim::Entity name = editor.nameEdit.toEntity();
    QCOMPARE(name.id, 0ull);
    QVERIFY(name.srcId.isEmpty() && !name.srcId.isNull());
    for (const char *key : {"data5", "data2", "data4", "data3", "data6", "data1"}) {
        QVERIFY2(name.values.contains(key), key);
        QCOMPARE(name.values.value(key).toString(), QString());
    }
    QVERIFY(editor.photoEdit.photoData.isEmpty());
    const pim::Entity nickname = editor.nicknameEdit.toEntity();
    QCOMPARE(nickname.values.value(pim::ValueKey::SubType), QVariant(1));
    QCOMPARE(editor.orgEdit.toEntity().values.size(), 3);
    QCOMPARE(editor.notesEdit.toEntity().values.value(pim::NoteKey::Text).toString(), QString());
    const pim::Entity photo = editor.photoEdit.toEntity();
    QCOMPARE(photo.values.value(pim::PhotoKey::Hash).toString(), pim::Entity::photoHash(QByteArray()));
    QCOMPARE(editor.phoneEditor->rows().size(), 0);
}

void TestContactEditor::nameParts_data()
{
    QTest::addColumn<QStringList>("typed"); // prefix, first, middle, last, suffix
    QTest::addColumn<QStringList>("given"); // data5, data2, data4, data3, data6, data1

    QTest::newRow("trimmed parts") << QStringList{"  Dr ", "Ann", "", " Lee ", ""}
                                   << QStringList{"Dr", "Ann", "", "Lee", "", "Dr Ann Lee"};
    QTest::newRow("last name alone") << QStringList{"", "", "", "Lee", ""}
                                     << QStringList{"", "", "", "Lee", "", "Lee"};
}

void TestContactEditor::nameParts()
{
    QFETCH(QStringList, typed);
    QFETCH(QStringList, given);
    ContactEditor editor(nullptr);
    ContactEditor::_NameEdit &n = editor.nameEdit;
    const QList<QLineEdit *> fields{n.txtPrefix, n.txtFirstName, n.txtMiddleName, n.txtLastName, n.txtSuffix};
    for (int i = 0; i < fields.size(); ++i)
        fields[i]->setText(typed.at(i));
    const pim::Entity e = n.toEntity();
    const QStringList keys{"data5", "data2", "data4", "data3", "data6", "data1"};
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(e.values.value(keys.at(i)).toString(), given.at(i));
}

void TestContactEditor::loadsFullContact()
{
    pim::_Contact c(17, QStringLiteral("541"), QStringLiteral("Ann Lee"));
    c.entities[pim::ENTITY_NAME] = {
        entry(1, "541", {{"data2", "Ann"}, {"data3", "Lee"}, {"data7", "an"}, {"data8", "li"}}),
        entry(2, "", {{"data2", "Second"}})};
    c.entities[pim::ENTITY_PHOTO] = {entry(3, "p", {{"data15", tarnwick::test::imageBytes("PNG")}}),
                                     entry(4, "", {{"data15", tarnwick::test::imageBytes("JPEG")}})};
    c.entities[pim::ENTITY_NICKNAME] = {entry(5, "n", {{"data1", "Annie"}, {"data2", "4"}}),
                                        entry(6, "", {{"data1", "Other"}})};
    c.entities[pim::ENTITY_ORG] = {
        entry(7, "o",
              {{"data1", "ACME"}, {"data2", "1"}, {"data3", "Lab"}, {"data4", "Chemist"}, {"data5", "R&D"}})};
    c.entities[pim::ENTITY_PHONE] = {
        entry(8, "3/541/0", {{"data1", "111"}, {"data2", "2"}}),
        entry(9, "3/541/1", {{"data1", "222"}, {"data2", "x"}, {"data3", "Boat"}}),
        entry(10, "", {{"data1", "333"}})};
    c.entities[pim::ENTITY_EMAIL] = {entry(11, "4/541/0", {{"data1", "a@x.org"}, {"data2", "2"}})};
    c.entities[pim::ENTITY_EVENT] = {entry(12, "", {{"data1", "1980-05-17"}, {"data2", "3"}}),
                                     entry(13, "", {{"data1", ""}, {"data2", "1"}})};
    c.entities[pim::ENTITY_GROUP] = {entry(14, "", {{"data1", "1"}, {"data2", "Friends"}})};
    c.entities[pim::ENTITY_IM] = {entry(15, "13/541/0", {{"data1", "ann"}, {"data5", "4"}, {"data7", "x"}})};
    c.entities[pim::ENTITY_NOTE] = {entry(16, "", {{"data1", "first note"}}),
                                    entry(17, "", {{"data1", "second"}})};
    c.entities[pim::ENTITY_REL] = {entry(18, "", {{"data1", "Bob"}, {"data2", "14"}})};
    c.entities[pim::ENTITY_ADDR] = {entry(19, "5/541/0", {{"data7", "Leeds"}, {"data11", "GB"}})};
    c.entities[pim::ENTITY_URL] = {entry(20, "", {{"data1", "x.org"}, {"data2", "1"}})};
    c.entities[99] = {entry(21, "", {{"data1", "unknown"}})};

    ContactEditor editor(nullptr);
    editor.fillContact(&c);
    QCOMPARE(editor.nameEdit.id, 1ull);
    QCOMPARE(editor.nameEdit.txtFirstName->text(), QStringLiteral("Ann"));
    QCOMPARE(editor.photoEdit.id, 3ull);
    QCOMPARE(editor.photoEdit.srcId, QStringLiteral("p"));
    QCOMPARE(editor.photoEdit.photoData, tarnwick::test::imageBytes("PNG"));
    QCOMPARE(editor.nicknameEdit.txtNickname->text(), QStringLiteral("Annie"));
    QCOMPARE(editor.orgEdit.id, 7ull);
    QCOMPARE(editor.orgEdit.txtDepartment->text(), QStringLiteral("R&D"));
    QCOMPARE(editor.notesEdit.txtNotes->toPlainText(), QStringLiteral("first note"));
    QCOMPARE(editor.notesEdit.id, 16ull);

    const QList<pim::Entity> phones = editor.phoneEditor->toEntityList("data2", "data3", "data1");
    QCOMPARE(phones.size(), 3);
    QCOMPARE(phones.at(0).id, 8ull);
    QCOMPARE(phones.at(0).srcId, QStringLiteral("3/541/0"));
    QCOMPARE(phones.at(1).values.value("data3").toString(), QStringLiteral("Boat"));
    QCOMPARE(phones.at(2).values.value("data2").toInt(), 0);
    QCOMPARE(editor.emailEditor->rows().size(), 1);
    QCOMPARE(editor.eventEditor->rows().size(), 2);
    QCOMPARE(editor.eventEditor->rows().first().dteDate->date(), QDate(1980, 5, 17));
    QCOMPARE(editor.imEditor->rows().first().srcId, QStringLiteral("13/541/0"));
    QCOMPARE(editor.relEditor->rows().size(), 1);
    QCOMPARE(editor.addrEditor->rows().first().txtCity->text(), QStringLiteral("Leeds"));
    QCOMPARE(editor.urlEditor->rows().first().id, 20ull);
    // The membership has no place in the editor: no field shows "Friends".
    for (QLineEdit *field : editor.findChildren<QLineEdit *>())
        QVERIFY(field->text() != QLatin1String("Friends"));
}

void TestContactEditor::notesAreTextNotMarkup()
{
    ContactEditor editor(nullptr);
    const QString note = QStringLiteral("<b>call</b> after 5 & <i>before</i> 7");
    editor.notesEdit.fillEntity(entry(1, "", {{"data1", note}}));
    QCOMPARE(editor.notesEdit.toEntity().values.value("data1").toString(), note);
    editor.notesEdit.txtNotes->setPlainText(QStringLiteral("\n  line one\n  line two  \n\n"));
    QCOMPARE(editor.notesEdit.toEntity().values.value("data1").toString(),
             QStringLiteral("line one\n  line two"));
}

void TestContactEditor::photoPick_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("stored"); // invalid: nothing changes

    QTest::newRow("wide PNG enlarged")
        << tarnwick::test::imageBytes("PNG", QSize(100, 50)) << "wide.png" << QSize(320, 160);
    QTest::newRow("tall JPEG shrunk")
        << tarnwick::test::imageBytes("JPEG", QSize(300, 600)) << "tall.jpg" << QSize(160, 320);
    QTest::newRow("GIF under a JPEG name refused") << gifBytes() << "fake.jpg" << QSize();
    QTest::newRow("chooser cancelled") << QByteArray() << "" << QSize();
}

void TestContactEditor::photoPick()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, name);
    QFETCH(QSize, stored);
    QTemporaryDir dir;
    QString path;
    if (!name.isEmpty()) {
        path = dir.filePath(name);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    int calls = 0;
    QString filter;
    auto previous = FileDialogs::install(std::make_unique<PickedFile>(path, &calls, &filter));

    ContactEditor editor(nullptr);
    editor.photoEdit.fillEntity(entry(3, "p", {{"data15", tarnwick::test::imageBytes("PNG")}}));
    const QByteArray before = editor.photoEdit.photoData;
    QTest::mousePress(editor.photoEdit.lbPhoto, Qt::LeftButton);
    FileDialogs::install(std::move(previous));

    QCOMPARE(calls, 1);
    if (!stored.isValid()) {
        QCOMPARE(editor.photoEdit.photoData, before);
        return;
    }
    QCOMPARE(storedSize(editor.photoEdit.photoData), stored);
    QCOMPARE(editor.photoEdit.lbPhoto->pixmap().width(), 64);
    // A new picture replaces the loaded photo entry under its id.
    const pim::Entity photo = editor.photoEdit.toEntity();
    QCOMPARE(photo.id, 3ull);
    QCOMPARE(photo.values.value(pim::PhotoKey::Hash).toString(),
             pim::Entity::photoHash(editor.photoEdit.photoData));
}

void TestContactEditor::otherButtonsOpenNothing()
{
    int calls = 0;
    QString filter;
    auto previous = FileDialogs::install(std::make_unique<PickedFile>(QString(), &calls, &filter));
    ContactEditor editor(nullptr);
    QTest::mousePress(editor.photoEdit.lbPhoto, Qt::RightButton);
    QTest::mousePress(editor.photoEdit.lbPhoto, Qt::MiddleButton);
    FileDialogs::install(std::move(previous));
    QCOMPARE(calls, 0);
}

void TestContactEditor::deletePhotoKeepsEntryId()
{
    ContactEditor editor(nullptr);
    editor.photoEdit.fillEntity(entry(3, "p", {{"data15", tarnwick::test::imageBytes("PNG")}}));
    auto *link = editor.findChild<QLabel *>(QString(), Qt::FindChildrenRecursively);
    QVERIFY(link);
    QMetaObject::invokeMethod(&editor, "resetPhoto", Q_ARG(QString, QStringLiteral("#")));
    QVERIFY(editor.photoEdit.photoData.isEmpty());
    QCOMPARE(editor.photoEdit.id, 3ull);
    editor.photoEdit.setPhoto(tarnwick::test::imageBytes("JPEG"));
    QCOMPARE(editor.photoEdit.toEntity().id, 3ull);
    QCOMPARE(editor.photoEdit.toEntity().srcId, QStringLiteral("p"));
}

void TestContactEditor::undecodablePhotoBytesKept()
{
    ContactEditor editor(nullptr);
    const QImage placeholder = editor.photoEdit.lbPhoto->pixmap().toImage();
    editor.photoEdit.fillEntity(entry(3, "", {{"data15", gifBytes()}}));
    QCOMPARE(editor.photoEdit.photoData, gifBytes());
    QCOMPARE(editor.photoEdit.toEntity().values.value("data15").toByteArray(), gifBytes());
    QCOMPARE(editor.photoEdit.lbPhoto->pixmap().toImage(), placeholder);
}

void TestContactEditor::cameraFileOffered()
{
    // The chooser matches its patterns letter for letter on Linux.
    const QString filter = ContactEditor::photoFilter();
    const QString patterns = filter.section(QLatin1Char('('), 1).section(QLatin1Char(')'), 0, 0);
    QStringList matched;
    for (const char *name : {"IMG_0001.JPG", "photo.jpg", "scan.png", "SCAN.PNG", "anim.gif"}) {
        for (const QString &pattern : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern));
            if (re.match(QString(name)).hasMatch()) {
                matched << name;
                break;
            }
        }
    }
    QCOMPARE(matched, QStringList({"IMG_0001.JPG", "photo.jpg", "scan.png", "SCAN.PNG"}));
    QVERIFY(filter.startsWith(QLatin1String("Images (")));
}

void TestContactEditor::headerFollowsWidth()
{
    ContactEditor editor(nullptr);
    editor.resize(500, 400);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCOMPARE(editor.wdHeader->minimumWidth(), 460);
}

// A contact of hundreds of numbers: the rows far from view wait to be built, yet the editor shows,
// at the top, in the middle and at the end, what it shows with every row built.
void TestContactEditor::longListShowsAsIfBuilt()
{
    pim::_Contact contact(1, QString(), QStringLiteral("Many Numbers"));
    const auto addRows = [&contact](int kind, int count) {
        for (int i = 0; i < count; ++i)
            contact.entities[kind] << entry(
                quint64(kind * 1000 + i), QString(),
                {{pim::ValueKey::Value, QStringLiteral("%1-%2").arg(kind).arg(i)},
                 {pim::ValueKey::SubType, QString::number(i % 4 + 1)},
                 {pim::ValueKey::Label, i % 7 == 0 ? QStringLiteral("Boat") : QString()}});
    };
    addRows(pim::ENTITY_PHONE, 300);
    addRows(pim::ENTITY_EMAIL, 80);
    addRows(pim::ENTITY_URL, 3);
    ContactEditor editor(nullptr);
    editor.resize(500, 560);
    editor.fillContact(&contact);
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QCoreApplication::processEvents();
    QVERIFY(!editor.phoneEditor->rows().last().cbType);
    QVERIFY(!editor.emailEditor->rows().last().cbType);

    QScrollBar *bar = editor.verticalScrollBar();
    const auto shots = [&editor, bar] {
        QList<QImage> out;
        for (const int at : {0, bar->maximum() / 3, bar->maximum() - 200, bar->maximum()}) {
            bar->setValue(at);
            if (QWidget *focused = QApplication::focusWidget())
                focused->clearFocus();
            out << editor.viewport()->grab().toImage();
        }
        bar->setValue(0);
        return out;
    };
    const QSize waitingSize = editor.wdContent->size();
    const QList<QImage> waiting = shots();
    // What came into view was built; what never did still waits.
    QVERIFY(editor.emailEditor->rows().last().cbType);
    QVERIFY(!editor.phoneEditor->rows().at(200).cbType);

    for (int i = 0; i < editor.phoneEditor->rows().size(); ++i)
        editor.phoneEditor->row(i);
    for (int i = 0; i < editor.emailEditor->rows().size(); ++i)
        editor.emailEditor->row(i);
    QCoreApplication::processEvents();
    QCOMPARE(editor.wdContent->size(), waitingSize);
    const QList<QImage> built = shots();
    QCOMPARE(waiting.size(), built.size());
    for (int i = 0; i < waiting.size(); ++i)
        QCOMPARE(waiting.at(i), built.at(i));
}

TARNWICK_TEST_MAIN(TestContactEditor)
#include "tst_contacteditor.moc"
