// The relay under its controller on loopback: which server new clients go to,
// the stop when both servers are down, the restart with clients connected,
// and the probe's one-at-a-time and cancel-on-restart rules.
#include "support/test_main.h"

#include "service/burst_gate.h"
#include "support/controller_rig.h"

using namespace qm;
using namespace qm::test;

namespace {

const QHostAddress Loopback1(QStringLiteral("127.0.0.1"));
const QHostAddress Loopback2(QStringLiteral("127.0.0.2"));
const QString NoServer = QStringLiteral("Сервер недоступен");

// Waits until the controller has finished one more probe.
bool nextProbe(RelayController& controller, int timeoutMs = 5000) {
    QSignalSpy probed(&controller, &RelayController::server2Probed);
    return probed.wait(timeoutMs);
}

} // namespace

class RelayMonitorTest : public QObject {
    Q_OBJECT
private slots:
    void clientsGoToTheReachablePreferredServer();
    void bothServersDownStopsListenerButPairsGoOn();
    void restartClosesEveryPairAndEmptiesToolTipDuringProbe();
    void ticksDuringAProbeStartNoOtherProbe();
    void restartCancelsAProbeThatWouldStopTheNewListener();
    void forwardingFailuresRaiseOneMessagePerBurst();
};

void RelayMonitorTest::clientsGoToTheReachablePreferredServer() {
    FakeUpstream server1(Loopback1);
    FakeUpstream server2(Loopback2);
    ControllerRig rig;
    const quint16 port = freePort();
    QVERIFY(
        rig.apply(boxesFor(port, server1.host(), server1.port(), server2.host(), server2.port())));

    auto first = connectClient(port);
    QVERIFY(roundTrip(*first, "to one"));
    QCOMPARE(server1.received(), QByteArray("to one"));

    rig.controller->setPreferServer1(false);
    auto second = connectClient(port);
    QVERIFY(roundTrip(*second, "to two"));
    QCOMPARE(server2.received(), QByteArray("to two"));
    QCOMPARE(rig.controller->onlineCaption(), QStringLiteral("Онлаин – 2"));

    // Server 2 goes down: whatever the preference, new clients go to server 1.
    QSignalSpy colours2(rig.controller.get(), &RelayController::server2Probed);
    server2.stopListening();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.controller->server2Reachable(), 5000);
    QCOMPARE(colours2.constLast().at(0).toBool(), false);
    auto third = connectClient(port);
    QVERIFY(roundTrip(*third, "failover"));
    QCOMPARE(server1.received(), QByteArray("to onefailover"));
    QVERIFY(rig.controller->listening());
    QVERIFY(rig.messages.isEmpty());
}

void RelayMonitorTest::bothServersDownStopsListenerButPairsGoOn() {
    FakeUpstream server1(Loopback1);
    ControllerRig rig;
    const quint16 port = freePort();
    const quint16 deadPort = freePort();
    QVERIFY(
        rig.apply(boxesFor(port, server1.host(), server1.port(), Loopback2.toString(), deadPort)));
    auto client = connectClient(port);
    QVERIFY(roundTrip(*client, "before"));

    QSignalSpy messages(rig.controller.get(), &RelayController::messageRaised);
    server1.stopListening(); // the pair's upstream connection stays open
    QVERIFY(messages.wait(5000));
    QCOMPARE(rig.messageTexts(), QStringList{NoServer});
    QVERIFY(!rig.messages.first().fromUserAction);
    QVERIFY(!rig.controller->listening());
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Приминить"));
    QCOMPARE(rig.controller->onlineCaption(), QStringLiteral("Онлаин – 0"));
    QCOMPARE(rig.controller->trayToolTip(), QStringLiteral("Онлаин – 0"));
    QCOMPARE(rig.controller->onlineN(), 0);

    QVERIFY(roundTrip(*client, "after")); // the pair goes on
    auto refused = connectClient(port);
    QVERIFY(QSignalSpy(refused.get(), &QTcpSocket::errorOccurred).wait(5000));

    // The monitor is off: no further probe and no second message.
    const int connections = server1.connectionsAccepted();
    QVERIFY(!nextProbe(*rig.controller, 400));
    QCOMPARE(server1.connectionsAccepted(), connections);
    QCOMPARE(rig.messages.size(), 1);
}

