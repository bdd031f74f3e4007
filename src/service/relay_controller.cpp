#include "service/relay_controller.h"

#include "core/settings/relay_options.h"
#include "relay/bound_port.h"
#include "relay/relay_engine.h"
#include "service/burst_gate.h"
#include "service/datagram_relay.h"
#include "service/online_caption.h"
#include "service/own_address.h"
#include "service/port_rules.h"
#include "service/upstream_choice.h"
#include "service/upstream_monitor.h"

#include <QTimer>

namespace qm {

namespace {

const QString CaptionApply = QStringLiteral("Применить");
const QString CaptionRestart = QStringLiteral("Рестарт");
const QString CaptionApplyAfterStop = QStringLiteral("Приминить");

struct Message {
    QString text;
    QString event;
};

const Message ClientPortRange{QStringLiteral("Порт клиентов должен быть числом от 1 до 65535"),
                              QStringLiteral("client port is not a number from 1 to 65535")};
const Message Server1PortNumber{QStringLiteral("Порт сервера 1 должен быть числом"),
                                QStringLiteral("server 1 port is not a number")};
const Message Server2PortNumber{QStringLiteral("Порт сервера 2 должен быть числом"),
                                QStringLiteral("server 2 port is not a number")};
const QString TextPortBusy = QStringLiteral("Порт занят, пожалуйста введите другой порт");
const Message NoServer{QStringLiteral("Сервер недоступен"), QStringLiteral("no server answers")};
const Message ForwardingFailed{QStringLiteral("40006"),
                               QStringLiteral("a client's data could not be forwarded")};
const QString TextSaveFailed = QStringLiteral("Не удалось сохранить настройки.\n%1");
const Message ServerIsSelf[2] = {
    {QStringLiteral("Сервер 1 указывает на этот же компьютер и порт клиентов: соединения "
                    "замкнулись бы на себя, сервер не используется"),
     QStringLiteral("server 1 is this relay itself (own address, client port); not used")},
    {QStringLiteral("Сервер 2 указывает на этот же компьютер и порт клиентов: соединения "
                    "замкнулись бы на себя, сервер не используется"),
     QStringLiteral("server 2 is this relay itself (own address, client port); not used")},
};

// The window keeps its one text for every port failure; the event names the
// port and the cause.
Message portRefusal(const char* side, const BoundPort& failed) {
    return {TextPortBusy, QStringLiteral("%1 port %2 %3")
                              .arg(QLatin1String(side), QString::number(failed.port()),
                                   portRefusalText(failed.errorNumber()))};
}

// A burst of forwarding failures closer together than this raises one box.
constexpr int ForwardingFailureQuietMs = 1000;

} // namespace

struct RelayController::Impl {
    Impl(RelayController* owner, const BanTable& bans, const Clock& clock, Options opts)
        : q(owner), options(std::move(opts)), engine(bans, clock), monitor(options.probeTimeoutMs),
          datagrams(bans), failureGate(ForwardingFailureQuietMs) {
        probeTimer.setInterval(options.probeIntervalMs);
    }

    RelayController* q;
    Options options;
    RelayEngine engine;
    UpstreamMonitor monitor;
    DatagramRelay datagrams;
    QTimer probeTimer;
    BurstGate failureGate;

    AppliedSettings applied;
    Upstream server1;
    Upstream server2;
    bool serverIsSelf[2] = {false, false}; // refused until the next start
    bool listening = false;
    bool preferServer1 = true;
    qint16 autoStart = 0;
    quint16 listeningPort = 0;

    QString onlineCaption = qm::onlineCaption(OnlinePrefix::ServerSide, 0);
    QString trayToolTip;
    QString applyCaption = CaptionApply;
    bool applyEnabled = true;
    bool onlineLabelEnabled = false;

    bool startAwaitsProbe = false;
    bool waitingForServer = false;
    bool nextStartByUser = false; // set by apply() for the start it runs
    bool startByUser = false;
    bool portForbidden = false; // the last refusal met a port this process may not use

