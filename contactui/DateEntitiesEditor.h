#pragma once

#include "EntryRowKit.h"
#include "model/Entity.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QComboBox;
class QDateTimeEdit;
class QGridLayout;
class QToolButton;

// Edits a contact's dated events: one row per event with an editable sub-type combo, a date edit
// (year, month and day) and a remove button.
class DateEntitiesEditor : public QWidget
{
    Q_OBJECT

public:
    struct _Item : EntryRowKit::Row
    {
        using EntryRowKit::Row::Row;
        QDateTimeEdit *dteDate = nullptr;
        QToolButton *btnRemove = nullptr;
        // The event's text as stored and the date-time the row was given for it. A row whose day the
        // user leaves as shown gives the stored text back (a date alone excepted, which is written
        // with its midnight); a moved day keeps the time of day and the zone the text had.
        QString storedText;
        QDateTime given;
        QDate shownDate;
        bool keepsStored = false;
    };

    DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType, QWidget *parent);

    // Appends a row showing the calendar day of `value` in its own zone or offset, never moved into
    // the local zone. `storedText` is the event's text as stored, given back while the user leaves
    // the day alone.
    void addItem(quint64 id, QString srcId, int type, QString label, QDateTime value,
                 QString storedText = QString());
    // One entry per row with the sub-type (an integer), the label and the date as ISO 8601 text under
    // the given keys.
    QList<pim::Entity> toEntityList(QString typeKey, QString labelKey, QString valueKey);

    const QList<_Item> &rows() const { return items; }

protected slots:
    void add();
    void remove();

private:
    // A text holding a year-month-day date and nothing else.
    static bool isDateAlone(const QString &text);
    // The text a row gives for `day`: the time of day and zone of the text it was given.
    static QString textOf(const _Item &item, QDate day);

    QMap<int, QString> typeMap;
    int defaultType;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
};
