#pragma once

#include <chrono>

namespace qm {

// Raises the soft limit on open descriptors to the hard limit, so a busy relay
// (two descriptors per pair) is not refused long before the system would.
// Returns the soft limit in effect afterwards, or -1 when it cannot be read.
long raiseFileDescriptorLimit();

// Whether the process may still open a number of descriptors. The engine
// knows how many it holds itself; the rest of the process is counted when the
// budget is taken and again, at most once a second, whenever little is left.
class DescriptorBudget {
public:
    void take(int ownDescriptors);
    bool allows(int ownDescriptors, int needed);

private:
    long m_limit = -1; // none known
    long m_others = 0;
    std::chrono::steady_clock::time_point m_takenAt{};
};

} // namespace qm
