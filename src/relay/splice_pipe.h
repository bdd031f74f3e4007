#pragma once

#include <atomic>
#include <cstddef>
#include <sys/types.h>

namespace qm {

// A kernel pipe that carries one side's bytes to the other without copying
// them through the relay: bytes spliced in from one socket wait in it until
// the other socket takes them. Closed with its owner; counts itself in the
// engine's tally of open pipes, which the descriptor budget reads.
class SplicePipe {
public:
    SplicePipe() = default;
    ~SplicePipe() { close(); }
    SplicePipe(const SplicePipe&) = delete;
    SplicePipe& operator=(const SplicePipe&) = delete;

    bool isOpen() const { return m_readFd >= 0; }
    // Bytes in the pipe, not yet sent.
    std::size_t held() const { return m_held; }
    // False when no pipe of at least a quarter of capacity can be had.
    bool open(std::atomic<int>& openPipes, std::size_t capacity);
    void close();

    // Into the pipe from a socket, at most its capacity: bytes moved, 0 at the
    // end of stream, -1 with errno otherwise. Only while empty.
    ssize_t fillFrom(int socketFd);
    // From the pipe into a socket: bytes moved, or -1 with errno.
    ssize_t drainTo(int socketFd);
    // Takes what is held into memory: count bytes at most, into buffer.
    ssize_t readHeld(char* buffer, std::size_t count);

private:
    int m_readFd = -1;
    int m_writeFd = -1;
    std::size_t m_held = 0;
    std::size_t m_capacity = 0;
    std::atomic<int>* m_openPipes = nullptr;
};

} // namespace qm
