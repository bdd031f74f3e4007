#pragma once

#include "core/clock.h"

namespace qm::test {

// A wall clock that shows whatever the test sets; it starts at the real time.
class FakeClock final : public Clock {
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime& now) { m_now = now; }
    void advance(qint64 seconds) { m_now = m_now.addSecs(seconds); }

private:
    QDateTime m_now = QDateTime::currentDateTime();
};

} // namespace qm::test
