// Endings an engine thread sees: each side gets what was read for it before
// the ending, within the linger time, and the main thread is told.
#include "relay/pair_loop.h"

#include "relay/endpoint_poll.h"

#include <cerrno>
#include <linux/sockios.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace qm {

namespace {

constexpr int DiscardReadsPerStep = 16;

} // namespace

void PairLoop::endPair(LivePair& pair, Ending how) {
    if (pair.ended)
        return;
    pair.ended = true;
    // What the pipes hold is delivered from memory, as the rest of an ending is.
    takeIntoMemory(pair.client);
    takeIntoMemory(pair.server);
    const EndingRule rule = ruleFor(how);
    if (pair.queued) {
        std::erase(turns, &pair);
        pair.queued = false;
    }
    const auto found = pairs.find(pair.serial);
    std::unique_ptr<LivePair> owned = std::move(found->second);
    pairs.erase(found);
    if (!(rule.halfClose && keepHalfOpen(owned))) {
        retire(pair.client, rule.deliverToClient);
        retire(pair.server, rule.deliverToServer);
        endedPairs.push_back(std::move(owned));
    }
    shared.reports.push({pair.slot, pair.serial, how, std::chrono::steady_clock::now()});
}

void PairLoop::retire(Endpoint& endpoint, bool deliver) {
    if (endpoint.fd < 0)
        return;
    const bool nothingLeft = endpoint.out.empty() && endpoint.sawEnd;
    if (!deliver || !endpoint.watched || nothingLeft)
        return closeEndpoint(epollFd, endpoint);
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
    shared.lingeringSides.fetch_add(1, std::memory_order_relaxed);
    if (!watchEndpoint(epollFd, socket, EPOLL_CTL_MOD))
        return closeLingering(socket);
    setDeadline(socket, shared.lingerMs.load(std::memory_order_relaxed));
    stepLingering(socket);
}

void PairLoop::stepLingering(LingeringSocket& socket) {
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

void PairLoop::closeLingering(LingeringSocket& socket) {
    if (socket.closed)
        return;
    socket.closed = true;
    deadlines.clear(socket);
    closeEndpoint(epollFd, socket);
    auto found = lingering.find(&socket);
    closedLingering.push_back(std::move(found->second));
    lingering.erase(found);
    shared.lingeringSides.fetch_sub(1, std::memory_order_relaxed);
}

void PairLoop::setDeadline(Endpoint& endpoint, int ms) {
    deadlines.set(endpoint, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

} // namespace qm
