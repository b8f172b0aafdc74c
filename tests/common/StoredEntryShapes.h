#pragma once

// Shapes of stored entries that the sources bring in (phone records, vCard and CSV files, backups),
// held by one contact, each with one edit a user might make to it in the contact editor. Shared by
// the editor's change-list tests and the edit action's tests against a database and an Android node.

#include "contactui/AddrEntitiesEditor.h"
#include "contactui/ContactEditor.h"
#include "contactui/DateEntitiesEditor.h"
#include "contactui/GenericEntitiesEditor.h"
#include "contactui/IMEntitiesEditor.h"
#include "model/LocalDb.h"

#include "EntityFixtures.h"

#include <QByteArrayList>
#include <QDate>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextEdit>

#include <functional>

namespace tarnwick::test {

struct StoredEntryShape
{
    QString name;
    // The entry in parseEntry() form.
    QString stored;
    // The entry after the contact was opened and applied without a change.
    QString unchanged;
    // Changes a single field of the entry in the open editor.
    std::function<void(ContactEditor &)> edit;
    // The entry after that edit was applied.
    QString edited;
};

// The zones a birthday must not move in: one on the day line, one behind it and one ahead of it.
inline QByteArrayList editorTimeZones()
{
    return {"UTC", "America/New_York", "Asia/Tokyo"};
}

// The contact's name entry; the shapes follow it, in this order, in the same contact.
inline QString shapesContactName()
{
    return QStringLiteral("1|data1=Dee Multi|data2=Dee|data3=Multi");
}

inline QList<StoredEntryShape> storedEntryShapes()
{
    const auto address = [](int row) {
        return [row](ContactEditor &e) -> const AddrEntitiesEditor::_Item & {
            return e.addrEditor->rows().at(row);
        };
    };
    const auto moveEvent = [](int row, QDate to) {
        return [row, to](ContactEditor &e) { e.eventEditor->rows().at(row).dteDate->setDate(to); };
    };
    const auto formattedOnly = address(0);
    const auto partsOnly = address(1);
    const auto both = address(2);
    return {
        {QStringLiteral("phone with a custom label"), QStringLiteral("3|data1=555 0100|data2=0|data3=Boat"),
         QStringLiteral("3|data1=555 0100|data2=0|data3=Boat"),
         [](ContactEditor &e) { e.phoneEditor->rows().at(0).txtValue->setText(QStringLiteral("555 0199")); },
         QStringLiteral("3|data1=555 0199|data2=0|data3=Boat")},
        // Event rows in this order: 0 date alone, 1 without a year, 2 UTC, 3 offset, 4 no seconds.
        {QStringLiteral("event, date alone"), QStringLiteral("6|data1=1990-05-12|data2=3"),
         QStringLiteral("6|data1=1990-05-12T00:00:00|data2=3"), moveEvent(0, QDate(1990, 5, 13)),
         QStringLiteral("6|data1=1990-05-13T00:00:00|data2=3")},
        {QStringLiteral("event without a year"), QStringLiteral("6|data1=--08-15|data2=1"),
         QStringLiteral("6|data1=--08-15|data2=1"), moveEvent(1, QDate(2003, 8, 15)),
         QStringLiteral("6|data1=2003-08-15T00:00:00|data2=1")},
        {QStringLiteral("event in UTC"),
         QStringLiteral("6|data1=1985-03-01T00:00:00Z|data2=0|data3=Name day"),
         QStringLiteral("6|data1=1985-03-01T00:00:00Z|data2=0|data3=Name day"),
         moveEvent(2, QDate(1985, 3, 2)),
         QStringLiteral("6|data1=1985-03-02T00:00:00Z|data2=0|data3=Name day")},
        {QStringLiteral("event with an offset"), QStringLiteral("6|data1=2001-06-30T10:00:00+02:00|data2=1"),
         QStringLiteral("6|data1=2001-06-30T10:00:00+02:00|data2=1"), moveEvent(3, QDate(2001, 7, 1)),
         QStringLiteral("6|data1=2001-07-01T10:00:00+02:00|data2=1")},
        {QStringLiteral("event without seconds"),
         QStringLiteral("6|data1=1999-12-31T23:30|data2=0|data3=Party"),
         QStringLiteral("6|data1=1999-12-31T23:30|data2=0|data3=Party"), moveEvent(4, QDate(2000, 12, 31)),
         QStringLiteral("6|data1=2000-12-31T23:30|data2=0|data3=Party")},
        {QStringLiteral("IM with custom label and protocol"),
         QStringLiteral("8|data1=ann@chat|data2=0|data3=Gaming|data5=0|data6=Signal"),
         QStringLiteral("8|data1=ann@chat|data2=0|data3=Gaming|data5=0|data6=Signal"),
         [](ContactEditor &e) { e.imEditor->rows().at(0).txtAccount->setText(QStringLiteral("dee@chat")); },
         QStringLiteral("8|data1=dee@chat|data2=0|data3=Gaming|data5=0|data6=Signal")},
        // Address blocks in this order: 0 formatted text alone, 1 parts alone, 2 both.
        {QStringLiteral("address, formatted text alone"),
         QStringLiteral("12|data1=Only formatted text, no parts|data2=1"),
         QStringLiteral("12|data1=Only formatted text, no parts|data2=1"),
         [formattedOnly](ContactEditor &e) {
             formattedOnly(e).txtStreet->setPlainText(QStringLiteral("Only formatted text, edited"));
         },
         QStringLiteral("12|data1=Only formatted text, edited|data2=1|data4=Only formatted text, edited")},
        {QStringLiteral("address, parts alone"),
         QStringLiteral("12|data2=2|data4=1 High St|data7=Leeds|data9=LS1"),
         QStringLiteral("12|data2=2|data4=1 High St|data7=Leeds|data9=LS1"),
         [partsOnly](ContactEditor &e) { partsOnly(e).txtCity->setText(QStringLiteral("York")); },
         QStringLiteral("12|data1=1 High St\nYork, LS1|data2=2|data4=1 High St|data7=York|data9=LS1")},
        {QStringLiteral("address, formatted text and parts"),
         QStringLiteral("12|data1=9 Low Rd, Hull|data2=1|data4=9 Low Rd|data7=Hull|data10=UK"),
         QStringLiteral("12|data1=9 Low Rd, Hull|data2=1|data4=9 Low Rd|data7=Hull|data10=UK"),
         [both](ContactEditor &e) { both(e).txtCountry->setText(QStringLiteral("GB")); },
         QStringLiteral("12|data1=9 Low Rd\nHull\nGB|data2=1|data4=9 Low Rd|data7=Hull|data10=GB")},
    };
}

// Stores a contact holding the name and every shape, in order, and reads it back as the main window
// hands it to the editor.
inline pim::_Contact storeShapesContact(LocalDb &db)
{
    pim::_Contact c(0, QString(), QStringLiteral("Dee Multi"));
    db.beginEdit();
    db.insertContactBase(c);
    QStringList entries{shapesContactName()};
    for (const StoredEntryShape &shape : storedEntryShapes())
        entries << shape.stored;
    for (const QString &text : entries) {
        auto [type, e] = parseEntry(text);
        db.insertEntity(c.id, type, e);
    }
    db.endEdit(true);
    return db.contact(c.id);
}

// The shapes' entries after a save in which the user changed only shape `changed` (-1: nothing).
inline QStringList shapesAfterSave(int changed)
{
    QStringList out;
    const QList<StoredEntryShape> shapes = storedEntryShapes();
    for (int i = 0; i < shapes.size(); ++i)
        out << (i == changed ? shapes.at(i).edited : shapes.at(i).unchanged);
    return out;
}

} // namespace tarnwick::test
