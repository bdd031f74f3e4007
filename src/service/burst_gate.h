#pragma once

#include <QElapsedTimer>

namespace qm {

// Lets the first of a burst of equal events through and holds back the rest
// until the events have paused for quietMs, so a burst raises one message box.
class BurstGate {
public:
    explicit BurstGate(int quietMs) : m_quietMs(quietMs) {}

    bool admit() {
        const bool burstOver = !m_lastEvent.isValid() || m_lastEvent.elapsed() >= m_quietMs;
        m_lastEvent.start();
        return burstOver;
    }

private:
    int m_quietMs;
    QElapsedTimer m_lastEvent;
};

} // namespace qm
