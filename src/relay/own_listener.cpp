#include "relay/own_listener.h"

#include <netinet/in.h>
#include <sys/socket.h>

namespace qm {

bool reachesOwnListener(int fd, quint16 listenPort) {
    sockaddr_in local{};
    sockaddr_in peer{};
    socklen_t localLength = sizeof local;
    socklen_t peerLength = sizeof peer;
    if (listenPort == 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
        getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 ||
        peer.sin_family != AF_INET || ntohs(peer.sin_port) != listenPort)
        return false;
    const bool loopback = (ntohl(peer.sin_addr.s_addr) >> 24) == 127;
    return loopback || peer.sin_addr.s_addr == local.sin_addr.s_addr;
}

} // namespace qm
