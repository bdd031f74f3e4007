#pragma once

#include <QObject>
#include <QPoint>

class QWidget;

namespace qm {

// Moves a frameless window while one of its drag surfaces is dragged with the
// left button alone; any other button, or the left one together with another,
// leaves the window where it is.
class WindowDrag : public QObject {
    Q_OBJECT
public:
    explicit WindowDrag(QWidget* window);

    void addSurface(QWidget* surface);

    // The grabbed point stays under the pointer: the window follows globalPos
    // by the offset noted at the last left press.
    void dragTo(Qt::MouseButtons buttons, QPoint globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    // Pointer position at the last left press, relative to the window. Kept
    // against the window rather than the pressed control so a move the window
    // manager has not yet carried out cannot make the window jump.
    int m_pressX = 0;
    int m_pressY = 0;
};

} // namespace qm
