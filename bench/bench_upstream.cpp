#include "bench_upstream.h"

#include "bench_pattern.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace qm::bench {

namespace {

constexpr std::size_t HeaderBytes = 9;

bool sendAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

struct BenchUpstream::Connection {
    int fd = -1;
    char mode = 0;
    std::string header;
};

BenchUpstream::BenchUpstream() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 4096) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("upstream: cannot listen");
    m_port = ntohs(address.sin_port);
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    for (int fd : {m_listener, m_wake}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }
    m_thread = std::thread([this] { run(); });
}

BenchUpstream::~BenchUpstream() {
    const std::uint64_t one = 1;
    (void)!::write(m_wake, &one, sizeof one);
    m_thread.join();
    for (std::thread& stream : m_streams)
        stream.join();
    ::close(m_listener);
    ::close(m_epoll);
    ::close(m_wake);
}

void BenchUpstream::run() {
    std::unordered_map<int, std::unique_ptr<Connection>> connections;
    epoll_event events[256];
    for (;;) {
        const int count = epoll_wait(m_epoll, events, 256, -1);
        for (int i = 0; i < count; ++i) {
            const int fd = events[i].data.fd;
            if (fd == m_wake)
                goto done;
            if (fd == m_listener) {
                for (int client; (client = accept4(m_listener, nullptr, nullptr,
                                                   SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
                    int one = 1;
                    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    auto connection = std::make_unique<Connection>();
                    connection->fd = client;
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.fd = client;
                    epoll_ctl(m_epoll, EPOLL_CTL_ADD, client, &event);
                    connections.emplace(client, std::move(connection));
                }
                continue;
            }
            auto found = connections.find(fd);
            if (found == connections.end())
                continue;
            onReadable(*found->second);
            if (found->second->fd < 0) // closed or handed to a stream thread
                connections.erase(found);
        }
    }
done:
    for (auto& entry : connections)
        ::close(entry.first);
}

void BenchUpstream::onReadable(Connection& connection) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            ::close(connection.fd);
            connection.fd = -1;
            return;
        }
        std::size_t used = 0;
        if (connection.mode == 0) {
            connection.mode = buffer[0];
            used = 1;
        }
        if (connection.mode == 'E') {
            // Small messages: the socket takes them; anything else is a broken run.
            if (!sendAll(connection.fd, buffer + used, static_cast<std::size_t>(n) - used)) {
                ::close(connection.fd);
                connection.fd = -1;
                return;
            }
            continue;
        }
        connection.header.append(buffer + used, static_cast<std::size_t>(n) - used);
        if (connection.header.size() + 1 < HeaderBytes)
            continue;
        std::uint64_t count = 0;
        std::memcpy(&count, connection.header.data(), sizeof count);
        const int fd = connection.fd;
        connection.fd = -1;
        epoll_ctl(m_epoll, EPOLL_CTL_DEL, fd, nullptr);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        std::string early = connection.header.substr(sizeof count);
        if (connection.mode == 'U')
            m_streams.emplace_back([this, fd, count, early] {
                std::uint64_t received = early.size();
                bool intact = Pattern::instance().matches(0, early.data(), early.size());
                std::unique_ptr<char[]> chunk(new char[1 << 20]);
                while (received < count) {
                    const ssize_t got = ::recv(fd, chunk.get(), 1 << 20, 0);
                    if (got <= 0)
                        break;
                    intact = intact && Pattern::instance().matches(received, chunk.get(),
                                                                   static_cast<std::size_t>(got));
                    received += static_cast<std::uint64_t>(got);
                }
                if (!intact)
                    ++m_corruptUploads;
                sendAll(fd, reinterpret_cast<const char*>(&received), sizeof received);
                ::close(fd);
            });
        else if (connection.mode == 'B')
            m_streams.emplace_back([fd, count, early] { serveBursts(fd, count, early); });
        else
            m_streams.emplace_back([fd, count] { serveDownload(fd, count); });
        return;
    }
}

void BenchUpstream::serveDownload(int fd, std::uint64_t count) {
    for (std::uint64_t sent = 0; sent < count;) {
        std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(count - sent, 1 << 20));
        const char* bytes = Pattern::instance().at(sent, piece);
        const ssize_t n = ::send(fd, bytes, piece, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::uint64_t>(n);
    }
    // Wait for the client to close, so every byte has been taken.
    char byte;
    while (::recv(fd, &byte, 1, 0) > 0) {
    }
    ::close(fd);
}

void BenchUpstream::serveBursts(int fd, std::uint64_t argument, std::string early) {
    const int pieces = static_cast<int>(argument & 0xFFFF);
    const std::size_t size = static_cast<std::size_t>((argument >> 16) & 0xFFFFFF);
    const auto gap = std::chrono::microseconds(argument >> 40);
    std::uint64_t offset = 0; // of the pattern, over all bursts
    char request[BurstRequestBytes];
    for (;;) {
        std::size_t got = std::min(early.size(), sizeof request);
        std::memcpy(request, early.data(), got);
        early.erase(0, got);
        for (; got < sizeof request;) {
            const ssize_t n = ::recv(fd, request + got, sizeof request - got, 0);
            if (n <= 0) {
                ::close(fd);
                return;
            }
            got += static_cast<std::size_t>(n);
        }
        for (int piece = 0; piece < pieces; ++piece) {
            if (piece > 0)
                std::this_thread::sleep_for(gap);
            for (std::size_t sent = 0; sent < size;) {
                std::size_t count = size - sent;
                const char* bytes = Pattern::instance().at(offset, count);
                if (!sendAll(fd, bytes, count)) {
                    ::close(fd);
                    return;
                }
                offset += count;
                sent += count;
            }
        }
    }
}

} // namespace qm::bench
