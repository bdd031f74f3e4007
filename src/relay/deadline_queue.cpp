#include "relay/deadline_queue.h"

namespace qm {

void DeadlineQueue::set(Endpoint& endpoint, SteadyTime due) {
    clear(endpoint);
    endpoint.deadline = m_due.emplace(due, &endpoint);
    endpoint.hasDeadline = true;
}

void DeadlineQueue::clear(Endpoint& endpoint) {
    if (!endpoint.hasDeadline)
        return;
    m_due.erase(endpoint.deadline);
    endpoint.hasDeadline = false;
}

Endpoint* DeadlineQueue::takeDue(SteadyTime now) {
    if (m_due.empty() || m_due.begin()->first > now)
        return nullptr;
    Endpoint* endpoint = m_due.begin()->second;
    clear(*endpoint);
    return endpoint;
}

} // namespace qm
