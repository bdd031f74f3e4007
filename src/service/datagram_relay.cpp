#include "service/datagram_relay.h"

#include "relay/bound_port.h"
#include "relay/socket_address.h"

#include <QHostInfo>
#include <QNetworkDatagram>

namespace qm {

namespace {

// Datagrams held while the upstream host name is being looked up.
constexpr size_t MaxWaitingDatagrams = 64;

void adopt(QUdpSocket& socket, BoundPort&& bound) {
    socket.close();
    socket.setSocketDescriptor(bound.release(), QAbstractSocket::BoundState);
}

} // namespace

DatagramRelay::DatagramRelay(const BanTable& bans, QObject* parent)
    : QObject(parent), m_bans(bans), m_clientSide(this), m_upstreamSide(this) {
    connect(&m_clientSide, &QUdpSocket::readyRead, this, &DatagramRelay::forwardUpstream);
    connect(&m_upstreamSide, &QUdpSocket::readyRead, this, &DatagramRelay::forwardToClient);
}

bool DatagramRelay::bind(quint16 clientPort, quint16 upstreamPort, BoundPort* failed) {
    close();
    BoundPort clientSide = BoundPort::open(BoundPort::Kind::Datagram, clientPort);
    BoundPort upstreamSide;
    if (clientSide.ok())
        upstreamSide = BoundPort::open(BoundPort::Kind::Datagram, upstreamPort);
    if (!clientSide.ok() || !upstreamSide.ok()) {
        if (failed)
            *failed = std::move(clientSide.ok() ? upstreamSide : clientSide);
        return false;
    }
    adopt(m_clientSide, std::move(clientSide));
    adopt(m_upstreamSide, std::move(upstreamSide));
    return true;
}

void DatagramRelay::replaceClientSide(BoundPort&& clientSide) {
    forgetDestinations();
    adopt(m_clientSide, std::move(clientSide));
}

quint16 DatagramRelay::clientPort() const {
    return m_clientSide.state() == QAbstractSocket::BoundState ? m_clientSide.localPort() : 0;
}

void DatagramRelay::close() {
    m_clientSide.close();
    m_upstreamSide.close();
    forgetDestinations();
}

void DatagramRelay::forgetDestinations() {
    cancelLookup();
    m_upstream.reset();
    m_upstreamAddress.clear();
    m_lastSentTo.clear();
    m_lastClientAddress.clear();
    m_lastClientPort = 0;
}

bool DatagramRelay::isBound() const {
    return m_clientSide.state() == QAbstractSocket::BoundState &&
           m_upstreamSide.state() == QAbstractSocket::BoundState;
}

void DatagramRelay::setUpstream(const Upstream& server) {
    // Most clients go to the same server: keep its address, or its lookup
    // under way with the datagrams waiting for it.
    const bool known = m_lookupId >= 0 || !m_upstreamAddress.isNull();
    if (m_upstream && *m_upstream == server && known)
        return;
    cancelLookup();
    m_upstream = server;
    m_upstreamAddress.clear();
    QHostAddress literal;
    if (literal.setAddress(server.host)) {
        m_upstreamAddress = literal;
        return;
    }
    // The resolver's first address, of either family.
    m_lookupId = QHostInfo::lookupHost(server.host, this, [this](const QHostInfo& info) {
        upstreamResolved(info.lookupId(), info.addresses().value(0));
    });
}

void DatagramRelay::upstreamResolved(int lookupId, const QHostAddress& address) {
    if (lookupId != m_lookupId)
        return;
    m_lookupId = -1;
    m_upstreamAddress = address;
    std::deque<QByteArray> waiting;
    waiting.swap(m_waitingForLookup);
    for (const QByteArray& datagram : waiting)
        sendUpstream(datagram);
}

void DatagramRelay::cancelLookup() {
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    m_waitingForLookup.clear();
}

void DatagramRelay::forwardUpstream() {
    while (m_clientSide.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_clientSide.receiveDatagram();
        if (!datagram.isValid())
            break;
        const QHostAddress sender = datagram.senderAddress();
        // Looked up at every datagram: a ban counts from the moment it is added.
        if (isBanned(sender)) {
            drop(m_counts.droppedBanned, sender, QStringLiteral("banned"));
            continue;
        }
        m_lastClientAddress = sender;
        m_lastClientPort = static_cast<quint16>(datagram.senderPort());
        if (m_lookupId >= 0) {
            if (m_waitingForLookup.size() < MaxWaitingDatagrams)
                m_waitingForLookup.push_back(datagram.data());
            else
                drop(m_counts.droppedUndeliverable, sender, QStringLiteral("undeliverable"));
            continue;
        }
        sendUpstream(datagram.data());
    }
}

void DatagramRelay::sendUpstream(const QByteArray& datagram) {
    if (!m_upstream || m_upstreamAddress.isNull() || m_upstream->port == 0 ||
        m_upstreamSide.writeDatagram(datagram, m_upstreamAddress, m_upstream->port) < 0)
        return drop(m_counts.droppedUndeliverable, m_lastClientAddress,
                    QStringLiteral("undeliverable"));
    m_lastSentTo = m_upstreamAddress;
    ++m_counts.toServer;
}

bool DatagramRelay::isBanned(const QHostAddress& sender) const {
    const IpAddress ip = ipAddressOf(sender);
    if (ip.isIpv6)
        return m_bans6 && m_bans6->contains(ip.ipv6);
    return m_bans.contains(ip.ipv4);
}

void DatagramRelay::drop(quint64& counter, const QHostAddress& from, const QString& reason) {
    ++counter;
    emit dropped(ipAddressText(ipAddressOf(from)), reason);
}

void DatagramRelay::forwardToClient() {
    while (m_upstreamSide.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_upstreamSide.receiveDatagram();
        if (!datagram.isValid())
            break;
        // The address alone: some servers answer from another socket.
        const QHostAddress sender = datagram.senderAddress();
        if (m_lastSentTo.isNull() ||
            !sender.isEqual(m_lastSentTo, QHostAddress::ConvertV4MappedToIPv4)) {
            drop(m_counts.droppedStranger, sender, QStringLiteral("not from the server"));
            continue;
        }
        if (m_lastClientPort == 0 ||
            m_clientSide.writeDatagram(datagram.data(), m_lastClientAddress, m_lastClientPort) <
                0) {
            drop(m_counts.droppedUndeliverable, sender, QStringLiteral("undeliverable"));
            continue;
        }
        ++m_counts.toClient;
    }
}

} // namespace qm
