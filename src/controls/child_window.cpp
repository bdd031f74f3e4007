#include "controls/child_window.h"

#include <QEvent>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <cmath>

namespace qm {

int twipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

int pixelsToTwips(int pixels) {
    return pixels * 15;
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

namespace {

// Gives the opener back its input once the child closes, however it closes.
class OpenerRestorer final : public QObject {
public:
    OpenerRestorer(QWidget* opener, QWidget* child) : QObject(child), m_opener(opener) {
        child->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && event->isAccepted() && m_opener) {
            m_opener->setEnabled(true);
            m_opener->activateWindow();
            m_opener->setFocus();
            watched->removeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> m_opener;
};

} // namespace

void showChildWindow(QWidget* opener, QWidget* child) {
    opener->setEnabled(false);
    const int offset = twipsToPixels(1000);
    child->move(opener->x() + offset, opener->y() + offset);
    new OpenerRestorer(opener, child);
    child->show();
    child->activateWindow();
}

} // namespace qm
