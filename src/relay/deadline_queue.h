#pragma once

#include "relay/relay_pair.h"

namespace qm {

// Endpoints that must act by a time: an upstream connect, a lingering side,
// a half-open pair. Soonest first.
class DeadlineQueue {
public:
    bool empty() const { return m_due.empty(); }
    SteadyTime first() const { return m_due.begin()->first; }
    void set(Endpoint& endpoint, SteadyTime due);
    void clear(Endpoint& endpoint);
    // An endpoint whose time has come, its deadline cleared; null when none.
    Endpoint* takeDue(SteadyTime now);

private:
    DeadlineMap m_due;
};

} // namespace qm
