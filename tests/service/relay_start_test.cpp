// Applying settings: what refuses a start, what a successful start leaves
// behind (captions, count, config.ini), and what happens without any server.
#include "support/test_main.h"

#include "core/settings/relay_options.h"

#include "support/controller_rig.h"
#include "support/file_helpers.h"
#include "support/ipv6_loopback.h"

using namespace qm;
using namespace qm::test;

namespace {

const QString PortBusy = QStringLiteral("Порт занят, пожалуйста введите другой порт");
const QByteArray KeptConfig = "[main]\r\nClient_Port=1234\r\n";

} // namespace

class RelayStartTest : public QObject {
    Q_OBJECT
private slots:
    void badPortsAreRefusedBeforeAnySocket_data();
    void badPortsAreRefusedBeforeAnySocket();
    void busyPortsAreRefused_data();
    void busyPortsAreRefused();
    void failedSaveIsToldWhileTheRelayListens();
    void successfulStartWritesConfigAndCaptions();
    void noServerStopsWithMessage();
    void aServerThatIsTheRelayItselfIsNeverUsed();
    void relaySectionLimitsEachAddressAndSurvivesTheRewrite();
    void withoutRelaySectionOneAddressHasNoLimit();
    void aServerAtIpv6LoopbackIsProbedAndUsed();
    void reloadChangesOnlyWhatCanTakeEffect();
};

void RelayStartTest::badPortsAreRefusedBeforeAnySocket_data() {
    QTest::addColumn<QString>("clientPort");
    QTest::addColumn<QString>("serverPort");
    QTest::addColumn<QString>("server2Port");
    QTest::addColumn<QString>("message");
    const QString clientRange = QStringLiteral("Порт клиентов должен быть числом от 1 до 65535");
    QTest::newRow("above 65535") << "65536"
                                 << "1"
                                 << "1" << clientRange;
    QTest::newRow("fraction above 65535") << "65535.5"
                                          << "1"
                                          << "1" << clientRange;
    QTest::newRow("letters") << "abc"
                             << "1"
                             << "1" << clientRange;
    QTest::newRow("empty") << ""
                           << "1"
                           << "1" << clientRange;
    QTest::newRow("zero") << "0"
                          << "1"
                          << "1" << clientRange;
    QTest::newRow("negative") << "-5"
                              << "1"
                              << "1" << clientRange;
    QTest::newRow("server 1 letters") << "9730"
                                      << "x1"
                                      << "1" << QStringLiteral("Порт сервера 1 должен быть числом");
    QTest::newRow("server 2 empty") << "9730"
                                    << "1"
                                    << " " << QStringLiteral("Порт сервера 2 должен быть числом");
}

void RelayStartTest::badPortsAreRefusedBeforeAnySocket() {
    QFETCH(QString, clientPort);
    QFETCH(QString, serverPort);
    QFETCH(QString, server2Port);
    QFETCH(QString, message);
    FakeUpstream server;
    ControllerRig rig;
    QVERIFY(writeBytes(rig.configPath(), KeptConfig));
    SettingBoxes boxes = boxesFor(0, server.host(), server.port(), server.host(), server.port());
    boxes.clientPort = clientPort;
    boxes.serverPort = serverPort;
    boxes.server2Port = server2Port;

    QVERIFY(!rig.apply(boxes));
    QCOMPARE(rig.messageTexts(), QStringList{message});
    QCOMPARE(rig.messages.first().icon, MessageIcon::Critical);
    QVERIFY(rig.messages.first().fromUserAction);
    QVERIFY(rig.controller->applyEnabled());
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Применить"));
    QVERIFY(!rig.controller->listening());
    QTest::qWait(100); // a probe would have reached the server by now
    QCOMPARE(server.connectionsAccepted(), 0);
    QCOMPARE(readBytes(rig.configPath()), KeptConfig);
}

void RelayStartTest::busyPortsAreRefused_data() {
    QTest::addColumn<QString>("what");
    QTest::newRow("listener port") << "tcp";
    QTest::newRow("datagram port 44786") << "udp";
}

