// Pairs being connected upstream, on the main thread; the hand-over of each
// accepted pair to an engine thread, and the endings the threads report.
#include "relay/relay_engine_impl.h"

#include "relay/endpoint_poll.h"

#include <algorithm>
#include <sys/epoll.h>

namespace qm {

namespace {

constexpr int EventsPerWait = 256;
// A restart waits this long at most for the threads to have closed its pairs.
constexpr std::chrono::seconds SyncLimit{2};

} // namespace

void RelayEngine::Impl::onPollerReadable() {
    Scope scope(*this);
    epoll_event events[EventsPerWait];
    int count = EventsPerWait;
    while (count == EventsPerWait) {
        count = epoll_wait(epollFd, events, EventsPerWait, 0);
        for (int i = 0; i < count; ++i) {
            Endpoint& endpoint = *static_cast<Endpoint*>(events[i].data.ptr);
            noteReadiness(endpoint, events[i].events);
            RelayPair& pair = *endpoint.pair->connecting;
            // Only upstream connects are watched here.
            if (!pair.ended)
                finishConnect(pair, events[i].events);
        }
    }
}

void RelayEngine::Impl::handOver(RelayPair& pair) {
    if (pair.live->server.watched) {
        epoll_ctl(epollFd, EPOLL_CTL_DEL, pair.live->server.fd, nullptr);
        pair.live->server.watched = false;
    }
    pair.connect.reset();
    pair.counters = std::make_shared<PairCounters>();
    LivePair& live = *pair.live;
    live.slot = pair.slot;
    live.serial = pair.serial;
    live.counters = pair.counters;
    live.connecting = nullptr;
    leastLoadedThread(&pair.thread).adopt(std::move(pair.live));
}

bool RelayEngine::Impl::threadForNextPair() {
    // A process out of descriptors makes do with the threads it has.
    if (static_cast<int>(threads.size()) < threadCount) {
        if (std::unique_ptr<EngineThread> started = EngineThread::start(shared)) {
            if (!reportNotifier) {
                reportNotifier =
                    std::make_unique<QSocketNotifier>(shared.reports.fd(), QSocketNotifier::Read);
                QObject::connect(reportNotifier.get(), &QSocketNotifier::activated, q,
                                 [this] { onEndingReports(); });
            }
            threads.push_back(std::move(started));
            pairsOnThread.push_back(0);
        }
    }
    return !threads.empty();
}

EngineThread& RelayEngine::Impl::leastLoadedThread(int* index) {
    const auto fewest = std::min_element(pairsOnThread.begin(),
                                         pairsOnThread.begin() +
                                             std::min<std::size_t>(threads.size(), threadCount));
    *index = static_cast<int>(fewest - pairsOnThread.begin());
    ++*fewest;
    return *threads[static_cast<std::size_t>(*index)];
}

void RelayEngine::Impl::onEndingReports() {
    Scope scope(*this);
    for (const EndingReport& report : shared.reports.take()) {
        RelayPair* pair = pairTable.at(report.slot);
        // Not there when the main thread ended it first (a disconnect, a restart).
        if (pair && pair->serial == report.serial && !pair->ended)
            bookEnding(*pair, report.how, report.at);
    }
}

void RelayEngine::Impl::syncThreads() {
    for (const auto& thread : threads)
        thread->sync(SyncLimit);
}

} // namespace qm
