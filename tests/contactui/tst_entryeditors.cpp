#include "contactui/AddrEntitiesEditor.h"
#include "contactui/DateEntitiesEditor.h"
#include "contactui/GenericEntitiesEditor.h"
#include "contactui/IMEntitiesEditor.h"
#include "model/EntryKeys.h"
#include "model/TypeMaps.h"

#include "ScopedTimeZone.h"
#include "TestMain.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QLineEdit>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>

namespace {

// The add button is the first button an editor makes itself.
QToolButton *addButton(QWidget *editor)
{
    return editor->findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly).first();
}

void pressAdd(QWidget *editor)
{
    QTest::mousePress(addButton(editor), Qt::LeftButton);
}

QString typeKey()
{
    return pim::ValueKey::SubType;
}

// Focus-chain position of each widget, counted from the editor.
int focusPosition(QWidget *editor, QWidget *w)
{
    int i = 0;
    for (QWidget *it = editor->nextInFocusChain(); it != editor; it = it->nextInFocusChain(), ++i) {
        if (it == w)
            return i;
    }
    return -1;
}

// Fills an editor with the rows it builds at once, so that the next row added waits to be built.
void fillBuiltRows(GenericEntitiesEditor &editor)
{
    for (int i = 0; i < GenericEntitiesEditor::kRowsBuiltAtOnce; ++i)
        editor.addItem(quint64(1000 + i), QString(), 1, QString(), QStringLiteral("filler %1").arg(i));
}

QList<pim::Entity> entities(GenericEntitiesEditor &editor)
{
    return editor.toEntityList(typeKey(), pim::ValueKey::Label, pim::ValueKey::Value);
}

} // namespace

class TestEntryEditors : public QObject
{
    Q_OBJECT

private slots:
    void genericRowShowsAndReturns_data();
    void genericRowShowsAndReturns();
    void typedSubType_data();
    void typedSubType();
    void waitingRowGivesWhatItsWidgetsWould_data();
    void waitingRowGivesWhatItsWidgetsWould();
    void lateRowsEditRemoveAndTab();
    void removeThenAdd();
    void removeWithoutSenderKeepsRows();
    void focusFollowsRows();
    void dateRows_data();
    void dateRows();
    void dateRowChangedByUser();
    void imRows_data();
    void imRows();
    void imNewRowDefaults();
    void addressBlocks_data();
    void addressBlocks();
    void freeTextAddress();
    void addressRemoveThenAdd();
};

void TestEntryEditors::genericRowShowsAndReturns_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("currentCode");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("returnedLabel");
    QTest::addColumn<QString>("returnedValue");

    QTest::newRow("table code") << 2 << ""
                                << "555 0100"
                                << "Mobile" << 2 << 2 << ""
                                << "555 0100";
    QTest::newRow("custom label over another code") << 5 << "Boat"
                                                    << "1"
                                                    << "Boat" << 0 << 0 << "Boat"
                                                    << "1";
    QTest::newRow("label equal to a table text") << 0 << "Home"
                                                 << "2"
                                                 << "Home" << 0 << 1 << ""
                                                 << "2";
    QTest::newRow("code the table lacks") << 7 << ""
                                          << "3"
                                          << "Other" << 0 << 0 << ""
                                          << "3";
    QTest::newRow("value trimmed") << 1 << ""
                                   << "  555  "
                                   << "Home" << 1 << 1 << ""
                                   << "555";
    QTest::newRow("empty value kept") << 3 << ""
                                      << ""
                                      << "Work" << 3 << 3 << ""
                                      << "";
}

