// Bulk transfers through a pipe per direction: a side that fills a whole read
// is spliced from then on, so its bytes no longer cross into the relay's memory.
#include "relay/pair_loop.h"

#include <cerrno>

namespace qm {

namespace {

// Kept free beyond a pipe, so that pipes never cost a client its place.
constexpr int DescriptorsKeptForClients = 16;

} // namespace

void PairLoop::openPipe(Endpoint& to) {
    if (to.piped.isOpen() ||
        !descriptors.allows(shared.descriptors(), 2 + DescriptorsKeptForClients))
        return;
    to.piped.open(shared.pipes, PipeBytes); // without one, bytes go through memory
}

PairLoop::Flush PairLoop::flushPipe(Endpoint& to) {
    while (to.piped.held() > 0) {
        if (!to.canWrite)
            return Flush::Waiting;
        const ssize_t n = to.piped.drainTo(to.fd);
        if (n > 0)
            continue; // a short move is tried again: EAGAIN says the socket is full
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return Flush::Failed;
        to.canWrite = false;
    }
    return Flush::Done;
}

void PairLoop::takeIntoMemory(Endpoint& to) {
    if (!to.piped.isOpen())
        return;
    char* buffer = scratchBuffer();
    while (to.piped.held() > 0) {
        const ssize_t n = to.piped.readHeld(buffer, ChunkBytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // cannot happen while the pipe holds bytes
        to.out.append(buffer, static_cast<std::size_t>(n));
    }
    to.piped.close();
}

} // namespace qm
