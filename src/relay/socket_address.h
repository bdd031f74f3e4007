#pragma once

#include "core/bans/ipv6_address.h"

#include <QHostAddress>
#include <QString>

#include <optional>
#include <sys/socket.h>
#include <utility>

namespace qm {

// One end of a connection. An IPv4 client on a dual-stack socket arrives as
// ::ffff:a.b.c.d and is held as the IPv4 address, so bans, limits and texts
// treat it as the IPv4 client it is.
struct SocketAddress {
    IpAddress ip;
    quint16 port = 0;
};
SocketAddress socketAddressOf(const sockaddr_storage& address);
IpAddress ipAddressOf(const QHostAddress& address);
// The local or the remote end of a socket; nothing when it has none.
std::optional<SocketAddress> localAddressOf(int fd);
std::optional<SocketAddress> peerAddressOf(int fd);
bool isLoopback(const IpAddress& address);

// An end as a map key, both families in one.
using EndpointKey = std::pair<Ipv6Address, quint16>;
inline EndpointKey endpointKey(const SocketAddress& end) {
    return {asIpv6(end.ip), end.port};
}

// Where connect() goes: length 0 for an address of neither family.
struct SocketTarget {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
};
SocketTarget socketTargetOf(const QHostAddress& address, quint16 port);
// A host given as an IPv4 or IPv6 literal (strictly: no short forms of IPv4).
std::optional<QHostAddress> numericHost(const QString& host);

} // namespace qm