void TestEntryEditors::genericRowShowsAndReturns()
{
    QFETCH(int, type);
    QFETCH(QString, label);
    QFETCH(QString, value);
    // The first row is built as it is added; a row after the first few waits until it is asked for,
    // and must give back, then show, the same.
    for (const bool waits : {false, true}) {
        GenericEntitiesEditor editor(QStringLiteral("Phone:"), QStringLiteral("Phone Number"),
                                     pim::phoneTypeMap(), 2, nullptr);
        if (waits)
            fillBuiltRows(editor);
        editor.addItem(41, QStringLiteral("3/1/0"), type, label, value);
        const int at = int(editor.rows().size()) - 1;
        QCOMPARE(editor.rows().at(at).cbType == nullptr, waits);

        const QList<pim::Entity> out = entities(editor);
        QCOMPARE(out.size(), at + 1);
        QCOMPARE(out.last().id, 41ull);
        QCOMPARE(out.last().srcId, QStringLiteral("3/1/0"));
        QCOMPARE(out.last().values.value(typeKey()).typeId(), int(QMetaType::Int));
        QTEST(out.last().values.value(typeKey()).toInt(), "code");
        QTEST(out.last().values.value(pim::ValueKey::Label).toString(), "returnedLabel");
        QTEST(out.last().values.value(pim::ValueKey::Value).toString(), "returnedValue");

        const GenericEntitiesEditor::_Item &row = editor.row(at);
        QTEST(row.cbType->currentText(), "shown");
        QTEST(row.cbType->currentData().toInt(), "currentCode");
        QCOMPARE(row.txtValue->placeholderText(), QStringLiteral("Phone Number"));
        QCOMPARE(entities(editor).last().values, out.last().values);
    }
}

void TestEntryEditors::waitingRowGivesWhatItsWidgetsWould_data()
{
    QTest::addColumn<bool>("emptyTable");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("value");

    QTest::newRow("label of blanks") << false << 2 << "   "
                                     << "1";
    QTest::newRow("label equal to a table text with blanks") << false << 0 << " Work "
                                                             << "1";
    QTest::newRow("label in another case") << false << 0 << "work"
                                           << "1";
    QTest::newRow("line break in value") << false << 1 << ""
                                         << "555\n0100";
    QTest::newRow("line break in label") << false << 0 << "Boat\nHouse"
                                         << "1";
    QTest::newRow("value beyond a line edit's length")
        << false << 1 << "" << QString(40000, QLatin1Char('7'));
    QTest::newRow("label beyond a line edit's length")
        << false << 0 << QString(40000, QLatin1Char('b')) << "1";
    QTest::newRow("empty table, code") << true << 2 << ""
                                       << "1";
    QTest::newRow("empty table, label") << true << 0 << " Boat "
                                        << "1";
}

// A row not built yet works out what its widgets would give without them.
void TestEntryEditors::waitingRowGivesWhatItsWidgetsWould()
{
    QFETCH(bool, emptyTable);
    QFETCH(int, type);
    QFETCH(QString, label);
    QFETCH(QString, value);
    GenericEntitiesEditor editor(QStringLiteral("Phone:"), QString(),
                                 emptyTable ? QMap<int, QString>() : pim::phoneTypeMap(), 2, nullptr);
    fillBuiltRows(editor);
    editor.addItem(7, QStringLiteral("3/7/0"), type, label, value);
    const int at = int(editor.rows().size()) - 1;
    QVERIFY(!editor.rows().at(at).cbType);
    const pim::Entity waiting = entities(editor).last();
    editor.row(at);
    const pim::Entity built = entities(editor).last();
    QCOMPARE(waiting.id, built.id);
    QCOMPARE(waiting.srcId, built.srcId);
    QCOMPARE(waiting.values, built.values);
}

