#include "relay/engine_shared.h"

namespace qm {

void EndingReports::push(const EndingReport& report) {
    bool wasEmpty = false;
    {
        const std::lock_guard lock(m_mutex);
        wasEmpty = m_reports.empty();
        m_reports.push_back(report);
    }
    if (wasEmpty)
        m_wake.signal();
}

std::vector<EndingReport> EndingReports::take() {
    m_wake.drain();
    std::vector<EndingReport> taken;
    const std::lock_guard lock(m_mutex);
    taken.swap(m_reports);
    return taken;
}

} // namespace qm
