#pragma once

#include "controls/button/button_face.h"

#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;

namespace qm {

class PropertyBag;

// The push button of every window: a rounded gradient face painted from our
// picture strips, animated when the pointer enters, leaves, presses and
// releases, with a centred caption. Windows use Caption, Enabled
// (QWidget::setEnabled) and Click; Font is QWidget's font, shared with the
// caption. Input and timer reactions live in ButtonFace.
class VistaButton : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int State READ state WRITE setState)
    Q_PROPERTY(QString Caption READ caption WRITE setCaption)
public:
    explicit VistaButton(QWidget* parent = nullptr);
    explicit VistaButton(const QString& caption, QWidget* parent = nullptr);

    // Resting face: 0 normal, 1 highlighted, other values keep the last one.
    int state() const { return m_state; }
    void setState(int state);

    // Until a caption is given the button shows its own object name.
    QString caption() const;
    void setCaption(const QString& caption);

    // Stored properties, each loaded through its own write operation.
    void readProperties(const PropertyBag& bag);
    void writeProperties(PropertyBag& bag) const;

    // An access-key press from the window: 13 (Enter) clicks, others do nothing.
    void accessKeyPress(int keyAscii);

    const ButtonFace& face() const { return m_face; }
    QLabel* captionLabel() const { return m_lbl; }

    // Where the pointer is, in global pixels; the pointer poll asks it.
    void setPointerSource(std::function<QPoint()> source);
    bool moveInActive() const { return m_moveIn.isActive(); }
    bool pointerPollActive() const { return m_pointerPoll.isActive(); }

public slots:
    // QWidget's own, then the look: written while the window is disabled, the
    // flag changes no effective state and Qt reports no change for it.
    void setEnabled(bool enabled);
    void moveInTick();
    void pointerPollTick();

signals:
    void Click();
    void DblClick(); // declared for containers; never raised
    void KeyDown(int KeyCode, int Shift);
    void KeyPress(int KeyAscii);
    void KeyUp(int KeyCode, int Shift);
    void MouseOut();
    void MouseDown(int Button, int Shift, float X, float Y);
    void MouseMove(int Button, int Shift, float X, float Y);
    void MouseUp(int Button, int Shift, float X, float Y);
    void PropertyChanged(const QString& name);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool ownEnabled() const; // the button's own flag, not its window's
    bool inside(QPointF point) const;
    void pointerFound(bool outside);
    QFont containerFont() const;
    void showState();
    void layoutCaption();
    void applyEnabled();
    void followOwnEnabled(); // face and caption follow the button's own flag
    void faceChanged();      // runs the timers as the face says and repaints

    QLabel* m_lbl;
    ButtonFace m_face;
    QTimer m_moveIn;
    QTimer m_pointerPoll;
    std::function<QPoint()> m_pointer;
    int m_state = 0;
    bool m_captionGiven = false;
    bool m_enabled = true;
    bool m_leftPressInside = false;
};

} // namespace qm
