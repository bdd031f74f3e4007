// The datagram relay with real sockets on loopback: both directions, whole
// datagrams, both families, drops without a destination, from banned clients and from hosts
// other than the server, host names, busy ports, and the destination
// following the server chosen for the latest client.
#include "support/test_main.h"

#include "core/bans/ip_address.h"
#include "relay/bound_port.h"
#include "service/datagram_relay.h"
#include "support/controller_rig.h"
#include "support/ipv6_loopback.h"

#include <QNetworkDatagram>

#include <cerrno>

using namespace qm;
using namespace qm::test;

namespace {

const QHostAddress Loopback1(QStringLiteral("127.0.0.1"));
const QHostAddress Loopback2(QStringLiteral("127.0.0.2"));

// A datagram socket on a loopback address that waits for one datagram.
class Peer {
public:
    explicit Peer(const QHostAddress& address, quint16 port = 0) {
        socket.bind(address, port, QAbstractSocket::DontShareAddress);
    }
    quint16 port() const { return socket.localPort(); }
    void send(const QByteArray& bytes, quint16 port) {
        socket.writeDatagram(bytes, Loopback1, port);
    }
    std::optional<QNetworkDatagram> receive(int timeoutMs = 3000) {
        if (!socket.hasPendingDatagrams() &&
            !QSignalSpy(&socket, &QUdpSocket::readyRead).wait(timeoutMs))
            return std::nullopt;
        return socket.receiveDatagram();
    }

    QUdpSocket socket;
};

// A relay bound to two free ports, and a client on 127.0.0.5.
struct BoundRelay {
    BoundRelay() { bound = relay.bind(clientPort, upstreamPort); }

    BanTable bans;
    DatagramRelay relay{bans};
    const quint16 clientPort = freePort();
    const quint16 upstreamPort = freePort();
    bool bound = false;
    Peer client{QHostAddress(QStringLiteral("127.0.0.5"))};
};

} // namespace

class DatagramRelayTest : public QObject {
    Q_OBJECT
private slots:
    void datagramsPassWholeBothWays();
    void datagramsWithoutDestinationAreDropped();
    void bannedClientsAndStrangersAreDropped();
    void hostNamesAreLookedUp();
    void busyPortBindsNothing();
    void upstreamFollowsTheServerOfTheLatestClient();
    void ipv6ClientsAndServersUseTheSamePorts();
};

void DatagramRelayTest::datagramsPassWholeBothWays() {
    BoundRelay r;
    auto& [bans, relay, clientPort, upstreamPort, bound, client] = r;
    QVERIFY(bound);
    Peer server(Loopback2);
    relay.setUpstream({Loopback2.toString(), server.port()});
    Peer otherClient(QHostAddress(QStringLiteral("127.0.0.6")));

    const QByteArray large(60000, 'x');
    for (const QByteArray& bytes : {QByteArray("ping"), QByteArray(), large}) {
        client.send(bytes, clientPort);
        const auto upstream = server.receive();
        QVERIFY(upstream);
        QCOMPARE(upstream->data(), bytes);
        QCOMPARE(upstream->senderPort(), upstreamPort);
    }

    // Replies go to the sender of the latest datagram on the client side.
    server.socket.writeDatagram("pong", Loopback1, upstreamPort);
    const auto reply = client.receive();
    QVERIFY(reply);
    QCOMPARE(reply->data(), QByteArray("pong"));
    QCOMPARE(reply->senderPort(), clientPort);

    otherClient.send("hi", clientPort);
    QVERIFY(server.receive());
    server.socket.writeDatagram("to other", Loopback1, upstreamPort);
    const auto otherReply = otherClient.receive();
    QVERIFY(otherReply);
    QCOMPARE(otherReply->data(), QByteArray("to other"));
    QVERIFY(!client.receive(100));
}

