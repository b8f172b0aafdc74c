#include "MyTreeView.h"

#include <QContextMenuEvent>

MyTreeView::MyTreeView(QWidget *parent)
    : QTreeView(parent)
{}

MyTreeView::~MyTreeView() = default;

void MyTreeView::contextMenuEvent(QContextMenuEvent *event)
{
    // The receivers open their menu at the cursor, so the event's position is not passed on.
    emit createContextMenu();
    QAbstractScrollArea::contextMenuEvent(event);
}

void MyTreeView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    emit onSelectionChanged(selected, deselected);
    QTreeView::selectionChanged(selected, deselected);
}
