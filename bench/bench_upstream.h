#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace qm::bench {

// The upstream server of the benchmark, on 127.0.0.1 and its own threads.
// Each connection starts with a request byte:
//   'E'          echo everything (one epoll thread serves all of these)
//   'U' + u64    take that many pattern bytes, check them, answer with the u64
//   'D' + u64    send that many pattern bytes
//   'B' + u64    answer every 16-byte request with a burst of small writes:
//                pieces in bits 0-15, bytes per piece in 16-39, µs between
//                pieces in 40-63 (see burstArgument)
// Throughput and burst connections get a blocking thread each.
constexpr std::size_t BurstRequestBytes = 16;
constexpr std::uint64_t burstArgument(int pieces, int size, int gapUs) {
    return static_cast<std::uint64_t>(pieces) | static_cast<std::uint64_t>(size) << 16 |
           static_cast<std::uint64_t>(gapUs) << 40;
}

class BenchUpstream {
public:
    BenchUpstream();
    ~BenchUpstream();
    BenchUpstream(const BenchUpstream&) = delete;
    BenchUpstream& operator=(const BenchUpstream&) = delete;

    std::uint16_t port() const { return m_port; }
    // Connections that sent 'U' data not matching the pattern.
    int corruptUploads() const { return m_corruptUploads; }

private:
    struct Connection;
    void run();
    void onReadable(Connection& connection);
    static void serveDownload(int fd, std::uint64_t count);
    static void serveBursts(int fd, std::uint64_t argument, std::string early);

    int m_listener = -1;
    int m_epoll = -1;
    int m_wake = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::vector<std::thread> m_streams;
    std::atomic<int> m_corruptUploads = 0;
};

} // namespace qm::bench