    // A reload keeps the ports it does not change; a new port it has bound
    // already waits here until the probe lets the relay listen.
    bool keepPorts = false;
    BoundPort preparedListener;
    BoundPort preparedDatagrams;
    std::optional<RelayOptions> freshRelayOptions; // read with the boxes, for the next start

    void setOnlineDisplay(const QString& caption, const QString& toolTip) {
        onlineCaption = caption;
        emit q->onlineCaptionChanged(caption);
        trayToolTip = toolTip;
        emit q->trayToolTipChanged(toolTip);
    }
    void showCount(OnlinePrefix prefix) {
        const QString caption = qm::onlineCaption(prefix, engine.onlineN());
        setOnlineDisplay(caption, caption);
    }
    void setApplyCaption(const QString& caption) {
        applyCaption = caption;
        emit q->applyCaptionChanged(caption);
    }
    void setApplyEnabled(bool enabled) {
        if (applyEnabled == enabled)
            return;
        applyEnabled = enabled;
        emit q->applyEnabledChanged(enabled);
    }
    void setOnlineLabelEnabled(bool enabled) {
        if (onlineLabelEnabled == enabled)
            return;
        onlineLabelEnabled = enabled;
        emit q->onlineLabelEnabledChanged(enabled);
    }
    void setListening(bool value) {
        if (listening == value)
            return;
        listening = value;
        emit q->listeningChanged(value);
    }
    void raise(const Message& message, MessageIcon icon, bool fromUserAction) {
        emit q->messageRaised(UserMessage{message.text, icon, fromUserAction, message.event});
    }

    std::optional<Upstream> chooseForNewClient() const {
        return chooseUpstream(server1, monitor.reachable(1), server2, monitor.reachable(2),
                              preferServer1);
    }

    // A server that is the relay itself is probed as no server at all.
    Upstream probeTarget(int server) const {
        const Upstream& target = server == 1 ? server1 : server2;
        return serverIsSelf[server - 1] ? Upstream{target.host, 0} : target;
    }
    void probe() { monitor.probeUpstreams(probeTarget(1), probeTarget(2)); }
    void refuseSelf(int server);
    void refuseSelf(const Upstream& upstream);

