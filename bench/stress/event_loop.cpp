#include "event_loop.h"

#include <cerrno>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::stress {

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

PairTrial tryPair(EventLoop& loop, int fd, std::uint32_t events) {
    if ((events & EPOLLOUT) && !(events & (EPOLLERR | EPOLLHUP))) {
        if (::send(fd, "x", 1, MSG_NOSIGNAL) == 1)
            loop.change(fd, EPOLLIN);
        return PairTrial::Waiting;
    }
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, 0);
    if (n < 0 && errno == EAGAIN)
        return PairTrial::Waiting;
    return n == 1 ? PairTrial::Relayed : PairTrial::Refused;
}

EventLoop::EventLoop() : m_epoll(epoll_create1(EPOLL_CLOEXEC)) {
    if (m_epoll < 0)
        throw std::runtime_error("epoll_create1 failed");
}

EventLoop::~EventLoop() {
    ::close(m_epoll);
}

void EventLoop::watch(int fd, std::uint32_t events, Handler handler) {
    const std::uint32_t generation = ++m_generation;
    m_entries[fd] = {generation, std::move(handler)};
    epoll_event event{};
    event.events = events;
    event.data.u64 = static_cast<std::uint64_t>(generation) << 32 | static_cast<std::uint32_t>(fd);
    epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
}

void EventLoop::change(int fd, std::uint32_t events) {
    const auto found = m_entries.find(fd);
    if (found == m_entries.end())
        return;
    epoll_event event{};
    event.events = events;
    event.data.u64 =
        static_cast<std::uint64_t>(found->second.generation) << 32 | static_cast<std::uint32_t>(fd);
    epoll_ctl(m_epoll, EPOLL_CTL_MOD, fd, &event);
}

void EventLoop::forget(int fd) {
    if (m_entries.erase(fd) > 0)
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
}

bool EventLoop::runUntil(const std::function<bool()>& done, Clock::time_point deadline,
                         const std::function<void()>& tick) {
    epoll_event events[256];
    while (!done()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        const int wait = static_cast<int>(std::min<long long>(10, left.count() + 1));
        const int count = epoll_wait(m_epoll, events, 256, wait);
        for (int i = 0; i < count; ++i) {
            const int fd = static_cast<int>(events[i].data.u64 & 0xFFFFFFFFu);
            const auto generation = static_cast<std::uint32_t>(events[i].data.u64 >> 32);
            const auto found = m_entries.find(fd);
            // Closed, or its number reused, by an earlier handler of this round.
            if (found == m_entries.end() || found->second.generation != generation)
                continue;
            Handler handler = found->second.handler; // may forget itself
            handler(events[i].events);
        }
        if (tick)
            tick();
    }
    return true;
}

} // namespace qm::stress
