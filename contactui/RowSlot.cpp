#include "RowSlot.h"

#include <QGridLayout>
#include <QWidget>

RowSlot::RowSlot(const QGridLayout *grid, int gridRow, int height)
    : m_grid(grid)
    , m_gridRow(gridRow)
    , m_height(height)
{}

void RowSlot::setWidgets(QList<QWidget *> widgets)
{
    m_widgets = std::move(widgets);
    place();
}

QSize RowSlot::sizeHint() const
{
    return {0, m_height};
}

QSize RowSlot::minimumSize() const
{
    return {0, m_height};
}

QSize RowSlot::maximumSize() const
{
    return {QWIDGETSIZE_MAX, m_height};
}

Qt::Orientations RowSlot::expandingDirections() const
{
    return Qt::Horizontal;
}

bool RowSlot::isEmpty() const
{
    return false;
}

void RowSlot::setGeometry(const QRect &rect)
{
    m_rect = rect;
    place();
}

QRect RowSlot::geometry() const
{
    return m_rect;
}

QSizePolicy::ControlTypes RowSlot::controlTypes() const
{
    return QSizePolicy::LineEdit;
}

void RowSlot::place() const
{
    if (!m_rect.isValid())
        return;
    for (int column = 0; column < m_widgets.size(); ++column) {
        // The grid has set its columns by the time it places an item, so the cells are current.
        QRect cell = m_grid->cellRect(m_gridRow, column);
        if (!cell.isValid())
            continue;
        cell.setTop(m_rect.top());
        cell.setHeight(m_rect.height());
        // What the grid does with a widget in a cell, alignment and size limits included.
        QWidgetItem(m_widgets.at(column)).setGeometry(cell);
    }
}
