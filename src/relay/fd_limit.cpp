#include "relay/fd_limit.h"

#include <dirent.h>
#include <sys/resource.h>

namespace qm {

namespace {

// Left over, a little is enough; below this the count is taken again.
constexpr long RecountBelow = 64;
constexpr auto RecountEvery = std::chrono::seconds(1);
// What the rest of the process may open between two counts (the datagram
// sockets bound after the listener, a probe's socket) is kept free as well.
constexpr long OthersSlack = 4;

long currentLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    return static_cast<long>(limit.rlim_cur);
}

// Open descriptors of the process, or -1 when they cannot be listed (as when
// none is left to list them with).
long openDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return -1;
    long count = 0;
    while (const dirent* entry = readdir(folder))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(folder);
    return count - 1; // the listing's own
}

} // namespace

long raiseFileDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(limit.rlim_cur);
}

void DescriptorBudget::take(int ownDescriptors) {
    m_takenAt = std::chrono::steady_clock::now();
    m_limit = currentLimit();
    const long open = openDescriptors();
    m_others = open < 0 ? m_limit - ownDescriptors : open - ownDescriptors;
}

bool DescriptorBudget::allows(int ownDescriptors, int needed) {
    if (m_limit < 0)
        return true;
    if (m_limit - (m_others + ownDescriptors) < needed + RecountBelow &&
        std::chrono::steady_clock::now() - m_takenAt >= RecountEvery)
        take(ownDescriptors);
    return m_limit < 0 || m_limit - (m_others + ownDescriptors) >= needed + OthersSlack;
}

} // namespace qm
