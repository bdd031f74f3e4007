#pragma once

#include <QLabel>

namespace qm {

// A label or picture that reports presses, releases and left clicks, for the
// title pictures and the online label of the main window.
class PressableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

signals:
    void pressed();  // any button
    void released(); // any button
    void clicked();  // left button pressed and released over the label

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_leftPressed = false;
};

} // namespace qm
