#pragma once

#include "relay/pending_bytes.h"
#include "relay/relay_engine.h"
#include "relay/socket_address.h"
#include "relay/splice_pipe.h"

#include <QList>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>

namespace qm {

struct LivePair;
using SteadyTime = std::chrono::steady_clock::time_point;
struct Endpoint;
using DeadlineMap = std::multimap<SteadyTime, Endpoint*>;

// One descriptor watched by a poller: a side of a pair, or a side
// of an ended pair that still delivers what was read before the ending.
struct Endpoint {
    enum class Role : quint8 { Client, Server, Lingering };

    explicit Endpoint(Role r) : role(r) {}

    Role role;
    int fd = -1;
    bool watched = false; // registered with the poller
    bool canRead = false; // edge-triggered readiness, cleared on EAGAIN
    bool canWrite = false;
    bool peerClosed = false; // hang-up seen: read on until end of stream
    bool sawEnd = false;     // a read returned end of stream
    bool shutDown = false;   // our end of stream has been sent
    bool hasDeadline = false;
    PendingBytes out; // read from the other side, not yet sent here
    // For bulk transfers: the other side's bytes spliced in, not yet sent
    // here. Only bytes that came after those in out, so out goes first.
    SplicePipe piped;
    DeadlineMap::iterator deadline;
    LivePair* pair = nullptr; // Client and Server roles
};

// A side that outlives its pair: sends what is left, then closes.
struct LingeringSocket : Endpoint {
    LingeringSocket() : Endpoint(Role::Lingering) {}
    bool closed = false;
};

// A pair's traffic: written by the thread that relays it, read by the main
// thread for the online list and the ending's log line.
struct PairCounters {
    std::atomic<quint64> fromClient{0}; // counter A
    std::atomic<quint64> fromServer{0}; // counter B
};

// A pair as an engine thread relays it: descriptors, flags and counters.
struct LivePair {
    enum class State : quint8 { Resolving, Connecting, Live };

    LivePair() : client(Endpoint::Role::Client), server(Endpoint::Role::Server) {
        client.pair = this;
        server.pair = this;
    }
    LivePair(const LivePair&) = delete;
    LivePair& operator=(const LivePair&) = delete;

    int slot = 0;
    quint64 serial = 0;
    State state = State::Connecting;
    bool ended = false;
    bool queued = false; // waits in the engine's turn queue
    // Ended at one side's end of stream, still carrying the other side's bytes.
    bool halfOpen = false;
    Endpoint* finished = nullptr; // while half open: the side that ended first
    SteadyTime lastCarried{};
    Endpoint client;
    Endpoint server;
    std::shared_ptr<PairCounters> counters; // from the acceptance
};

// A pair as the main thread holds it from the request to the ending. Once
// accepted, an engine thread relays a LivePair that took over its descriptors.
struct RelayPair : LivePair {
    int lookupId = -1;
    std::optional<EndpointKey> ownPortKey; // its entry in the engine's ownPortConnects
    QString clientAddress;
    IpAddress clientIp;
    bool countedPerAddress = false; // holds a place in the per-address limits
    Upstream upstream;
    QList<QHostAddress> upstreamAddresses; // the server's, tried in this order
    qsizetype nextAddress = 0;
    int serverFamily = 0;          // of server.fd
    bool serverSocketUsed = false; // a connect was tried on server.fd
    QDateTime acceptedAt;
    SteadyTime acceptedSteady{}; // for the pair's duration; the wall clock may jump
    int thread = -1;             // the engine thread it was handed to
};

} // namespace qm