// Rows built late, and out of order, are edited, removed and tabbed through like the others.
void TestEntryEditors::lateRowsEditRemoveAndTab()
{
    GenericEntitiesEditor editor(QStringLiteral("Phone:"), QString(), pim::phoneTypeMap(), 2, nullptr);
    const int n = GenericEntitiesEditor::kRowsBuiltAtOnce + 20;
    for (int i = 0; i < n; ++i)
        editor.addItem(quint64(i + 1), QString::number(i + 1), i % 4 + 1, QString(),
                       QStringLiteral("555 %1").arg(i));
    const int edited = n - 5;
    const int labelled = n - 10;
    const int removed = n - 8;
    editor.row(edited).txtValue->setText(QStringLiteral(" 555 edited "));
    QComboBox *combo = editor.row(labelled).cbType;
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), QStringLiteral("Boat"));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    QTest::mousePress(editor.row(removed).btnRemove, Qt::LeftButton);
    QTest::mousePress(editor.row(3).btnRemove, Qt::LeftButton);
    pressAdd(&editor);

    const QList<pim::Entity> out = entities(editor);
    QList<quint64> ids;
    for (const pim::Entity &e : out)
        ids << e.id;
    QList<quint64> expected;
    for (int i = 0; i < n; ++i) {
        if (i != 3 && i != removed)
            expected << quint64(i + 1);
    }
    expected << 0;
    QCOMPARE(ids, expected);
    const pim::Entity editedEntry = out.at(ids.indexOf(quint64(edited + 1)));
    QCOMPARE(editedEntry.values.value(pim::ValueKey::Value).toString(), QStringLiteral("555 edited"));
    QCOMPARE(editedEntry.values.value(typeKey()).toInt(), edited % 4 + 1);
    const pim::Entity labelledEntry = out.at(ids.indexOf(quint64(labelled + 1)));
    QCOMPARE(labelledEntry.values.value(typeKey()).toInt(), 0);
    QCOMPARE(labelledEntry.values.value(pim::ValueKey::Label).toString(), QStringLiteral("Boat"));
    const pim::Entity waitingEntry = out.at(ids.indexOf(quint64(n)));
    QCOMPARE(waitingEntry.values.value(pim::ValueKey::Value).toString(), QStringLiteral("555 %1").arg(n - 1));
    QVERIFY(!editor.rows().at(editor.rows().size() - 2).cbType);

    // Built rows stand in the order of the rows and keep the focus chain's, with the add button
    // ahead of them; those built late are placed as those the grid holds.
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QList<int> tops;
    QList<int> positions{focusPosition(&editor, addButton(&editor))};
    for (const GenericEntitiesEditor::_Item &row : editor.rows()) {
        if (!row.cbType)
            continue;
        const QPoint at = row.txtValue->mapTo(&editor, QPoint(0, 0));
        tops << at.y();
        QCOMPARE(row.cbType->mapTo(&editor, QPoint(0, 0)).y() - at.y(),
                 editor.row(0).cbType->y() - editor.row(0).txtValue->y());
        QCOMPARE(at.x(), editor.row(0).txtValue->x());
        QCOMPARE(row.txtValue->size(), editor.row(0).txtValue->size());
        QCOMPARE(row.btnRemove->mapTo(&editor, QPoint(0, 0)).x(), editor.row(0).btnRemove->x());
        positions << focusPosition(&editor, row.cbType) << focusPosition(&editor, row.txtValue)
                  << focusPosition(&editor, row.btnRemove);
    }
    QVERIFY(std::adjacent_find(tops.cbegin(), tops.cend(), std::greater_equal<int>()) == tops.cend());
    QVERIFY(!positions.contains(-1));
    QVERIFY(std::is_sorted(positions.cbegin(), positions.cend()));
}

void TestEntryEditors::typedSubType_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("withReturn");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("label");

    QTest::newRow("table text with blanks") << "  Mobile  " << false << 2 << "";
    QTest::newRow("table text in other case") << "mobile" << false << 0 << "mobile";
    QTest::newRow("empty") << "" << false << 0 << "";
    QTest::newRow("new word confirmed with Return") << "Boat" << true << 0 << "Boat";
    QTest::newRow("table text confirmed with Return") << "Work" << true << 3 << "";
}

void TestEntryEditors::typedSubType()
{
    QFETCH(QString, typed);
    QFETCH(bool, withReturn);
    GenericEntitiesEditor editor(QStringLiteral("Phone:"), QString(), pim::phoneTypeMap(), 2, nullptr);
    pressAdd(&editor);
    QComboBox *combo = editor.rows().first().cbType;
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), typed);
    if (withReturn)
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);

    const pim::Entity e = editor.toEntityList(typeKey(), pim::ValueKey::Label, pim::ValueKey::Value).first();
    QTEST(e.values.value(typeKey()).toInt(), "code");
    QTEST(e.values.value(pim::ValueKey::Label).toString(), "label");
}

