#include "relay/socket_options.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace qm {

void setPairSocketOptions(int fd) {
    // The relay forwards each read as it comes; Nagle's algorithm would hold
    // a second small piece back until the first one is acknowledged.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

} // namespace qm
