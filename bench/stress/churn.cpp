// Churn: many short connections with random write sizes and close orders; both
// directions are checked byte for byte against a pattern.
#include "scenarios.h"

#include "../bench_pattern.h"
#include "event_loop.h"
#include "relay_process.h"
#include "sockets.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qm::stress {

namespace {

using bench::Pattern;

enum Order { ClientFirst, ServerFirst, BothAtOnce, ClientHalfCloses, ServerHalfCloses, OrderCount };
const char* const OrderNames[OrderCount] = {"client first", "server first", "both",
                                            "client half-close", "server half-close"};

// The client's first bytes tell the upstream side what to expect.
struct Header {
    std::uint32_t id;
    std::uint32_t up;   // bytes the client sends
    std::uint32_t down; // bytes the upstream sends
    std::uint8_t order;
};
constexpr std::size_t HeaderBytes = 13;

// One end of a connection.
struct End {
    int fd = -1;
    std::uint64_t patternBase = 0; // where its outgoing bytes start in the pattern
    std::uint64_t toSend = 0, sent = 0;
    std::uint64_t expectBase = 0, expect = 0, received = 0;
    std::string prefix;    // the header, before the payload
    bool holdBack = false; // sends only half until the other side has ended
    bool halfCloseWhenSent = false;
    bool closeWhenDone = false; // closes once all is sent and received, without waiting for the end
    bool peerEnded = false, sendFailed = false, shut = false, closed = false, altered = false;
};

struct Flow {
    Order order = ClientFirst;
    End client, server;
    bool serverSeen = false;
    Clock::time_point started, clientClosedAt;
    bool done = false;
};

struct Totals {
    std::array<std::uint64_t, OrderCount> expected{}, lost{}, flows{};
    long altered = 0, stuck = 0;
};

class Churn {
public:
    Churn(EventLoop& loop, std::uint16_t relayPort, std::uint32_t maxSize, unsigned seed)
        : m_loop(loop), m_relayPort(relayPort), m_maxSize(maxSize), m_random(seed) {}

    void startFlow(std::uint32_t id) {
        auto flow = std::make_unique<Flow>();
        flow->order = static_cast<Order>(id % OrderCount);
        flow->started = Clock::now();
        std::uniform_int_distribution<std::uint32_t> size(1, m_maxSize);
        const Header header{id, size(m_random), size(m_random),
                            static_cast<std::uint8_t>(flow->order)};
        End& client = flow->client;
        client.fd = connectFrom(loopback(2 + static_cast<int>(id % 200)), m_relayPort);
        client.patternBase = id * 7919ull;
        client.toSend = header.up;
        client.expectBase = id * 7919ull + 500009;
        client.expect = header.down;
        client.prefix.resize(HeaderBytes);
        std::memcpy(client.prefix.data(), &header, HeaderBytes);
        configure(*flow, client, true);
        Flow* raw = flow.get();
        m_flows.push_back(std::move(flow));
        ++m_open;
        if (client.fd < 0) {
            client.closed = true;
            raw->clientClosedAt = Clock::now();
            return;
        }
        m_loop.watch(client.fd, EPOLLIN | EPOLLOUT,
                     [this, raw](std::uint32_t) { step(*raw, raw->client); });
    }