void TestEntryEditors::removeThenAdd()
{
    GenericEntitiesEditor editor(QStringLiteral("E-Mail:"), QString(), pim::emailTypeMap(), 1, nullptr);
    editor.addItem(1, QStringLiteral("a"), 1, QString(), QStringLiteral("first@x.org"));
    editor.addItem(2, QStringLiteral("b"), 2, QString(), QStringLiteral("second@x.org"));
    editor.addItem(3, QStringLiteral("c"), 4, QString(), QStringLiteral("third@x.org"));
    QToolButton *middle = editor.rows().at(1).btnRemove;
    QTest::mousePress(middle, Qt::LeftButton);
    pressAdd(&editor);

    const QList<pim::Entity> out = editor.toEntityList(typeKey(), pim::ValueKey::Label, pim::ValueKey::Value);
    QCOMPARE(out.size(), 3);
    QCOMPARE(out.at(0).values.value(pim::ValueKey::Value).toString(), QStringLiteral("first@x.org"));
    QCOMPARE(out.at(1).values.value(pim::ValueKey::Value).toString(), QStringLiteral("third@x.org"));
    QCOMPARE(out.at(2).id, 0ull);
    QCOMPARE(out.at(2).values.value(typeKey()).toInt(), 1);
    // The new row stands below the last one, never in the grid row the removed one left.
    auto *grid = static_cast<QGridLayout *>(editor.layout());
    int row = -1, col = -1, rs = 0, cs = 0;
    grid->getItemPosition(grid->indexOf(editor.rows().at(1).txtValue), &row, &col, &rs, &cs);
    const int thirdRow = row;
    grid->getItemPosition(grid->indexOf(editor.rows().at(2).txtValue), &row, &col, &rs, &cs);
    QVERIFY(row > thirdRow);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(editor.findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly).size(), 3);
}

void TestEntryEditors::removeWithoutSenderKeepsRows()
{
    GenericEntitiesEditor editor(QStringLiteral("Url:"), QString(), pim::urlTypeMap(), 1, nullptr);
    editor.addItem(1, QString(), 1, QString(), QStringLiteral("x.org"));
    QMetaObject::invokeMethod(&editor, "remove");
    QCOMPARE(editor.rows().size(), 1);
}

void TestEntryEditors::focusFollowsRows()
{
    GenericEntitiesEditor editor(QStringLiteral("Phone:"), QString(), pim::phoneTypeMap(), 2, nullptr);
    editor.addItem(1, QString(), 1, QString(), QStringLiteral("1"));
    editor.addItem(2, QString(), 2, QString(), QStringLiteral("2"));
    QList<int> positions;
    for (const GenericEntitiesEditor::_Item &row : editor.rows())
        positions << focusPosition(&editor, row.cbType) << focusPosition(&editor, row.txtValue)
                  << focusPosition(&editor, row.btnRemove);
    QVERIFY(!positions.contains(-1));
    QVERIFY(std::is_sorted(positions.cbegin(), positions.cend()));
}

