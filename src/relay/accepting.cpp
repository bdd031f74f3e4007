// Listening, the ban check, reserving a slot and connecting upstream; the
// client is taken over only once its upstream connection stands.
#include "relay/relay_engine_impl.h"

#include "relay/bound_port.h"
#include "relay/endpoint_poll.h"
#include "relay/own_listener.h"
#include "relay/proxy_header.h"
#include "relay/socket_options.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {

constexpr int AcceptsPerWakeUp = 64;
constexpr int AcceptPauseMs = 100;

int openSpareDescriptor() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

} // namespace

bool RelayEngine::Impl::listen(quint16 port, QString* error) {
    closeListener();
    BoundPort bound = BoundPort::open(BoundPort::Kind::Listener, port);
    if (!bound.ok()) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(bound.errorNumber()));
        return false;
    }
    adoptListener(bound.release());
    return true;
}

void RelayEngine::Impl::adoptListener(int fd) {
    closeListener();
    listenFd = fd;
    const std::optional<SocketAddress> local = localAddressOf(fd);
    listenPort = local ? local->port : 0;
    if (spareFd < 0)
        spareFd = openSpareDescriptor();
    descriptors.take(ownDescriptors());
    listenNotifier = new QSocketNotifier(listenFd, QSocketNotifier::Read, q);
    QObject::connect(listenNotifier, &QSocketNotifier::activated, q, [this] {
        Scope scope(*this);
        onListenerReadable();
    });
    // Told once: an IPv4 socket means the machine has no IPv6.
    if (local && !local->ip.isIpv6 && !saidIpv4Only) {
        saidIpv4Only = true;
        emit q->listeningOnIpv4Only();
    }
}

void RelayEngine::Impl::closeListener() {
    acceptPause.stop();
    if (listenNotifier) {
        listenNotifier->setEnabled(false);
        listenNotifier->deleteLater();
        listenNotifier = nullptr;
    }
    if (listenFd >= 0)
        ::close(listenFd);
    listenFd = -1;
    listenPort = 0;
    ownPortConnects.clear();
}

void RelayEngine::Impl::onListenerReadable() {
    // A bounded number per wake-up: the notifier is level-triggered and comes back.
    for (int i = 0; i < AcceptsPerWakeUp && listenFd >= 0; ++i) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            admit(fd, socketAddressOf(peer));
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EMFILE || errno == ENFILE)
            refuseForLackOfDescriptors();
        return;
    }
}

void RelayEngine::Impl::refuseForLackOfDescriptors() {
    // The pending connection keeps the listener readable; accepting it with the
    // spare descriptor and closing it at once refuses it without a busy loop.
    if (spareFd >= 0) {
        ::close(spareFd);
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        spareFd = -1;
        if (fd >= 0)
            refuse(fd, ipAddressText(socketAddressOf(peer).ip),
                   QStringLiteral("out of descriptors"));
        if (spareFd < 0) // a handler that listened again has opened one already
            spareFd = openSpareDescriptor();
        if (spareFd >= 0)
            return;
    }
    // No spare to give up: stop watching the listener for a moment.
    if (listenNotifier) {
        listenNotifier->setEnabled(false);
        acceptPause.start(AcceptPauseMs);
    }
}

void RelayEngine::Impl::refuse(int fd, const QString& address, const QString& reason) {
    ::close(fd);
    emit q->clientRefused(address, reason);
}

bool RelayEngine::Impl::isBanned(const IpAddress& address) const {
    if (address.isIpv6)
        return bans6 && bans6->contains(address.ipv6);
    return bans.contains(address.ipv4);
}

