#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace qm::stress {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);

class EventLoop;
// A connection to the relay that is not yet known to stand: once connected it
// sends one byte, and the echo of it says the pair stands.
enum class PairTrial { Waiting, Relayed, Refused };
PairTrial tryPair(EventLoop& loop, int fd, std::uint32_t events);

// A small epoll loop: one handler per descriptor, called with the epoll events.
class EventLoop {
public:
    using Handler = std::function<void(std::uint32_t events)>;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    void watch(int fd, std::uint32_t events, Handler handler);
    void change(int fd, std::uint32_t events);
    // Before the descriptor is closed.
    void forget(int fd);

    // Runs until done() holds (true) or the deadline passes (false); tick runs
    // at least every 10 ms.
    bool runUntil(const std::function<bool()>& done, Clock::time_point deadline,
                  const std::function<void()>& tick = {});

private:
    struct Entry {
        std::uint32_t generation;
        Handler handler;
    };
    int m_epoll;
    std::uint32_t m_generation = 0;
    std::unordered_map<int, Entry> m_entries;
};

} // namespace qm::stress