    void acceptAll(int listener) {
        for (int fd;
             (fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
            auto pending = std::make_shared<std::string>();
            m_loop.watch(fd, EPOLLIN,
                         [this, fd, pending](std::uint32_t) { readHeader(fd, *pending); });
        }
    }

    // Ends flows that went on too long, and flows whose upstream side never came.
    void expire() {
        const auto now = Clock::now();
        for (auto& flow : m_flows) {
            if (flow->done)
                continue;
            const bool tooLong = now - flow->started > std::chrono::seconds(20);
            const bool noServer = flow->client.closed && !flow->serverSeen &&
                                  now - flow->clientClosedAt > std::chrono::seconds(2);
            if (tooLong) {
                ++m_totals.stuck;
                closeEnd(*flow, flow->client);
                closeEnd(*flow, flow->server);
            }
            if (tooLong || noServer)
                finish(*flow);
        }
    }

    int open() const { return m_open; }
    const Totals& totals() const { return m_totals; }

private:
    void configure(Flow& flow, End& end, bool isClient) {
        const Order order = flow.order;
        end.closeWhenDone =
            order == BothAtOnce || (isClient ? order == ClientFirst : order == ServerFirst);
        end.halfCloseWhenSent = isClient ? order == ClientHalfCloses : order == ServerHalfCloses;
        end.holdBack = isClient ? order == ServerHalfCloses : order == ClientHalfCloses;
    }

    void readHeader(int fd, std::string& pending) {
        char buffer[HeaderBytes];
        const ssize_t n = ::recv(fd, buffer, HeaderBytes - pending.size(), 0);
        if (n < 0 && errno == EAGAIN)
            return;
        if (n <= 0) {
            m_loop.forget(fd);
            ::close(fd);
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        if (pending.size() < HeaderBytes)
            return;
        Header header{};
        std::memcpy(&header, pending.data(), HeaderBytes);
        m_loop.forget(fd);
        if (header.id >= m_flows.size() || m_flows[header.id]->serverSeen) {
            ::close(fd);
            return;
        }
        Flow* flow = m_flows[header.id].get();
        flow->serverSeen = true;
        End& server = flow->server;
        server.fd = fd;
        server.patternBase = header.id * 7919ull + 500009;
        server.toSend = header.down;
        server.expectBase = header.id * 7919ull;
        server.expect = header.up;
        configure(*flow, server, false);
        m_loop.watch(fd, EPOLLIN | EPOLLOUT,
                     [this, flow](std::uint32_t) { step(*flow, flow->server); });
        step(*flow, server);
    }

    std::size_t writeSize() {
        // Log-uniform from 1 byte to 64 KiB: small writes as often as large ones.
        std::uniform_int_distribution<int> power(0, 16);
        const std::size_t top = std::size_t{1} << power(m_random);
        return std::uniform_int_distribution<std::size_t>(top / 2 + 1, top)(m_random);
    }

    void send(End& end) {
        while (!end.prefix.empty()) {
            const ssize_t n = ::send(end.fd, end.prefix.data(), end.prefix.size(), MSG_NOSIGNAL);
            if (n < 0) {
                end.sendFailed = errno != EAGAIN;
                return;
            }
            end.prefix.erase(0, static_cast<std::size_t>(n));
        }
        const std::uint64_t limit = end.holdBack && !end.peerEnded ? end.toSend / 2 : end.toSend;
        while (end.sent < limit) {
            std::size_t count = std::min<std::uint64_t>(writeSize(), limit - end.sent);
            const char* bytes = Pattern::instance().at(end.patternBase + end.sent, count);
            const ssize_t n = ::send(end.fd, bytes, count, MSG_NOSIGNAL);
            if (n < 0) {
                end.sendFailed = errno != EAGAIN;
                return;
            }
            end.sent += static_cast<std::uint64_t>(n);
        }
        if (end.sent == end.toSend && end.halfCloseWhenSent && !end.shut) {
            ::shutdown(end.fd, SHUT_WR);
            end.shut = true;
        }
    }

    void receive(End& end) {
        char buffer[65536];
        while (!end.peerEnded) {
            const ssize_t n = ::recv(end.fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EAGAIN)
                return;
            if (n <= 0) {
                end.peerEnded = true;
                return;
            }
            const auto count = static_cast<std::size_t>(n);
            if (end.received + count > end.expect ||
                !Pattern::instance().matches(end.expectBase + end.received, buffer, count))
                end.altered = true;
            end.received += count;
        }
    }

    void step(Flow& flow, End& end) {
        if (end.closed)
            return;
        receive(end);
        if (!end.sendFailed)
            send(end);
        const bool allSent = end.sendFailed || (end.prefix.empty() && end.sent == end.toSend);
        const bool allIn =
            end.closeWhenDone ? end.received >= end.expect || end.peerEnded : end.peerEnded;
        if (allSent && allIn) {
            closeEnd(flow, end);
            return;
        }
        // Only ask for room to write while something is left to write.
        const bool wantsOut = !end.sendFailed && !allSent &&
                              !(end.holdBack && !end.peerEnded && end.sent >= end.toSend / 2);
        m_loop.change(end.fd, (end.peerEnded ? 0u : EPOLLIN) | (wantsOut ? EPOLLOUT : 0u));
        if (end.peerEnded && !wantsOut && !allSent)
            closeEnd(flow, end); // nothing more will come, and it cannot send
    }

    void closeEnd(Flow& flow, End& end) {
        if (end.closed || end.fd < 0) {
            end.closed = true;
            return;
        }
        m_loop.forget(end.fd);
        ::close(end.fd);
        end.closed = true;
        if (&end == &flow.client)
            flow.clientClosedAt = Clock::now();
        if (flow.client.closed && flow.server.closed)
            finish(flow);
    }

    void finish(Flow& flow) {
        if (flow.done)
            return;
        flow.done = true;
        --m_open;
        const std::size_t order = flow.order;
        // Without an upstream side, the client's bytes all count as lost.
        const std::uint64_t upIn = flow.serverSeen ? flow.server.received : 0;
        const std::uint64_t downIn = flow.client.received;
        m_totals.flows[order] += 1;
        m_totals.expected[order] += flow.client.expect + flow.client.toSend;
        m_totals.lost[order] += (flow.client.toSend - std::min(upIn, flow.client.toSend)) +
                                (flow.client.expect - std::min(downIn, flow.client.expect));
        if (flow.client.altered || flow.server.altered)
            ++m_totals.altered;
    }

    EventLoop& m_loop;
    std::uint16_t m_relayPort;
    std::uint32_t m_maxSize;
    std::mt19937 m_random;
    std::vector<std::unique_ptr<Flow>> m_flows;
    int m_open = 0;
    Totals m_totals;
};

} // namespace

bool runChurn(const StressOptions& options) {
    const int total = options.quick ? 500 : 10000;
    const int atOnce = options.quick ? 100 : 250;
    const std::uint32_t maxSize = options.quick ? 64 * 1024 : 256 * 1024;
    const auto start = Clock::now();

    EventLoop loop;
    const int listener = listenOn(0);
    RelayProcess relay(options.program);
    {
        std::ofstream(relay.configPath())
            << RelayProcess::configFor(freePort(), localPort(listener));
    }
    if (!relay.startListening("churn", scaled(options, 5000))) {
        ::close(listener);
        return false;
    }
    loop.watch(relay.outputFd(), EPOLLIN, [&relay](std::uint32_t) { relay.readOutput(); });
    Churn churn(loop, relay.listeningPort(), maxSize, 20261209);
    loop.watch(listener, EPOLLIN, [&](std::uint32_t) { churn.acceptAll(listener); });
    int started = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(options.quick ? 60 : 300);
    const bool completed =
        loop.runUntil([&] { return started == total && churn.open() == 0; }, deadline,
                      [&] {
                          while (started < total && churn.open() < atOnce)
                              churn.startFlow(static_cast<std::uint32_t>(started++));
                          churn.expire();
                      });
    // The relay's count of pairs comes back to 0 once everything has ended.
    const bool countBack = loop.runUntil([&] { return relay.accepted() == relay.ended(); },
                                         Clock::now() + std::chrono::seconds(5));
    const long accepted = relay.accepted(), ended = relay.ended();
    relay.stop();
    loop.forget(listener);
    ::close(listener);

    const Totals& totals = churn.totals();
    std::uint64_t fullLost = 0, fullExpected = 0;
    std::string detail;
    for (int order = 0; order < OrderCount; ++order) {
        if (order < ClientHalfCloses) {
            fullLost += totals.lost[order];
            fullExpected += totals.expected[order];
        } else {
            char part[160];
            std::snprintf(part, sizeof part, "; %s: %.1f %% lost (%llu of %llu bytes)",
                          OrderNames[order],
                          totals.expected[order] ? 100.0 * static_cast<double>(totals.lost[order]) /
                                                       static_cast<double>(totals.expected[order])
                                                 : 0.0,
                          static_cast<unsigned long long>(totals.lost[order]),
                          static_cast<unsigned long long>(totals.expected[order]));
            detail += part;
        }
    }
    // Half-closes report their loss on their own line of figures, not as a failure.
    const bool ok = completed && countBack && fullLost == 0 && totals.altered == 0 &&
                    totals.stuck == 0 && relay.exitSignal() == 0;
    std::printf("churn: %s, %d connections (%d at once) in %.1f s; full closes lost %llu of %llu "
                "bytes, %ld connections altered, %ld stuck; pairs accepted %ld, ended %ld%s\n",
                ok ? "ok" : "FAILED", started, atOnce, secondsSince(start),
                static_cast<unsigned long long>(fullLost),
                static_cast<unsigned long long>(fullExpected), totals.altered, totals.stuck,
                accepted, ended, detail.c_str());
    std::fflush(stdout);
    return ok;
}

} // namespace qm::stress
