#include "core/bans/ipv6_address.h"

#include "core/bans/ip_address.h"

#include <arpa/inet.h>

namespace qm {

std::optional<Ipv6Address> ipv6FromText(QStringView text) {
    const QByteArray latin = text.trimmed().toLatin1();
    if (!latin.contains(':'))
        return std::nullopt;
    Ipv6Address address{};
    if (inet_pton(AF_INET6, latin.constData(), address.data()) != 1)
        return std::nullopt;
    return address;
}

QString ipv6ToText(const Ipv6Address& address) {
    char text[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, address.data(), text, sizeof text);
    return QString::fromLatin1(text);
}

std::optional<qint32> mappedIpv4(const Ipv6Address& address) {
    for (int i = 0; i < 10; ++i)
        if (address[static_cast<size_t>(i)] != 0)
            return std::nullopt;
    if (address[10] != 0xFF || address[11] != 0xFF)
        return std::nullopt;
    // Octet 1 least significant, as ipToNumber gives it.
    return static_cast<qint32>(quint32(address[12]) | quint32(address[13]) << 8 |
                               quint32(address[14]) << 16 | quint32(address[15]) << 24);
}

IpAddress ipAddressFromText(QStringView text) {
    IpAddress result;
    const std::optional<Ipv6Address> ipv6 = ipv6FromText(text);
    if (!ipv6) {
        result.ipv4 = ipToNumber(text);
        return result;
    }
    if (const std::optional<qint32> ipv4 = mappedIpv4(*ipv6)) {
        result.ipv4 = *ipv4;
        return result;
    }
    result.isIpv6 = true;
    result.ipv6 = *ipv6;
    return result;
}

QString ipAddressText(const IpAddress& address) {
    return address.isIpv6 ? ipv6ToText(address.ipv6) : numberToIp(address.ipv4);
}

Ipv6Address asIpv6(const IpAddress& address) {
    if (address.isIpv6)
        return address.ipv6;
    const auto bits = static_cast<quint32>(address.ipv4);
    return {0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0,
            0xFF,
            0xFF,
            quint8(bits),
            quint8(bits >> 8),
            quint8(bits >> 16),
            quint8(bits >> 24)};
}

} // namespace qm
