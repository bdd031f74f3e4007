#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace qm::bench {

// Measurements from the client's side against a port on 127.0.0.1: the relay's
// listening port, or the upstream's own port for the direct figure. Each
// throws std::runtime_error when a byte is wrong or missing.

// MB/s (10^6 bytes per second) of one stream of `bytes` towards the upstream
// (up) or from it (down), from the request to the last byte's arrival.
double throughputUp(std::uint16_t port, std::uint64_t bytes);
double throughputDown(std::uint16_t port, std::uint64_t bytes);

struct Latency {
    double p50Us;
    double p99Us;
};
// Round trips of `size` bytes on one connection, after a warm-up.
Latency roundTrips(std::uint16_t port, int rounds, int size);

// Workers that connect, send 16 bytes, read the echo and close, for `seconds`:
// completed cycles per second; failures are counted into *failures.
double connectionsPerSecond(std::uint16_t port, int workers, double seconds, int* failures);

// Opens `count` echo-checked connections and holds them while `whileHeld`
// runs; false when one could not be opened or did not echo.
bool holdConnections(std::uint16_t port, int count, const std::function<void()>& whileHeld);

// Resident set size of a process in KiB, and its processor time in seconds.
long residentKiB(pid_t pid);
double processorSeconds(pid_t pid);

} // namespace qm::bench
