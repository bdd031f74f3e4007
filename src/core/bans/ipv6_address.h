#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>

namespace qm {

// The 16 bytes of an IPv6 address in network order; compared whole.
using Ipv6Address = std::array<quint8, 16>;

// Text with a colon, blanks around it allowed, read as IPv6; anything else
// (an IPv4 text included) gives nothing.
std::optional<Ipv6Address> ipv6FromText(QStringView text);
// The canonical text (lower case, longest run of zeros as ::).
QString ipv6ToText(const Ipv6Address& address);
// An IPv4-mapped address (::ffff:a.b.c.d) as ipToNumber's number of a.b.c.d.
std::optional<qint32> mappedIpv4(const Ipv6Address& address);

// An address of either family: an IPv4 one as ipToNumber's number, else the
// IPv6 bytes. A mapped IPv4 address is always held as the IPv4 one.
struct IpAddress {
    bool isIpv6 = false;
    qint32 ipv4 = 0;
    Ipv6Address ipv6{};
    bool operator==(const IpAddress&) const = default;
};
// IPv4 text by ipToNumber's rules (0 when it is none), or IPv6 text.
IpAddress ipAddressFromText(QStringView text);
// Dotted IPv4 or canonical IPv6 text, as the online list and the log show it.
QString ipAddressText(const IpAddress& address);
// Both families in one key: an IPv4 address as its mapped IPv6 one.
Ipv6Address asIpv6(const IpAddress& address);

} // namespace qm
