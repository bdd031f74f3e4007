// Flood: connections from several loopback addresses until the relay refuses;
// an open pair keeps relaying meanwhile, and a new client is served soon after.
#include "scenarios.h"

#include "event_loop.h"
#include "relay_process.h"
#include "sockets.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace qm::stress {

namespace {

constexpr int SourceAddresses = 8;

struct FloodConnection {
    Clock::time_point started;
    bool relayed = false;
};

// The pair that was open before the flood: one small round trip after another.
class SteadyPair {
public:
    SteadyPair(EventLoop& loop, std::uint16_t port) : m_loop(loop) {
        m_fd = connectFrom(loopback(1), port);
        m_ok = m_fd >= 0 && roundTrip(m_fd, "before the flood", 5000);
        if (m_ok)
            m_loop.watch(m_fd, EPOLLIN, [this](std::uint32_t) { receive(); });
    }
    ~SteadyPair() {
        if (m_fd >= 0) {
            m_loop.forget(m_fd);
            ::close(m_fd);
        }
    }
    // Sends the next message once the last one is back; a message not back
    // within two seconds is an error.
    void tick() {
        if (!m_ok)
            return;
        if (m_waiting && secondsSince(m_sentAt) > 2) {
            ++m_errors;
            m_ok = false;
            return;
        }
        if (m_waiting || secondsSince(m_sentAt) < 0.01)
            return;
        m_message = "message " + std::to_string(m_rounds);
        if (::send(m_fd, m_message.data(), m_message.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(m_message.size())) {
            ++m_errors;
            m_ok = false;
            return;
        }
        m_echo.clear();
        m_waiting = true;
        m_sentAt = Clock::now();
    }
    int rounds() const { return m_rounds; }
    int errors() const { return m_errors + (m_ok ? 0 : 1); }
    double slowestMs() const { return m_slowest * 1000; }

private:
    void receive() {
        char buffer[256];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0 || !m_waiting) {
            m_ok = false;
            m_loop.forget(m_fd);
            return;
        }
        m_echo.append(buffer, static_cast<std::size_t>(n));
        if (m_echo.size() < m_message.size())
            return;
        if (m_echo != m_message)
            ++m_errors;
        m_slowest = std::max(m_slowest, secondsSince(m_sentAt));
        m_waiting = false;
        ++m_rounds;
    }

    EventLoop& m_loop;
    int m_fd = -1;
    bool m_ok = false;
    bool m_waiting = false;
    std::string m_message, m_echo;
    Clock::time_point m_sentAt;
    int m_rounds = 0;
    int m_errors = 0;
    double m_slowest = 0;
};

} // namespace

bool runFlood(const StressOptions& options) {
    const int maxAttempts = options.quick ? 1500 : 30000;
    const int maxPending = 200;
    // Refusals that end the flood: the relay has shown where its limit is.
    const int enoughRefusals = 50;

    // This side holds one socket per flood connection.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    std::uint16_t upstreamPort = 0;
    const pid_t echo = startEchoServer(&upstreamPort);
    EventLoop loop;
    RelayProcess relay(options.program);
    { std::ofstream(relay.configPath()) << RelayProcess::configFor(freePort(), upstreamPort); }
    if (!relay.startListening("flood", scaled(options, 5000))) {
        stopProcess(echo);
        return false;
    }
    const std::uint16_t port = relay.listeningPort();
    loop.watch(relay.outputFd(), EPOLLIN, [&relay](std::uint32_t) { relay.readOutput(); });
    const long idleKiB = relay.memoryKiB();
    SteadyPair steady(loop, port);

    std::unordered_map<int, FloodConnection> flood;
    int attempts = 0, pending = 0, relayed = 0, refused = 0;
    long peakKiB = idleKiB;
    auto lastSample = Clock::now();
    const auto drop = [&](int fd) {
        loop.forget(fd);
        ::close(fd);
        flood.erase(fd);
    };
    const auto onEvent = [&](int fd, std::uint32_t events) {
        FloodConnection& connection = flood[fd];
        const PairTrial trial = connection.relayed ? PairTrial::Refused : tryPair(loop, fd, events);
        if (trial == PairTrial::Waiting)
            return;
        if (trial == PairTrial::Relayed) {
            connection.relayed = true;
            ++relayed;
            --pending;
            return;
        }
        if (!connection.relayed) {
            ++refused;
            --pending;
        }
        drop(fd);
    };
    const auto floodStart = Clock::now();
    const auto tick = [&] {
        steady.tick();
        if (secondsSince(lastSample) > 0.1) {
            peakKiB = std::max(peakKiB, relay.memoryKiB());
            lastSample = Clock::now();
        }
        // Connections that neither stand nor fail within three seconds count as refused.
        for (auto it = flood.begin(); it != flood.end();) {
            if (!it->second.relayed && secondsSince(it->second.started) > 3) {
                ++refused;
                --pending;
                loop.forget(it->first);
                ::close(it->first);
                it = flood.erase(it);
            } else {
                ++it;
            }
        }
        while (attempts < maxAttempts && pending < maxPending && refused < enoughRefusals) {
            const int fd = connectFrom(loopback(2 + attempts % SourceAddresses), port);
            ++attempts;
            if (fd < 0) {
                ++refused; // out of descriptors or ports on this side
                continue;
            }
            ++pending;
            flood[fd] = {Clock::now(), false};
            loop.watch(fd, EPOLLOUT, [&onEvent, fd](std::uint32_t events) { onEvent(fd, events); });
        }
    };
    loop.runUntil(
        [&] { return pending == 0 && (attempts >= maxAttempts || refused >= enoughRefusals); },
        Clock::now() + std::chrono::seconds(options.quick ? 30 : 180), tick);
    const double floodSeconds = secondsSince(floodStart);
    // The steady pair goes on a little while the flood is held.
    loop.runUntil([] { return false; }, Clock::now() + std::chrono::milliseconds(500), tick);
    peakKiB = std::max(peakKiB, relay.memoryKiB());
    for (auto it = flood.begin(); it != flood.end(); it = flood.erase(it)) {
        loop.forget(it->first);
        ::close(it->first);
    }
    // A new client must be served within five seconds of the flood closing.
    const auto closedAt = Clock::now();
    bool recovered = false;
    while (!recovered && secondsSince(closedAt) < 10) {
        recovered = relaysOnce(port, 500);
        if (!recovered)
            loop.runUntil([] { return false; }, Clock::now() + std::chrono::milliseconds(100),
                          [&] { steady.tick(); });
    }
    const double recoverySeconds = secondsSince(closedAt);
    steady.tick();
    const int steadyErrors = steady.errors();
    relay.stop();
    stopProcess(echo);

    const bool ok =
        steadyErrors == 0 && recovered && recoverySeconds <= 5 && relay.exitSignal() == 0;
    std::printf("flood: %s, %d attempts from %d addresses in %.1f s, %d relayed, %d refused; "
                "relay memory %ld KiB idle, %ld KiB peak (VmRSS); open pair %d round trips, %d "
                "errors, slowest %.0f ms; new client relayed %.2f s after the flood closed%s\n",
                ok ? "ok" : "FAILED", attempts, SourceAddresses, floodSeconds, relayed, refused,
                idleKiB, peakKiB, steady.rounds(), steadyErrors, steady.slowestMs(),
                recoverySeconds, recovered ? "" : " (never)");
    std::fflush(stdout);
    return ok;
}

} // namespace qm::stress
