#pragma once

#include <QObject>
#include <QTimer>

namespace qm {

// The main window's fade in and out, in 2 % steps on a 1 ms timer. The fade-in
// stops at 98 % (alpha 250); an exit request fades out from wherever the fade
// stood and then reports that the program may end.
class WindowFade : public QObject {
    Q_OBJECT
public:
    explicit WindowFade(QObject* parent = nullptr);

    // p x 255 / 100, rounded half to even (50 % -> 128).
    static int alphaForPercent(int percent);

    int opacityPercent() const { return m_percent; }
    bool isClosing() const { return m_closing; }
    bool isRunning() const { return m_timer.isActive(); }

    // Starts fully transparent and fades in.
    void startFadeIn();
    // Sets Closing and fades out; a second request changes nothing.
    void requestExit();
    // One tick of the fade timer.
    void fadeStep();

signals:
    void alphaChanged(int alpha);
    void fadeOutFinished();

private:
    void applyPercent();

    QTimer m_timer;
    int m_percent = 0;
    bool m_closing = false;
};

} // namespace qm
