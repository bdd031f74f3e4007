#include "relay/proxy_header.h"

namespace qm {

namespace {

const QByteArray Signature("\r\n\r\n\0\r\nQUIT\n", 12);
constexpr char VersionAndProxyCommand = 0x21;
constexpr char TcpOverIpv4 = 0x11;
constexpr char TcpOverIpv6 = 0x21;

void appendBigEndian16(QByteArray& bytes, quint16 value) {
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xFF));
}

void appendAddress(QByteArray& bytes, const IpAddress& address, bool asIpv6) {
    if (asIpv6) {
        const Ipv6Address full = qm::asIpv6(address);
        bytes.append(reinterpret_cast<const char*>(full.data()), qsizetype(full.size()));
        return;
    }
    const auto number = static_cast<quint32>(address.ipv4); // octet 1 least significant
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(char((number >> shift) & 0xFF));
}

QString textOf(const IpAddress& address, bool asIpv6) {
    return asIpv6 ? ipv6ToText(qm::asIpv6(address)) : ipAddressText(address);
}

} // namespace

QByteArray proxyHeader(int version, const SocketAddress& client, const SocketAddress& relay) {
    const bool v6 = client.ip.isIpv6 || relay.ip.isIpv6;
    if (version == 1)
        return QStringLiteral("PROXY %1 %2 %3 %4 %5\r\n")
            .arg(v6 ? QStringLiteral("TCP6") : QStringLiteral("TCP4"), textOf(client.ip, v6),
                 textOf(relay.ip, v6))
            .arg(client.port)
            .arg(relay.port)
            .toLatin1();

    QByteArray bytes = Signature;
    bytes.append(VersionAndProxyCommand);
    bytes.append(v6 ? TcpOverIpv6 : TcpOverIpv4);
    appendBigEndian16(bytes, v6 ? 36 : 12);
    appendAddress(bytes, client.ip, v6);
    appendAddress(bytes, relay.ip, v6);
    appendBigEndian16(bytes, client.port);
    appendBigEndian16(bytes, relay.port);
    return bytes;
}

} // namespace qm
