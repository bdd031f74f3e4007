// Listening, the ban check, reserving a slot and connecting upstream; the
// client is taken over only once its upstream connection stands.
#include "relay/relay_engine_impl.h"

#include "core/bans/ip_address.h"
#include "relay/bound_port.h"
#include "relay/own_listener.h"
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

QString dottedText(in_addr address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return QString::fromLatin1(text);
}

quint64 endpointKey(const sockaddr_in& address) {
    return quint64(ntohl(address.sin_addr.s_addr)) << 16 | ntohs(address.sin_port);
}

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
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    listenPort = ntohs(address.sin_port);
    if (spareFd < 0)
        spareFd = openSpareDescriptor();
    descriptors.take(ownDescriptors());
    listenNotifier = new QSocketNotifier(listenFd, QSocketNotifier::Read, q);
    QObject::connect(listenNotifier, &QSocketNotifier::activated, q, [this] {
        Scope scope(*this);
        onListenerReadable();
    });
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
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            admit(fd, peer);
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
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        spareFd = -1;
        if (fd >= 0)
            refuse(fd, dottedText(peer.sin_addr), QStringLiteral("out of descriptors"));
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

void RelayEngine::Impl::admit(int fd, const sockaddr_in& peer) {
    const QString address = dottedText(peer.sin_addr);
    if (isOwnConnection(peer))
        return refuse(fd, address, QStringLiteral("own upstream connection"));
    if (bans.contains(ipToNumber(address)))
        return refuse(fd, address, QStringLiteral("banned"));
    if (pairTable.full())
        return refuse(fd, address, QStringLiteral("no free slot"));
    // The upstream side and the next probe need one each; the client holds one.
    if (!descriptors.allows(ownDescriptors() + 1, 2))
        return refuse(fd, address, QStringLiteral("out of descriptors"));
    const std::optional<Upstream> upstream = chooser ? chooser() : std::nullopt;
    if (!upstream)
        return refuse(fd, address, QStringLiteral("no server reachable"));
    const quint32 number = ntohl(peer.sin_addr.s_addr);
    const bool limited = addressLimits.active();
    if (limited) {
        switch (addressLimits.admit(number, std::chrono::steady_clock::now())) {
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
    const int serverFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (serverFd < 0) {
        const int error = errno;
        if (limited)
            addressLimits.release(number);
        return refuse(fd, address,
                      error == EMFILE || error == ENFILE
                          ? QStringLiteral("out of descriptors")
                          : QString::fromLocal8Bit(std::strerror(error)));
    }

    if (online < std::numeric_limits<qint16>::max())
        ++online;
    auto owned = std::make_unique<RelayPair>();
    RelayPair& pair = *owned;
    pair.slot = pairTable.lowestFree();
    pair.serial = nextSerial++;
    pair.client.fd = fd;
    pair.server.fd = serverFd;
    pair.clientAddress = address;
    pair.clientNumber = number;
    pair.countedPerAddress = limited;
    pair.upstream = *upstream;
    setPairSocketOptions(fd, peerLoss);
    setPairSocketOptions(serverFd, peerLoss);
    pairTable.occupy(pair.slot, std::move(owned));
    setDeadline(pair.server, connectTimeoutMs);

    emit q->upstreamChosen(*upstream);
    if (pair.ended)
        return;

    in_addr numeric{};
    if (inet_pton(AF_INET, upstream->host.toLatin1().constData(), &numeric) == 1)
        return connectUpstream(pair, numeric);
    // A name is looked up off the thread; the connect deadline covers the lookup.
    pair.state = RelayPair::State::Resolving;
    const int slot = pair.slot;
    const quint64 serial = pair.serial;
    pair.lookupId =
        QHostInfo::lookupHost(upstream->host, q, [this, slot, serial](const QHostInfo& info) {
            Scope scope(*this);
            onLookedUp(slot, serial, info);
        });
}

void RelayEngine::Impl::onLookedUp(int slot, quint64 serial, const QHostInfo& info) {
    RelayPair* pair = pairTable.at(slot);
    if (!pair || pair->serial != serial)
        return;
    pair->lookupId = -1;
    for (const QHostAddress& found : info.addresses()) {
        bool isIpv4 = false;
        const quint32 value = found.toIPv4Address(&isIpv4);
        if (isIpv4) {
            in_addr address{};
            address.s_addr = htonl(value);
            return connectUpstream(*pair, address);
        }
    }
    endPair(*pair, Ending::ServerFailed);
}

void RelayEngine::Impl::connectUpstream(RelayPair& pair, in_addr address) {
    pair.state = RelayPair::State::Connecting;
    Endpoint& server = pair.server;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(pair.upstream.port);
    target.sin_addr = address;
    const int result =
        ::connect(server.fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    if (result != 0 && errno != EINPROGRESS)
        return endPair(pair, Ending::ServerFailed);
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (pair.upstream.port == listenPort &&
        getsockname(server.fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
        pair.ownPortKey = endpointKey(local);
        ownPortConnects[pair.ownPortKey] = {pair.slot, pair.serial};
    }
    if (!watch(server, EPOLL_CTL_ADD))
        return endPair(pair, Ending::ServerFailed);
    if (result == 0)
        finishConnect(pair, EPOLLOUT);
}

void RelayEngine::Impl::finishConnect(RelayPair& pair, quint32 events) {
    // Writable without an error or hang-up: the connection stands.
    if ((events & (EPOLLERR | EPOLLHUP)) || !(events & EPOLLOUT))
        return endPair(pair, Ending::ServerFailed);
    pair.server.canWrite = true;
    if (pair.ownPortKey != 0) {
        if (reachesOwnListener(pair.server.fd, listenPort))
            return endAsOwnConnection(pair);
        ownPortConnects.erase(std::exchange(pair.ownPortKey, 0));
    }
    acceptClient(pair);
}

void RelayEngine::Impl::acceptClient(RelayPair& pair) {
    // Bans are read at the request and again here: one added while the
    // upstream connection was being made keeps the client out as well.
    if (bans.contains(ipToNumber(pair.clientAddress))) {
        const QString address = pair.clientAddress;
        endPair(pair, Ending::BannedMeanwhile);
        emit q->clientRefused(address, QStringLiteral("banned"));
        return;
    }
    clearDeadline(pair.server);
    pair.state = RelayPair::State::Live;
    pair.acceptedAt = clock.now();
    pair.acceptedSteady = std::chrono::steady_clock::now();
    // Whatever the client sent while it waited is read from here on.
    pair.client.canRead = true;
    pair.client.canWrite = true;
    if (!watch(pair.client, EPOLL_CTL_ADD))
        return endPair(pair, Ending::ClientFailed);

    emit q->onlineDisplayRefresh(OnlinePrefix::ClientSide, online);
    if (pair.ended)
        return;
    emit q->clientAccepted(pair.slot, pair.clientAddress, pair.upstream);
    if (pair.ended)
        return;
    // Upstream bytes sent before this moment wait in the socket (the connect
    // event said so, or a later one will) and go out now.
    takeTurn(pair, pair.server);
}

} // namespace qm

namespace qm {

bool RelayEngine::Impl::isOwnConnection(const sockaddr_in& peer) {
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
    if (const auto found = ownPortConnects.find(pair.ownPortKey); found != ownPortConnects.end())
        found->second = {0, 0};
    pair.ownPortKey = 0;
    const Upstream server = pair.upstream;
    endPair(pair, Ending::ServerFailed);
    emit q->ownListenerReached(server);
}

} // namespace qm
