#pragma once

#include "EntryRowKit.h"
#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

class QComboBox;
class QGridLayout;
class RowSlot;
class QLineEdit;
class QToolButton;

// Edits every entry of one kind whose entry is a sub-type and a line of text (phones, e-mail
// addresses, relations, websites): a title row with an add button, then one row per entry with an
// editable sub-type combo, the value and a remove button.
//
// A contact may hold thousands of entries of one kind, and a row's widgets cost far more than its
// entry: only the first rows are built when they are added, every later one when it comes near the
// part of the editor that shows (or when row() asks for it). Until then the row holds what it is to
// show, keeps its place in the grid at a built row's height, and gives back what its widgets would.
// A row built late has its widgets on a layer under the editor's own, placed by its grid slot in
// the cells the grid would give them (see RowSlot).
class GenericEntitiesEditor : public QWidget
{
    Q_OBJECT

public:
    struct _Item : EntryRowKit::Row
    {
        using EntryRowKit::Row::Row;
        QLineEdit *txtValue = nullptr;
        QToolButton *btnRemove = nullptr;
        // What the row shows, read only while its widgets are not built.
        int type = 0;
        QString label;
        QString value;
        // The row's grid row. A row loaded after the first few holds it with `slot` (owned by the
        // grid), which also places the row's widgets once they are built.
        int gridRow = 0;
        RowSlot *slot = nullptr;
    };

    GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap, int defaultType,
                          QWidget *parent);

    // Appends a row showing one entry.
    void addItem(quint64 id, QString srcId, int type, QString label, QString value);
    // One entry per row, empty rows included, with the sub-type (an integer), the label and the
    // trimmed value under the given keys.
    QList<pim::Entity> toEntityList(QString typeKey, QString labelKey, QString valueKey);

    // The entry rows, top to bottom; the widget pointers of a row not built yet are null.
    const QList<_Item> &rows() const { return items; }
    // The row at `i`, built first when it was not.
    const _Item &row(int i);
    // Builds the rows that show, or nearly do, in the editor's parents (a scroll area's viewport).
    void buildShownRows();

    // How many rows addItem builds at once; later rows wait until they come into view.
    static constexpr int kRowsBuiltAtOnce = 40;

protected slots:
    void add();
    void remove();

protected:
    bool event(QEvent *event) override;

private:
    void append(quint64 id, QString srcId, int type, QString label, QString value, bool buildNow);
    // Builds the widgets of row `i`; true when the row had been waiting in the grid.
    bool build(int i);
    QWidget *focusBefore(int i) const;
    // The widget that holds the rows built late, made with the first.
    QWidget *lateRowLayer();

    QString placeholder;
    QMap<int, QString> typeMap;
    int defaultType;
    QGridLayout *gridLayout;
    QList<_Item> items;
    int nextRow = 1;
    QToolButton *btnAdd = nullptr;
    QWidget *lateRows = nullptr;
    // The height the grid gives a built row, taken from the first row built.
    int rowHeight = 0;
    bool buildQueued = false;
    bool building = false;
};