void DatagramRelayTest::datagramsWithoutDestinationAreDropped() {
    BoundRelay r;
    auto& [bans, relay, clientPort, upstreamPort, bound, client] = r;
    QVERIFY(bound);
    Peer server(Loopback2);

    // No client yet on the client side: a reply has nowhere to go.
    server.socket.writeDatagram("early reply", Loopback1, upstreamPort);
    QVERIFY(!server.receive(100)); // meanwhile the relay has dropped it
    // No server chosen yet: the datagram is dropped.
    client.send("lost", clientPort);
    QVERIFY(!server.receive(100));
    QVERIFY(!client.receive(100));

    relay.setUpstream({Loopback2.toString(), server.port()});
    client.send("kept", clientPort);
    const auto upstream = server.receive();
    QVERIFY(upstream);
    QCOMPARE(upstream->data(), QByteArray("kept"));

    // Binding again forgets both destinations.
    QVERIFY(relay.bind(clientPort, upstreamPort));
    client.send("after rebind", clientPort);
    QVERIFY(!server.receive(100));
}

void DatagramRelayTest::bannedClientsAndStrangersAreDropped() {
    BoundRelay r;
    auto& [bans, relay, clientPort, upstreamPort, bound, client] = r;
    QVERIFY(bound);
    QSignalSpy dropped(&relay, &DatagramRelay::dropped);
    Peer server(Loopback2);
    relay.setUpstream({Loopback2.toString(), server.port()});
    Peer intruder(QHostAddress(QStringLiteral("127.0.0.7")));

    client.send("admitted", clientPort);
    QVERIFY(server.receive());
    // A ban counts from the moment it is added, and the banned sender does
    // not take the replies.
    bans.append(ipToNumber(u"127.0.0.7"));
    intruder.send("banned", clientPort);
    QVERIFY(!server.receive(200));
    server.socket.writeDatagram("reply", Loopback1, upstreamPort);
    const auto reply = client.receive();
    QVERIFY(reply);
    QCOMPARE(reply->data(), QByteArray("reply"));

    // Only the server's address reaches the clients, whatever its port.
    intruder.socket.writeDatagram("injected", Loopback1, upstreamPort);
    Peer serverOtherSocket(Loopback2);
    serverOtherSocket.socket.writeDatagram("other socket", Loopback1, upstreamPort);
    const auto fromOtherSocket = client.receive();
    QVERIFY(fromOtherSocket);
    QCOMPARE(fromOtherSocket->data(), QByteArray("other socket"));
    QVERIFY(!client.receive(200));
    QVERIFY(!intruder.receive(0));

    const DatagramCounts counts = relay.counts();
    QCOMPARE(counts.toServer, quint64(1));
    QCOMPARE(counts.toClient, quint64(2));
    QCOMPARE(counts.droppedBanned, quint64(1));
    QCOMPARE(counts.droppedStranger, quint64(1));
    QCOMPARE(dropped.size(), 2);
    QCOMPARE(dropped.at(0).at(0).toString(), QStringLiteral("127.0.0.7"));
    QCOMPARE(dropped.at(0).at(1).toString(), QStringLiteral("banned"));
    QCOMPARE(dropped.at(1).at(1).toString(), QStringLiteral("not from the server"));
}

void DatagramRelayTest::hostNamesAreLookedUp() {
    BoundRelay r;
    auto& [bans, relay, clientPort, upstreamPort, bound, client] = r;
    QVERIFY(bound);
    Peer server(Loopback1);

    relay.setUpstream({QStringLiteral("localhost"), server.port()});
    client.send("first", clientPort); // may come before the lookup ends
    QTest::qWait(0);
    relay.setUpstream({QStringLiteral("localhost"), server.port()}); // the next client
    client.send("second", clientPort);
    const auto first = server.receive();
    QVERIFY(first);
    QCOMPARE(first->data(), QByteArray("first"));
    const auto second = server.receive();
    QVERIFY(second);
    QCOMPARE(second->data(), QByteArray("second"));
}

