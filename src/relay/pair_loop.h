#pragma once

#include "relay/deadline_queue.h"
#include "relay/engine_shared.h"
#include "relay/fd_limit.h"
#include "relay/relay_pair.h"

#include <deque>
#include <map>
#include <unordered_map>

namespace qm {

// The data path of one engine thread: the pairs handed to it, relayed on raw
// non-blocking descriptors in its own edge-triggered epoll set, and the sides
// of ended pairs that still deliver. Touched by its thread alone; endings go
// back to the main thread as reports. Objects that end while an event batch
// may still name them are freed in collectGarbage().
struct PairLoop {
    explicit PairLoop(EngineShared& shared);
    ~PairLoop(); // closes whatever is still open
    PairLoop(const PairLoop&) = delete;
    PairLoop& operator=(const PairLoop&) = delete;

    // Bytes taken from a side per read, and reads per side before others get a turn.
    static constexpr std::size_t ChunkBytes = 256 * 1024;
    static constexpr int ReadsPerTurn = 8;
    // A bulk direction's pipe: larger moves mean fewer calls per byte.
    static constexpr std::size_t PipeBytes = 1024 * 1024;

    enum class Flow { Idle, More, Ended };
    enum class Flush { Done, Waiting, Failed };

    // The commands of the main thread.
    void adopt(std::unique_ptr<LivePair> owned);
    void drop(quint64 serial);

    // The loop's steps: events, then the turns of busy pairs, then deadlines.
    void dispatch(Endpoint& endpoint, quint32 events);
    void runQueuedTurns();
    void runDueDeadlines();
    void collectGarbage();
    // For epoll_wait: 0 while turns wait, -1 without deadlines.
    int timeoutMs() const;

    // relaying.cpp
    void takeTurn(LivePair& pair, Endpoint& first);
    Flow pump(LivePair& pair, Endpoint& from, Endpoint& to, std::atomic<quint64>& counter);
    Flush flush(Endpoint& endpoint);
    bool sendOrKeep(Endpoint& to, const char* bytes, std::size_t count);
    bool waiting(const Endpoint& to) const { return !to.out.empty() || to.piped.held() > 0; }
    void queueTurn(LivePair& pair);
    char* scratchBuffer();

    // splicing.cpp
    void openPipe(Endpoint& to);
    Flush flushPipe(Endpoint& to);
    void takeIntoMemory(Endpoint& to);

    // lingering.cpp
    void endPair(LivePair& pair, Ending how);
    void retire(Endpoint& endpoint, bool deliver);
    void stepLingering(LingeringSocket& socket);
    void closeLingering(LingeringSocket& socket);
    void setDeadline(Endpoint& endpoint, int ms);

    // half_close.cpp
    bool keepHalfOpen(std::unique_ptr<LivePair>& owned);
    void onHalfOpenEvent(LivePair& pair, Endpoint& endpoint, quint32 events);
    void carryHalfOpen(LivePair& pair);
    void endHalfOpen(LivePair& pair, Endpoint* survivor);
    void armHalfOpenDeadline(LivePair& pair);
    void onHalfOpenDeadline(LivePair& pair);

    EngineShared& shared;
    int epollFd = -1;
    std::unordered_map<quint64, std::unique_ptr<LivePair>> pairs; // live, by serial
    std::map<LingeringSocket*, std::unique_ptr<LingeringSocket>> lingering;
    std::map<LivePair*, std::unique_ptr<LivePair>> halfOpenPairs;
    std::vector<std::unique_ptr<LivePair>> endedPairs;
    std::vector<std::unique_ptr<LingeringSocket>> closedLingering;
    std::deque<LivePair*> turns; // pairs that used up their reads and have more
    DeadlineQueue deadlines;
    DescriptorBudget descriptors; // for pipes
    std::unique_ptr<char[]> scratch;
};

} // namespace qm
