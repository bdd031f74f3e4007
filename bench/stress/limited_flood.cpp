// Limited flood: one address connects as fast as it can against a relay with
// per-address limits; its pairs stay within the limit, a real client from
// another address is served meanwhile, and the log stays short.
#include "scenarios.h"

#include "event_loop.h"
#include "relay_process.h"
#include "sockets.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <unordered_map>

namespace qm::stress {

namespace {

constexpr int PairLimit = 20;
constexpr int RateLimit = 50;

} // namespace

bool runLimitedFlood(const StressOptions& options) {
    const int maxAttempts = options.quick ? 2000 : 20000;
    const int maxPending = 200;
    const double floodSeconds = options.quick ? 2 : 10;

    std::uint16_t upstreamPort = 0;
    const pid_t echo = startEchoServer(&upstreamPort);
    EventLoop loop;
    RelayProcess relay(options.program);
    {
        std::ofstream(relay.configPath()) << RelayProcess::configFor(freePort(), upstreamPort)
                                          << "[relay]\nConnections_Per_IP=" << PairLimit
                                          << "\nConnects_Per_IP_Per_Second=" << RateLimit << "\n";
    }
    if (!relay.startListening("limited", scaled(options, 5000))) {
        stopProcess(echo);
        return false;
    }
    const std::uint16_t port = relay.listeningPort();
    loop.watch(relay.outputFd(), EPOLLIN, [&relay](std::uint32_t) { relay.readOutput(); });
    const long linesBefore = relay.refusalLines();

    // Relayed flood connections are held, so the pair limit is reached and stays so.
    std::unordered_map<int, bool> flood; // fd -> relayed
    int attempts = 0, pending = 0, relayed = 0, refused = 0;
    const auto close = [&](int fd) {
        loop.forget(fd);
        ::close(fd);
        flood.erase(fd);
    };
    const auto onEvent = [&](int fd, std::uint32_t events) {
        if (flood[fd])
            return close(fd); // a held pair that ended: nothing to count
        const PairTrial trial = tryPair(loop, fd, events);
        if (trial == PairTrial::Waiting)
            return;
        --pending;
        if (trial == PairTrial::Relayed) {
            flood[fd] = true;
            ++relayed;
            loop.change(fd, 0);
            return;
        }
        ++refused;
        close(fd);
    };
    bool realClientServed = false;
    double realClientSeconds = -1;
    const auto floodStart = Clock::now();
    const auto tick = [&] {
        // Spread evenly over the flood's time, so that it lasts.
        const double due = maxAttempts * secondsSince(floodStart) / floodSeconds;
        while (attempts < maxAttempts && attempts < due && pending < maxPending) {
            const int fd = connectFrom(loopback(2), port);
            ++attempts;
            if (fd < 0)
                continue;
            ++pending;
            flood[fd] = false;
            loop.watch(fd, EPOLLOUT, [&onEvent, fd](std::uint32_t events) { onEvent(fd, events); });
        }
        // Half-way through, while the flood still runs, a client of another address.
        if (realClientSeconds < 0 && secondsSince(floodStart) > floodSeconds / 2) {
            const auto asked = Clock::now();
            realClientServed = relaysOnce(port, 2000);
            realClientSeconds = secondsSince(asked);
        }
    };
    loop.runUntil(
        [&] { return secondsSince(floodStart) > floodSeconds || attempts >= maxAttempts; },
        Clock::now() + std::chrono::seconds(60), tick);
    const double elapsed = secondsSince(floodStart);
    const long peakKiB = relay.memoryKiB("VmHWM:");
    // What the log wrote of the refusals, once its last sum is out.
    loop.runUntil([] { return false; }, Clock::now() + std::chrono::milliseconds(1500), [] {});
    const long lines = relay.refusalLines() - linesBefore;
    while (!flood.empty())
        close(flood.begin()->first);
    relay.stop();
    stopProcess(echo);

    // A line a second per reason, and a first line of each: far fewer than the refusals.
    const long lineBound = 2 * (static_cast<long>(elapsed) + 3) * 2;
    const bool ok = realClientServed && relayed <= PairLimit && refused > 0 && lines <= lineBound &&
                    relay.exitSignal() == 0;
    std::printf("limited: %s, %d attempts from 1 address in %.1f s with Connections_Per_IP=%d, "
                "Connects_Per_IP_Per_Second=%d: %d relayed, %d refused; real client %s in %.1f ms "
                "during the flood; %ld refusal log lines (bound %ld); relay memory %ld KiB peak "
                "(VmHWM)\n",
                ok ? "ok" : "FAILED", attempts, elapsed, PairLimit, RateLimit, relayed, refused,
                realClientServed ? "served" : "NOT served", realClientSeconds * 1000, lines,
                lineBound, peakKiB);
    std::fflush(stdout);
    return ok;
}

} // namespace qm::stress