void TestEntryEditors::dateRows_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("returned");
    QTest::addColumn<QString>("moved"); // returned once the user picked 2004-02-29

    struct Row
    {
        const char *name;
        QString stored, shown, returned, moved;
    };
    const QList<Row> rows{
        {"date alone comes back with midnight", "1980-05-17", "1980-05-17", "1980-05-17T00:00:00",
         "2004-02-29T00:00:00"},
        {"time of day kept", "1980-05-17T13:45:10", "1980-05-17", "1980-05-17T13:45:10",
         "2004-02-29T13:45:10"},
        // A zoned text names its calendar day in its own zone, whatever the local one is.
        {"UTC midnight", "1990-05-12T00:00:00Z", "1990-05-12", "1990-05-12T00:00:00Z",
         "2004-02-29T00:00:00Z"},
        {"UTC late evening", "1990-05-12T23:30:00Z", "1990-05-12", "1990-05-12T23:30:00Z",
         "2004-02-29T23:30:00Z"},
        {"offset", "2001-06-30T10:00:00+02:00", "2001-06-30", "2001-06-30T10:00:00+02:00",
         "2004-02-29T10:00:00+02:00"},
        {"zero offset written out", "2001-06-30T00:00:00+00:00", "2001-06-30", "2001-06-30T00:00:00+00:00",
         "2004-02-29T00:00:00+00:00"},
        {"seconds missing", "1990-05-12T10:30", "1990-05-12", "1990-05-12T10:30", "2004-02-29T10:30"},
        // Texts the date edit cannot hold come back as stored while the user leaves the row alone.
        {"month and day without year", "--05-12", "", "--05-12", "2004-02-29T00:00:00"},
        {"before the edit's range", "1604-05-12", "", "1604-05-12", "2004-02-29T00:00:00"},
        {"not a date", "sometime", "", "sometime", "2004-02-29T00:00:00"},
    };
    for (const QByteArray &zone : QByteArrayList{"UTC", "America/New_York", "Asia/Tokyo"}) {
        for (const Row &r : rows)
            QTest::addRow("%s, %s", r.name, zone.constData())
                << zone << r.stored << r.shown << r.returned << r.moved;
    }
}

void TestEntryEditors::dateRows()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    const tarnwick::test::ScopedTimeZone inZone(zone);
    DateEntitiesEditor editor(QStringLiteral("Date (year-month-day):"), pim::eventTypeMap(), 3, nullptr);
    editor.addItem(9, QStringLiteral("12/1/0"), 1, QString(), QDateTime::fromString(stored, Qt::ISODate),
                   stored);
    QDateTimeEdit *edit = editor.rows().first().dteDate;
    QCOMPARE(edit->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    if (!shown.isEmpty())
        QCOMPARE(edit->text(), shown);
    const auto value = [&editor] {
        return editor.toEntityList(typeKey(), pim::ValueKey::Label, pim::ValueKey::Value)
            .first()
            .values.value(pim::ValueKey::Value)
            .toString();
    };
    QTEST(value(), "returned");
    QCOMPARE(editor.toEntityList(typeKey(), pim::ValueKey::Label, pim::ValueKey::Value)
                 .first()
                 .values.value(typeKey())
                 .toInt(),
             1);
    edit->setDate(QDate(2004, 2, 29));
    QTEST(value(), "moved");
}

void TestEntryEditors::dateRowChangedByUser()
{
    DateEntitiesEditor editor(QStringLiteral("Date:"), pim::eventTypeMap(), 3, nullptr);
    editor.addItem(9, QString(), 3, QString(), QDateTime(), QStringLiteral("--05-12"));
    editor.rows().first().dteDate->setDate(QDate(1999, 5, 12));
    pressAdd(&editor);
    const QList<pim::Entity> out = editor.toEntityList(typeKey(), pim::ValueKey::Label, pim::ValueKey::Value);
    QCOMPARE(out.at(0).values.value(pim::ValueKey::Value).toString(), QStringLiteral("1999-05-12T00:00:00"));
    QCOMPARE(out.at(1).values.value(pim::ValueKey::Value).toString(),
             QDate::currentDate().toString(Qt::ISODate) + QStringLiteral("T00:00:00"));
    QCOMPARE(out.at(1).values.value(typeKey()).toInt(), 3);
}

void TestEntryEditors::imRows_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("shownType");
    QTest::addColumn<QString>("shownProtocol");
    QTest::addColumn<int>("currentProtocol");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("protocol");
    QTest::addColumn<QString>("protocolName");

    QTest::newRow("listed codes") << QVariantMap{{"data1", "ann"}, {"data2", "2"}, {"data5", "4"}} << "Work"
                                  << "Skype" << 4 << 2 << 4 << "";
    QTest::newRow("own protocol name over a stored code")
        << QVariantMap{{"data1", "ann"}, {"data2", "1"}, {"data5", "3"}, {"data6", "MyChat"}} << "Home"
        << "MyChat" << 3 << 1 << 0 << "MyChat";
    QTest::newRow("name equal to a table text")
        << QVariantMap{{"data1", "ann"}, {"data5", "0"}, {"data6", "ICQ"}} << "Other"
        << "ICQ" << 0 << 0 << 7 << "";
    QTest::newRow("code the table lacks") << QVariantMap{{"data1", "ann"}, {"data5", "20"}} << "Other"
                                          << "Other" << 0 << 0 << 0 << "";
    QTest::newRow("custom label") << QVariantMap{{"data1", "ann"}, {"data2", "2"}, {"data3", "Gaming"}}
                                  << "Gaming"
                                  << "Other" << 0 << 0 << 0 << "";
}

