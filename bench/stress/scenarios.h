#pragma once

#include <string>

namespace qm::stress {

struct StressOptions {
    std::string program;   // the built quillet-mirror
    bool quick = false;    // seconds instead of minutes, for the test suite
    bool isolated = false; // in a network namespace of its own: host names resolve nowhere
};

// Each prints its figure as one line and returns whether its bounds held.
bool runFlood(const StressOptions& options);
bool runChurn(const StressOptions& options);
bool runBadFiles(const StressOptions& options);
bool runDatagrams(const StressOptions& options);

} // namespace qm::stress
