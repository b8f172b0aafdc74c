#include "GenericEntitiesEditor.h"

#include "EntryRowKit.h"
#include "RowSlot.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

GenericEntitiesEditor::GenericEntitiesEditor(QString title, QString placeholder, QMap<int, QString> typeMap,
                                             int defaultType, QWidget *parent)
    : QWidget(parent)
    , placeholder(std::move(placeholder))
    , typeMap(std::move(typeMap))
    , defaultType(defaultType)
    , gridLayout(new QGridLayout(this))
{
    gridLayout->setContentsMargins(0, 0, 0, 0);
    btnAdd = EntryRowKit::addTitleRow(this, gridLayout, title, 2);
    connect(btnAdd, &QToolButton::pressed, this, &GenericEntitiesEditor::add);
}

void GenericEntitiesEditor::addItem(quint64 id, QString srcId, int type, QString label, QString value)
{
    append(id, std::move(srcId), type, std::move(label), std::move(value), items.size() < kRowsBuiltAtOnce);
}

void GenericEntitiesEditor::append(quint64 id, QString srcId, int type, QString label, QString value,
                                   bool buildNow)
{
    _Item item(id, std::move(srcId));
    item.type = type;
    item.label = std::move(label);
    item.value = std::move(value);
    item.gridRow = nextRow++;
    items.append(item);
    const int i = int(items.size()) - 1;
    if (buildNow || rowHeight == 0) {
        build(i);
        return;
    }
    items[i].slot = new RowSlot(gridLayout, items[i].gridRow, rowHeight);
    gridLayout->addItem(items[i].slot, items[i].gridRow, 1);
}

const GenericEntitiesEditor::_Item &GenericEntitiesEditor::row(int i)
{
    build(i);
    return items.at(i);
}

QWidget *GenericEntitiesEditor::lateRowLayer()
{
    if (!lateRows) {
        // Under every other child, so that it takes no click meant for them; as large as the
        // editor, so that its children are placed in the editor's own coordinates.
        lateRows = new QWidget(this);
        lateRows->setGeometry(rect());
        lateRows->lower();
        if (isVisible())
            lateRows->show();
    }
    return lateRows;
}

bool GenericEntitiesEditor::build(int i)
{
    _Item &item = items[i];
    if (item.cbType)
        return false;
    // A row built after the grid was laid out goes on a layer of its own, its slot in the grid
    // placing it: a widget shown in a shown grid has the whole grid laid out again, and a grid of
    // thousands of rows takes a while.
    const bool late = item.slot != nullptr;
    QWidget *parent = late ? lateRowLayer() : this;
    item.cbType = EntryRowKit::makeCodeCombo(parent, typeMap, 100);
    EntryRowKit::showTypeAndLabel(item.cbType, item.type, item.label);
    item.txtValue = new QLineEdit(parent);
    item.txtValue->setPlaceholderText(placeholder);
    item.txtValue->setText(item.value);
    item.btnRemove = EntryRowKit::makeRemoveButton(parent);
    connect(item.btnRemove, &QToolButton::pressed, this, &GenericEntitiesEditor::remove);
    // The widgets show what the row holds from now on.
    item.label.clear();
    item.value.clear();

    if (!late) {
        gridLayout->addWidget(item.cbType, item.gridRow, 0);
        gridLayout->addWidget(item.txtValue, item.gridRow, 1);
        gridLayout->addWidget(item.btnRemove, item.gridRow, 2);
        if (rowHeight == 0) {
            for (int column = 0; column < 3; ++column)
                rowHeight = std::max(rowHeight,
                                     gridLayout->itemAtPosition(item.gridRow, column)->sizeHint().height());
        }
        return false;
    }
    if (isVisible()) {
        item.cbType->show();
        item.txtValue->show();
        item.btnRemove->show();
    }
    item.slot->setWidgets({item.cbType, item.txtValue, item.btnRemove});
    // A new widget joins the end of the focus chain; a row built later than rows below it is moved
    // to its place, so that Tab still goes from row to row.
    QWidget *before = focusBefore(i);
    QWidget::setTabOrder(before, item.cbType);
    QWidget::setTabOrder(item.cbType, item.txtValue);
    QWidget::setTabOrder(item.txtValue, item.btnRemove);
    return true;
}

