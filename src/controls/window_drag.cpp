#include "controls/window_drag.h"

#include <QMouseEvent>
#include <QWidget>

namespace qm {

WindowDrag::WindowDrag(QWidget* window) : QObject(window), m_window(window) {}

void WindowDrag::addSurface(QWidget* surface) {
    surface->installEventFilter(this);
}

void WindowDrag::dragTo(Qt::MouseButtons buttons, QPoint globalPos) {
    if (buttons != Qt::LeftButton)
        return;
    m_window->move(globalPos - QPoint(m_pressX, m_pressY));
}

bool WindowDrag::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && mouse->buttons() == Qt::LeftButton) {
            const QPoint grab = mouse->globalPosition().toPoint() - m_window->pos();
            m_pressX = grab.x();
            m_pressY = grab.y();
        }
        return true;
    }
    if (event->type() == QEvent::MouseMove) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        dragTo(mouse->buttons(), mouse->globalPosition().toPoint());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace qm
