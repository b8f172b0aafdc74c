#pragma once

#include "EntryRowKit.h"
#include "model/Entity.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QTextEdit;
class QToolButton;

// Edits a contact's postal addresses: one block of four grid rows per address with an editable
// sub-type combo, country, state, city, a street of several lines, postcode and a remove button.
class AddrEntitiesEditor : public QWidget
{
    Q_OBJECT

public:
    struct _Item : EntryRowKit::Row
    {
        using EntryRowKit::Row::Row;
        QLineEdit *txtCountry = nullptr;
        QLineEdit *txtState = nullptr;
        QLineEdit *txtCity = nullptr;
        QTextEdit *txtStreet = nullptr;
        QLineEdit *txtPostcode = nullptr;
        QToolButton *btnRemove = nullptr;
    };

    AddrEntitiesEditor(QString title, int defaultType, QWidget *parent);

    // Appends a block showing the address's fields.
    void addItem(pim::Entity entity);
    // One entry per block holding the shown columns and the formatted address made from them.
    QList<pim::Entity> toEntityList();

    const QList<_Item> &rows() const { return items; }

protected slots:
    void add();
    void remove();

private:
    int defaultType;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
};
