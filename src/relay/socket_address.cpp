#include "relay/socket_address.h"

#include <QtEndian>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>

namespace qm {

namespace {

IpAddress fromIpv6Bytes(const void* bytes) {
    IpAddress ip;
    std::memcpy(ip.ipv6.data(), bytes, ip.ipv6.size());
    if (const std::optional<qint32> ipv4 = mappedIpv4(ip.ipv6)) {
        ip.ipv4 = *ipv4;
        ip.ipv6 = {};
    } else {
        ip.isIpv6 = true;
    }
    return ip;
}

std::optional<SocketAddress> endOf(int fd, int (*get)(int, sockaddr*, socklen_t*)) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (get(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return std::nullopt;
    if (address.ss_family != AF_INET && address.ss_family != AF_INET6)
        return std::nullopt;
    return socketAddressOf(address);
}

} // namespace

SocketAddress socketAddressOf(const sockaddr_storage& address) {
    SocketAddress end;
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        end.ip = fromIpv6Bytes(&v6.sin6_addr);
        end.port = ntohs(v6.sin6_port);
    } else if (address.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        // The octets in dotted order, octet 1 least significant as ipToNumber has it.
        const auto* octets = reinterpret_cast<const quint8*>(&v4.sin_addr.s_addr);
        end.ip.ipv4 = static_cast<qint32>(quint32(octets[0]) | quint32(octets[1]) << 8 |
                                          quint32(octets[2]) << 16 | quint32(octets[3]) << 24);
        end.port = ntohs(v4.sin_port);
    }
    return end;
}

IpAddress ipAddressOf(const QHostAddress& address) {
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4); // mapped ones too
    if (isIpv4) {
        IpAddress ip;
        ip.ipv4 = static_cast<qint32>(qbswap(ipv4)); // octet 1 least significant
        return ip;
    }
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    return fromIpv6Bytes(bytes.c);
}

std::optional<SocketAddress> localAddressOf(int fd) {
    return endOf(fd, ::getsockname);
}

std::optional<SocketAddress> peerAddressOf(int fd) {
    return endOf(fd, ::getpeername);
}

bool isLoopback(const IpAddress& address) {
    if (!address.isIpv6)
        return (static_cast<quint32>(address.ipv4) & 0xFF) == 127;
    return address.ipv6 == Ipv6Address{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
}

SocketTarget socketTargetOf(const QHostAddress& address, quint16 port) {
    SocketTarget target;
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(target.storage);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(ipv4);
        target.length = sizeof v4;
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(target.storage);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, bytes.c, sizeof v6.sin6_addr);
        v6.sin6_scope_id = address.scopeId().toUInt();
        target.length = sizeof v6;
    }
    return target;
}

std::optional<QHostAddress> numericHost(const QString& host) {
    const QByteArray latin = host.toLatin1();
    in_addr v4{};
    if (inet_pton(AF_INET, latin.constData(), &v4) == 1)
        return QHostAddress(ntohl(v4.s_addr));
    in6_addr v6{};
    if (inet_pton(AF_INET6, latin.constData(), &v6) == 1)
        return QHostAddress(v6.s6_addr);
    return std::nullopt;
}

} // namespace qm
