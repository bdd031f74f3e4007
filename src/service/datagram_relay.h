#pragma once

#include "core/bans/ban6_table.h"
#include "core/bans/ban_table.h"
#include "core/upstream.h"
#include "service/datagram_counts.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <deque>
#include <optional>

namespace qm {

class BoundPort;

// Two dual-stack datagram sockets that pass every datagram whole from one to the
// other: the client side (Winsock1) sends upstream through the upstream side
// (Winsock2), whose destination is the server chosen for the latest client;
// replies leave the client side towards the sender of its latest datagram.
// A datagram with nowhere to go, or whose send fails, is dropped. So is one
// from a banned client address, which never becomes the reply target, and one
// that reaches the upstream side from any host but the server last sent to.
class DatagramRelay : public QObject {
    Q_OBJECT
public:
    explicit DatagramRelay(const BanTable& bans, QObject* parent = nullptr);
    // The IPv6 bans, looked up at every datagram; none without it.
    void setIpv6Bans(const Ban6Table* bans) { m_bans6 = bans; }

    // Closes both sockets, forgets both destinations and binds again.
    // False (with the port that failed in *failed) when either port cannot be
    // bound; nothing stays bound then.
    bool bind(quint16 clientPort, quint16 upstreamPort, BoundPort* failed = nullptr);
    // A reload to another client port: the client side bound beforehand
    // replaces the old one, the upstream side stays; destinations are forgotten.
    void replaceClientSide(BoundPort&& clientSide);
    quint16 clientPort() const; // 0 when not bound
    void close();
    bool isBound() const;

    // Upstream datagrams go to this server from now on. A host name is looked
    // up first; datagrams that come meanwhile wait (a bounded number).
    void setUpstream(const Upstream& server);

    DatagramCounts counts() const { return m_counts; }

signals:
    // reason: "banned", "not from the server" or "undeliverable".
    void dropped(const QString& address, const QString& reason);

private:
    void forwardUpstream();
    void forwardToClient();
    void sendUpstream(const QByteArray& datagram);
    void upstreamResolved(int lookupId, const QHostAddress& address);
    void cancelLookup();
    void forgetDestinations();
    void drop(quint64& counter, const QHostAddress& from, const QString& reason);
    bool isBanned(const QHostAddress& sender) const;

    const BanTable& m_bans;
    const Ban6Table* m_bans6 = nullptr;
    DatagramCounts m_counts;

    QUdpSocket m_clientSide;
    QUdpSocket m_upstreamSide;
    std::optional<Upstream> m_upstream; // as last set, before any lookup
    QHostAddress m_upstreamAddress;
    QHostAddress m_lastSentTo; // the only host whose datagrams reach clients
    QHostAddress m_lastClientAddress;
    quint16 m_lastClientPort = 0;
    int m_lookupId = -1;
    std::deque<QByteArray> m_waitingForLookup;
};

} // namespace qm
