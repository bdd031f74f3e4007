#include "service/upstream_choice.h"

namespace qm {

std::optional<Upstream> chooseUpstream(const Upstream& server1, bool server1Reachable,
                                       const Upstream& server2, bool server2Reachable,
                                       bool preferServer1) {
    if (server1Reachable && server2Reachable)
        return preferServer1 ? server1 : server2;
    if (server1Reachable)
        return server1;
    if (server2Reachable)
        return server2;
    return std::nullopt;
}

} // namespace qm
