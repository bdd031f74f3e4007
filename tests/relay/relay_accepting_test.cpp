#include "relay_fixture.h"

#include "core/bans/ip_address.h"
#include "support/test_main.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace qm;
using namespace qm::test;

class RelayAcceptingTest : public QObject {
    Q_OBJECT
private slots:
    void newPairTakesTheLowestFreeSlot() {
        RelayFixture f;
        auto c1 = f.acceptedClient();
        auto c2 = f.acceptedClient();
        auto c3 = f.acceptedClient();
        QVERIFY(c1 && c2 && c3);
        QCOMPARE(f.acceptedSlots, (QList<int>{1, 2, 3}));

        c2->close();
        QTRY_COMPARE(f.engine.pairsInProgress(), 2);
        QVERIFY(f.engine.isSlotOccupied(1) && !f.engine.isSlotOccupied(2));
        auto c4 = f.acceptedClient();
        QVERIFY(c4);
        QCOMPARE(f.acceptedSlots.last(), 2);
        auto c5 = f.acceptedClient();
        QCOMPARE(f.acceptedSlots.last(), 4);
    }

    void acceptanceCountsStampsAndRefreshesTheCaption() {
        RelayFixture f;
        const QDateTime stamp(QDate(2026, 12, 7), QTime(14, 17, 46));
        f.clock.set(stamp);
        QSignalSpy accepted(&f.engine, &RelayEngine::clientAccepted);
        auto client = f.acceptedClient(QStringLiteral("127.0.0.5"));
        QVERIFY(client);
        QCOMPARE(f.engine.onlineN(), 1);
        QCOMPARE(f.captions, QStringList{QStringLiteral("Онлаин – 1")});
        QCOMPARE(accepted.first().at(1).toString(), QStringLiteral("127.0.0.5"));
        QCOMPARE(f.chosen, QList<Upstream>{RelayFixture::upstreamOf(f.server1)});

        const auto pairs = f.engine.livePairs();
        QCOMPARE(pairs.size(), 1u);
        QCOMPARE(pairs[0].slot, 1);
        QCOMPARE(pairs[0].clientAddress, QStringLiteral("127.0.0.5"));
        QCOMPARE(pairs[0].acceptedAt, stamp);
        QCOMPARE(pairs[0].bytesFromClient, 0u);
        QCOMPARE(pairs[0].bytesFromServer, 0u);
    }

    void bannedClientIsClosedWithoutTraceButTheSpareIsNeverCompared() {
        RelayFixture f;
        // Two bans and the spare, which holds an address that must still get in.
        f.bans.setElements(
            {ipToNumber(u"127.0.0.6"), ipToNumber(u"127.0.0.8"), ipToNumber(u"127.0.0.7")});
        for (const QString& banned : {QStringLiteral("127.0.0.6"), QStringLiteral("127.0.0.8")}) {
            auto client = f.connectClient(banned);
            QVERIFY(client);
            QVERIFY(waitForClose(*client));
            QCOMPARE(client->bytesAvailable(), 0);
        }
        QCOMPARE(f.refusals, (QStringList{QStringLiteral("banned"), QStringLiteral("banned")}));
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.engine.pairsInProgress(), 0);
        QVERIFY(f.captions.isEmpty());
        QCOMPARE(f.server1.connectionsAccepted(), 0);