void TestEntryEditors::imRows()
{
    QFETCH(QVariantMap, stored);
    IMEntitiesEditor editor(QStringLiteral("IM:"), 1, 0, nullptr);
    pim::Entity e(5, QStringLiteral("13/1/0"));
    e.values = stored;
    editor.addItem(e);
    const IMEntitiesEditor::_Item &row = editor.rows().first();
    QTEST(row.cbType->currentText(), "shownType");
    QTEST(row.cbProtocol->currentText(), "shownProtocol");
    QTEST(row.cbProtocol->currentData().toInt(), "currentProtocol");
    QCOMPARE(row.cbType->width(), 60);

    const pim::Entity out = editor.toEntityList().first();
    QCOMPARE(out.id, 5ull);
    QCOMPARE(out.srcId, QStringLiteral("13/1/0"));
    QTEST(out.values.value(pim::ImKey::SubType).toInt(), "type");
    QTEST(out.values.value(pim::ImKey::Protocol).toInt(), "protocol");
    QTEST(out.values.value(pim::ImKey::CustomProtocol).toString(), "protocolName");
    QCOMPARE(out.values.value(pim::ImKey::Account).toString(), QStringLiteral("ann"));
    QCOMPARE(QStringList(out.values.keys()), QStringList({"data1", "data2", "data3", "data5", "data6"}));
}

void TestEntryEditors::imNewRowDefaults()
{
    IMEntitiesEditor editor(QStringLiteral("IM:"), 1, 0, nullptr);
    pressAdd(&editor);
    IMEntitiesEditor::_Item row = editor.rows().first();
    row.cbProtocol->lineEdit()->setText(QStringLiteral("  Skype "));
    pim::Entity out = editor.toEntityList().first();
    QCOMPARE(out.values.value(pim::ImKey::SubType).toInt(), 1);
    QCOMPARE(out.values.value(pim::ImKey::Protocol).toInt(), 4);
    row.cbProtocol->lineEdit()->setText(QStringLiteral("icq"));
    out = editor.toEntityList().first();
    QCOMPARE(out.values.value(pim::ImKey::Protocol).toInt(), 0);
    QCOMPARE(out.values.value(pim::ImKey::CustomProtocol).toString(), QStringLiteral("icq"));
    QTest::mousePress(row.btnRemove, Qt::LeftButton);
    QVERIFY(editor.rows().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(editor.findChildren<QComboBox *>().size(), 0);
}

void TestEntryEditors::addressBlocks_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("formatted");
    QTest::addColumn<QString>("street");

    QTest::newRow("every field") << QVariantMap{{"data4", "1 High St"},
                                                {"data7", "Leeds"},
                                                {"data8", "WY"},
                                                {"data9", "LS1"},
                                                {"data10", "UK"}}
                                 << "1 High St\nLeeds, WY LS1\nUK"
                                 << "1 High St";
    QTest::newRow("city alone") << QVariantMap{{"data7", "Leeds"}} << "Leeds"
                                << "";
    QTest::newRow("postcode alone") << QVariantMap{{"data9", "LS1"}} << ""
                                    << "";
    QTest::newRow("two-line street trimmed")
        << QVariantMap{{"data4", "  Flat 2\n1 High St  "}} << "Flat 2\n1 High St"
        << "Flat 2\n1 High St";
    // Plain text in, plain text out: markup-like characters are the street's own.
    QTest::newRow("markup-like street")
        << QVariantMap{{"data4", "<b>Unit 5</b> & Co"}} << "<b>Unit 5</b> & Co"
        << "<b>Unit 5</b> & Co";
    QTest::newRow("stored formatted text and country code rewritten")
        << QVariantMap{{"data1", "stale"}, {"data7", "Leeds"}, {"data11", "GB"}} << "Leeds"
        << "";
}

