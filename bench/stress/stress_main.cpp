// quillet-stress: floods, churn, bad files and datagrams against the built
// program in headless mode, one line of figures per scenario.
//   quillet-stress [--quick] [--sanitized] [--only flood|limited|churn|files|datagrams] PROGRAM
// Everything stays on loopback; where it may, the run takes a network
// namespace of its own, so that nothing it does can reach another machine.
#include "scenarios.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace qm::stress;

namespace {

bool bringLoopbackUp() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0)
        ::close(fd);
    return up;
}

bool isolate() {
    return unshare(CLONE_NEWNET) == 0 && bringLoopbackUp();
}

} // namespace

int main(int argc, char** argv) {
    StressOptions options;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            options.quick = true;
        else if (std::strcmp(argv[i], "--sanitized") == 0) {
            options.sanitized = true;
            options.timeScale = 6;
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else
            options.program = argv[i];
    }
    if (options.program.empty()) {
        std::fprintf(stderr, "usage: quillet-stress [--quick] [--sanitized] [--only "
                             "flood|limited|churn|files|datagrams] "
                             "PROGRAM\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    options.isolated = isolate();
    std::printf("quillet-stress: %s run of %s, %s\n", options.quick ? "short" : "full",
                options.program.c_str(),
                options.isolated ? "in a network namespace of its own"
                                 : "on this machine's loopback (no namespace allowed)");
    std::fflush(stdout);

    struct Scenario {
        const char* name;
        bool (*run)(const StressOptions&);
    };
    const Scenario scenarios[] = {{"flood", runFlood},
                                  {"limited", runLimitedFlood},
                                  {"churn", runChurn},
                                  {"files", runBadFiles},
                                  {"datagrams", runDatagrams}};
    int passed = 0, failed = 0;
    for (const Scenario& scenario : scenarios) {
        if (!only.empty() && only != scenario.name)
            continue;
        bool ok = false;
        try {
            ok = scenario.run(options);
        } catch (const std::exception& error) {
            std::printf("%s: FAILED, %s\n", scenario.name, error.what());
        }
        (ok ? passed : failed) += 1;
    }
    std::printf("stress: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
