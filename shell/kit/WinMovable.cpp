#include "WinMovable.h"

#include <QMouseEvent>
#include <QWidget>

WinMovable::WinMovable(QWidget *target)
    : QObject(nullptr)
    , m_target(target)
{
    if (target)
        target->installEventFilter(this);
}

bool WinMovable::eventFilter(QObject *watched, QEvent *event)
{
    if (m_target && watched == m_target) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto *me = static_cast<QMouseEvent *>(event);
            m_pressPos = me->position().toPoint();
            m_dragging = me->button() == Qt::LeftButton;
            break;
        }
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            break;
        case QEvent::MouseMove: {
            // (0,0) stands for "no press yet", so a press on the very corner starts no drag.
            if (m_pressPos.isNull() || !m_dragging)
                break;
            const auto *me = static_cast<QMouseEvent *>(event);
            m_target->move(m_target->geometry().topLeft() + (me->position().toPoint() - m_pressPos));
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