void RelayEngine::Impl::admit(int fd, const SocketAddress& peer) {
    const QString address = ipAddressText(peer.ip);
    if (isOwnConnection(peer))
        return refuse(fd, address, QStringLiteral("own upstream connection"));
    if (isBanned(peer.ip))
        return refuse(fd, address, QStringLiteral("banned"));
    if (pairTable.full())
        return refuse(fd, address, QStringLiteral("no free slot"));
    // The upstream side and the next probe need one each; the client holds one.
    if (!descriptors.allows(ownDescriptors() + 1, 2))
        return refuse(fd, address, QStringLiteral("out of descriptors"));
    const std::optional<Upstream> upstream = chooser ? chooser() : std::nullopt;
    if (!upstream)
        return refuse(fd, address, QStringLiteral("no server reachable"));
    const Ipv6Address limitKey = asIpv6(peer.ip);
    const bool limited = addressLimits.active();
    if (limited) {
        switch (addressLimits.admit(limitKey, std::chrono::steady_clock::now())) {
        case AddressLimits::Verdict::TooManyPairs:
            return refuse(fd, address, QStringLiteral("too many pairs from this address"));
        case AddressLimits::Verdict::TooFast:
            return refuse(fd, address, QStringLiteral("connecting too often"));
        case AddressLimits::Verdict::Admitted:
            break;
        }
    }
    // The upstream side's descriptor is taken before anything is counted: a
    // process that has none left refuses the client, as a full table does.
    // A name's addresses are not known yet: IPv4 until the lookup says otherwise.
    const std::optional<QHostAddress> literal = numericHost(upstream->host);
    const int family =
        literal && literal->protocol() == QAbstractSocket::IPv6Protocol ? AF_INET6 : AF_INET;
    // So is a thread to relay it on, if none runs yet.
    const int serverFd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int error = errno;
    if (serverFd < 0 || !threadForNextPair()) {
        if (serverFd >= 0)
            ::close(serverFd);
        if (limited)
            addressLimits.release(limitKey);
        return refuse(fd, address,
                      serverFd >= 0 || error == EMFILE || error == ENFILE
                          ? QStringLiteral("out of descriptors")
                          : QString::fromLocal8Bit(std::strerror(error)));
    }

    if (online < std::numeric_limits<qint16>::max())
        ++online;
    auto owned = std::make_unique<RelayPair>();
    RelayPair& pair = *owned;
    pair.slot = pairTable.lowestFree();
    pair.serial = nextSerial++;
    pair.live = std::make_unique<LivePair>();
    pair.live->connecting = &pair;
    pair.connect = std::make_unique<UpstreamConnect>();
    pair.live->client.fd = fd;
    pair.live->server.fd = serverFd;
    pair.clientAddress = address;
    pair.clientIp = peer.ip;
    pair.connect->serverFamily = family;
    pair.countedPerAddress = limited;
    pair.upstream = *upstream;
    setPairSocketOptions(fd, peerLoss);
    setPairSocketOptions(serverFd, peerLoss);
    pairTable.occupy(pair.slot, std::move(owned));
    shared.pairSides.fetch_add(2, std::memory_order_relaxed);
    setDeadline(pair.live->server, connectTimeoutMs);

    emit q->upstreamChosen(*upstream);
    if (pair.ended)
        return;

    if (literal) {
        pair.connect->addresses = {*literal};
        return connectToNextAddress(pair);
    }
    // A name is looked up off the thread; the connect deadline covers the lookup.
    const int slot = pair.slot;
    const quint64 serial = pair.serial;
    pair.connect->lookupId =
        QHostInfo::lookupHost(upstream->host, q, [this, slot, serial](const QHostInfo& info) {
            Scope scope(*this);
            onLookedUp(slot, serial, info);
        });
}

void RelayEngine::Impl::onLookedUp(int slot, quint64 serial, const QHostInfo& info) {
    RelayPair* pair = pairTable.at(slot);
    if (!pair || pair->serial != serial)
        return;
    pair->connect->lookupId = -1;
    // In the resolver's order, as getaddrinfo gives them.
    pair->connect->addresses = info.addresses();
    connectToNextAddress(*pair);
}

void RelayEngine::Impl::connectToNextAddress(RelayPair& pair) {
    UpstreamConnect& connect = *pair.connect;
    while (connect.nextAddress < connect.addresses.size()) {
        const SocketTarget target =
            socketTargetOf(connect.addresses.at(connect.nextAddress++), pair.upstream.port);
        if (target.length == 0)
            continue;
        // A socket whose connect failed is not used again.
        if ((connect.serverSocketUsed || target.family() != connect.serverFamily) &&
            !reopenServerSocket(pair, target.family()))
            continue;
        if (connectUpstream(pair, target))
            return;
    }
    endPair(pair, Ending::ServerFailed);
}

bool RelayEngine::Impl::reopenServerSocket(RelayPair& pair, int family) {
    // The new socket takes the old one's number, so the descriptor count and
    // the budget stay as they were.
    Endpoint& server = pair.live->server;
    if (server.watched) {
        epoll_ctl(epollFd, EPOLL_CTL_DEL, server.fd, nullptr);
        server.watched = false;
    }
    if (pair.connect->ownPortKey)
        ownPortConnects.erase(*std::exchange(pair.connect->ownPortKey, std::nullopt));
    const int fresh = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fresh < 0)
        return false;
    const bool moved = ::dup3(fresh, server.fd, O_CLOEXEC) >= 0;
    ::close(fresh);
    if (!moved)
        return false;
    pair.connect->serverFamily = family;
    setPairSocketOptions(server.fd, peerLoss);
    return true;
}

