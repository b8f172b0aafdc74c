#pragma once

#include "EntryRowKit.h"
#include "model/Entity.h"

#include <QList>
#include <QString>
#include <QWidget>

class QComboBox;
class QGridLayout;
class QLineEdit;
class QToolButton;

// Edits a contact's instant-messaging accounts: one row per account with an editable sub-type combo,
// an editable protocol combo (a listed protocol or a name of the user's own), the account and a
// remove button.
class IMEntitiesEditor : public QWidget
{
    Q_OBJECT

public:
    struct _Item : EntryRowKit::Row
    {
        using EntryRowKit::Row::Row;
        QComboBox *cbProtocol = nullptr;
        QLineEdit *txtAccount = nullptr;
        QToolButton *btnRemove = nullptr;
    };

    IMEntitiesEditor(QString title, int defaultType, int defaultProtocol, QWidget *parent);

    // Appends a row showing the entry's account, sub-type, label, protocol and protocol name.
    void addItem(const pim::Entity &entity);
    // One entry per row holding exactly the columns the row shows.
    QList<pim::Entity> toEntityList();

    const QList<_Item> &rows() const { return items; }

protected slots:
    void add();
    void remove();

private:
    int defaultType;
    int defaultProtocol;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
};
