#include "relay/own_listener.h"

#include "relay/socket_address.h"

namespace qm {

bool reachesOwnListener(int fd, quint16 listenPort) {
    const std::optional<SocketAddress> local = localAddressOf(fd);
    const std::optional<SocketAddress> peer = peerAddressOf(fd);
    if (listenPort == 0 || !local || !peer || peer->port != listenPort)
        return false;
    return isLoopback(peer->ip) || peer->ip == local->ip;
}

} // namespace qm
