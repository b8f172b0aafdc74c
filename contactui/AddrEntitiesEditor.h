#pragma once

#include "EntryRowKit.h"
#include "model/Entity.h"

#include <QList>
#include <QString>
#include <QStringList>
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
        // An address stored as its formatted text alone, with no part that makes any text, shows
        // that text in the street field. While the user leaves every field as shown, the block gives
        // back the stored text and no street; once a field changes, the shown text is the street.
        bool showsFreeText = false;
        QString freeText;
        QStringList shownFields;
    };

    AddrEntitiesEditor(QString title, int defaultType, QWidget *parent);

    // Appends a block showing the address's fields, or its formatted text in the street field when
    // its parts make no text.
    void addItem(pim::Entity entity);
    // One entry per block holding the shown columns and the formatted address made from them (the
    // stored text of a free-text address the user left alone).
    QList<pim::Entity> toEntityList();

    const QList<_Item> &rows() const { return items; }

protected slots:
    void add();
    void remove();

private:
    // The five fields' texts as the block shows them: country, state, city, street, postcode.
    static QStringList fieldsOf(const _Item &item);

    int defaultType;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
};
