#pragma once

#include <cstdint>

namespace qm::bench {

// The relay engine alone as a relay: listens on listenPort (0: any; the port
// is printed as "listening PORT"), relays to 127.0.0.1:upstreamPort, runs
// until killed.
int serveRelay(int argc, char** argv, std::uint16_t listenPort, std::uint16_t upstreamPort);

} // namespace qm::bench