void RelayStartTest::busyPortsAreRefused() {
    QFETCH(QString, what);
    FakeUpstream server;
    ControllerRig rig;
    const quint16 port = freePort();
    QTcpServer otherListener;
    QUdpSocket otherDatagrams;
    if (what == "tcp")
        QVERIFY(otherListener.listen(QHostAddress::AnyIPv4, port));
    if (what == "udp")
        QVERIFY(otherDatagrams.bind(QHostAddress::AnyIPv4, rig.datagramUpstreamPort));
    QVERIFY(writeBytes(rig.configPath(), KeptConfig));

    const SettingBoxes boxes =
        boxesFor(port, server.host(), server.port(), server.host(), server.port());
    QVERIFY(!rig.apply(boxes));
    QCOMPARE(rig.messageTexts(), QStringList{PortBusy});
    QCOMPARE(rig.messages.first().icon, MessageIcon::Critical);
    QVERIFY(rig.controller->applyEnabled());
    QVERIFY(!rig.controller->listening());
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Применить"));
    QCOMPARE(readBytes(rig.configPath()), KeptConfig);
    // Steps done before the failure stay done: the listener opened before a
    // busy datagram port keeps listening.
    QCOMPARE(rig.controller->listenerOpen(), what != "tcp");

    // The button works again: with the obstacle gone the same press starts.
    otherListener.close();
    otherDatagrams.close();
    QVERIFY(rig.apply(boxes));
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Рестарт"));
}

// A folder that cannot be written costs the saved settings, not the relay.
void RelayStartTest::failedSaveIsToldWhileTheRelayListens() {
    FakeUpstream server;
    ControllerRig rig;
    QVERIFY(QDir(rig.dir.path()).mkdir(QStringLiteral("config.ini"))); // not a file
    const quint16 port = freePort();
    QVERIFY(rig.apply(boxesFor(port, server.host(), server.port(), server.host(), server.port())));
    QVERIFY(rig.controller->listening());
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Рестарт"));
    QCOMPARE(rig.messages.size(), 1);
    const UserMessage& told = rig.messages.first();
    QVERIFY(told.text.contains(rig.configPath()));
    QCOMPARE(told.icon, MessageIcon::Warning);
    QVERIFY(!told.fromUserAction); // never a modal box
    auto client = connectClient(port);
    QVERIFY(roundTrip(*client, "relayed"));
}

// A reload never leaves the relay without a listener: bad settings change
// nothing, the same port keeps its listener, a new one opens before the old closes.
void RelayStartTest::reloadChangesOnlyWhatCanTakeEffect() {
    FakeUpstream server;
    ControllerRig rig;
    const quint16 port = freePort();
    SettingBoxes boxes = boxesFor(port, server.host(), server.port(), server.host(), server.port());
    QVERIFY(rig.apply(boxes));
    auto client = connectClient(port);
    QVERIFY(roundTrip(*client, "before"));

    QSignalSpy refused(rig.controller.get(), &RelayController::reloadRefused);
    SettingBoxes bad = boxes;
    bad.clientPort = QStringLiteral("abc");
    rig.controller->reloadRelay(bad);
    QCOMPARE(refused.size(), 1);
    QVERIFY(roundTrip(*client, "kept"));

    QSignalSpy finished(rig.controller.get(), &RelayController::startFinished);
    rig.controller->reloadRelay(boxes);
    QVERIFY(rig.controller->listenerOpen()); // during the probe too
    QVERIFY(finished.wait(5000));
    QCOMPARE(rig.controller->listeningPort(), port);

    const quint16 newPort = freePort();
    SettingBoxes moved = boxes;
    moved.clientPort = QString::number(newPort);
    rig.controller->reloadRelay(moved);
    QVERIFY(rig.controller->listenerOpen());
    QVERIFY(finished.wait(5000));
    QCOMPARE(rig.controller->listeningPort(), newPort);
    QVERIFY(roundTrip(*connectClient(newPort), "moved"));
    QCOMPARE(refused.size(), 1);
}

