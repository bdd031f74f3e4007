// Ending pairs once, delivering what was read before the ending, and the
// deadlines of upstream connects and of lingering sides.
#include "relay/relay_engine_impl.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <linux/sockios.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {

constexpr int DiscardReadsPerStep = 16;

} // namespace

RelayEngine::Impl::EndingRule RelayEngine::Impl::ruleFor(Ending how) {
    using E = Ending;
    constexpr auto client = OnlinePrefix::ClientSide;
    constexpr auto server = OnlinePrefix::ServerSide;
    switch (how) {
    case E::ClientClosed:
        return {true, client, false, true, true, true};
    case E::ClientFailed:
        return {true, client, false, false, true, false};
    case E::ServerClosed:
        return {true, server, false, true, true, true};
    case E::ServerFailed:
        return {true, server, false, true, false, false};
    case E::SendToClientFailed:
        return {true, server, true, false, true, false};
    case E::SendToServerFailed:
        return {true, server, true, true, false, false};
    case E::Disconnected:
        return {true, std::nullopt, false, false, false, false};
    case E::Restart:
        return {false, std::nullopt, false, false, false, false};
    case E::BannedMeanwhile:
        return {true, server, false, false, false, false};
    }
    return {};
}

void RelayEngine::Impl::lowerCount() {
    if (online > std::numeric_limits<qint16>::min())
        --online;
}

void RelayEngine::Impl::endPair(RelayPair& pair, Ending how) {
    if (pair.ended)
        return;
    pair.ended = true;
    if (pair.countedPerAddress)
        addressLimits.release(pair.clientNumber);
    // What the pipes hold is delivered from memory, as the rest of an ending is.
    takeIntoMemory(pair.client);
    takeIntoMemory(pair.server);
    const EndingRule rule = ruleFor(how);
    clearDeadline(pair.server);
    if (pair.ownPortKey != 0)
        ownPortConnects.erase(std::exchange(pair.ownPortKey, 0));
    if (pair.lookupId >= 0)
        QHostInfo::abortHostLookup(pair.lookupId);
    if (pair.queued) {
        std::erase(turns, &pair);
        pair.queued = false;
    }
    // A client never taken over is closed without data whatever the rule says.
    const bool accepted = pair.state == RelayPair::State::Live;
    std::unique_ptr<RelayPair> owned = pairTable.release(pair.slot);
    if (!(accepted && rule.halfClose && keepHalfOpen(owned))) {
        retire(pair.client, accepted && rule.deliverToClient);
        retire(pair.server, accepted && rule.deliverToServer);
        endedPairs.push_back(std::move(owned));
    }

    if (rule.lowersCount)
        lowerCount();
    if (rule.forwardingFailed)
        emit q->forwardingFailed(pair.slot);
    const qint64 durationMs = accepted ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - pair.acceptedSteady)
                                             .count()
                                       : -1;
    emit q->pairEnded(pair.slot, pair.clientAddress, pair.bytesFromClient, pair.bytesFromServer,
                      durationMs);
    if (rule.prefix)
        emit q->onlineDisplayRefresh(*rule.prefix, online);
}

void RelayEngine::Impl::retire(Endpoint& endpoint, bool deliver) {
    if (endpoint.fd < 0)
        return;
    const bool nothingLeft = endpoint.out.empty() && endpoint.sawEnd;
    if (!deliver || !endpoint.watched || nothingLeft)
        return closeEndpoint(endpoint);
    auto owned = std::make_unique<LingeringSocket>();
    LingeringSocket& socket = *owned;
    socket.fd = std::exchange(endpoint.fd, -1);
    socket.canRead = endpoint.canRead;
    socket.canWrite = endpoint.canWrite;
    socket.peerClosed = endpoint.peerClosed;
    socket.sawEnd = endpoint.sawEnd;
    socket.shutDown = endpoint.shutDown;
    socket.out = std::move(endpoint.out);
    lingering.emplace(&socket, std::move(owned));
    if (!watch(socket, EPOLL_CTL_MOD))
        return closeLingering(socket);
    setDeadline(socket, lingerMs);
    stepLingering(socket);
}

