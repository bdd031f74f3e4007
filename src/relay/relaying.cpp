// Copying bytes between the two sides of live pairs, with counting and
// backpressure: a side is read only while the other side has nothing waiting
// (at most one read), so TCP flow control reaches the sender.
#include "relay/pair_loop.h"

#include <algorithm>
#include <cerrno>
#include <sys/epoll.h>
#include <sys/socket.h>

namespace qm {

void PairLoop::takeTurn(LivePair& pair, Endpoint& first) {
    // The side that raised the event is read first, so a client that resets
    // is seen as its own ending, not as a failed send towards it.
    Endpoint& second = &first == &pair.client ? pair.server : pair.client;
    const auto counterOf = [&pair](const Endpoint& from) -> std::atomic<quint64>& {
        return from.role == Endpoint::Role::Client ? pair.counters->fromClient
                                                   : pair.counters->fromServer;
    };
    const Flow a = pump(pair, first, second, counterOf(first));
    if (a == Flow::Ended)
        return;
    const Flow b = pump(pair, second, first, counterOf(second));
    if (b == Flow::Ended)
        return;
    if (a == Flow::More || b == Flow::More)
        queueTurn(pair);
}

PairLoop::Flow PairLoop::pump(LivePair& pair, Endpoint& from, Endpoint& to,
                              std::atomic<quint64>& counter) {
    const bool fromClient = from.role == Endpoint::Role::Client;
    for (int read = 0; read < ReadsPerTurn; ++read) {
        if (waiting(to)) {
            const Flush flushed = flush(to);
            if (flushed == Flush::Failed) {
                endPair(pair, fromClient ? Ending::SendToServerFailed : Ending::SendToClientFailed);
                return Flow::Ended;
            }
            // Backpressure: "from" is left unread, unless it has closed; then
            // its last bytes (no more than its receive buffer) are taken now,
            // so the ending is not held up by a peer that does not read.
            if (flushed == Flush::Waiting && !from.peerClosed)
                return Flow::Idle;
            if (flushed == Flush::Waiting)
                takeIntoMemory(to);
        }
        if (!from.canRead)
            return Flow::Idle;
        // Nothing waits for "to" here, so a pipe that is open is empty.
        const bool spliced = to.piped.isOpen();
        char* buffer = spliced ? nullptr : scratchBuffer();
        const ssize_t n =
            spliced ? to.piped.fillFrom(from.fd) : ::recv(from.fd, buffer, ChunkBytes, 0);
        if (n > 0) {
            // This thread is the only writer: no locked add.
            counter.store(counter.load(std::memory_order_relaxed) + static_cast<quint64>(n),
                          std::memory_order_relaxed);
            bool sent = true;
            if (spliced) {
                // A short splice may only mean a full pipe: read on until EAGAIN.
                sent = flushPipe(to) != Flush::Failed;
            } else {
                // A short read emptied the socket; a hang-up still needs the final read.
                if (static_cast<std::size_t>(n) < ChunkBytes && !from.peerClosed)
                    from.canRead = false;
                else if (!from.peerClosed)
                    openPipe(to); // a full read: a bulk transfer
                sent = sendOrKeep(to, buffer, static_cast<std::size_t>(n));
            }
            if (!sent) {
                endPair(pair, fromClient ? Ending::SendToServerFailed : Ending::SendToClientFailed);
                return Flow::Ended;
            }
            continue;
        }
        if (n == 0) {
            from.sawEnd = true;
            endPair(pair, fromClient ? Ending::ClientClosed : Ending::ServerClosed);
            return Flow::Ended;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            from.canRead = false;
            return Flow::Idle;
        }
        if (errno == EINTR)
            continue;
        endPair(pair, fromClient ? Ending::ClientFailed : Ending::ServerFailed);
        return Flow::Ended;
    }
    return from.canRead && (!waiting(to) || from.peerClosed) ? Flow::More : Flow::Idle;
}

PairLoop::Flush PairLoop::flush(Endpoint& to) {
    while (!to.out.empty()) {
        if (!to.canWrite)
            return Flush::Waiting;
        const ssize_t n = ::send(to.fd, to.out.data(), to.out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            const bool shortWrite = static_cast<std::size_t>(n) < to.out.size();
            to.out.consume(static_cast<std::size_t>(n));
            if (shortWrite)
                to.canWrite = false; // the socket is full; it says when it has room
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return Flush::Failed;
        to.canWrite = false;
    }
    return flushPipe(to);
}

bool PairLoop::sendOrKeep(Endpoint& to, const char* bytes, std::size_t count) {
    if (!to.out.empty()) {
        to.out.append(bytes, count);
        return true;
    }
    std::size_t sent = 0;
    while (to.canWrite && sent < count) {
        const ssize_t n = ::send(to.fd, bytes + sent, count - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            if (sent < count)
                to.canWrite = false;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        } else {
            to.canWrite = false;
        }
    }
    if (sent < count)
        to.out.assign(bytes + sent, count - sent);
    return true;
}

void PairLoop::queueTurn(LivePair& pair) {
    if (pair.queued)
        return;
    pair.queued = true;
    turns.push_back(&pair);
}

} // namespace qm
