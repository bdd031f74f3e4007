// Ending pairs once on the main thread: the slot, the count and the signals,
// whichever thread saw the ending; and the deadlines of upstream connects.
#include "relay/relay_engine_impl.h"

#include "relay/endpoint_poll.h"

#include <algorithm>
#include <limits>

namespace qm {

void RelayEngine::Impl::lowerCount() {
    if (online > std::numeric_limits<qint16>::min())
        --online;
}

void RelayEngine::Impl::endPair(RelayPair& pair, Ending how) {
    if (pair.ended)
        return;
    if (pair.live) {
        // A client never taken over is closed without data whatever the rule says.
        for (Endpoint* side : {&pair.live->client, &pair.live->server})
            if (side->fd >= 0)
                closeEndpoint(epollFd, *side);
    } else {
        // Its thread closes both sides without delivery; these endings
        // (disconnect, restart) deliver nothing.
        threads[static_cast<std::size_t>(pair.thread)]->drop(pair.serial);
    }
    bookEnding(pair, how, std::chrono::steady_clock::now());
}

void RelayEngine::Impl::bookEnding(RelayPair& pair, Ending how, SteadyTime endedAt) {
    pair.ended = true;
    if (pair.countedPerAddress)
        addressLimits.release(asIpv6(pair.clientIp));
    const EndingRule rule = ruleFor(how);
    if (pair.live) // not yet handed over
        clearDeadline(pair.live->server);
    if (pair.connect) {
        if (pair.connect->ownPortKey)
            ownPortConnects.erase(*pair.connect->ownPortKey);
        if (pair.connect->lookupId >= 0)
            QHostInfo::abortHostLookup(pair.connect->lookupId);
        pair.connect.reset();
    }
    const bool accepted = pair.accepted();
    if (accepted)
        --pairsOnThread[static_cast<std::size_t>(pair.thread)];
    endedPairs.push_back(pairTable.release(pair.slot));
    shared.pairSides.fetch_sub(2, std::memory_order_relaxed);

    if (rule.lowersCount)
        lowerCount();
    if (rule.forwardingFailed)
        emit q->forwardingFailed(pair.slot);
    const qint64 durationMs =
        accepted
            ? std::chrono::duration_cast<std::chrono::milliseconds>(endedAt - pair.acceptedSteady)
                  .count()
            : -1;
    // What its thread counted up to the ending; the report's lock publishes it.
    const quint64 fromClient =
        accepted ? pair.counters->fromClient.load(std::memory_order_relaxed) : 0;
    const quint64 fromServer =
        accepted ? pair.counters->fromServer.load(std::memory_order_relaxed) : 0;
    emit q->pairEnded(pair.slot, pair.clientAddress, fromClient, fromServer, durationMs);
    if (rule.prefix)
        emit q->onlineDisplayRefresh(*rule.prefix, online);
}

void RelayEngine::Impl::setDeadline(Endpoint& endpoint, int ms) {
    deadlines.set(endpoint, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
    armDeadlineTimer();
}

void RelayEngine::Impl::clearDeadline(Endpoint& endpoint) {
    deadlines.clear(endpoint);
    // The timer may now fire early; it then finds nothing due and re-arms.
}

void RelayEngine::Impl::armDeadlineTimer() {
    if (deadlines.empty()) {
        deadlineTimer.stop();
        return;
    }
    const SteadyTime first = deadlines.first();
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
    // Only upstream connects have deadlines here: not there in time.
    while (Endpoint* endpoint = deadlines.takeDue(now))
        endPair(*endpoint->pair->connecting, Ending::ServerFailed);
    armDeadlineTimer();
}

void RelayEngine::Impl::collectGarbage() {
    endedPairs.clear();
}

int RelayEngine::Impl::ownDescriptors() {
    // The pollers and wake events: this thread's and each engine thread's.
    const int fixed = 2 + 2 * static_cast<int>(threads.size()) + (listenFd >= 0) + (spareFd >= 0);
    shared.fixedDescriptors.store(fixed, std::memory_order_relaxed);
    return shared.descriptors();
}

} // namespace qm
