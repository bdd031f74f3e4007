// A pair ends at the first end of stream (count, caption and slot go at once),
// but the other side may still be sending: a client that has sent its request
// and shut its sending side waits for the reply, a server that said goodbye
// may still read. Its bytes go on to the side that ended, uncounted, until it
// ends too or falls silent; each end of stream is passed on as a shutdown.
#include "relay/pair_loop.h"

#include "relay/endpoint_poll.h"

#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>

namespace qm {

namespace {

Endpoint& otherSide(LivePair& pair, const Endpoint& side) {
    return &side == &pair.client ? pair.server : pair.client;
}

} // namespace

bool PairLoop::keepHalfOpen(std::unique_ptr<LivePair>& owned) {
    LivePair& pair = *owned;
    Endpoint& finished = pair.client.sawEnd ? pair.client : pair.server;
    Endpoint& open = otherSide(pair, finished);
    if (!finished.sawEnd || open.sawEnd || !finished.watched || !open.watched)
        return false;
    pair.halfOpen = true;
    pair.finished = &finished;
    pair.lastCarried = std::chrono::steady_clock::now();
    halfOpenPairs.emplace(&pair, std::move(owned));
    shared.lingeringSides.fetch_add(2, std::memory_order_relaxed);
    armHalfOpenDeadline(pair);
    // Carried on from the event loop, after the ending has been announced.
    queueTurn(pair);
    return true;
}

void PairLoop::onHalfOpenEvent(LivePair& pair, Endpoint& endpoint, quint32 events) {
    // The side that ended reads no more; an error or hang-up there means it is
    // gone, and the other side only gets what was read for it.
    if (&endpoint == pair.finished && (events & (EPOLLERR | EPOLLHUP)))
        return endHalfOpen(pair, &otherSide(pair, endpoint));
    carryHalfOpen(pair);
}

void PairLoop::carryHalfOpen(LivePair& pair) {
    Endpoint& finished = *pair.finished;
    Endpoint& open = otherSide(pair, finished);
    const std::size_t waitingBefore = finished.out.size() + open.out.size();
    bool carried = false;

    // What the finished side sent before its end goes out first, then its end.
    if (!open.shutDown) {
        const Flush flushed = flush(open);
        if (flushed == Flush::Failed)
            return endHalfOpen(pair, &finished);
        if (flushed == Flush::Done) {
            ::shutdown(open.fd, SHUT_WR);
            open.shutDown = true;
        }
    }
    for (int read = 0; read < ReadsPerTurn; ++read) {
        if (!finished.out.empty()) {
            const Flush flushed = flush(finished);
            if (flushed == Flush::Failed)
                return endHalfOpen(pair, &open);
            if (flushed == Flush::Waiting)
                break; // backpressure, as for a live pair
        }
        if (!open.canRead || open.sawEnd)
            break;
        char* buffer = scratchBuffer();
        const ssize_t n = ::recv(open.fd, buffer, ChunkBytes, 0);
        if (n > 0) {
            carried = true;
            if (static_cast<std::size_t>(n) < ChunkBytes && !open.peerClosed)
                open.canRead = false;
            if (!sendOrKeep(finished, buffer, static_cast<std::size_t>(n)))
                return endHalfOpen(pair, &open);
            continue;
        }
        if (n == 0) {
            open.sawEnd = true;
            break;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            open.canRead = false;
            break;
        }
        if (errno == EINTR)
            continue;
        return endHalfOpen(pair, &finished);
    }

    // Both ends passed on and nothing left to deliver: nothing unread either,
    // so closing both is orderly.
    if (open.sawEnd && open.shutDown && finished.out.empty())
        return endHalfOpen(pair, nullptr);
    if (carried || finished.out.size() + open.out.size() != waitingBefore)
        pair.lastCarried = std::chrono::steady_clock::now();
    if (open.canRead && !open.sawEnd && finished.out.empty())
        queueTurn(pair); // used up its reads; others get a turn first
    armHalfOpenDeadline(pair);
}

void PairLoop::endHalfOpen(LivePair& pair, Endpoint* survivor) {
    pair.halfOpen = false;
    deadlines.clear(otherSide(pair, *pair.finished));
    if (pair.queued) {
        std::erase(turns, &pair);
        pair.queued = false;
    }
    // A survivor gets what was read for it, as the side of an ended pair does.
    for (Endpoint* side : {&pair.client, &pair.server}) {
        if (side == survivor)
            retire(*side, true);
        else if (side->fd >= 0)
            closeEndpoint(epollFd, *side);
    }
    auto found = halfOpenPairs.find(&pair);
    endedPairs.push_back(std::move(found->second));
    halfOpenPairs.erase(found);
    shared.lingeringSides.fetch_sub(2, std::memory_order_relaxed);
}

// Bounded by silence: the linger time while bytes wait for a side that does
// not take them, the half-close time while nothing waits.
void PairLoop::armHalfOpenDeadline(LivePair& pair) {
    Endpoint& open = otherSide(pair, *pair.finished);
    const bool waiting = !pair.finished->out.empty() || !open.out.empty();
    const int ms =
        (waiting ? shared.lingerMs : shared.halfCloseIdleMs).load(std::memory_order_relaxed);
    const SteadyTime due = pair.lastCarried + std::chrono::milliseconds(ms);
    // Pushed back lazily: a deadline that comes too early is armed again.
    if (!open.hasDeadline || due < open.deadline->first)
        deadlines.set(open, due);
}

void PairLoop::onHalfOpenDeadline(LivePair& pair) {
    armHalfOpenDeadline(pair);
    Endpoint& open = otherSide(pair, *pair.finished);
    if (open.deadline->first > std::chrono::steady_clock::now())
        return;
    endHalfOpen(pair, nullptr);
}

} // namespace qm
