#pragma once

#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QRect>
#include <QString>

class QComboBox;
class QObject;
class QGridLayout;
class QToolButton;
class QWidget;

// The pieces every multi-row entry editor is built from: the title row with its add button, the
// editable sub-type combo (a code of a label table or a label of the user's own) and the remove
// button of a row. Editors own the widgets through their Qt parent; these helpers only make and read
// them.
class EntryRowKit
{
public:
    // What every entry row holds first: the row id and source identifier of the entry it shows (0
    // and empty for a row the user added) and its sub-type combo. Each editor's row adds its own
    // value widgets and the remove button.
    struct Row
    {
        Row(unsigned long long id, QString srcId)
            : id(id)
            , srcId(std::move(srcId))
        {}
        quint64 id;
        QString srcId;
        QComboBox *cbType = nullptr;
    };

    // Index of the row whose remove button is `sender`; -1 when none is.
    template<class Item> static int rowOf(const QList<Item> &items, const QObject *sender)
    {
        for (int i = 0; i < items.size(); ++i) {
            if (items.at(i).btnRemove == sender)
                return i;
        }
        return -1;
    }

    // Title label in column 0 of grid row 0 and the add button in `addColumn` of the same row.
    static QToolButton *addTitleRow(QWidget *editor, QGridLayout *grid, const QString &title, int addColumn);
    // A remove button for one row.
    static QToolButton *makeRemoveButton(QWidget *editor);
    // An editable combo `width` pixels wide filled from `table` in ascending code order, each item
    // carrying its code as user data.
    static QComboBox *makeCodeCombo(QWidget *editor, const QMap<int, QString> &table, int width);
    // Shows a sub-type and label: with a label the code-0 item is current and the label is shown,
    // without one the item of `type`; an unknown code shows the first item.
    static void showTypeAndLabel(QComboBox *combo, int type, const QString &label);
    // Makes the item of `code` current (the first item for an unknown code).
    static void selectCode(QComboBox *combo, int code);
    // Takes a removed row's widgets out of the grid and hands them to the event loop for deletion
    // (the remove button that asked for it is still delivering its signal).
    static void dropWidgets(QGridLayout *grid, const QList<QWidget *> &widgets);
    // The entry a row stands for, with its sub-type (an integer) and label read from its combo.
    static pim::Entity entityOf(const Row &row, const QMap<int, QString> &table, const QString &typeKey,
                                const QString &labelKey);
    // Reads a combo back: the trimmed text equal (with case) to an item of `table` gives that item's
    // code and an empty label; any other text gives code 0 and the text as label.
    static void readCodeAndLabel(const QComboBox *combo, const QMap<int, QString> &table, int &code,
                                 QString &label);
    // What readCodeAndLabel reads from a combo that showTypeAndLabel set to `type` and `label` and
    // that nobody touched since, worked out without the combo.
    static void codeAndLabelShown(const QMap<int, QString> &table, int type, const QString &label, int &code,
                                  QString &shownLabel);
    // The text a line edit given `text` holds: cut to the line edit's default length limit.
    static QString lineEditText(const QString &text);
    // The part of `widget` (in its own coordinates) that its parents leave inside their bounds: in a
    // scroll area, the part inside the viewport. Empty when the widget is hidden or out of view.
    static QRect shownPart(const QWidget *widget);
};
