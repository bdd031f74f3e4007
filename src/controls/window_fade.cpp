#include "controls/window_fade.h"

namespace qm {

namespace {
constexpr int StepPercent = 2;
constexpr int FadeInLimitPercent = 97;
} // namespace

WindowFade::WindowFade(QObject* parent) : QObject(parent) {
    m_timer.setInterval(1);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WindowFade::fadeStep);
}

int WindowFade::alphaForPercent(int percent) {
    const int scaled = percent * 255;
    int alpha = scaled / 100;
    const int remainder = scaled % 100;
    if (remainder > 50 || (remainder == 50 && alpha % 2 != 0))
        ++alpha;
    return alpha;
}

void WindowFade::startFadeIn() {
    m_percent = 0;
    applyPercent();
    m_timer.start();
}

void WindowFade::requestExit() {
    if (m_closing)
        return;
    m_closing = true;
    m_timer.start();
}

void WindowFade::fadeStep() {
    if (m_closing) {
        if (m_percent > 0) {
            m_percent -= StepPercent;
            applyPercent();
        } else {
            m_timer.stop();
            emit fadeOutFinished();
        }
        return;
    }
    if (m_percent < FadeInLimitPercent) {
        m_percent += StepPercent;
        applyPercent();
    } else {
        applyPercent();
        m_timer.stop();
    }
}

void WindowFade::applyPercent() {
    emit alphaChanged(alphaForPercent(m_percent));
}

} // namespace qm
