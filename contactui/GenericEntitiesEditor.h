#pragma once

#include "EntryRowKit.h"
#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QToolButton;

// Edits every entry of one kind whose entry is a sub-type and a line of text (phones, e-mail
// addresses, relations, websites): a title row with an add button, then one row per entry with an
// editable sub-type combo, the value and a remove button.
class GenericEntitiesEditor : public QWidget
{
    Q_OBJECT

public:
    struct _Item : EntryRowKit::Row
    {
        using EntryRowKit::Row::Row;
        QLineEdit *txtValue = nullptr;
        QToolButton *btnRemove = nullptr;
    };

    GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap, int defaultType,
                          QWidget *parent);

    // Appends a row showing one entry.
    void addItem(quint64 id, QString srcId, int type, QString label, QString value);
    // One entry per row, empty rows included, with the sub-type (an integer), the label and the
    // trimmed value under the given keys.
    QList<pim::Entity> toEntityList(QString typeKey, QString labelKey, QString valueKey);

    const QList<_Item> &rows() const { return items; }

protected slots:
    void add();
    void remove();

private:
    QString placeholder;
    QMap<int, QString> typeMap;
    int defaultType;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
};
