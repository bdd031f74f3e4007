#include "bench_interactive.h"

#include "bench_connection.h"
#include "bench_pattern.h"
#include "bench_upstream.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <queue>
#include <random>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qm::bench {

namespace {

using SteadyClock = std::chrono::steady_clock;

double microsecondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

// One chatty connection: at most one message on its way at a time; a message
// due while the previous one is unanswered goes out when the answer is in.
struct Chatty {
    std::unique_ptr<Connection> connection;
    std::vector<char> message;
    std::size_t echoed = 0;
    bool awaiting = false;
    bool due = false;
    bool failed = false;
    SteadyClock::time_point sentAt;
    std::uint64_t sequence = 0;
};

class ChatterWorker {
public:
    ChatterWorker(std::uint16_t port, int connections, double rate, int size, unsigned seed)
        : m_interval(1.0 / rate), m_random(seed) {
        m_epoll = epoll_create1(EPOLL_CLOEXEC);
        m_chatty.resize(static_cast<std::size_t>(connections));
        for (std::size_t i = 0; i < m_chatty.size(); ++i) {
            Chatty& chatty = m_chatty[i];
            chatty.connection = std::make_unique<Connection>(port);
            chatty.message.resize(static_cast<std::size_t>(size));
            // An echo once, blocking, so the pair stands before the clock runs.
            const char hello[17] = "E0123456789abcde";
            char echo[16];
            chatty.connection->sendAll(hello, sizeof hello);
            chatty.connection->receiveAll(echo, sizeof echo);
            const int fd = chatty.connection->fd();
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = i;
            epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
        }
    }
    ~ChatterWorker() { ::close(m_epoll); }

    void run(SteadyClock::time_point start, SteadyClock::time_point end) {
        std::uniform_real_distribution<double> firstAt(0, m_interval);
        for (std::size_t i = 0; i < m_chatty.size(); ++i)
            m_schedule.push({start + toDuration(firstAt(m_random)), i});
        epoll_event events[64];
        for (auto now = SteadyClock::now(); now < end; now = SteadyClock::now()) {
            while (!m_schedule.empty() && m_schedule.top().at <= now) {
                const Due next = m_schedule.top();
                m_schedule.pop();
                Chatty& chatty = m_chatty[next.index];
                std::uniform_real_distribution<double> jitter(0.5, 1.5);
                m_schedule.push({next.at + toDuration(m_interval * jitter(m_random)), next.index});
                chatty.due = true;
                if (!chatty.awaiting)
                    send(chatty, now);
            }
            const auto wait = std::max(SteadyClock::duration::zero(),
                                       m_schedule.empty() ? end - now : m_schedule.top().at - now);
            // To the nanosecond: sends are a fraction of a millisecond apart, and a
            // timeout in whole milliseconds would spin the load on a core of its own.
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            const timespec timeout{static_cast<time_t>(ns / 1000000000),
                                   static_cast<long>(ns % 1000000000)};
            const int count = epoll_pwait2(m_epoll, events, 64, &timeout, nullptr);
            for (int i = 0; i < count; ++i)
                receive(m_chatty[events[i].data.u64], true);
        }
        // Answers still on their way at the end get a second to arrive.
        const auto grace = SteadyClock::now() + std::chrono::seconds(1);
        while (awaitingCount() > 0 && SteadyClock::now() < grace) {
            const int count = epoll_wait(m_epoll, events, 64, 10);
            for (int i = 0; i < count; ++i)
                receive(m_chatty[events[i].data.u64], false);
        }
        m_failures += awaitingCount();
    }

    std::vector<double>& samples() { return m_samples; }
    int failures() const { return m_failures; }

private:
    struct Due {
        SteadyClock::time_point at;
        std::size_t index;
        bool operator>(const Due& other) const { return at > other.at; }
    };
    static SteadyClock::duration toDuration(double seconds) {
        return std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::duration<double>(seconds));
    }

