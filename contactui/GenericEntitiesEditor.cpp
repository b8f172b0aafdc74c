#include "GenericEntitiesEditor.h"

#include "EntryRowKit.h"
#include "RowGap.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

// Holds a grid's layout back while rows are built into it, then lays it out once. A widget shown in
// a shown grid has the whole grid laid out again; a few rows of a grid of thousands, built one
// widget at a time, would lay it out dozens of times over.
class GridPause
{
public:
    explicit GridPause(QGridLayout *grid)
        : m_grid(grid)
    {
        m_grid->setEnabled(false);
    }
    ~GridPause()
    {
        m_grid->setEnabled(true);
        // Placed now rather than on the next turn of the event loop: the rows are in view or about
        // to be, and must never be seen anywhere else.
        if (m_grid->parentWidget()->isVisible())
            m_grid->activate();
    }
    GridPause(const GridPause &) = delete;
    GridPause &operator=(const GridPause &) = delete;

private:
    QGridLayout *m_grid;
};

} // namespace

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
    items[i].gap = new RowGap(rowHeight);
    gridLayout->addItem(items[i].gap, items[i].gridRow, 1);
}

const GenericEntitiesEditor::_Item &GenericEntitiesEditor::row(int i)
{
    if (items.at(i).gap) {
        const GridPause pause(gridLayout);
        build(i);
    }
    return items.at(i);
}

bool GenericEntitiesEditor::build(int i)
{
    _Item &item = items[i];
    if (item.cbType)
        return false;
    item.cbType = EntryRowKit::makeCodeCombo(this, typeMap, 100);
    EntryRowKit::showTypeAndLabel(item.cbType, item.type, item.label);
    item.txtValue = new QLineEdit(this);
    item.txtValue->setPlaceholderText(placeholder);
    item.txtValue->setText(item.value);
    item.btnRemove = EntryRowKit::makeRemoveButton(this);
    connect(item.btnRemove, &QToolButton::pressed, this, &GenericEntitiesEditor::remove);
    // The widgets show what the row holds from now on.
    item.label.clear();
    item.value.clear();

    const bool inPlace = item.gap != nullptr;
    if (inPlace) {
        gridLayout->removeItem(item.gap);
        delete item.gap;
        item.gap = nullptr;
    }
    gridLayout->addWidget(item.cbType, item.gridRow, 0);
    gridLayout->addWidget(item.txtValue, item.gridRow, 1);
    gridLayout->addWidget(item.btnRemove, item.gridRow, 2);
    if (rowHeight == 0) {
        for (int column = 0; column < 3; ++column)
            rowHeight =
                std::max(rowHeight, gridLayout->itemAtPosition(item.gridRow, column)->sizeHint().height());
    }
    if (!inPlace)
        return false;
    // A new widget joins the end of the focus chain; a row built later than rows below it is moved
    // to its place, so that Tab still goes from row to row.
    QWidget *before = focusBefore(i);
    QWidget::setTabOrder(before, item.cbType);
    QWidget::setTabOrder(item.cbType, item.txtValue);
    QWidget::setTabOrder(item.txtValue, item.btnRemove);
    if (isVisible()) {
        // Shown at once: the grid leaves out hidden widgets, so until they show their row would take
        // no room and every row below would move up.
        item.cbType->show();
        item.txtValue->show();
        item.btnRemove->show();
    }
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
        const QLayoutItem *gap = items.at(i).gap;
        if (!gap)
            continue;
        const QRect r = gap->geometry();
        if (r.isValid() && r.bottom() >= top && r.top() <= bottom)
            wanted.append(i);
    }
    if (wanted.isEmpty())
        return;
    building = true;
    {
        const GridPause pause(gridLayout);
        for (int i : std::as_const(wanted))
            build(i);
    }
    building = false;
}

bool GenericEntitiesEditor::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        buildShownRows();
        break;
    case QEvent::Paint:
        // Every change that brings rows into view builds them before it is painted; should one
        // ever come first, its rows are built right after.
        if (!buildQueued) {
            const QRect painted = static_cast<QPaintEvent *>(event)->rect();
            const bool gapShown = std::any_of(items.cbegin(), items.cend(), [&painted](const _Item &item) {
                return item.gap && item.gap->geometry().intersects(painted);
            });
            if (gapShown) {
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