QWidget *GenericEntitiesEditor::focusBefore(int i) const
{
    for (int j = i - 1; j >= 0; --j) {
        if (items.at(j).btnRemove)
            return items.at(j).btnRemove;
    }
    return btnAdd;
}

void GenericEntitiesEditor::buildShownRows()
{
    buildQueued = false;
    // Building shows widgets, and the events that brings come back here; the rows they would find
    // are those being built.
    if (building)
        return;
    const QRect shown = EntryRowKit::shownPart(this);
    if (shown.isEmpty())
        return;
    // A screen's worth above and below as well, so that scrolling finds its rows built.
    const int top = shown.top() - shown.height();
    const int bottom = shown.bottom() + shown.height();
    QList<int> wanted;
    for (int i = 0; i < items.size(); ++i) {
        const _Item &item = items.at(i);
        if (!item.slot || item.cbType)
            continue;
        const QRect r = item.slot->geometry();
        if (r.isValid() && r.bottom() >= top && r.top() <= bottom)
            wanted.append(i);
    }
    if (wanted.isEmpty())
        return;
    building = true;
    for (int i : std::as_const(wanted))
        build(i);
    building = false;
}

bool GenericEntitiesEditor::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Resize:
        if (lateRows)
            lateRows->setGeometry(rect());
        buildShownRows();
        break;
    case QEvent::Show:
        // Rows built while the editor was hidden could not be placed: a hidden widget has no place.
        for (const _Item &item : std::as_const(items)) {
            if (item.slot && item.cbType)
                item.slot->place();
        }
        buildShownRows();
        break;
    case QEvent::Move:
        buildShownRows();
        break;
    case QEvent::Paint:
        // Every change that brings rows into view builds them before it is painted; should one
        // ever come first, its rows are built right after.
        if (!buildQueued) {
            const QRect painted = static_cast<QPaintEvent *>(event)->rect();
            const bool waitingShown =
                std::any_of(items.cbegin(), items.cend(), [&painted](const _Item &item) {
                    return item.slot && !item.cbType && item.slot->geometry().intersects(painted);
                });
            if (waitingShown) {
                buildQueued = true;
                QTimer::singleShot(0, this, &GenericEntitiesEditor::buildShownRows);
            }
        }
        break;
    default:
        break;
    }
    return handled;
}

void GenericEntitiesEditor::add()
{
    append(0, QString(), defaultType, QString(), QString(), true);
}

void GenericEntitiesEditor::remove()
{
    const int i = EntryRowKit::rowOf(items, sender());
    if (i < 0)
        return;
    const _Item &item = items.at(i);
    if (item.slot) {
        gridLayout->removeItem(item.slot);
        delete item.slot;
    }
    EntryRowKit::dropWidgets(gridLayout, {item.cbType, item.txtValue, item.btnRemove});
    items.removeAt(i);
}

QList<pim::Entity> GenericEntitiesEditor::toEntityList(QString typeKey, QString labelKey, QString valueKey)
{
    QList<pim::Entity> out;
    out.reserve(items.size());
    for (const _Item &item : std::as_const(items)) {
        if (item.cbType) {
            pim::Entity e = EntryRowKit::entityOf(item, typeMap, typeKey, labelKey);
            e.values[valueKey] = item.txtValue->text().trimmed();
            out.append(e);
            continue;
        }
        pim::Entity e(item.id, item.srcId);
        int code = 0;
        QString label;
        EntryRowKit::codeAndLabelShown(typeMap, item.type, item.label, code, label);
        e.values[typeKey] = code;
        e.values[labelKey] = label;
        e.values[valueKey] = EntryRowKit::lineEditText(item.value).trimmed();
        out.append(e);
    }
    return out;
}
