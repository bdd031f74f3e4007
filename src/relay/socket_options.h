#pragma once

namespace qm {

// How soon a side whose peer has vanished (power lost, a NAT mapping dropped)
// is given up: an idle connection after idle + interval * probes seconds of
// unanswered keep-alive probes, one with unacknowledged data after
// userTimeoutMs.
struct PeerLossTimings {
    int idleSeconds = 60;
    int intervalSeconds = 10;
    int probes = 6;
    unsigned userTimeoutMs = 120000;
};

// Options every side of a pair gets, client and upstream alike: small
// messages leave at once instead of waiting for the peer's delayed ACK, and a
// vanished peer fails the side within minutes.
void setPairSocketOptions(int fd, const PeerLossTimings& timings = {});

} // namespace qm
