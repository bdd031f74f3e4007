#pragma once

namespace qm {

// An eventfd that one thread signals and another waits for, in its poller.
class WakeEvent {
public:
    WakeEvent(); // without a descriptor when none is left: see valid()
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool valid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    void signal();
    // Clears the signal; call before looking at what it announced.
    void drain();

private:
    int m_fd = -1;
};

} // namespace qm
