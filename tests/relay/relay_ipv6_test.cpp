// Clients and servers of both families on one dual-stack listener.
#include "relay_fixture.h"

#include "core/bans/ban6_table.h"
#include "support/ipv6_loopback.h"
#include "support/test_main.h"

#include <QSignalSpy>

using namespace qm;
using namespace qm::test;

class RelayIpv6Test : public QObject {
    Q_OBJECT
private slots:
    void ipv6ClientIsRelayedAndIpv4ClientShownDotted() {
        QM_REQUIRE_IPV6();
        RelayFixture f;
        QSignalSpy accepted(&f.engine, &RelayEngine::clientAccepted);
        auto v6 = f.acceptedClient(QStringLiteral("::1"));
        auto v4 = f.acceptedClient(QStringLiteral("127.0.0.5"));
        QVERIFY(v6 && v4);
        QCOMPARE(accepted.at(0).at(1).toString(), QStringLiteral("::1"));
        QCOMPARE(accepted.at(1).at(1).toString(), QStringLiteral("127.0.0.5"));
        const auto pairs = f.engine.livePairs();
        QCOMPARE(pairs.at(1).clientAddress, QStringLiteral("127.0.0.5"));
        v6->write("over six");
        QCOMPARE(readExactly(*v6, 8), QByteArray("over six"));
        QVERIFY(f.engine.disconnectFirst(QStringLiteral("::1")));
        QVERIFY(waitForClose(*v6));
    }

    void serverAtIpv6LoopbackIsUsed() {
        QM_REQUIRE_IPV6();
        RelayFixture f;
        FakeUpstream server(QHostAddress::LocalHostIPv6);
        f.chooseUpstreams({Upstream{QStringLiteral("::1"), server.port()}});
        auto client = f.acceptedClient();
        QVERIFY(client);
        client->write("to ::1");
        QCOMPARE(readExactly(*client, 6), QByteArray("to ::1"));
        QCOMPARE(server.connectionsAccepted(), 1);
    }

    void bannedIpv6ClientIsRefusedWhileIpv4IsServed() {
        QM_REQUIRE_IPV6();
        RelayFixture f;
        Ban6Table bans6;
        QVERIFY(bans6.append(*ipv6FromText(u"::1")));
        f.engine.setIpv6Bans(&bans6);
        auto banned = f.connectClient(QStringLiteral("::1"));
        QVERIFY(banned);
        QVERIFY(waitForClose(*banned));
        QCOMPARE(f.refusals, QStringList{QStringLiteral("banned")});
        QCOMPARE(f.server1.connectionsAccepted(), 0);
        QVERIFY(f.acceptedClient(QStringLiteral("127.0.0.1")));
    }

    void anIpv6UpstreamThatIsTheRelayItselfEndsWithoutALoop() {
        QM_REQUIRE_IPV6();
        RelayFixture f;
        QSignalSpy own(&f.engine, &RelayEngine::ownListenerReached);
        f.chooseUpstreams({Upstream{QStringLiteral("::1"), f.engine.serverPort()}});
        auto client = f.connectClient();
        QVERIFY(client);
        QVERIFY(waitForClose(*client));
        QTRY_COMPARE(own.size(), 1);
        QCOMPARE(f.refusals, QStringList{QStringLiteral("own upstream connection")});
    }
};

QM_TEST_MAIN_CORE(RelayIpv6Test)
#include "relay_ipv6_test.moc"
