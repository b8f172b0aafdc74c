#pragma once

#include <QLayoutItem>
#include <QRect>

// Keeps a grid row for an entry row whose widgets are not built yet. It is as tall as a built row,
// counts as content (an empty item would lose the grid's spacing) and widens like a line edit, so
// the grid places every other row, and sizes the editor, as it would with the row built.
class RowGap : public QLayoutItem
{
public:
    explicit RowGap(int height);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    Qt::Orientations expandingDirections() const override;
    bool isEmpty() const override;
    void setGeometry(const QRect &rect) override;
    QRect geometry() const override;
    QSizePolicy::ControlTypes controlTypes() const override;

private:
    int m_height;
    QRect m_rect;
};
