#include "relay_fixture.h"

#include "support/test_main.h"

#include <QTest>

using namespace qm;
using namespace qm::test;

class RelayThreadsTest : public QObject {
    Q_OBJECT
private slots:
    void pairsSpreadOverThreadsEachCountTheirOwnBytes() {
        RelayFixture f;
        f.engine.setThreads(3);
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 6; ++i) {
            clients.push_back(f.acceptedClient());
            QVERIFY(clients.back());
        }
        for (int i = 0; i < 6; ++i)
            clients[size_t(i)]->write(patternBytes(1000 * (i + 1), quint32(i)));
        for (int i = 0; i < 6; ++i)
            QCOMPARE(readExactly(*clients[size_t(i)], 1000 * (i + 1)),
                     patternBytes(1000 * (i + 1), quint32(i)));
        QTRY_VERIFY([&] {
            const std::vector<PairSnapshot> live = f.engine.livePairs();
            return live.size() == 6 && std::all_of(live.begin(), live.end(), [](auto& pair) {
                       return pair.bytesFromClient == quint64(1000 * pair.slot) &&
                              pair.bytesFromServer == quint64(1000 * pair.slot);
                   });
        }());
        for (auto& client : clients)
            client->disconnectFromHost();
        QTRY_COMPARE(f.ended.size(), 6);
        for (const EndedPair& pair : f.ended)
            QCOMPARE(pair.bytesFromClient, quint64(1000 * pair.slot));
        QCOMPARE(f.engine.onlineN(), 0);
        QTRY_COMPARE(f.engine.lingeringSockets(), 0);
    }

    void aDisconnectWhileBytesFlowEndsThePairOnce() {
        RelayFixture f;
        auto busy = f.acceptedClient();
        auto quiet = f.acceptedClient();
        QVERIFY(busy && quiet);
        busy->write(patternBytes(8 << 20, 1));
        QTRY_VERIFY(!f.engine.livePairs().empty() && f.engine.livePairs()[0].bytesFromClient > 0);
        QVERIFY(f.engine.disconnectFirst(QStringLiteral("127.0.0.1")));
        QCOMPARE(f.engine.onlineN(), 1);
        QCOMPARE(f.ended.size(), 1);
        QVERIFY(waitForClose(*busy));
        // The other pair is untouched, and the ending is not reported twice.
        quiet->write("ping");
        QCOMPARE(readExactly(*quiet, 4), QByteArray("ping"));
        QCOMPARE(f.ended.size(), 1);
        QCOMPARE(f.engine.onlineN(), 1);
    }
};

QM_TEST_MAIN_CORE(RelayThreadsTest)
#include "relay_threads_test.moc"
