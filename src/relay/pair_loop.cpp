#include "relay/pair_loop.h"

#include "relay/endpoint_poll.h"

#include <QtGlobal>

#include <algorithm>
#include <climits>
#include <sys/epoll.h>
#include <unistd.h>

namespace qm {

PairLoop::PairLoop(EngineShared& engineShared)
    : shared(engineShared), epollFd(epoll_create1(EPOLL_CLOEXEC)) {
    descriptors.take(shared.descriptors());
}

PairLoop::~PairLoop() {
    const auto closeSides = [](LivePair& pair) {
        for (Endpoint* side : {&pair.client, &pair.server})
            if (side->fd >= 0)
                ::close(side->fd);
    };
    for (auto& entry : pairs)
        closeSides(*entry.second);
    for (auto& entry : halfOpenPairs)
        closeSides(*entry.first);
    for (auto& entry : lingering)
        if (entry.first->fd >= 0)
            ::close(entry.first->fd);
    if (epollFd >= 0)
        ::close(epollFd);
}

void PairLoop::adopt(std::unique_ptr<LivePair> owned) {
    LivePair& pair = *owned;
    pairs.emplace(pair.serial, std::move(owned));
    if (!watchEndpoint(epollFd, pair.client, EPOLL_CTL_ADD))
        return endPair(pair, Ending::ClientFailed);
    if (!watchEndpoint(epollFd, pair.server, EPOLL_CTL_ADD))
        return endPair(pair, Ending::ServerFailed);
    // Upstream bytes sent before the acceptance wait in the socket and go out now.
    takeTurn(pair, pair.server);
}

void PairLoop::drop(quint64 serial) {
    // Ended on the main thread (disconnect, restart): closed without delivery.
    // Not here any more when this thread saw it end first.
    const auto found = pairs.find(serial);
    if (found == pairs.end())
        return;
    LivePair& pair = *found->second;
    pair.ended = true;
    if (pair.queued)
        std::erase(turns, &pair);
    for (Endpoint* side : {&pair.client, &pair.server})
        if (side->fd >= 0)
            closeEndpoint(epollFd, *side);
    endedPairs.push_back(std::move(found->second));
    pairs.erase(found);
}

void PairLoop::dispatch(Endpoint& endpoint, quint32 events) {
    noteReadiness(endpoint, events);
    if (endpoint.role == Endpoint::Role::Lingering) {
        auto& socket = static_cast<LingeringSocket&>(endpoint);
        if (!socket.closed)
            stepLingering(socket);
        return;
    }
    LivePair& pair = *endpoint.pair;
    if (pair.halfOpen)
        return onHalfOpenEvent(pair, endpoint, events);
    if (pair.ended)
        return;
    takeTurn(pair, endpoint);
}

void PairLoop::runQueuedTurns() {
    // One round: pairs queued during it wait for the next one.
    for (std::size_t round = turns.size(); round > 0 && !turns.empty(); --round) {
        LivePair* pair = turns.front();
        turns.pop_front();
        pair->queued = false;
        if (pair->halfOpen)
            carryHalfOpen(*pair);
        else
            takeTurn(*pair, pair->client);
    }
}

void PairLoop::runDueDeadlines() {
    const SteadyTime now = std::chrono::steady_clock::now();
    while (Endpoint* endpoint = deadlines.takeDue(now)) {
        if (endpoint->role == Endpoint::Role::Lingering)
            closeLingering(static_cast<LingeringSocket&>(*endpoint));
        else if (endpoint->pair->halfOpen)
            onHalfOpenDeadline(*endpoint->pair);
    }
}

int PairLoop::timeoutMs() const {
    if (!turns.empty())
        return 0;
    if (deadlines.empty())
        return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
        deadlines.first() - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<qint64>(wait.count(), 0, INT_MAX));
}

void PairLoop::collectGarbage() {
    endedPairs.clear();
    closedLingering.clear();
}

char* PairLoop::scratchBuffer() {
    if (!scratch)
        scratch = std::make_unique_for_overwrite<char[]>(ChunkBytes);
    return scratch.get();
}

} // namespace qm
