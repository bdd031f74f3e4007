// window-load-bench: chatter round trips through the relay as the program
// runs it (started by the relay controller), in rounds without and with the
// online list window open on every live pair, after a warm-up round.
//   window-load-bench [--rounds N] [--seconds S]   N rounds of each, S s each
// The load runs on threads of its own, so only the relay waits for the window.
#include "bench_client.h"
#include "bench_interactive.h"
#include "bench_upstream.h"

#include "relay/fd_limit.h"
#include "support/controller_rig.h"
#include "ui/app_context.h"
#include "ui/online/online_list_window.h"

#include <QApplication>
#include <QLocale>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <memory>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace qm;
using namespace qm::bench;

namespace {

constexpr int IdlePairs = 5000;
constexpr int ChattyConnections = 500;
constexpr double MessagesPerSecond = 20;
constexpr int MessageBytes = 64;
constexpr double Limit = 1.10;
// Above this share of the machine taken by others, a round says little.
constexpr double BusyOthersPercent = 20;

// A pair is two descriptors in the relay, and this process also holds the
// client's end of it.
void ensureDescriptors(rlim_t needed) {
    raiseFileDescriptorLimit();
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        throw std::runtime_error("cannot read the descriptor limit");
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
        const rlimit raised{needed, std::max(needed, limit.rlim_max)};
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0)
            throw std::runtime_error(
                "needs " + std::to_string(needed) + " open descriptors, the limit is " +
                std::to_string(limit.rlim_cur) + " (hard " + std::to_string(limit.rlim_max) +
                ") and cannot be raised: " + std::strerror(errno) +
                "; raise the hard limit first (ulimit -Hn)");
    }
}

// The echo upstream in a child process, so that its descriptors count against
// a limit of their own; it ends when this process closes the pipe.
class EchoProcess {
public:
    EchoProcess() {
        int toParent[2], fromParent[2];
        if (pipe2(toParent, O_CLOEXEC) != 0 || pipe2(fromParent, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid < 0)
            throw std::runtime_error("fork");
        if (m_pid == 0) {
            ::close(toParent[0]);
            ::close(fromParent[1]);
            raiseFileDescriptorLimit();
            try {
                BenchUpstream upstream;
                const std::uint16_t port = upstream.port();
                if (::write(toParent[1], &port, sizeof port) == sizeof port)
                    for (char byte; ::read(fromParent[0], &byte, 1) > 0;) {
                    }
            } catch (const std::exception&) {
            }
            _exit(0);
        }
        ::close(toParent[1]);
        ::close(fromParent[0]);
        m_stop = fromParent[1];
        const bool started = ::read(toParent[0], &m_port, sizeof m_port) == sizeof m_port;
        ::close(toParent[0]);
        if (!started)
            throw std::runtime_error("the echo server did not start");
    }
    ~EchoProcess() {
        ::close(m_stop);
        waitpid(m_pid, nullptr, 0);
    }
    EchoProcess(const EchoProcess&) = delete;
    EchoProcess& operator=(const EchoProcess&) = delete;

    std::uint16_t port() const { return m_port; }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_stop = -1;
    std::uint16_t m_port = 0;
};

// Processor time of the machine less this process and the echo server's:
// other work, which delays the relay as much as the window can.
double othersSeconds(pid_t echo) {
    std::ifstream stat("/proc/stat");
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    // Interrupt time too: loopback traffic is handled in softirqs, which the
    // processes' own times include.
    return (user + nice + system + irq + softirq + steal) /
               static_cast<double>(sysconf(_SC_CLK_TCK)) -
           processorSeconds(getpid()) - processorSeconds(echo);
}

struct Round {
    bool warmUp = false;
    bool window = false;
    ChatterFigures figures{};
    double mainMsPerSecond = 0; // processor time of the main thread, where the window runs
    double othersPercent = 0;   // of all cores, used by other processes
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs on the load's thread: every round while the idle pairs are held.
class Load {
public:
    Load(std::uint16_t port, pid_t echoPid, int roundsEach, double seconds, AppContext& ctx)
        : m_port(port), m_echoPid(echoPid), m_roundsEach(roundsEach), m_seconds(seconds),
          m_ctx(ctx), m_mainThread(pthread_self()) {}

