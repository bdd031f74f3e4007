#pragma once

#include "relay/pending_bytes.h"
#include "relay/relay_engine.h"
#include "relay/splice_pipe.h"

#include <chrono>
#include <map>

namespace qm {

struct RelayPair;
using SteadyTime = std::chrono::steady_clock::time_point;
struct Endpoint;
using DeadlineMap = std::multimap<SteadyTime, Endpoint*>;

// One descriptor watched by the engine's poller: a side of a pair, or a side
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
    RelayPair* pair = nullptr; // Client and Server roles
};

// A side that outlives its pair: sends what is left, then closes.
struct LingeringSocket : Endpoint {
    LingeringSocket() : Endpoint(Role::Lingering) {}
    bool closed = false;
};

struct RelayPair {
    enum class State : quint8 { Resolving, Connecting, Live };

    RelayPair() : client(Endpoint::Role::Client), server(Endpoint::Role::Server) {
        client.pair = this;
        server.pair = this;
    }

    int slot = 0;
    quint64 serial = 0;
    State state = State::Connecting;
    bool ended = false;
    bool queued = false; // waits in the engine's turn queue
    // Ended at one side's end of stream, still carrying the other side's bytes.
    bool halfOpen = false;
    Endpoint* finished = nullptr; // while half open: the side that ended first
    SteadyTime lastCarried{};
    int lookupId = -1;
    quint64 ownPortKey = 0; // its entry in the engine's ownPortConnects, or 0
    Endpoint client;
    Endpoint server;
    QString clientAddress;
    quint32 clientNumber = 0;       // the address in host order
    bool countedPerAddress = false; // holds a place in the per-address limits
    Upstream upstream;
    QDateTime acceptedAt;
    SteadyTime acceptedSteady{}; // for the pair's duration; the wall clock may jump
    quint64 bytesFromClient = 0; // counter A
    quint64 bytesFromServer = 0; // counter B
};

} // namespace qm
