#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qm::stress {

// 127.0.0.n as a host-order number.
constexpr std::uint32_t loopback(int n) {
    return 0x7F000000u | static_cast<std::uint32_t>(n);
}

// A listening TCP socket on 127.0.0.1 (port 0: any), non-blocking; -1 on failure.
int listenOn(std::uint16_t port);
std::uint16_t localPort(int fd);
// A port that the relay could take just now, for TCP and datagrams.
std::uint16_t freePort();
// A non-blocking connect from source (127.0.0.x, any port) to 127.0.0.1:port;
// -1 when the socket cannot be made.
int connectFrom(std::uint32_t source, std::uint16_t port);
// Blocking round trip of `bytes` bytes on a connected socket, within timeoutMs.
bool roundTrip(int fd, const std::string& bytes, int timeoutMs);
// A fresh connection that relays one round trip within timeoutMs.
bool relaysOnce(std::uint16_t port, int timeoutMs);

// An echo server in a child process of its own (own descriptor table), on
// 127.0.0.1:port, until it is killed.
pid_t startEchoServer(std::uint16_t* port);
void stopProcess(pid_t pid);

} // namespace qm::stress