void DatagramRelayTest::busyPortBindsNothing() {
    BanTable bans;
    DatagramRelay relay(bans);
    const quint16 clientPort = freePort();
    const quint16 busyPort = freePort();
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress::AnyIPv4, busyPort));
    BoundPort failed;
    QVERIFY(!relay.bind(clientPort, busyPort, &failed));
    QCOMPARE(failed.port(), busyPort); // the one to name in the error
    QCOMPARE(failed.errorNumber(), EADDRINUSE);
    QVERIFY(!relay.isBound());
    QUdpSocket reuse; // the client port was let go again
    QVERIFY(reuse.bind(QHostAddress::AnyIPv4, clientPort, QAbstractSocket::DontShareAddress));
}

void DatagramRelayTest::upstreamFollowsTheServerOfTheLatestClient() {
    FakeUpstream server1(Loopback1);
    FakeUpstream server2(Loopback2);
    Peer datagrams1(Loopback1, server1.port());
    Peer datagrams2(Loopback2, server2.port());
    ControllerRig rig;
    const quint16 port = freePort();
    QVERIFY(
        rig.apply(boxesFor(port, server1.host(), server1.port(), server2.host(), server2.port())));
    Peer client(QHostAddress(QStringLiteral("127.0.0.5")));

    rig.controller->setPreferServer1(false);
    auto first = connectClient(port);
    QVERIFY(roundTrip(*first, "tcp"));
    client.send("to two", port);
    const auto atTwo = datagrams2.receive();
    QVERIFY(atTwo);
    QCOMPARE(atTwo->data(), QByteArray("to two"));
    QCOMPARE(atTwo->senderPort(), rig.datagramUpstreamPort);

    rig.controller->setPreferServer1(true);
    auto second = connectClient(port);
    QVERIFY(roundTrip(*second, "tcp"));
    client.send("to one", port);
    const auto atOne = datagrams1.receive();
    QVERIFY(atOne);
    QCOMPARE(atOne->data(), QByteArray("to one"));

    datagrams1.socket.writeDatagram("back", Loopback1, rig.datagramUpstreamPort);
    const auto reply = client.receive();
    QVERIFY(reply);
    QCOMPARE(reply->data(), QByteArray("back"));
}

void DatagramRelayTest::ipv6ClientsAndServersUseTheSamePorts() {
    QM_REQUIRE_IPV6();
    BanTable bans;
    Ban6Table bans6;
    DatagramRelay relay(bans);
    relay.setIpv6Bans(&bans6);
    QSignalSpy dropped(&relay, &DatagramRelay::dropped);
    const quint16 clientPort = freePort();
    const quint16 upstreamPort = freePort();
    QVERIFY(relay.bind(clientPort, upstreamPort));
    const QHostAddress loopback6 = QHostAddress::LocalHostIPv6;
    Peer server6(loopback6);
    relay.setUpstream({QStringLiteral("::1"), server6.port()});
    Peer client(loopback6);

    client.socket.writeDatagram("six", loopback6, clientPort);
    const auto upstream = server6.receive();
    QVERIFY(upstream);
    QCOMPARE(upstream->data(), QByteArray("six"));
    QCOMPARE(upstream->senderPort(), upstreamPort);
    server6.socket.writeDatagram("back", loopback6, upstreamPort);
    const auto reply = client.receive();
    QVERIFY(reply);
    QCOMPARE(reply->data(), QByteArray("back"));

    // An IPv4 server is sent to from the same fixed port.
    Peer server4(Loopback2);
    relay.setUpstream({Loopback2.toString(), server4.port()});
    client.socket.writeDatagram("four", loopback6, clientPort);
    const auto toIpv4 = server4.receive();
    QVERIFY(toIpv4);
    QCOMPARE(toIpv4->senderPort(), upstreamPort);

    QVERIFY(bans6.append(*ipv6FromText(u"::1")));
    client.socket.writeDatagram("banned", loopback6, clientPort);
    QVERIFY(dropped.wait(3000));
    QCOMPARE(dropped.at(0).at(0).toString(), QStringLiteral("::1"));
    QCOMPARE(dropped.at(0).at(1).toString(), QStringLiteral("banned"));
}

QM_TEST_MAIN_CORE(DatagramRelayTest)
#include "datagram_relay_test.moc"
