#include "relay/wake_event.h"

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace qm {

WakeEvent::WakeEvent() : m_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeEvent::~WakeEvent() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void WakeEvent::signal() {
    const std::uint64_t one = 1;
    // Only fails when the counter is full, and then it is signalled anyway.
    [[maybe_unused]] const ssize_t written = ::write(m_fd, &one, sizeof one);
}

void WakeEvent::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(m_fd, &count, sizeof count);
}

} // namespace qm
