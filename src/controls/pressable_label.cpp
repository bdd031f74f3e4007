#include "controls/pressable_label.h"

#include <QMouseEvent>

namespace qm {

void PressableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_leftPressed = true;
    emit pressed();
    event->accept();
}

void PressableLabel::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = event->button() == Qt::LeftButton && m_leftPressed &&
                       rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftPressed = false;
    emit released();
    event->accept();
    if (click)
        emit clicked();
}

} // namespace qm
