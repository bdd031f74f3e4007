// Datagrams: many of random size through the datagram relay; the program must
// live on and keep relaying TCP.
#include "scenarios.h"

#include "relay_process.h"
#include "sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qm::stress {

namespace {

int datagramSocket(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(loopback(1));
    int size = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return fd;
}

long drain(int fd, std::vector<char>& buffer) {
    long count = 0;
    while (::recv(fd, buffer.data(), buffer.size(), 0) >= 0)
        ++count;
    return count;
}

} // namespace

bool runDatagrams(const StressOptions& options) {
    const int total = options.quick ? 5000 : 100000;
    const int largest = 65507;
    std::uint16_t server = 0;
    const pid_t echo = startEchoServer(&server);
    // The upstream's datagram side, on the same port number as its TCP side.
    const int upstream = datagramSocket(server);
    RelayProcess relay(options.program);
    { std::ofstream(relay.configPath()) << RelayProcess::configFor(freePort(), server); }
    if (!relay.startListening("datagrams", scaled(options, 5000))) {
        stopProcess(echo);
        ::close(upstream);
        return false;
    }
    const std::uint16_t port = relay.listeningPort();
    // A client first, so that the datagrams have a server to go to.
    const int tcp = connectFrom(loopback(1), port);
    const bool tcpOk = tcp >= 0 && roundTrip(tcp, "first", 5000);

    const int client = datagramSocket(0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(loopback(1));
    std::mt19937 random(65507);
    std::vector<char> payload(largest), buffer(largest + 1);
    for (char& c : payload)
        c = static_cast<char>(random());
    std::uniform_int_distribution<int> power(0, 16);
    int sent = 0, tcpChecks = 1, tcpAnswered = tcpOk ? 1 : 0;
    long forwarded = 0;
    const auto start = Clock::now();
    while (sent < total && secondsSince(start) < (options.quick ? 20 : 120)) {
        // Sizes spread over every power of two up to the largest datagram.
        const std::size_t top = std::min<std::size_t>(largest, std::size_t{1} << power(random));
        const std::size_t size = std::uniform_int_distribution<std::size_t>(1, top)(random);
        const ssize_t n = ::sendto(client, payload.data(), size, 0,
                                   reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (n < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            pollfd entry{client, POLLOUT, 0};
            ::poll(&entry, 1, 10);
            continue;
        }
        ++sent;
        if (sent % 64 == 0) {
            forwarded += drain(upstream, buffer);
            drain(client, buffer); // answers from the upstream side, if any
            relay.readOutput();
        }
        if (sent % 2000 == 0) {
            ++tcpChecks;
            if (tcpOk && roundTrip(tcp, "still there " + std::to_string(sent), 2000))
                ++tcpAnswered;
        }
    }
    const double seconds = secondsSince(start);
    forwarded += drain(upstream, buffer);
    const bool alive = relay.reap() == false;
    const bool tcpAfter = relaysOnce(port, 2000);
    if (tcp >= 0)
        ::close(tcp);
    relay.stop();
    stopProcess(echo);
    ::close(client);
    ::close(upstream);

    const bool ok = alive && tcpAfter && tcpAnswered == tcpChecks && sent == total;
    std::printf("datagrams: %s, %d sent (1 to %d bytes) in %.1f s, %ld reached the upstream; "
                "relay %s, TCP answered %d of %d checks during, %s after\n",
                ok ? "ok" : "FAILED", sent, largest, seconds, forwarded, alive ? "alive" : "gone",
                tcpAnswered, tcpChecks, tcpAfter ? "yes" : "NO");
    std::fflush(stdout);
    return ok;
}

} // namespace qm::stress