void RelayMonitorTest::restartClosesEveryPairAndEmptiesToolTipDuringProbe() {
    FakeUpstream server1(Loopback1);
    FakeUpstream server2(Loopback2);
    ControllerRig rig;
    const quint16 port = freePort();
    const SettingBoxes boxes =
        boxesFor(port, server1.host(), server1.port(), server2.host(), server2.port());
    QVERIFY(rig.apply(boxes));
    auto first = connectClient(port);
    auto second = connectClient(port);
    QVERIFY(roundTrip(*first, "1"));
    QVERIFY(roundTrip(*second, "2"));
    QCOMPARE(rig.controller->onlineN(), 2);

    QSignalSpy captions(rig.controller.get(), &RelayController::onlineCaptionChanged);
    QSignalSpy toolTips(rig.controller.get(), &RelayController::trayToolTipChanged);
    QSignalSpy applyCaptions(rig.controller.get(), &RelayController::applyCaptionChanged);
    QSignalSpy pairEnded(rig.controller.get(), &RelayController::pairEnded);
    rig.controller->apply(boxes);
    // During the probe: button disabled, its caption back to apply, the
    // online caption at 0 and the tooltip empty.
    QVERIFY(!rig.controller->applyEnabled());
    QVERIFY(!rig.controller->onlineLabelEnabled());
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Применить"));
    QCOMPARE(rig.controller->onlineCaption(), QStringLiteral("Онлайн – 0"));
    QCOMPARE(rig.controller->trayToolTip(), QString());
    QTRY_VERIFY_WITH_TIMEOUT(first->state() == QAbstractSocket::UnconnectedState, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(second->state() == QAbstractSocket::UnconnectedState, 5000);

    QTRY_VERIFY_WITH_TIMEOUT(rig.controller->listening() && rig.controller->applyEnabled(), 5000);
    QCOMPARE(toolTips.first().at(0).toString(), QString());
    QCOMPARE(toolTips.constLast().at(0).toString(), QStringLiteral("Онлайн – 0"));
    QCOMPARE(captions.constLast().at(0).toString(), QStringLiteral("Онлайн – 0"));
    QCOMPARE(applyCaptions.first().at(0).toString(), QStringLiteral("Применить"));
    QCOMPARE(applyCaptions.constLast().at(0).toString(), QStringLiteral("Рестарт"));
    QCOMPARE(rig.controller->onlineN(), 0);
    QCOMPARE(rig.controller->pairsInProgress(), 0);
    QVERIFY(rig.messages.isEmpty());

    auto third = connectClient(port);
    QVERIFY(roundTrip(*third, "3"));
    QCOMPARE(rig.controller->livePairs().front().slot, 1);
}

void RelayMonitorTest::ticksDuringAProbeStartNoOtherProbe() {
    FakeUpstream server1(Loopback1);
    SilentUpstream silent;
    QVERIFY(silent.isReady());
    ControllerRig rig(/*probeTimeoutMs=*/400, /*probeIntervalMs=*/20);
    const quint16 port = freePort();
    QVERIFY(
        rig.apply(boxesFor(port, server1.host(), server1.port(), silent.host(), silent.port())));
    QVERIFY(!rig.controller->server2Reachable());

    // Each probe takes the silent server's full 400 ms while ticks fall due
    // every 20 ms: probes still finish one after the other.
    QSignalSpy probes(rig.controller.get(), &RelayController::server1Probed);
    const int connectionsBefore = server1.connectionsAccepted();
    QTest::qWait(1300);
    QVERIFY(probes.size() >= 2);
    QVERIFY(probes.size() <= 4);
    QVERIFY(server1.connectionsAccepted() - connectionsBefore <= 4);
    QVERIFY(rig.controller->listening());
}

void RelayMonitorTest::restartCancelsAProbeThatWouldStopTheNewListener() {
    FakeUpstream server1(Loopback1);
    FakeUpstream replacement(Loopback1);
    SilentUpstream silent;
    QVERIFY(silent.isReady());
    ControllerRig rig(/*probeTimeoutMs=*/600, /*probeIntervalMs=*/50);
    const quint16 port = freePort();
    QVERIFY(
        rig.apply(boxesFor(port, server1.host(), server1.port(), silent.host(), silent.port())));

    // Server 1 goes down right after a probe; the next probe will find it
    // refused and then wait on the silent server 2 until its time is up.
    QVERIFY(nextProbe(*rig.controller));
    server1.stopListening();
    QTest::qWait(200); // that probe is now waiting on server 2

    // The restart during that wait names a live server 1. The interrupted
    // probe's "both down" must never stop the listener the restart opens.
    QSignalSpy finished(rig.controller.get(), &RelayController::startFinished);
    rig.controller->apply(
        boxesFor(port, replacement.host(), replacement.port(), silent.host(), silent.port()));
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().at(0).toBool(), true);
    QVERIFY(nextProbe(*rig.controller));
    QVERIFY(nextProbe(*rig.controller));
    QVERIFY(rig.controller->listening());
    QVERIFY(rig.controller->listenerOpen());
    QVERIFY(rig.messages.isEmpty());
}

void RelayMonitorTest::forwardingFailuresRaiseOneMessagePerBurst() {
    // The controller raises "40006" only when its gate admits the failure.
    BurstGate gate(1000);
    int admitted = 0;
    for (int i = 0; i < 20; ++i)
        admitted += gate.admit() ? 1 : 0;
    QCOMPARE(admitted, 1);
    QTest::qWait(1100); // the burst is over
    QVERIFY(gate.admit());
}

QM_TEST_MAIN_CORE(RelayMonitorTest)
#include "relay_monitor_test.moc"
