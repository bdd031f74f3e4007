#include "bench_client.h"

#include "bench_connection.h"
#include "bench_pattern.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace qm::bench {

namespace {

using SteadyClock = std::chrono::steady_clock;

double secondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

} // namespace

double throughputUp(std::uint16_t port, std::uint64_t bytes) {
    Connection connection(port);
    const auto start = SteadyClock::now();
    connection.request('U', bytes);
    for (std::uint64_t sent = 0; sent < bytes;) {
        std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes - sent, 1 << 20));
        const char* chunk = Pattern::instance().at(sent, piece);
        connection.sendAll(chunk, piece);
        sent += piece;
    }
    std::uint64_t received = 0;
    connection.receiveAll(reinterpret_cast<char*>(&received), sizeof received);
    if (received != bytes)
        throw std::runtime_error("upstream received a different count");
    return static_cast<double>(bytes) / secondsSince(start) / 1e6;
}

double throughputDown(std::uint16_t port, std::uint64_t bytes) {
    Connection connection(port);
    const auto start = SteadyClock::now();
    connection.request('D', bytes);
    std::unique_ptr<char[]> chunk(new char[1 << 20]);
    for (std::uint64_t received = 0; received < bytes;) {
        const ssize_t n = ::recv(connection.fd(), chunk.get(), 1 << 20, 0);
        if (n <= 0)
            throw std::runtime_error("download ended early");
        if (!Pattern::instance().matches(received, chunk.get(), static_cast<std::size_t>(n)))
            throw std::runtime_error("download corrupted");
        received += static_cast<std::uint64_t>(n);
    }
    return static_cast<double>(bytes) / secondsSince(start) / 1e6;
}

Latency roundTrips(std::uint16_t port, int rounds, int size) {
    Connection connection(port);
    connection.sendAll("E", 1);
    std::vector<char> out(static_cast<std::size_t>(size)), in(out.size());
    std::vector<double> samples;
    samples.reserve(static_cast<std::size_t>(rounds));
    const int warmUp = 200;
    for (int round = 0; round < warmUp + rounds; ++round) {
        std::size_t count = out.size();
        std::memcpy(out.data(), Pattern::instance().at(static_cast<std::uint64_t>(round), count),
                    count);
        const auto start = SteadyClock::now();
        connection.sendAll(out.data(), out.size());
        connection.receiveAll(in.data(), in.size());
        const double us = secondsSince(start) * 1e6;
        if (in != out)
            throw std::runtime_error("echo corrupted");
        if (round >= warmUp)
            samples.push_back(us);
    }
    return {percentile(samples, 0.50), percentile(samples, 0.99)};
}

double connectionsPerSecond(std::uint16_t port, int workers, double seconds, int* failures) {
    std::atomic<long> cycles = 0;
    std::atomic<int> failed = 0;
    const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
    std::vector<std::thread> threads;
    const auto start = SteadyClock::now();
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&] {
            char message[17] = "E0123456789abcde";
            char echo[16];
            while (SteadyClock::now() < end) {
                try {
                    Connection connection(port);
                    connection.sendAll(message, sizeof message);
                    connection.receiveAll(echo, sizeof echo);
                    if (std::memcmp(echo, message + 1, sizeof echo) != 0)
                        throw std::runtime_error("echo corrupted");
                    ++cycles;
                } catch (const std::runtime_error&) {
                    ++failed;
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    if (failures)
        *failures = failed;
    return static_cast<double>(cycles) / secondsSince(start);
}

bool holdConnections(std::uint16_t port, int count, const std::function<void()>& whileHeld) {
    std::vector<std::unique_ptr<Connection>> held;
    try {
        for (int i = 0; i < count; ++i) {
            auto connection = std::make_unique<Connection>(port);
            char message[33] = "E0123456789abcdef0123456789abcde";
            char echo[32];
            connection->sendAll(message, sizeof message);
            connection->receiveAll(echo, sizeof echo);
            if (std::memcmp(echo, message + 1, sizeof echo) != 0)
                return false;
            held.push_back(std::move(connection));
        }
    } catch (const std::runtime_error&) {
        return false;
    }
    whileHeld();
    return true;
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

double processorSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long user = 0, system = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14)
            user = std::stoul(field);
        if (index == 15) {
            system = std::stoul(field);
            break;
        }
    }
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

} // namespace qm::bench
