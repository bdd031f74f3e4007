#pragma once

#include "core/bans/ban_table.h"
#include "relay/relay_engine.h"
#include "support/fake_clock.h"
#include "support/fake_upstream.h"

#include <QHostAddress>
#include <QStringList>
#include <QTcpSocket>

#include <memory>
#include <optional>

namespace qm::test {

struct EndedPair {
    int slot;
    QString address;
    quint64 bytesFromClient;
    quint64 bytesFromServer;
};

// An engine listening on an OS-chosen port, relaying to a fake upstream on
// 127.0.0.1 (a second one waits on 127.0.0.2), with every signal recorded.
class RelayFixture {
public:
    RelayFixture();

    // The chooser hands these out in turn, then keeps returning the last one.
    void chooseUpstreams(QList<std::optional<Upstream>> upstreams);
    static Upstream upstreamOf(const FakeUpstream& server) {
        return {server.host(), server.port()};
    }

    // A client connected from the given loopback address, to ::1 when it is
    // an IPv6 one, else to 127.0.0.1 (connected at the
    // TCP level; the engine may not have taken it over yet).
    std::unique_ptr<QTcpSocket> connectClient(const QString& from = QStringLiteral("127.0.0.1"));
    // A client the engine has taken over, or null after 5 s.
    std::unique_ptr<QTcpSocket> acceptedClient(const QString& from = QStringLiteral("127.0.0.1"));

    BanTable bans;
    FakeClock clock;
    FakeUpstream server1{QHostAddress(QStringLiteral("127.0.0.1"))};
    FakeUpstream server2{QHostAddress(QStringLiteral("127.0.0.2"))};
    RelayEngine engine{bans, clock};

    QStringList captions;
    QList<int> acceptedSlots;
    QList<Upstream> chosen;
    QStringList refusals;
    QList<EndedPair> ended;
    QList<int> forwardingFailures;

private:
    QList<std::optional<Upstream>> m_upstreams;
};

// Reads until count bytes have arrived (or 10 s passed); returns what came.
QByteArray readExactly(QTcpSocket& socket, qsizetype count);
// True when the peer closed the connection within timeoutMs.
bool waitForClose(QTcpSocket& socket, int timeoutMs = 5000);
// count bytes of a fixed pseudo-random sequence.
QByteArray patternBytes(qsizetype count, quint32 seed);

} // namespace qm::test
