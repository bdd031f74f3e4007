#pragma once

#include <chrono>
#include <string>

namespace qm::stress {

struct StressOptions {
    std::string program;   // the built quillet-mirror
    bool quick = false;    // seconds instead of minutes, for the test suite
    bool isolated = false; // in a network namespace of its own: host names resolve nowhere
    // A sanitized build starts and runs several times slower, and its allocator
    // keeps freed memory for a while: time bounds stretch, memory and processor
    // time are not bounded.
    bool sanitized = false;
    double timeScale = 1;
};

// A time bound of the real program, stretched for a slower build.
inline std::chrono::milliseconds scaled(const StressOptions& options, int milliseconds) {
    return std::chrono::milliseconds(static_cast<long long>(milliseconds * options.timeScale));
}

// Each prints its figure as one line and returns whether its bounds held.
bool runFlood(const StressOptions& options);
bool runLimitedFlood(const StressOptions& options);
bool runChurn(const StressOptions& options);
bool runBadFiles(const StressOptions& options);
bool runDatagrams(const StressOptions& options);

} // namespace qm::stress
