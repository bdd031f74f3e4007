#include "relay/splice_pipe.h"

#include <fcntl.h>
#include <unistd.h>

namespace qm {

bool SplicePipe::open(std::atomic<int>& openPipes, std::size_t capacity) {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    m_readFd = ends[0];
    m_writeFd = ends[1];
    // A larger pipe takes a whole read's worth; the default size is kept
    // where the system allows no more.
    const int size = fcntl(m_writeFd, F_SETPIPE_SZ, static_cast<int>(capacity));
    const int actual = size > 0 ? size : fcntl(m_writeFd, F_GETPIPE_SZ);
    // Past the user's pipe allowance the system hands out one-page pipes:
    // splicing a page at a time costs more than copying through memory.
    if (actual <= 0 || static_cast<std::size_t>(actual) < capacity / 4) {
        ::close(m_readFd);
        ::close(m_writeFd);
        m_readFd = m_writeFd = -1;
        return false;
    }
    m_capacity = static_cast<std::size_t>(actual);
    m_held = 0;
    m_openPipes = &openPipes;
    openPipes.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void SplicePipe::close() {
    if (m_readFd < 0)
        return;
    ::close(m_readFd);
    ::close(m_writeFd);
    m_readFd = m_writeFd = -1;
    m_held = 0;
    m_openPipes->fetch_sub(1, std::memory_order_relaxed);
    m_openPipes = nullptr;
}

ssize_t SplicePipe::fillFrom(int socketFd) {
    const ssize_t n = splice(socketFd, nullptr, m_writeFd, nullptr, m_capacity - m_held,
                             SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (n > 0)
        m_held += static_cast<std::size_t>(n);
    return n;
}

ssize_t SplicePipe::drainTo(int socketFd) {
    const ssize_t n =
        splice(m_readFd, nullptr, socketFd, nullptr, m_held, SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
    if (n > 0)
        m_held -= static_cast<std::size_t>(n);
    return n;
}

ssize_t SplicePipe::readHeld(char* buffer, std::size_t count) {
    const ssize_t n = ::read(m_readFd, buffer, count < m_held ? count : m_held);
    if (n > 0)
        m_held -= static_cast<std::size_t>(n);
    return n;
}

} // namespace qm