        QVERIFY(f.acceptedClient(QStringLiteral("127.0.0.7")));
        QCOMPARE(f.engine.onlineN(), 1);
    }

    void aBanAddedWhileTheUpstreamConnectsRefusesAtAcceptance() {
        RelayFixture f;
        QObject::connect(&f.engine, &RelayEngine::upstreamChosen, &f.engine,
                         [&f] { f.bans.append(ipToNumber(u"127.0.0.6")); });
        auto client = f.connectClient(QStringLiteral("127.0.0.6"));
        QVERIFY(client);
        QVERIFY(waitForClose(*client));
        QCOMPARE(client->bytesAvailable(), 0);
        QCOMPARE(f.refusals, QStringList{QStringLiteral("banned")});
        QVERIFY(f.acceptedSlots.isEmpty());
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.engine.pairsInProgress(), 0);
    }

    void perAddressLimitsRefuseOnlyThatAddress() {
        RelayFixture f;
        f.engine.setAddressLimits(3, 0);
        std::vector<std::unique_ptr<QTcpSocket>> held;
        for (int i = 0; i < 3; ++i) {
            held.push_back(f.acceptedClient(QStringLiteral("127.0.0.5")));
            QVERIFY(held.back());
        }
        auto over = f.connectClient(QStringLiteral("127.0.0.5"));
        QVERIFY(waitForClose(*over));
        QCOMPARE(f.refusals, QStringList{QStringLiteral("too many pairs from this address")});
        QCOMPARE(f.engine.onlineN(), 3);
        held.push_back(f.acceptedClient(QStringLiteral("127.0.0.6")));
        QVERIFY(held.back());
        // An ended pair gives its place back.
        held.front()->close();
        QTRY_COMPARE(f.engine.pairsInProgress(), 3);
        QVERIFY(f.acceptedClient(QStringLiteral("127.0.0.5")));

        // The rate: a burst of the limit passes, the rest of it is refused.
        RelayFixture g;
        g.engine.setAddressLimits(0, 2);
        QElapsedTimer burst;
        burst.start();
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 8; ++i)
            clients.push_back(g.connectClient(QStringLiteral("127.0.0.7")));
        QTRY_COMPARE_WITH_TIMEOUT(g.acceptedSlots.size() + g.refusals.size(), 8, 10000);
        const qsizetype refillsAtMost = 2 * (burst.elapsed() / 1000 + 1);
        QVERIFY(g.acceptedSlots.size() >= 2 && g.acceptedSlots.size() <= 2 + refillsAtMost);
        QVERIFY(g.refusals.contains(QStringLiteral("connecting too often")));
        QVERIFY(g.acceptedClient(QStringLiteral("127.0.0.8")));
    }

    void noReachableServerRefusesAtOnceAndKeepsTheCount() {
        RelayFixture f;
        f.chooseUpstreams({std::nullopt});
        auto client = f.connectClient();
        QVERIFY(client);
        QVERIFY(waitForClose(*client));
        QCOMPARE(f.refusals, QStringList{QStringLiteral("no server reachable")});
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.engine.pairsInProgress(), 0);
        QVERIFY(f.chosen.isEmpty());
        QVERIFY(f.captions.isEmpty());
    }

    void refusedUpstreamEndsAsAnUpstreamEnding() {
        RelayFixture f;
        f.engine.setOnlineN(3);
        f.server1.stopListening();
        auto client = f.connectClient();
        QVERIFY(client);
        QVERIFY(waitForClose(*client));
        QCOMPARE(client->bytesAvailable(), 0);
        // The datagram relay was pointed at it before the attempt failed.
        QCOMPARE(f.chosen, QList<Upstream>{RelayFixture::upstreamOf(f.server1)});
        QCOMPARE(f.captions, QStringList{QStringLiteral("Онлайн – 3")});
        QCOMPARE(f.engine.onlineN(), 3);
        QCOMPARE(f.engine.pairsInProgress(), 0);
        QVERIFY(f.acceptedSlots.isEmpty());
    }

    void silentUpstreamIsGivenUpAfterTheConnectTimeout() {
        RelayFixture f;
        SilentUpstream silent;
        QVERIFY(silent.isReady());
        f.chooseUpstreams({Upstream{silent.host(), silent.port()}});
        f.engine.setConnectTimeoutMs(300);
        QElapsedTimer elapsed;
        elapsed.start();
        auto client = f.connectClient();
        QVERIFY(client);
        // Reserved meanwhile: counted, in a slot, not listed.
        QTRY_COMPARE(f.engine.onlineN(), 1);
        QVERIFY(f.engine.isSlotOccupied(1));
        QVERIFY(f.engine.livePairs().empty());
        client->write("waits unread");

        QVERIFY(waitForClose(*client));
        QVERIFY(elapsed.elapsed() >= 250);
        QCOMPARE(client->bytesAvailable(), 0);
        QCOMPARE(f.captions, QStringList{QStringLiteral("Онлайн – 0")});
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.engine.pairsInProgress(), 0);
        QCOMPARE(f.ended.size(), 1);
    }

    void eachClientIsAcceptedAsSoonAsItsOwnUpstreamStands() {
        RelayFixture f;
        SilentUpstream silent;
        QVERIFY(silent.isReady());
        f.chooseUpstreams(
            {Upstream{silent.host(), silent.port()}, RelayFixture::upstreamOf(f.server2)});
        f.engine.setConnectTimeoutMs(3000);
        auto waiting = f.connectClient();
        QTRY_VERIFY(f.engine.isSlotOccupied(1));
        auto second = f.acceptedClient();
        QVERIFY(second);
        QCOMPARE(f.acceptedSlots, QList<int>{2});
        QVERIFY(f.engine.isSlotOccupied(1));
        QCOMPARE(f.engine.onlineN(), 2);
        QCOMPARE(f.chosen.last(), RelayFixture::upstreamOf(f.server2));
        QTRY_COMPARE(f.server2.connectionsAccepted(), 1);
    }

    void listenerMayBeClosedAndReopenedFromInsideItsOwnSignals() {
        RelayFixture f;
        f.chooseUpstreams({std::nullopt});
        const auto reopen = connect(&f.engine, &RelayEngine::clientRefused, this, [&f] {
            f.engine.closeListener();
            QVERIFY(f.engine.listen(0));
        });
        const quint16 firstPort = f.engine.serverPort();
        auto refused = f.connectClient();
        QVERIFY(refused);
        QVERIFY(waitForClose(*refused));
        QVERIFY(f.engine.isListening());
        QVERIFY(f.engine.serverPort() != firstPort);
        disconnect(reopen);
        auto second = f.connectClient();
        QVERIFY(second);
        QVERIFY(waitForClose(*second));
        QCOMPARE(f.refusals.size(), 2);
    }

    void upstreamGivenByNameIsLookedUpWithoutBlocking() {
        RelayFixture f;
        f.chooseUpstreams({Upstream{QStringLiteral("localhost"), f.server1.port()}});
        auto client = f.acceptedClient();
        QVERIFY(client);
        client->write("ping");
        QCOMPARE(readExactly(*client, 4), QByteArray("ping"));

        f.chooseUpstreams({Upstream{QStringLiteral("no-such-host.invalid"), 1}});
        auto lost = f.connectClient();
        QVERIFY(lost);
        QVERIFY(waitForClose(*lost, 10000));
        QCOMPARE(f.captions.last(), QStringLiteral("Онлайн – 1"));
    }

    void anUpstreamThatIsTheRelayItselfEndsWithoutALoop() {
        RelayFixture f;
        QSignalSpy own(&f.engine, &RelayEngine::ownListenerReached);
        // A name, so only the connection itself can tell.
        f.chooseUpstreams({Upstream{QStringLiteral("localhost"), f.engine.serverPort()}});
        auto client = f.connectClient();
        QVERIFY(client);
        QVERIFY(waitForClose(*client));
        QTRY_COMPARE(own.size(), 1);
        QTest::qWait(200); // a loop would go on by itself
        QCOMPARE(own.size(), 1);
        QCOMPARE(f.ended.size(), 1);
        QCOMPARE(f.refusals, QStringList{QStringLiteral("own upstream connection")});
        QVERIFY(f.acceptedSlots.isEmpty());
        QCOMPARE(f.captions.last(), QStringLiteral("Онлайн – 0"));
    }
};

QM_TEST_MAIN_CORE(RelayAcceptingTest)
#include "relay_accepting_test.moc"
