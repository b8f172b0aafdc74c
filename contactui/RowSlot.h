#pragma once

#include <QLayoutItem>
#include <QList>
#include <QRect>

class QGridLayout;
class QWidget;

// Holds one grid row for an entry row built after the grid was laid out. It is as tall as a built
// row, counts as content (an empty item would lose the grid's spacing) and widens like a line edit,
// so the grid places every other row, and sizes the editor, as it would with the row's widgets in
// it. Once the row is built, the slot places its widgets, one a column, as the grid places a widget
// in its cell; they stay out of the grid, so building a row never has the grid laid out again.
class RowSlot : public QLayoutItem
{
public:
    RowSlot(const QGridLayout *grid, int gridRow, int height);

    // The row's widgets, one for each column from the first; placed now and after every layout.
    void setWidgets(QList<QWidget *> widgets);
    // Places the widgets in the cells the grid last gave the row. Hidden widgets are left where
    // they are, as the grid leaves them.
    void place() const;

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    Qt::Orientations expandingDirections() const override;
    bool isEmpty() const override;
    void setGeometry(const QRect &rect) override;
    QRect geometry() const override;
    QSizePolicy::ControlTypes controlTypes() const override;

private:
    const QGridLayout *m_grid;
    int m_gridRow;
    int m_height;
    QRect m_rect;
    QList<QWidget *> m_widgets;
};