void RelayEngine::Impl::stepLingering(LingeringSocket& socket) {
    // First what was read for this side before the ending.
    const Flush flushed = flush(socket);
    if (flushed == Flush::Waiting)
        return;
    if (flushed == Flush::Failed || socket.sawEnd)
        return closeLingering(socket);
    // Then our end of stream, and wait for the peer's: closing with unread
    // input would reset the connection and could discard what is still on
    // its way to the peer.
    if (!socket.shutDown) {
        ::shutdown(socket.fd, SHUT_WR);
        socket.shutDown = true;
    }
    for (int read = 0; read < DiscardReadsPerStep; ++read) {
        if (!socket.canRead)
            return;
        const ssize_t n = ::recv(socket.fd, scratchBuffer(), ChunkBytes, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            socket.canRead = false;
            return;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return closeLingering(socket);
    }
    // A peer that keeps sending to an ended pair is cut off, but not before it
    // has acknowledged what was sent to it: closing with unread input resets
    // the connection, and a reset drops whatever is still unacknowledged. Till
    // then its sending wakes this side again, and the deadline still bounds it.
    int unacknowledged = 0;
    if (::ioctl(socket.fd, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged > 0)
        return;
    closeLingering(socket);
}

void RelayEngine::Impl::closeEndpoint(Endpoint& endpoint) {
    // Leave the poller first: a child process forked meanwhile may still hold
    // the descriptor, and its events would name a freed endpoint.
    if (endpoint.watched)
        epoll_ctl(epollFd, EPOLL_CTL_DEL, endpoint.fd, nullptr);
    ::close(endpoint.fd);
    endpoint.fd = -1;
    endpoint.watched = false;
}

void RelayEngine::Impl::closeLingering(LingeringSocket& socket) {
    if (socket.closed)
        return;
    socket.closed = true;
    clearDeadline(socket);
    closeEndpoint(socket);
    auto found = lingering.find(&socket);
    closedLingering.push_back(std::move(found->second));
    lingering.erase(found);
}

void RelayEngine::Impl::setDeadline(Endpoint& endpoint, int ms) {
    setDeadlineAt(endpoint, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

void RelayEngine::Impl::setDeadlineAt(Endpoint& endpoint, SteadyTime due) {
    clearDeadline(endpoint);
    endpoint.deadline = deadlines.emplace(due, &endpoint);
    endpoint.hasDeadline = true;
    armDeadlineTimer();
}

void RelayEngine::Impl::clearDeadline(Endpoint& endpoint) {
    if (!endpoint.hasDeadline)
        return;
    deadlines.erase(endpoint.deadline);
    endpoint.hasDeadline = false;
    // The timer may now fire early; it then finds nothing due and re-arms.
}

void RelayEngine::Impl::armDeadlineTimer() {
    if (deadlines.empty()) {
        deadlineTimer.stop();
        return;
    }
    const SteadyTime first = deadlines.begin()->first;
    if (deadlineTimer.isActive() && deadlineArmedFor <= first)
        return;
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(first - std::chrono::steady_clock::now());
    deadlineArmedFor = first;
    deadlineTimer.start(std::max<qint64>(0, wait.count()));
}

void RelayEngine::Impl::onDeadline() {
    Scope scope(*this);
    const SteadyTime now = std::chrono::steady_clock::now();
    while (!deadlines.empty() && deadlines.begin()->first <= now) {
        Endpoint& endpoint = *deadlines.begin()->second;
        clearDeadline(endpoint);
        if (endpoint.role == Endpoint::Role::Lingering)
            closeLingering(static_cast<LingeringSocket&>(endpoint));
        else if (endpoint.pair->halfOpen)
            onHalfOpenDeadline(*endpoint.pair);
        else
            endPair(*endpoint.pair, Ending::ServerFailed); // upstream not there in time
    }
    armDeadlineTimer();
}

void RelayEngine::Impl::collectGarbage() {
    endedPairs.clear();
    closedLingering.clear();
}

} // namespace qm
