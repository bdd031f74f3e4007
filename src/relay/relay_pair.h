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
struct RelayPair;
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

// A pair's descriptors and flags, and its counters: on the main thread while
// its upstream connects, then on the engine thread that relays it.
struct LivePair {
    LivePair() : client(Endpoint::Role::Client), server(Endpoint::Role::Server) {
        client.pair = this;
        server.pair = this;
    }
    LivePair(const LivePair&) = delete;
    LivePair& operator=(const LivePair&) = delete;

    int slot = 0;
    quint64 serial = 0;
    bool ended = false;
    bool queued = false; // waits in the engine's turn queue
    // Ended at one side's end of stream, still carrying the other side's bytes.
    bool halfOpen = false;
    Endpoint* finished = nullptr; // while half open: the side that ended first
    SteadyTime lastCarried{};
    Endpoint client;
    Endpoint server;
    std::shared_ptr<PairCounters> counters; // from the acceptance
    RelayPair* connecting = nullptr;        // the main thread's record, until handed over
};

// How the main thread reaches a pair's upstream: a flood holds thousands.
struct UpstreamConnect {
    int lookupId = -1;
    std::optional<EndpointKey> ownPortKey; // its entry in the engine's ownPortConnects
    QList<QHostAddress> addresses;         // the server's, tried in this order
    qsizetype nextAddress = 0;
    int serverFamily = 0;          // of the upstream socket
    bool serverSocketUsed = false; // a connect was tried on it
};

// A pair as the main thread holds it from the request to the ending.
struct RelayPair {
    int slot = 0;
    quint64 serial = 0;
    bool ended = false;
    std::unique_ptr<LivePair> live;           // until it is handed to an engine thread
    std::unique_ptr<UpstreamConnect> connect; // until the upstream connection stands
    QString clientAddress;
    IpAddress clientIp;
    bool countedPerAddress = false; // holds a place in the per-address limits
    Upstream upstream;
    QDateTime acceptedAt;
    SteadyTime acceptedSteady{};            // for the pair's duration; the wall clock may jump
    std::shared_ptr<PairCounters> counters; // from the acceptance
    int thread = -1;                        // the engine thread it was handed to

    bool accepted() const { return !live; } // and relayed on its thread
};

} // namespace qm
