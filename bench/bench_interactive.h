#pragma once

#include <cstdint>

namespace qm::bench {

// Interactive traffic from the client's side against a port on 127.0.0.1, as
// in bench_client.h. Both throw std::runtime_error on a wrong or missing byte.

struct BurstTimes {
    double p50Ms;
    double p99Ms;
};
// Each 16-byte request is answered by the upstream with `pieces` writes of
// `size` bytes, gapUs apart: time from the request to the last byte, with a
// 10 ms pause after each burst.
BurstTimes bursts(std::uint16_t port, int rounds, int pieces, int size, int gapUs);

struct ChatterFigures {
    double messagesPerSecond;
    double p50Us;
    double p99Us;
    double p999Us;
    int failures; // closed, corrupted or unanswered
};
// `connections` echo connections each send a `size`-byte message `rate` times
// a second (intervals jittered by ±50 %) for `seconds`, driven by `workers`
// client threads; the round trip of every message.
ChatterFigures chatter(std::uint16_t port, int connections, double rate, int size, double seconds,
                       int workers = 2);

} // namespace qm::bench
