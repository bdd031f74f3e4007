#pragma once

#include "relay/ending_rule.h"
#include "relay/wake_event.h"

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

namespace qm {

// A pair that an engine thread saw end, for the main thread's bookkeeping.
struct EndingReport {
    int slot = 0;
    quint64 serial = 0;
    Ending how = Ending::ClientClosed;
    std::chrono::steady_clock::time_point at{};
};

// Endings from every engine thread, in the order they were seen; the main
// thread waits for them on the wake event's descriptor.
class EndingReports {
public:
    bool valid() const { return m_wake.valid(); }
    int fd() const { return m_wake.fd(); }
    void push(const EndingReport& report);
    std::vector<EndingReport> take();

private:
    WakeEvent m_wake;
    std::mutex m_mutex;
    std::vector<EndingReport> m_reports;
};

// What the main thread and the engine threads both read: the descriptors
// the engine holds, for its budget, and the timings of endings.
struct EngineShared {
    std::atomic<int> pairSides{0};        // two for each pair in the slot table
    std::atomic<int> lingeringSides{0};   // of ended pairs, half-open ones included
    std::atomic<int> pipes{0};            // two descriptors each
    std::atomic<int> fixedDescriptors{0}; // pollers, wake events, listener, spare
    std::atomic<int> lingerMs{5000};
    std::atomic<int> halfCloseIdleMs{60000};
    EndingReports reports;

    int descriptors() const {
        constexpr auto r = std::memory_order_relaxed;
        return pairSides.load(r) + lingeringSides.load(r) + 2 * pipes.load(r) +
               fixedDescriptors.load(r);
    }
};

} // namespace qm
