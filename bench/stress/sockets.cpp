#include "sockets.h"

#include "event_loop.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qm::stress {

namespace {

sockaddr_in addressOf(std::uint32_t host, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    return address;
}

bool waitFor(int fd, short events, Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
        return false;
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, static_cast<int>(left.count())) == 1;
}

[[noreturn]] void serveEcho(int listener) {
    const int epoll = epoll_create1(0);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = listener;
    epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event);
    std::vector<char> buffer(1 << 16);
    epoll_event events[256];
    for (;;) {
        const int count = epoll_wait(epoll, events, 256, 1000);
        if (getppid() == 1)
            _exit(0); // the stress run is gone
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == listener) {
                for (int client; (client = ::accept4(listener, nullptr, nullptr,
                                                     SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                    epoll_event added{};
                    added.events = EPOLLIN;
                    added.data.fd = client;
                    epoll_ctl(epoll, EPOLL_CTL_ADD, client, &added);
                }
                continue;
            }
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            if (n < 0 && errno == EAGAIN)
                continue;
            // Small messages only: what the socket does not take is dropped.
            if (n <= 0 || ::send(fd, buffer.data(), static_cast<size_t>(n), MSG_NOSIGNAL) < 0)
                ::close(fd);
        }
    }
}

} // namespace

int listenOn(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in address = addressOf(loopback(1), port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4096) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

std::uint16_t localPort(int fd) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin_port);
}

namespace {

// Bound as the relay binds its client port, on every address and without
// sharing, so that earlier connections' leftovers on 127.0.0.x count too.
int bindAnyAddress(int type, std::uint16_t port) {
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

} // namespace

std::uint16_t freePort() {
    // The relay takes the number for TCP and for datagrams alike.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int stream = bindAnyAddress(SOCK_STREAM, 0);
        if (stream < 0)
            break;
        const std::uint16_t port = localPort(stream);
        const int datagram = bindAnyAddress(SOCK_DGRAM, port);
        ::close(stream);
        if (datagram >= 0) {
            ::close(datagram);
            return port;
        }
    }
    throw std::runtime_error("no free port");
}

int connectFrom(std::uint32_t source, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const sockaddr_in from = addressOf(source, 0);
    const sockaddr_in to = addressOf(loopback(1), port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0 ||
        (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
         errno != EINPROGRESS)) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool roundTrip(int fd, const std::string& bytes, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (std::size_t sent = 0; sent < bytes.size();) {
        if (!waitFor(fd, POLLOUT, deadline))
            return false;
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN)
            return false;
        sent += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    std::string echo;
    char buffer[4096];
    while (echo.size() < bytes.size()) {
        if (!waitFor(fd, POLLIN, deadline))
            return false;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN))
            return false;
        if (n > 0)
            echo.append(buffer, static_cast<std::size_t>(n));
    }
    return echo == bytes;
}

bool relaysOnce(std::uint16_t port, int timeoutMs) {
    const int fd = connectFrom(loopback(1), port);
    if (fd < 0)
        return false;
    const bool relayed = roundTrip(fd, "is anybody there?", timeoutMs);
    ::close(fd);
    return relayed;
}

pid_t startEchoServer(std::uint16_t* port) {
    const int listener = listenOn(0);
    if (listener < 0)
        throw std::runtime_error("the echo server cannot listen");
    *port = localPort(listener);
    const pid_t pid = fork();
    if (pid == 0)
        serveEcho(listener);
    ::close(listener);
    return pid;
}

void stopProcess(pid_t pid) {
    if (pid <= 0)
        return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace qm::stress
