#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qm::bench {

// A blocking client connection to 127.0.0.1:port with Nagle's algorithm off;
// throws std::runtime_error when it cannot be made or a transfer fails.
class Connection {
public:
    explicit Connection(std::uint16_t port);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void sendAll(const char* bytes, std::size_t count);
    void receiveAll(char* bytes, std::size_t count);
    // The upstream's request: a mode byte and a 64-bit argument.
    void request(char mode, std::uint64_t argument);
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// The value below which a share q of the samples lies; sorts them.
double percentile(std::vector<double>& samples, double q);

} // namespace qm::bench
