#pragma once

#include "core/upstream.h"

#include <optional>

namespace qm {

// The server a new client goes to: the preferred one when both answered the
// last probe, the one that answered when only one did, none otherwise.
std::optional<Upstream> chooseUpstream(const Upstream& server1, bool server1Reachable,
                                       const Upstream& server2, bool server2Reachable,
                                       bool preferServer1);

} // namespace qm
