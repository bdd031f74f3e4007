// relay-bench: the relay engine against direct loopback, in one run.
//   relay-bench [--bytes MiB] [--quick]      measure and print a table
//   relay-bench serve LISTEN_PORT UPSTREAM_PORT   run the engine alone as a relay
#include "bench_client.h"
#include "bench_interactive.h"
#include "bench_serve.h"
#include "bench_upstream.h"

#include "relay/fd_limit.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <sched.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace qm::bench;

namespace {

struct Settings {
    std::uint64_t bytes = 1ull << 30;
    int latencyRounds = 20000;
    double connectSeconds = 3;
    int heldPairs = 1000;
    int burstRounds = 300;
    double chatterSeconds = 5;
};

// The engine in a child process of its own, so its memory and processor time
// are its own.
class RelayProcess {
public:
    RelayProcess(std::uint16_t upstreamPort) {
        int pipeFds[2];
        if (pipe(pipeFds) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid == 0) {
            dup2(pipeFds[1], STDOUT_FILENO);
            const std::string upstream = std::to_string(upstreamPort);
            execl("/proc/self/exe", "relay-bench", "serve", "0", upstream.c_str(), nullptr);
            _exit(127);
        }
        ::close(pipeFds[1]);
        char line[64] = {};
        std::size_t used = 0;
        while (used + 1 < sizeof line) {
            const ssize_t n = ::read(pipeFds[0], line + used, 1);
            if (n <= 0 || line[used] == '\n')
                break;
            ++used;
        }
        ::close(pipeFds[0]);
        unsigned port = 0;
        if (std::sscanf(line, "listening %u", &port) != 1)
            throw std::runtime_error("the relay did not start");
        m_port = static_cast<std::uint16_t>(port);
    }
    ~RelayProcess() {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
    std::uint16_t port() const { return m_port; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    std::uint16_t m_port = 0;
};

void pinThreads(pid_t pid, int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (cpu >= 0) {
        CPU_SET(cpu, &set);
    } else {
        for (long c = 0; c < sysconf(_SC_NPROCESSORS_ONLN); ++c)
            CPU_SET(c, &set);
    }
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                sched_setaffinity(std::atoi(entry->d_name), sizeof set, &set);
        closedir(dir);
    }
}

// Client, upstream and relay all on CPU 0: steadier latency on a VM.
Latency pinnedRoundTrips(std::uint16_t port, pid_t relay, int rounds) {
    pinThreads(getpid(), 0);
    if (relay > 0)
        pinThreads(relay, 0);
    const Latency latency = roundTrips(port, rounds, 64);
    pinThreads(getpid(), -1);
    if (relay > 0)
        pinThreads(relay, -1);
    return latency;
}

void row(const char* name, double direct, double engine) {
    if (direct > 0)
        std::printf("| %-34s | %10.1f | %10.1f | %6.2f |\n", name, direct, engine, engine / direct);
    else
        std::printf("| %-34s | %10s | %10.1f | %6s |\n", name, "-", engine, "-");
    std::fflush(stdout);
}

int measure(const Settings& settings) {
    qm::raiseFileDescriptorLimit();
    BenchUpstream upstream;
    RelayProcess relay(upstream.port());
    const std::uint16_t direct = upstream.port();
    const std::uint16_t engine = relay.port();

    std::printf("relay-bench: engine (pid %d) against direct loopback, same run; %llu MiB per "
                "stream\n\n",
                relay.pid(), static_cast<unsigned long long>(settings.bytes >> 20));
    std::printf("| %-34s | %10s | %10s | %6s |\n|%s|%s|%s|%s|\n", "measurement", "direct", "engine",
                "ratio", std::string(36, '-').c_str(), std::string(12, '-').c_str(),
                std::string(12, '-').c_str(), std::string(8, '-').c_str());

    row("throughput client->upstream MB/s", throughputUp(direct, settings.bytes),
        throughputUp(engine, settings.bytes));
    row("throughput upstream->client MB/s", throughputDown(direct, settings.bytes),
        throughputDown(engine, settings.bytes));
    const Latency directLatency = roundTrips(direct, settings.latencyRounds, 64);
    const Latency engineLatency = roundTrips(engine, settings.latencyRounds, 64);
    row("64-byte round trip p50 us", directLatency.p50Us, engineLatency.p50Us);
    row("64-byte round trip p99 us", directLatency.p99Us, engineLatency.p99Us);
    const Latency directPinned = pinnedRoundTrips(direct, -1, settings.latencyRounds);
    const Latency enginePinned = pinnedRoundTrips(engine, relay.pid(), settings.latencyRounds);
    row("pinned round trip p50 us", directPinned.p50Us, enginePinned.p50Us);
    row("pinned round trip p99 us", directPinned.p99Us, enginePinned.p99Us);
    int directFailures = 0, engineFailures = 0;
    const double directRate =
        connectionsPerSecond(direct, 4, settings.connectSeconds, &directFailures);
    const double engineRate =
        connectionsPerSecond(engine, 4, settings.connectSeconds, &engineFailures);
    row("connections/s (4 workers)", directRate, engineRate);

    // Interactive traffic: a reply in three small writes 2 ms apart, and many
    // clients sending small messages at a steady rate.
    const BurstTimes directBurst = bursts(direct, settings.burstRounds, 3, 50, 2000);
    const BurstTimes engineBurst = bursts(engine, settings.burstRounds, 3, 50, 2000);
    row("burst 3x50 B, last byte p50 ms", directBurst.p50Ms, engineBurst.p50Ms);
    row("burst 3x50 B, last byte p99 ms", directBurst.p99Ms, engineBurst.p99Ms);
    const ChatterFigures directChatter = chatter(direct, 500, 20, 64, settings.chatterSeconds);
    const ChatterFigures engineChatter = chatter(engine, 500, 20, 64, settings.chatterSeconds);
    row("chatter 500x20/s 64 B, p50 us", directChatter.p50Us, engineChatter.p50Us);
    row("chatter 500x20/s 64 B, p99 us", directChatter.p99Us, engineChatter.p99Us);
    row("chatter messages/s", directChatter.messagesPerSecond, engineChatter.messagesPerSecond);
    directFailures += directChatter.failures;
    engineFailures += engineChatter.failures;

    // Memory and idle cost from a fresh engine.
    RelayProcess fresh(upstream.port());
    const long before = residentKiB(fresh.pid());
    long holding = 0;
    const bool held = holdConnections(fresh.port(), settings.heldPairs, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        holding = residentKiB(fresh.pid());
    });
    row("KiB per open pair (1000 pairs)", 0,
        static_cast<double>(holding - before) / settings.heldPairs);
    const double idleStart = processorSeconds(fresh.pid());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    row("idle, % of a core over 3 s", 0, (processorSeconds(fresh.pid()) - idleStart) / 3 * 100);

    std::printf("\nconnection failures: direct %d, engine %d; held pairs %s; corrupt uploads %d\n",
                directFailures, engineFailures, held ? "all echoed" : "FAILED",
                upstream.corruptUploads());
    return directFailures + engineFailures == 0 && held && upstream.corruptUploads() == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "serve") == 0)
        return serveRelay(argc, argv, static_cast<std::uint16_t>(std::atoi(argv[2])),
                          static_cast<std::uint16_t>(std::atoi(argv[3])));
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bytes") == 0 && i + 1 < argc) {
            settings.bytes = std::strtoull(argv[++i], nullptr, 10) << 20;
        } else if (std::strcmp(argv[i], "--quick") == 0) {
            settings = {64ull << 20, 2000, 1, 200, 50, 1};
        } else {
            std::fprintf(stderr, "usage: relay-bench [--bytes MiB] [--quick]\n"
                                 "       relay-bench serve LISTEN_PORT UPSTREAM_PORT\n");
            return 2;
        }
    }
    try {
        return measure(settings);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "relay-bench: %s\n", error.what());
        return 1;
    }
}
