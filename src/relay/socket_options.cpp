#include "relay/socket_options.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace qm {

void setPairSocketOptions(int fd, const PeerLossTimings& timings) {
    // The relay forwards each read as it comes; Nagle's algorithm would hold
    // a second small piece back until the first one is acknowledged.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Without these an idle pair whose peer is gone would hold its slot for ever.
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &timings.idleSeconds, sizeof timings.idleSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &timings.intervalSeconds,
               sizeof timings.intervalSeconds);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &timings.probes, sizeof timings.probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timings.userTimeoutMs,
               sizeof timings.userTimeoutMs);
}

} // namespace qm
