#include "relay_fixture.h"

#include "support/test_main.h"

#include <QTest>

using namespace qm;
using namespace qm::test;

class RelayEndingTest : public QObject {
    Q_OBJECT
private slots:
    void captionFollowsTheSideThatEnded() {
        RelayFixture f;
        auto c1 = f.acceptedClient(QStringLiteral("127.0.0.5"));
        auto c2 = f.acceptedClient(QStringLiteral("127.0.0.6"));
        auto c3 = f.acceptedClient(QStringLiteral("127.0.0.7"));
        QVERIFY(c1 && c2 && c3);
        QTRY_COMPARE(f.server1.openConnections().size(), 3);
        QTcpSocket* upstreamOfSlot1 = f.server1.openConnections().first();

        c2->write("bye");
        QTRY_COMPARE(f.server1.received(), QByteArray("bye"));
        QCOMPARE(readExactly(*c2, 3), QByteArray("bye")); // counted only before the close
        c2->close();
        QTRY_COMPARE(f.ended.size(), 1);
        QCOMPARE(f.ended[0].slot, 2);
        QCOMPARE(f.ended[0].address, QStringLiteral("127.0.0.6"));
        QCOMPARE(f.ended[0].bytesFromClient, 3u);
        QCOMPARE(f.ended[0].bytesFromServer, 3u);
        QCOMPARE(f.captions.last(), QStringLiteral("Онлаин – 2"));
        QTRY_COMPARE(f.server1.openConnections().size(), 2); // its upstream closed too

        upstreamOfSlot1->close();
        QVERIFY(waitForClose(*c1));
        QTRY_COMPARE(f.ended.size(), 2); // booked once the relaying thread reports it
        QCOMPARE(f.ended[1].slot, 1);
        QCOMPARE(f.captions.last(), QStringLiteral("Онлайн – 1"));
        QCOMPARE(f.engine.onlineN(), 1);
        QCOMPARE(c3->state(), QAbstractSocket::ConnectedState);
    }

    void bothSidesClosingTogetherEndThePairOnce() {
        RelayFixture f;
        auto client = f.acceptedClient();
        QVERIFY(client);
        QTRY_COMPARE(f.server1.openConnections().size(), 1);
        f.server1.openConnections().first()->close();
        client->close();
        QTRY_COMPARE(f.ended.size(), 1);
        QTest::qWait(100);
        QCOMPARE(f.ended.size(), 1);
        QCOMPARE(f.engine.onlineN(), 0);
        QCOMPARE(f.captions.size(), 2);
    }

    void disconnectEndsTheLowestLivePairOfThatAddressWithoutACaption() {
        RelayFixture f;
        SilentUpstream silent;
        QVERIFY(silent.isReady());
        auto c1 = f.acceptedClient(QStringLiteral("127.0.0.5"));
        auto c2 = f.acceptedClient(QStringLiteral("127.0.0.6"));
        auto c3 = f.acceptedClient(QStringLiteral("127.0.0.5"));
        QVERIFY(c1 && c2 && c3);
        f.chooseUpstreams({Upstream{silent.host(), silent.port()}});
        auto reserved = f.connectClient(QStringLiteral("127.0.0.7"));
        QTRY_COMPARE(f.engine.pairsInProgress(), 4);
        const qsizetype captions = f.captions.size();

        QVERIFY(f.engine.disconnectFirst(QStringLiteral("127.0.0.5")));
        QVERIFY(waitForClose(*c1));
        QVERIFY(!f.engine.isSlotOccupied(1));
        QVERIFY(f.engine.isSlotOccupied(3));
        QCOMPARE(f.engine.onlineN(), 3);
        QCOMPARE(f.captions.size(), captions);
        QTRY_COMPARE(f.server1.openConnections().size(), 2);

        QVERIFY(!f.engine.disconnectFirst(QStringLiteral("127.0.0.9")));
        QVERIFY(!f.engine.disconnectFirst(QStringLiteral("127.0.0.7"))); // not accepted yet
        QCOMPARE(f.engine.onlineN(), 3);
    }

    void restartEndsEveryPairAndLeavesTheCountAlone() {
        RelayFixture f;
        SilentUpstream silent;
        QVERIFY(silent.isReady());
        auto c1 = f.acceptedClient();
        auto c2 = f.acceptedClient();
        f.chooseUpstreams({Upstream{silent.host(), silent.port()}});
        auto reserved = f.connectClient();
        QTRY_COMPARE(f.engine.pairsInProgress(), 3);
        const qsizetype captions = f.captions.size();

        f.engine.closeAllPairs();
        QCOMPARE(f.engine.pairsInProgress(), 0);
        QCOMPARE(f.engine.onlineN(), 3);
        QCOMPARE(f.captions.size(), captions);
        QCOMPARE(f.ended.size(), 3);
        for (QTcpSocket* client : {c1.get(), c2.get(), reserved.get()})
            QVERIFY(waitForClose(*client));
        QCOMPARE(reserved->bytesAvailable(), 0);
    }

    void handlersMayEndPairsFromInsideTheEngineSignals() {
        RelayFixture f;
        // Every accepted client is disconnected at once by a handler, and the
        // first ending restarts everything from inside another handler.
        connect(&f.engine, &RelayEngine::clientAccepted, this,
                [&f](int, const QString& address) { f.engine.disconnectFirst(address); });
        connect(&f.engine, &RelayEngine::pairEnded, this, [&f] { f.engine.closeAllPairs(); });
        auto c1 = f.acceptedClient();
        QVERIFY(c1);
        QVERIFY(waitForClose(*c1));
        QCOMPARE(f.ended.size(), 1);
        QCOMPARE(f.engine.pairsInProgress(), 0);
        QCOMPARE(f.engine.onlineN(), 0);

        // Ended from the caption refresh of its own acceptance: never announced.
        connect(&f.engine, &RelayEngine::onlineDisplayRefresh, this,
                [&f] { f.engine.closeAllPairs(); });
        auto c2 = f.connectClient();
        QVERIFY(c2);
        QVERIFY(waitForClose(*c2));
        QCOMPARE(f.ended.size(), 2);
        QCOMPARE(f.acceptedSlots.size(), 1);
    }
};

QM_TEST_MAIN_CORE(RelayEndingTest)
#include "relay_ending_test.moc"
