#pragma once

#include "relay/pair_loop.h"
#include "relay/wake_event.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

// Engine threads for a requested number, at most RelayEngine::MaxThreads;
// 0 is one per processor this process may run on (its affinity mask).
int engineThreadsFor(int requested);

// A thread that relays the pairs handed to it, on its own epoll loop and
// without a Qt event loop. The main thread reaches it through its command
// queue and wake event only; a pair stays on its thread until it ends.
class EngineThread {
public:
    // Null when the process has no descriptor left for the thread's poller,
    // or may start no more threads.
    static std::unique_ptr<EngineThread> start(EngineShared& shared);
    ~EngineThread(); // stops the thread; pairs still here are closed
    EngineThread(const EngineThread&) = delete;
    EngineThread& operator=(const EngineThread&) = delete;

    void adopt(std::unique_ptr<LivePair> pair);
    void drop(quint64 serial);
    // Waits until what was sent before has been carried out, at most limit.
    bool sync(std::chrono::milliseconds limit);

private:
    explicit EngineThread(EngineShared& shared);
    struct Command {
        enum class Kind { Adopt, Drop, Sync, Stop } kind;
        std::unique_ptr<LivePair> pair;
        quint64 number = 0; // the serial dropped, the sync's sequence
    };
    void send(Command command);
    void run();
    bool carryOut(std::vector<Command>& commands); // false on Stop

    PairLoop m_loop;
    WakeEvent m_wake;
    std::mutex m_mutex;
    std::vector<Command> m_inbox;
    std::condition_variable m_synced;
    quint64 m_syncsAsked = 0; // main thread only
    quint64 m_syncsDone = 0;  // under m_mutex
    std::thread m_thread;
};

} // namespace qm