void RelayStartTest::successfulStartWritesConfigAndCaptions() {
    FakeUpstream server1(QHostAddress(QStringLiteral("127.0.0.1")));
    FakeUpstream server2(QHostAddress(QStringLiteral("127.0.0.2")));
    ControllerRig rig;
    rig.controller->setAutoStart(5);
    const quint16 port = freePort();
    SettingBoxes boxes =
        boxesFor(port, server1.host(), server1.port(), server2.host(), server2.port());
    boxes.clientPort = QString::number(port) + QStringLiteral(".4"); // binds the rounded port
    QSignalSpy toolTips(rig.controller.get(), &RelayController::trayToolTipChanged);

    QVERIFY(rig.apply(boxes));
    QVERIFY(rig.messages.isEmpty());
    QVERIFY(rig.controller->listening());
    QVERIFY(rig.controller->applyEnabled());
    QVERIFY(rig.controller->onlineLabelEnabled());
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Рестарт"));
    QCOMPARE(rig.controller->onlineCaption(), QStringLiteral("Онлайн – 0"));
    QCOMPARE(rig.controller->trayToolTip(), QStringLiteral("Онлайн – 0"));
    QCOMPARE(toolTips.constLast().at(0).toString(), QStringLiteral("Онлайн – 0"));
    QVERIFY(rig.controller->serverReachable());
    QVERIFY(rig.controller->server2Reachable());
    QCOMPARE(rig.controller->listeningPort(), port);

    const QString expected = QStringLiteral("[main]\nAuto_Start= 5\nClient_Port= %1.4\n"
                                            "Server_IP=127.0.0.1\nServer_Port= %2\n"
                                            "Server2_IP=127.0.0.2\nServer2_Port= %3\n")
                                 .arg(port)
                                 .arg(server1.port())
                                 .arg(server2.port());
    QCOMPARE(QString::fromLatin1(readBytes(rig.configPath())), expected);

    auto client = connectClient(port);
    QVERIFY(roundTrip(*client, "hello"));
}

void RelayStartTest::noServerStopsWithMessage() {
    ControllerRig rig;
    QVERIFY(writeBytes(rig.configPath(), KeptConfig));
    const quint16 deadPort = freePort();
    QSignalSpy server1Colours(rig.controller.get(), &RelayController::server1Probed);
    QSignalSpy server2Colours(rig.controller.get(), &RelayController::server2Probed);
    // 65535 passes the port check; an address that does not resolve and a
    // refused port both count as unreachable.
    const SettingBoxes boxes = boxesFor(65535, QStringLiteral("no-such-host.invalid"), deadPort,
                                        QStringLiteral("127.0.0.2"), deadPort);

    QVERIFY(!rig.apply(boxes));
    QCOMPARE(rig.messageTexts(), QStringList{QStringLiteral("Сервер недоступен")});
    QCOMPARE(rig.messages.first().icon, MessageIcon::Critical);
    QVERIFY(!rig.messages.first().fromUserAction); // never blocks the relay
    QCOMPARE(server1Colours.size(), 1);
    QCOMPARE(server1Colours.first().at(0).toBool(), false);
    QCOMPARE(server2Colours.first().at(0).toBool(), false);
    QCOMPARE(rig.controller->applyCaption(), QStringLiteral("Приминить"));
    QCOMPARE(rig.controller->onlineCaption(), QStringLiteral("Онлаин – 0"));
    QCOMPARE(rig.controller->trayToolTip(), QStringLiteral("Онлаин – 0"));
    QVERIFY(rig.controller->applyEnabled());
    QVERIFY(!rig.controller->listening());
    QVERIFY(!rig.controller->listenerOpen());
    QCOMPARE(readBytes(rig.configPath()), KeptConfig);
}

void RelayStartTest::aServerThatIsTheRelayItselfIsNeverUsed() {
    const QString self1 =
        QStringLiteral("Сервер 1 указывает на этот же компьютер и порт клиентов: "
                       "соединения замкнулись бы на себя, сервер не используется");
    const QString self2 =
        QStringLiteral("Сервер 2 указывает на этот же компьютер и порт клиентов: "
                       "соединения замкнулись бы на себя, сервер не используется");
    FakeUpstream server1(QHostAddress(QStringLiteral("127.0.0.1")));
    ControllerRig rig;
    const quint16 port = freePort();
    rig.controller->setPreferServer1(false);
    QVERIFY(rig.apply(
        boxesFor(port, server1.host(), server1.port(), QStringLiteral("127.0.0.2"), port)));
    auto client = connectClient(port);
    QVERIFY(roundTrip(*client, "hello")); // through server 1 although server 2 is preferred
    QTest::qWait(300);                    // probes go on: told once
    QCOMPARE(rig.messageTexts(), QStringList{self2});
    QVERIFY(!rig.controller->server2Reachable());
    QCOMPARE(rig.controller->onlineN(), 1);

    // Both refused: the start is refused as when no server answers.
    client.reset();
    rig.messages.clear();
    QVERIFY(!rig.apply(
        boxesFor(port, QStringLiteral("0.0.0.0"), port, QStringLiteral("localhost"), port)));
    QCOMPARE(rig.messageTexts(), (QStringList{self1, self2, QStringLiteral("Сервер недоступен")}));
    QVERIFY(!rig.controller->listenerOpen());
}

