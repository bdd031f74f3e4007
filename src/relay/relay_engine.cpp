#include "relay/relay_engine.h"

#include "relay/relay_engine_impl.h"

#include <algorithm>
#include <sys/epoll.h>
#include <unistd.h>

namespace qm {

RelayEngine::Impl::Impl(RelayEngine* owner, const BanTable& banTable, const Clock& wallClock)
    : q(owner), bans(banTable), clock(wallClock) {
    epollFd = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd < 0 || !shared.reports.valid())
        qFatal("RelayEngine: no descriptor for its poller");
    pollNotifier = std::make_unique<QSocketNotifier>(epollFd, QSocketNotifier::Read);
    QObject::connect(pollNotifier.get(), &QSocketNotifier::activated, q,
                     [this] { onPollerReadable(); });

    deadlineTimer.setSingleShot(true);
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadlineTimer, &QTimer::timeout, q, [this] { onDeadline(); });

    acceptPause.setSingleShot(true);
    QObject::connect(&acceptPause, &QTimer::timeout, q, [this] {
        if (listenNotifier)
            listenNotifier->setEnabled(true);
    });
}

RelayEngine::Impl::~Impl() {
    // Quietly: nobody listens any more. The threads close what they hold.
    pollNotifier.reset();
    reportNotifier.reset();
    delete listenNotifier;
    threads.clear();
    for (int slot = 1; slot <= pairTable.highest(); ++slot) {
        if (RelayPair* pair = pairTable.at(slot)) {
            if (pair->connect && pair->connect->lookupId >= 0)
                QHostInfo::abortHostLookup(pair->connect->lookupId);
            if (pair->live) // not yet handed over
                for (Endpoint* side : {&pair->live->client, &pair->live->server})
                    if (side->fd >= 0)
                        ::close(side->fd);
        }
    }
    if (listenFd >= 0)
        ::close(listenFd);
    if (spareFd >= 0)
        ::close(spareFd);
    ::close(epollFd);
}

RelayEngine::RelayEngine(const BanTable& bans, const Clock& clock, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>(this, bans, clock)) {}

RelayEngine::~RelayEngine() = default;

void RelayEngine::setUpstreamChooser(UpstreamChooser chooser) {
    d->chooser = std::move(chooser);
}

void RelayEngine::setProxyProtocol(int version) {
    d->proxyVersion = version == 1 || version == 2 ? version : 0;
}

void RelayEngine::setIpv6Bans(const Ban6Table* bans) {
    d->bans6 = bans;
}

void RelayEngine::setAddressLimits(int pairsPerAddress, int connectsPerSecond) {
    const auto capped = [](int limit) { return std::min(limit, SlotTable::MaxSlots); };
    d->addressLimits.setLimits(capped(pairsPerAddress), capped(connectsPerSecond));
}

void RelayEngine::setConnectTimeoutMs(int ms) {
    d->connectTimeoutMs = ms;
}

void RelayEngine::setCloseLingerMs(int ms) {
    d->shared.lingerMs.store(ms, std::memory_order_relaxed);
}

void RelayEngine::setHalfCloseIdleMs(int ms) {
    d->shared.halfCloseIdleMs.store(ms, std::memory_order_relaxed);
}

void RelayEngine::setThreads(int count) {
    d->threadCount = engineThreadsFor(count);
}

void RelayEngine::setPeerLossTimings(const PeerLossTimings& timings) {
    d->peerLoss = timings;
}

void RelayEngine::setSlotCapacity(int capacity) {
    d->pairTable.setCapacity(qBound(0, capacity, SlotTable::MaxSlots));
}

bool RelayEngine::listen(quint16 port, QString* error) {
    Impl::Scope scope(*d);
    return d->listen(port, error);
}

void RelayEngine::adoptListener(BoundPort&& listener) {
    Impl::Scope scope(*d);
    d->adoptListener(listener.release());
}

void RelayEngine::closeListener() {
    Impl::Scope scope(*d);
    d->closeListener();
}

bool RelayEngine::isListening() const {
    return d->listenFd >= 0;
}

quint16 RelayEngine::serverPort() const {
    if (d->listenFd < 0)
        return 0;
    const std::optional<SocketAddress> local = localAddressOf(d->listenFd);
    return local ? local->port : 0;
}

void RelayEngine::closeAllPairs() {
    Impl::Scope scope(*d);
    for (int slot = d->pairTable.highest(); slot >= 1; --slot)
        if (RelayPair* pair = d->pairTable.at(slot))
            d->endPair(*pair, Ending::Restart);
    // Closed on their threads before a new listener opens.
    d->syncThreads();
}

qint16 RelayEngine::onlineN() const {
    return d->online;
}

void RelayEngine::setOnlineN(qint16 n) {
    d->online = n;
}

std::vector<PairSnapshot> RelayEngine::livePairs() const {
    std::vector<PairSnapshot> result;
    result.reserve(static_cast<std::size_t>(d->pairTable.used()));
    for (int slot = 1; slot <= d->pairTable.highest(); ++slot) {
        const RelayPair* pair = d->pairTable.at(slot);
        if (pair && pair->accepted())
            result.push_back({slot, pair->clientAddress, pair->acceptedAt,
                              pair->counters->fromClient.load(std::memory_order_relaxed),
                              pair->counters->fromServer.load(std::memory_order_relaxed)});
    }
    return result;
}

bool RelayEngine::isSlotOccupied(int slot) const {
    return d->pairTable.at(slot) != nullptr;
}

int RelayEngine::pairsInProgress() const {
    return d->pairTable.used();
}

int RelayEngine::lingeringSockets() const {
    return d->shared.lingeringSides.load(std::memory_order_relaxed);
}

bool RelayEngine::disconnectFirst(const QString& address) {
    Impl::Scope scope(*d);
    for (int slot = 1; slot <= d->pairTable.highest(); ++slot) {
        RelayPair* pair = d->pairTable.at(slot);
        if (pair && pair->accepted() && pair->clientAddress == address) {
            d->endPair(*pair, Ending::Disconnected);
            return true;
        }
    }
    return false;
}

} // namespace qm
