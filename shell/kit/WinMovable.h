#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>

class QWidget;

// Lets the user drag a frameless window by pressing the left mouse button anywhere on its own
// surface. The filter only watches; it never consumes an event.
class WinMovable : public QObject
{
    Q_OBJECT
public:
    explicit WinMovable(QWidget *target);

    bool eventFilter(QObject *watched, QEvent *event) override;

    QPoint pressPos() const { return m_pressPos; }
    bool isDragging() const { return m_dragging; }

private:
    QPointer<QWidget> m_target;
    QPoint m_pressPos;
    bool m_dragging = false;
};