namespace {

// Clients from one address until count of them are accepted or refused.
struct Outcomes {
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    int accepted = 0;
    QStringList refusals;
};

Outcomes connectMany(RelayController& controller, quint16 port, const QHostAddress& from,
                     int count) {
    Outcomes outcomes;
    QSignalSpy accepted(&controller, &RelayController::clientAccepted);
    QSignalSpy refused(&controller, &RelayController::clientRefused);
    for (int i = 0; i < count; ++i)
        outcomes.clients.push_back(connectClient(port, from));
    QDeadlineTimer deadline(20000);
    while (accepted.size() + refused.size() < count && !deadline.hasExpired())
        QTest::qWait(10);
    outcomes.accepted = int(accepted.size());
    for (const QList<QVariant>& refusal : std::as_const(refused))
        outcomes.refusals << refusal.at(1).toString();
    return outcomes;
}

} // namespace

void RelayStartTest::relaySectionLimitsEachAddressAndSurvivesTheRewrite() {
    FakeUpstream server;
    ControllerRig rig;
    const QByteArray relaySection = "[relay]\nConnections_Per_IP= 5\n"
                                    "Connects_Per_IP_Per_Second=many\n";
    QVERIFY(writeBytes(rig.configPath(), relaySection));
    QStringList ignored;
    rig.controller->storedSettings(&ignored);
    QCOMPARE(ignored, QStringList{QStringLiteral("Connects_Per_IP_Per_Second=many")});
    const quint16 port = freePort();
    QVERIFY(rig.apply(boxesFor(port, server.host(), server.port(), server.host(), server.port())));
    const QByteArray rewritten = readBytes(rig.configPath());
    QVERIFY(rewritten.startsWith(relaySection));
    QVERIFY(rewritten.contains("[main]\nAuto_Start= 0\nClient_Port= "));

    const QHostAddress one(QStringLiteral("127.0.0.5"));
    Outcomes first = connectMany(*rig.controller, port, one, 8);
    QCOMPARE(first.accepted, 5);
    QCOMPARE(first.refusals, QStringList(3, QStringLiteral("too many pairs from this address")));
    QCOMPARE(rig.controller->onlineN(), 5);
    Outcomes other =
        connectMany(*rig.controller, port, QHostAddress(QStringLiteral("127.0.0.6")), 1);
    QCOMPARE(other.accepted, 1);

    first.clients.clear(); // the pairs end
    QTRY_COMPARE_WITH_TIMEOUT(rig.controller->pairsInProgress(), 1, 5000);
    QCOMPARE(connectMany(*rig.controller, port, one, 5).accepted, 5);
}

void RelayStartTest::withoutRelaySectionOneAddressHasNoLimit() {
    FakeUpstream server;
    ControllerRig rig;
    const quint16 port = freePort();
    QVERIFY(rig.apply(boxesFor(port, server.host(), server.port(), server.host(), server.port())));
    const Outcomes outcomes = connectMany(*rig.controller, port, QHostAddress::LocalHost, 200);
    QCOMPARE(outcomes.accepted, 200);
    QVERIFY(outcomes.refusals.isEmpty());
}

void RelayStartTest::aServerAtIpv6LoopbackIsProbedAndUsed() {
    QM_REQUIRE_IPV6();
    FakeUpstream server1(QHostAddress::LocalHostIPv6);
    server1.setEcho(false);
    ControllerRig rig;
    QStringList ignored;
    QVERIFY(writeBytes(rig.configPath(), "[relay]\nProxy_Protocol=3\n"));
    QCOMPARE(readRelayOptions(rig.configPath(), &ignored).proxyProtocol, 0);
    QCOMPARE(ignored, QStringList{QStringLiteral("Proxy_Protocol=3")});
    QVERIFY(writeBytes(rig.configPath(), "[relay]\nProxy_Protocol=1\n"));
    const quint16 port = freePort();
    QVERIFY(rig.apply(boxesFor(port, QStringLiteral("::1"), server1.port(),
                               QStringLiteral("127.0.0.2"), freePort())));
    QVERIFY(rig.controller->serverReachable());
    auto client = connectClient(port);
    QVERIFY(client->waitForConnected(5000));
    client->write("through ::1");
    // The probe's connections carry nothing; the pair's starts with the header.
    QTRY_VERIFY(server1.received().endsWith("through ::1"));
    QVERIFY(server1.received().startsWith("PROXY TCP4 127.0.0.1 127.0.0.1 "));
}

QM_TEST_MAIN_CORE(RelayStartTest)
#include "relay_start_test.moc"