    void start(const SettingBoxes& boxes);
    std::optional<Message> checkPorts(const SettingBoxes& boxes) const;
    void reload(const SettingBoxes& boxes);
    void refuseReload();
    void refusePort(const char* side, const BoundPort& failed);
    void dropPreparedPorts();
    void refuseStart(const Message& message);
    void finishStart(bool nowListening);
    void probeFinished(bool server1Ok, bool server2Ok);
    void stopForNoServer();
    void openListener();
    void tick();
    void restart();
};

void RelayController::Impl::start(const SettingBoxes& boxes) {
    startByUser = nextStartByUser;
    nextStartByUser = false;
    setApplyEnabled(false);

    if (const std::optional<Message> refusal = checkPorts(boxes))
        return refuseStart(*refusal);
    const std::optional<float> clientPort = portBoxNumber(boxes.clientPort);
    const std::optional<float> serverPort = portBoxNumber(boxes.serverPort);
    const std::optional<float> server2Port = portBoxNumber(boxes.server2Port);

    applied = AppliedSettings{autoStart,   *clientPort,       boxes.serverHost,
                              *serverPort, boxes.server2Host, *server2Port};
    server1 = Upstream{applied.serverHost, socketPort(applied.serverPort)};
    server2 = Upstream{applied.server2Host, socketPort(applied.server2Port)};
    engine.setOnlineN(0);
    // A huge config.ini is read once for a start, not once per section.
    const RelayOptions relayOptions = freshRelayOptions
                                          ? *std::exchange(freshRelayOptions, std::nullopt)
                                          : readRelayOptions(options.configPath);
    engine.setAddressLimits(relayOptions.connectionsPerIp, relayOptions.connectsPerIpPerSecond);
    engine.setProxyProtocol(relayOptions.proxyProtocol);
    engine.setThreads(relayOptions.threads);

    serverIsSelf[0] = serverIsSelf[1] = false;
    const quint16 ownPort = socketPort(applied.clientPort);
    if (server1.port == ownPort && namesThisMachine(server1.host))
        refuseSelf(1);
    if (server2.port == ownPort && namesThisMachine(server2.host))
        refuseSelf(2);
    startAwaitsProbe = true;
    probe();
}

std::optional<Message> RelayController::Impl::checkPorts(const SettingBoxes& boxes) const {
    const std::optional<float> clientPort = portBoxNumber(boxes.clientPort);
    if (!clientPort || *clientPort > 65535 || socketPort(*clientPort) == 0)
        return ClientPortRange;
    if (!portBoxNumber(boxes.serverPort))
        return Server1PortNumber;
    if (!portBoxNumber(boxes.server2Port))
        return Server2PortNumber;
    return std::nullopt;
}

// New settings that cannot take effect change nothing: the ports are checked
// and a new client port is bound before anything of the running relay ends.
// A port that stays keeps its listener and datagram sockets.
void RelayController::Impl::reload(const SettingBoxes& boxes) {
    dropPreparedPorts();
    if (const std::optional<Message> refusal = checkPorts(boxes)) {
        raise(*refusal, MessageIcon::Critical, false);
        return refuseReload();
    }
    const quint16 port = socketPort(*portBoxNumber(boxes.clientPort));
    if (engine.serverPort() != port) {
        BoundPort listener = BoundPort::open(BoundPort::Kind::Listener, port);
        if (!listener.ok()) {
            refusePort("client", listener);
            return refuseReload();
        }
        // While no server answers nothing listens: the port is only tried.
        if (engine.isListening())
            preparedListener = std::move(listener);
    }
    if (datagrams.clientPort() != port) {
        BoundPort clientSide = BoundPort::open(BoundPort::Kind::Datagram, port);
        if (!clientSide.ok()) {
            refusePort("datagram", clientSide);
            return refuseReload();
        }
        if (datagrams.isBound())
            preparedDatagrams = std::move(clientSide);
    }
    keepPorts = true;
    restart();
    start(boxes);
}

void RelayController::Impl::refuseReload() {
    dropPreparedPorts();
    emit q->reloadRefused();
}

void RelayController::Impl::refusePort(const char* side, const BoundPort& failed) {
    portForbidden = qm::portForbidden(failed.errorNumber());
    raise(portRefusal(side, failed), MessageIcon::Critical, startByUser);
}

void RelayController::Impl::dropPreparedPorts() {
    keepPorts = false;
    preparedListener = BoundPort();
    preparedDatagrams = BoundPort();
}

void RelayController::Impl::refuseSelf(int server) {
    if (serverIsSelf[server - 1])
        return; // told once
    serverIsSelf[server - 1] = true;
    monitor.forget(server);
    raise(ServerIsSelf[server - 1], MessageIcon::Critical, false);
}

void RelayController::Impl::refuseSelf(const Upstream& upstream) {
    if (upstream == server1)
        refuseSelf(1);
    if (upstream == server2)
        refuseSelf(2);
}

void RelayController::Impl::refuseStart(const Message& message) {
    portForbidden = false;
    raise(message, MessageIcon::Critical, startByUser);
    finishStart(false);
}

void RelayController::Impl::finishStart(bool nowListening) {
    dropPreparedPorts();
    setApplyEnabled(true);
    emit q->startFinished(nowListening);
}

void RelayController::Impl::probeFinished(bool server1Ok, bool server2Ok) {
    emit q->server1Probed(server1Ok);
    emit q->server2Probed(server2Ok);
    const bool anyServer = server1Ok || server2Ok;
    if (!anyServer && !waitingForServer)
        stopForNoServer();
    if (!anyServer && options.waitForServer) {
        if (!waitingForServer) {
            waitingForServer = true;
            startAwaitsProbe = true;
            probeTimer.start();
            emit q->waitingForServer();
        }
        return;
    }
    if (!startAwaitsProbe)
        return;
    startAwaitsProbe = false;
    waitingForServer = false;
    if (anyServer)
        openListener();
    else
        finishStart(false);
}

// Pairs already connected go on relaying and the datagram sockets stay bound.
void RelayController::Impl::stopForNoServer() {
    dropPreparedPorts();
    engine.closeListener();
    monitor.setOwnPort(0);
    engine.setOnlineN(0);
    showCount(OnlinePrefix::ClientSide);
    probeTimer.stop();
    setApplyCaption(CaptionApplyAfterStop);
    setListening(false);
    raise(NoServer, MessageIcon::Critical, false);
}

// Whatever succeeded before a failing step stays in effect. A reload hands
// over the ports it kept or bound already.
void RelayController::Impl::openListener() {
    const quint16 port = socketPort(applied.clientPort);
    if (preparedListener.ok()) {
        engine.adoptListener(std::move(preparedListener));
    } else if (!keepPorts || engine.serverPort() != port) {
        engine.closeListener();
        BoundPort listener = BoundPort::open(BoundPort::Kind::Listener, port);
        if (!listener.ok()) {
            refusePort("client", listener);
            return finishStart(false);
        }
        engine.adoptListener(std::move(listener));
    }
    listeningPort = port;
    monitor.setOwnPort(port);
    BoundPort failed;
    if (preparedDatagrams.ok()) {
        datagrams.replaceClientSide(std::move(preparedDatagrams));
    } else if (!keepPorts || datagrams.clientPort() != port) {
        if (!datagrams.bind(port, options.datagramUpstreamPort, &failed)) {
            refusePort("datagram", failed);
            return finishStart(false);
        }
    }
    keepPorts = false;
    setOnlineLabelEnabled(true);
    engine.setOnlineN(0);
    showCount(OnlinePrefix::ServerSide);
    // The listener and the datagram sockets are fine: a folder that cannot be
    // written must not keep the relay from serving, only be told.
    QString saveError;
    if (!writeAppliedSettings(applied, options.configPath, &saveError))
        raise(Message{TextSaveFailed.arg(saveError),
                      QStringLiteral("settings not saved: %1").arg(saveError)},
              MessageIcon::Warning, false);
    setApplyCaption(CaptionRestart);
    setListening(true);
    probeTimer.start();
    finishStart(true);
}

void RelayController::Impl::tick() {
    // One probe at a time: a tick that falls due during a probe is skipped.
    if (monitor.isProbing())
        return;
    probe();
}

void RelayController::Impl::restart() {
    setApplyCaption(CaptionApply);
    setOnlineLabelEnabled(false);
    probeTimer.stop();
    if (!keepPorts) {
        engine.closeListener();
        monitor.setOwnPort(0);
    }
    monitor.cancel(); // its result would belong to the settings being replaced
    startAwaitsProbe = false;
    waitingForServer = false;
    engine.closeAllPairs();
    setOnlineDisplay(qm::onlineCaption(OnlinePrefix::ServerSide, 0), QString());
}

RelayController::RelayController(const BanTable& bans, const Clock& clock, Options options,
                                 QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>(this, bans, clock, std::move(options))) {
    d->engine.setConnectTimeoutMs(d->options.probeTimeoutMs);
    d->engine.setUpstreamChooser([this] { return d->chooseForNewClient(); });
    connect(&d->engine, &RelayEngine::onlineDisplayRefresh, this,
            [this](OnlinePrefix prefix, qint16 count) {
                const QString caption = qm::onlineCaption(prefix, count);
                d->setOnlineDisplay(caption, caption);
            });
    connect(&d->engine, &RelayEngine::clientAccepted, this, &RelayController::clientAccepted);
    connect(&d->engine, &RelayEngine::clientRefused, this, &RelayController::clientRefused);
    connect(&d->engine, &RelayEngine::pairEnded, this, &RelayController::pairEnded);
    connect(&d->datagrams, &DatagramRelay::dropped, this, &RelayController::datagramDropped);
    connect(&d->engine, &RelayEngine::listeningOnIpv4Only, this,
            &RelayController::listeningOnIpv4Only);
    connect(&d->engine, &RelayEngine::upstreamChosen, &d->datagrams, &DatagramRelay::setUpstream);
    connect(&d->engine, &RelayEngine::forwardingFailed, this, [this] {
        if (d->failureGate.admit())
            d->raise(ForwardingFailed, MessageIcon::None, false);
    });
    connect(&d->engine, &RelayEngine::ownListenerReached, this,
            [this](const Upstream& server) { d->refuseSelf(server); });
    connect(&d->monitor, &UpstreamMonitor::ownListenerReached, this,
            [this](int server) { d->refuseSelf(server); });
    connect(&d->monitor, &UpstreamMonitor::probeFinished, this,
            [this](bool server1Ok, bool server2Ok) { d->probeFinished(server1Ok, server2Ok); });
    connect(&d->probeTimer, &QTimer::timeout, this, [this] { d->tick(); });
}

void RelayController::setIpv6Bans(const Ban6Table* bans) {
    d->engine.setIpv6Bans(bans);
    d->datagrams.setIpv6Bans(bans);
}

RelayController::~RelayController() {
    // The engine ends its pairs as it goes; nothing of that may reach the
    // state being torn down around it.
    d->engine.disconnect(this);
    d->monitor.disconnect(this);
    d->datagrams.disconnect(this);
}

bool RelayController::listening() const {
    return d->listening;
}
bool RelayController::listenerOpen() const {
    return d->engine.isListening();
}
qint16 RelayController::onlineN() const {
    return d->engine.onlineN();
}
int RelayController::pairsInProgress() const {
    return d->engine.pairsInProgress();
}
DatagramCounts RelayController::datagramCounts() const {
    return d->datagrams.counts();
}
bool RelayController::serverReachable() const {
    return d->monitor.reachable(1);
}
bool RelayController::server2Reachable() const {
    return d->monitor.reachable(2);
}
qint16 RelayController::autoStart() const {
    return d->autoStart;
}
void RelayController::setAutoStart(qint16 value) {
    d->autoStart = value;
}
bool RelayController::preferServer1() const {
    return d->preferServer1;
}
void RelayController::setPreferServer1(bool preferred) {
    d->preferServer1 = preferred;
}
QString RelayController::onlineCaption() const {
    return d->onlineCaption;
}
QString RelayController::trayToolTip() const {
    return d->trayToolTip;
}
QString RelayController::applyCaption() const {
    return d->applyCaption;
}
bool RelayController::applyEnabled() const {
    return d->applyEnabled;
}
bool RelayController::onlineLabelEnabled() const {
    return d->onlineLabelEnabled;
}
const AppliedSettings& RelayController::appliedSettings() const {
    return d->applied;
}
quint16 RelayController::listeningPort() const {
    return d->listeningPort;
}

void RelayController::apply(const SettingBoxes& boxes) {
    if (!d->applyEnabled)
        return; // a disabled button takes no clicks
    d->setApplyEnabled(false);
    d->nextStartByUser = true;
    if (d->listening)
        restartRelay(boxes);
    else
        startRelay(boxes);
}

void RelayController::startRelay(const SettingBoxes& boxes) {
    d->start(boxes);
}

void RelayController::reloadRelay(const SettingBoxes& boxes) {
    d->reload(boxes);
}

bool RelayController::portForbidden() const {
    return d->portForbidden;
}

void RelayController::restartRelay(const SettingBoxes& boxes) {
    d->restart();
    startRelay(boxes);
}

std::vector<PairSnapshot> RelayController::livePairs() const {
    return d->engine.livePairs();
}

bool RelayController::disconnectClient(const QString& address) {
    if (!d->engine.disconnectFirst(address))
        return false;
    d->showCount(OnlinePrefix::ServerSide);
    return true;
}

SettingBoxes RelayController::storedSettings(QStringList* ignored) {
    RelayOptions relay;
    const SettingBoxes boxes = readSettingBoxes(d->options.configPath, ignored, &relay);
    d->freshRelayOptions = relay;
    return boxes;
}

} // namespace qm
