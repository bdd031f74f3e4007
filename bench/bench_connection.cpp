#include "bench_connection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::bench {

Connection::Connection(std::uint16_t port)
    : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (m_fd >= 0)
            ::close(m_fd);
        throw std::runtime_error("cannot connect");
    }
    int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

Connection::~Connection() {
    ::close(m_fd);
}

void Connection::sendAll(const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::send(m_fd, bytes, count, MSG_NOSIGNAL);
        if (n <= 0)
            throw std::runtime_error("send failed");
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

void Connection::receiveAll(char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t n = ::recv(m_fd, bytes, count, 0);
        if (n <= 0)
            throw std::runtime_error("connection closed early");
        bytes += n;
        count -= static_cast<std::size_t>(n);
    }
}

void Connection::request(char mode, std::uint64_t argument) {
    char header[9];
    header[0] = mode;
    std::memcpy(header + 1, &argument, sizeof argument);
    sendAll(header, sizeof header);
}

double percentile(std::vector<double>& samples, double q) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    return samples[std::min(samples.size() - 1, static_cast<std::size_t>(q * samples.size()))];
}

} // namespace qm::bench