void TestEntryEditors::addressBlocks()
{
    QFETCH(QVariantMap, stored);
    AddrEntitiesEditor editor(QStringLiteral("Address:"), 1, nullptr);
    pim::Entity e(7, QStringLiteral("5/1/0"));
    e.values = stored;
    editor.addItem(e);
    const pim::Entity out = editor.toEntityList().first();
    QCOMPARE(out.id, 7ull);
    QTEST(out.values.value(pim::AddrKey::Formatted).toString(), "formatted");
    QTEST(out.values.value(pim::AddrKey::Street).toString(), "street");
    QCOMPARE(out.values.value(pim::AddrKey::Postcode).toString(), stored.value("data9").toString());
    QVERIFY(!out.values.contains(pim::AddrKey::CountryCode));
    QCOMPARE(editor.rows().first().txtCountry->placeholderText(), QStringLiteral("Country"));
}

void TestEntryEditors::freeTextAddress()
{
    AddrEntitiesEditor editor(QStringLiteral("Address:"), 1, nullptr);
    pim::Entity stored(7, QStringLiteral("5/1/0"));
    stored.values = {{"data1", " 4 Mill Lane\nDale "}, {"data2", "2"}};
    editor.addItem(stored);
    const AddrEntitiesEditor::_Item &block = editor.rows().first();
    // The text is what the user sees and edits, in the street field.
    QCOMPARE(block.txtStreet->toPlainText(), QStringLiteral(" 4 Mill Lane\nDale "));
    const auto returned = [&editor] {
        const pim::Entity e = editor.toEntityList().first();
        return QStringList{e.values.value("data1").toString(), e.values.value("data2").toString(),
                           e.values.value("data4").toString(), e.values.value("data7").toString()};
    };
    // Left alone it comes back as stored, also with another sub-type.
    QCOMPARE(returned(), QStringList({" 4 Mill Lane\nDale ", "2", "", ""}));
    block.cbType->setEditText(QStringLiteral("Home"));
    QCOMPARE(returned(), QStringList({" 4 Mill Lane\nDale ", "1", "", ""}));
    // Any field the user fills turns the shown text into the street it stands in.
    block.txtCity->setText(QStringLiteral("Leeds"));
    QCOMPARE(returned(), QStringList({"4 Mill Lane\nDale\nLeeds", "1", "4 Mill Lane\nDale", "Leeds"}));
    block.txtCity->clear();
    block.txtStreet->setPlainText(QStringLiteral("5 Mill Lane"));
    QCOMPARE(returned(), QStringList({"5 Mill Lane", "1", "5 Mill Lane", ""}));
    block.txtStreet->clear();
    QCOMPARE(returned(), QStringList({"", "1", "", ""}));
}

void TestEntryEditors::addressRemoveThenAdd()
{
    AddrEntitiesEditor editor(QStringLiteral("Address:"), 1, nullptr);
    pim::Entity first(1, QString());
    first.values[pim::AddrKey::City] = QStringLiteral("York");
    pim::Entity second(2, QString());
    second.values[pim::AddrKey::City] = QStringLiteral("Hull");
    editor.addItem(first);
    editor.addItem(second);
    QTest::mousePress(editor.rows().first().btnRemove, Qt::LeftButton);
    pressAdd(&editor);
    const QList<pim::Entity> out = editor.toEntityList();
    QCOMPARE(out.size(), 2);
    QCOMPARE(out.at(0).values.value(pim::AddrKey::City).toString(), QStringLiteral("Hull"));
    QCOMPARE(out.at(1).id, 0ull);
    QCOMPARE(out.at(1).values.value(pim::AddrKey::SubType).toInt(), 1);
}

TARNWICK_TEST_MAIN(TestEntryEditors)
#include "tst_entryeditors.moc"