    void run() {
        try {
            if (!holdConnections(m_port, IdlePairs, [this] { runRounds(); }))
                m_failure = "the idle pairs could not all be opened and echoed";
        } catch (const std::exception& error) {
            m_failure = error.what();
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }

    const std::vector<Round>& rounds() const { return m_rounds; }
    const std::string& failure() const { return m_failure; }

private:
    void onMainThread(const std::function<void()>& work) {
        QMetaObject::invokeMethod(qApp, work, Qt::BlockingQueuedConnection);
    }

    double mainThreadSeconds() const {
        clockid_t clock;
        timespec used{};
        if (pthread_getcpuclockid(m_mainThread, &clock) != 0 || clock_gettime(clock, &used) != 0)
            return 0;
        return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
    }

    void runRounds() {
        std::printf("window-load-bench: %d idle pairs, %d connections x %.0f messages/s of %d "
                    "bytes, %.0f s per round\n",
                    IdlePairs, ChattyConnections, MessagesPerSecond, MessageBytes, m_seconds);
        std::fflush(stdout);
        // Round 0 warms up and is not counted: the first round after the idle
        // pairs open ran 2-3x slower than the rest in either mode. The order
        // then goes without, with, with, without, ... so a drift over the run
        // weighs on both modes alike.
        for (int i = 0; i <= 2 * m_roundsEach; ++i) {
            Round round;
            round.warmUp = i == 0;
            round.window = !round.warmUp && (i % 4 == 2 || i % 4 == 3);
            if (round.window)
                onMainThread([this] {
                    m_window = std::make_unique<OnlineListWindow>(m_ctx);
                    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
                    m_window->show();
                });
            const double busyBefore = mainThreadSeconds();
            const double othersAtStart = othersSeconds(m_echoPid);
            const auto start = std::chrono::steady_clock::now();
            round.figures =
                chatter(m_port, ChattyConnections, MessagesPerSecond, MessageBytes, m_seconds);
            const double wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            round.mainMsPerSecond = (mainThreadSeconds() - busyBefore) / wall * 1000;
            onMainThread([this] { m_window.reset(); });
            round.othersPercent = (othersSeconds(m_echoPid) - othersAtStart) / wall /
                                  static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN)) * 100;
            std::printf("round %d %-14s p50 %7.0f us  p99 %7.0f us  %6.0f messages/s  main "
                        "thread %4.1f ms/s  failures %d  others %3.0f %%\n",
                        i,
                        round.warmUp   ? "warm-up"
                        : round.window ? "with window"
                                       : "without window",
                        round.figures.p50Us, round.figures.p99Us, round.figures.messagesPerSecond,
                        round.mainMsPerSecond, round.figures.failures, round.othersPercent);
            std::fflush(stdout);
            m_rounds.push_back(round);
        }
    }

    std::uint16_t m_port;
    pid_t m_echoPid;
    int m_roundsEach;
    double m_seconds;
    AppContext& m_ctx;
    pthread_t m_mainThread;
    std::unique_ptr<OnlineListWindow> m_window;
    std::vector<Round> m_rounds;
    std::string m_failure;
};

void summarise(const std::vector<Round>& rounds) {
    std::vector<double> with, without;
    double others = 0;
    for (const Round& round : rounds) {
        if (round.warmUp)
            continue;
        (round.window ? with : without).push_back(round.figures.p99Us);
        others = std::max(others, round.othersPercent);
    }
    const double ratio = median(with) / median(without);
    std::printf("median p99: without window %.0f us, with window %.0f us, ratio %.2f\n"
                "window does not slow the relay: %s (limit %.2f)\n",
                median(without), median(with), ratio, ratio <= Limit ? "yes" : "no", Limit);
    if (others > BusyOthersPercent)
        std::printf("(other processes used up to %.0f %% of the machine in a round: not "
                    "conclusive)\n",
                    others);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    int roundsEach = 3;
    double seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            roundsEach = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::max(1.0, std::atof(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: window-load-bench [--rounds N] [--seconds S]\n");
            return 2;
        }
    }
    try {
        ensureDescriptors(3 * (IdlePairs + ChattyConnections) + 512);
        // Forked before Qt starts any thread.
        EchoProcess upstream;
        QApplication app(argc, argv);
        app.setQuitOnLastWindowClosed(false); // the window closes after each round
        // Probed once a second, as the program does.
        test::ControllerRig rig(1000, 1000);
        const quint16 port = test::freePort();
        const QString host = QStringLiteral("127.0.0.1");
        if (port == 0 ||
            !rig.apply(test::boxesFor(port, host, upstream.port(), host, upstream.port())))
            throw std::runtime_error("the relay did not start: " +
                                     rig.messageTexts().join(QStringLiteral("; ")).toStdString());
        AppContext ctx{&rig.bans, &rig.clock, nullptr, rig.controller.get()};
        Load load(port, upstream.pid(), roundsEach, seconds, ctx);
        std::thread thread([&load] { load.run(); });
        app.exec();
        thread.join();
        if (!load.failure().empty())
            throw std::runtime_error(load.failure());
        summarise(load.rounds());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "window-load-bench: %s\n", error.what());
        return 1;
    }
}
