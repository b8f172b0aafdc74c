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
        // The stored text of an event whose date the edit cannot hold (it did not parse, or lies
        // outside the edit's range), and what the edit showed instead; while the user leaves the
        // date as shown, the row gives the stored text back.
        QString keptText;
        QDateTime shownInstead;
    };

    DateEntitiesEditor(QString title, QMap<int, QString> typeMap, int defaultType, QWidget *parent);

    // Appends a row showing one event. `storedText` is the event's text as stored; it is only
    // needed when `value` is not a date the edit can show.
    void addItem(quint64 id, QString srcId, int type, QString label, QDateTime value,
                 QString storedText = QString());
    // One entry per row with the sub-type (an integer), the label and the date as ISO 8601
    // date-and-time text under the given keys.
    QList<pim::Entity> toEntityList(QString typeKey, QString labelKey, QString valueKey);

    const QList<_Item> &rows() const { return items; }

protected slots:
    void add();
    void remove();

private:
    QMap<int, QString> typeMap;
    int defaultType;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
};
