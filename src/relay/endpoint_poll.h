#pragma once

#include "relay/relay_pair.h"

#include <QtGlobal>

namespace qm {

// Registers (EPOLL_CTL_ADD) or re-registers (EPOLL_CTL_MOD) an endpoint,
// edge-triggered for both directions and the peer's hang-up.
bool watchEndpoint(int epollFd, Endpoint& endpoint, int operation);
// Records what an event says the endpoint can do now.
void noteReadiness(Endpoint& endpoint, quint32 events);
// Leaves the poller first: a child process forked meanwhile may still hold
// the descriptor, and its events would name a freed endpoint.
void closeEndpoint(int epollFd, Endpoint& endpoint);

} // namespace qm