    void send(Chatty& chatty, SteadyClock::time_point now) {
        if (chatty.failed)
            return;
        std::size_t count = chatty.message.size();
        std::memcpy(chatty.message.data(), Pattern::instance().at(chatty.sequence++, count), count);
        const ssize_t n = ::send(chatty.connection->fd(), chatty.message.data(),
                                 chatty.message.size(), MSG_NOSIGNAL);
        if (n != static_cast<ssize_t>(chatty.message.size()))
            return fail(chatty);
        chatty.awaiting = true;
        chatty.due = false;
        chatty.echoed = 0;
        chatty.sentAt = now;
    }

    int awaitingCount() const {
        int count = 0;
        for (const Chatty& chatty : m_chatty)
            count += chatty.awaiting && !chatty.failed ? 1 : 0;
        return count;
    }

    void receive(Chatty& chatty, bool sendDue) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(chatty.connection->fd(), buffer, sizeof buffer, 0);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return;
            const std::size_t got = static_cast<std::size_t>(n);
            if (n <= 0 || !chatty.awaiting || chatty.echoed + got > chatty.message.size() ||
                std::memcmp(buffer, chatty.message.data() + chatty.echoed, got) != 0)
                return fail(chatty);
            chatty.echoed += got;
            if (chatty.echoed < chatty.message.size())
                continue;
            const auto now = SteadyClock::now();
            m_samples.push_back(microsecondsBetween(chatty.sentAt, now));
            chatty.awaiting = false;
            if (chatty.due && sendDue)
                send(chatty, now);
        }
    }

    void fail(Chatty& chatty) {
        if (chatty.failed)
            return;
        chatty.failed = true;
        ++m_failures;
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, chatty.connection->fd(), nullptr);
    }

    double m_interval;
    std::mt19937 m_random;
    int m_epoll = -1;
    std::vector<Chatty> m_chatty;
    std::priority_queue<Due, std::vector<Due>, std::greater<>> m_schedule;
    std::vector<double> m_samples;
    int m_failures = 0;
};

} // namespace

BurstTimes bursts(std::uint16_t port, int rounds, int pieces, int size, int gapUs) {
    Connection connection(port);
    connection.request('B', burstArgument(pieces, size, gapUs));
    const std::size_t burstBytes =
        static_cast<std::size_t>(pieces) * static_cast<std::size_t>(size);
    std::vector<char> burst(burstBytes);
    std::vector<double> samples;
    const int warmUp = 5;
    std::uint64_t offset = 0;
    for (int round = 0; round < warmUp + rounds; ++round) {
        const char request[BurstRequestBytes] = {};
        const auto start = SteadyClock::now();
        connection.sendAll(request, sizeof request);
        connection.receiveAll(burst.data(), burst.size());
        const double us = microsecondsBetween(start, SteadyClock::now());
        if (!Pattern::instance().matches(offset, burst.data(), burst.size()))
            throw std::runtime_error("burst corrupted");
        offset += burstBytes;
        if (round >= warmUp)
            samples.push_back(us / 1000);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {percentile(samples, 0.50), percentile(samples, 0.99)};
}

ChatterFigures chatter(std::uint16_t port, int connections, double rate, int size, double seconds,
                       int workers) {
    std::vector<std::unique_ptr<ChatterWorker>> pool;
    for (int w = 0; w < workers; ++w)
        pool.push_back(std::make_unique<ChatterWorker>(
            port, connections / workers + (w < connections % workers ? 1 : 0), rate, size,
            1234u + static_cast<unsigned>(w)));
    const auto start = SteadyClock::now();
    const auto end = start + std::chrono::duration_cast<SteadyClock::duration>(
                                 std::chrono::duration<double>(seconds));
    std::vector<std::thread> threads;
    for (auto& worker : pool)
        threads.emplace_back([&worker, start, end] { worker->run(start, end); });
    for (std::thread& thread : threads)
        thread.join();
    std::vector<double> samples;
    int failures = 0;
    for (auto& worker : pool) {
        samples.insert(samples.end(), worker->samples().begin(), worker->samples().end());
        failures += worker->failures();
    }
    const double messagesPerSecond = static_cast<double>(samples.size()) / seconds;
    const double p50 = percentile(samples, 0.50);
    return {messagesPerSecond, p50, percentile(samples, 0.99), percentile(samples, 0.999),
            failures};
}

} // namespace qm::bench