bool RelayEngine::Impl::connectUpstream(RelayPair& pair, const SocketTarget& target) {
    pair.connect->serverSocketUsed = true;
    Endpoint& server = pair.live->server;
    const int result =
        ::connect(server.fd, reinterpret_cast<const sockaddr*>(&target.storage), target.length);
    if (result != 0 && errno != EINPROGRESS)
        return false;
    const std::optional<SocketAddress> local =
        pair.upstream.port == listenPort ? localAddressOf(server.fd) : std::nullopt;
    if (local) {
        pair.connect->ownPortKey = endpointKey(*local);
        ownPortConnects[*pair.connect->ownPortKey] = {pair.slot, pair.serial};
    }
    if (!watchEndpoint(epollFd, server, EPOLL_CTL_ADD))
        return false;
    if (result == 0)
        finishConnect(pair, EPOLLOUT);
    return true;
}

void RelayEngine::Impl::finishConnect(RelayPair& pair, quint32 events) {
    // Writable without an error or hang-up: the connection stands. Else the
    // name's next address is tried, within the same deadline.
    if ((events & (EPOLLERR | EPOLLHUP)) || !(events & EPOLLOUT))
        return connectToNextAddress(pair);
    pair.live->server.canWrite = true;
    if (pair.connect->ownPortKey) {
        if (reachesOwnListener(pair.live->server.fd, listenPort))
            return endAsOwnConnection(pair);
        ownPortConnects.erase(*std::exchange(pair.connect->ownPortKey, std::nullopt));
    }
    acceptClient(pair);
}

void RelayEngine::Impl::acceptClient(RelayPair& pair) {
    // Bans are read at the request and again here: one added while the
    // upstream connection was being made keeps the client out as well.
    if (isBanned(pair.clientIp)) {
        const QString address = pair.clientAddress;
        endPair(pair, Ending::BannedMeanwhile);
        emit q->clientRefused(address, QStringLiteral("banned"));
        return;
    }
    if (proxyVersion != 0 && !sendProxyHeader(pair))
        return endPair(pair, Ending::ServerFailed);
    clearDeadline(pair.live->server);
    pair.acceptedAt = clock.now();
    pair.acceptedSteady = std::chrono::steady_clock::now();
    // Whatever the client sent while it waited is read from here on, on the
    // pair's engine thread.
    pair.live->client.canRead = true;
    pair.live->client.canWrite = true;
    handOver(pair);

    emit q->onlineDisplayRefresh(OnlinePrefix::ClientSide, online);
    if (pair.ended)
        return;
    emit q->clientAccepted(pair.slot, pair.clientAddress, pair.upstream);
}

bool RelayEngine::Impl::sendProxyHeader(RelayPair& pair) {
    // The first bytes on a fresh connection: its empty send buffer takes them whole.
    const std::optional<SocketAddress> client = peerAddressOf(pair.live->client.fd);
    const std::optional<SocketAddress> relay = localAddressOf(pair.live->client.fd);
    if (!client || !relay)
        return false;
    const QByteArray header = proxyHeader(proxyVersion, *client, *relay);
    const ssize_t sent = ::send(pair.live->server.fd, header.constData(), size_t(header.size()),
                                MSG_NOSIGNAL | MSG_DONTWAIT);
    return sent == header.size();
}

} // namespace qm

namespace qm {

bool RelayEngine::Impl::isOwnConnection(const SocketAddress& peer) {
    const auto found = ownPortConnects.find(endpointKey(peer));
    if (found == ownPortConnects.end())
        return false;
    const OwnPortConnect origin = found->second;
    ownPortConnects.erase(found);
    RelayPair* pair = pairTable.at(origin.slot);
    if (pair && pair->serial == origin.serial)
        endAsOwnConnection(*pair);
    return true;
}

void RelayEngine::Impl::endAsOwnConnection(RelayPair& pair) {
    // Kept, with no pair, until the connection arrives at the listener.
    if (pair.connect->ownPortKey)
        if (const auto found = ownPortConnects.find(*pair.connect->ownPortKey);
            found != ownPortConnects.end())
            found->second = {0, 0};
    pair.connect->ownPortKey.reset();
    const Upstream server = pair.upstream;
    endPair(pair, Ending::ServerFailed);
    emit q->ownListenerReached(server);
}

} // namespace qm
