#include "RowGap.h"

#include <QWidget>

RowGap::RowGap(int height)
    : m_height(height)
{}

QSize RowGap::sizeHint() const
{
    return {0, m_height};
}

QSize RowGap::minimumSize() const
{
    return {0, m_height};
}

QSize RowGap::maximumSize() const
{
    return {QWIDGETSIZE_MAX, m_height};
}

Qt::Orientations RowGap::expandingDirections() const
{
    return Qt::Horizontal;
}

bool RowGap::isEmpty() const
{
    return false;
}

void RowGap::setGeometry(const QRect &rect)
{
    m_rect = rect;
}

QRect RowGap::geometry() const
{
    return m_rect;
}

QSizePolicy::ControlTypes RowGap::controlTypes() const
{
    return QSizePolicy::LineEdit;
}
