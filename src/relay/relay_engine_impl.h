#pragma once

#include "relay/address_limits.h"
#include "relay/fd_limit.h"
#include "relay/relay_engine.h"
#include "relay/relay_pair.h"
#include "relay/slot_table.h"
#include "relay/socket_options.h"

#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <deque>
#include <map>
#include <netinet/in.h>

namespace qm {

// The engine's state and steps. Live pairs run on raw non-blocking descriptors
// watched by one edge-triggered epoll instance, whose descriptor is a single
// notifier on the Qt event loop. Objects that a signal handler may end while
// they are in use are freed only when the outermost call returns.
struct RelayEngine::Impl {
    Impl(RelayEngine* owner, const BanTable& banTable, const Clock& wallClock);
    ~Impl();

    // Bytes taken from a side per read, and reads per side before others get a turn.
    static constexpr std::size_t ChunkBytes = 256 * 1024;
    static constexpr int ReadsPerTurn = 8;

    enum class Ending {
        ClientClosed,
        ClientFailed,
        ServerClosed,
        ServerFailed, // also an upstream that cannot be reached in time
        SendToClientFailed,
        SendToServerFailed,
        Disconnected,
        Restart,
        BannedMeanwhile, // banned while its upstream connection was being made
    };
    // What an ending does besides freeing the slot.
    struct EndingRule {
        bool lowersCount;
        std::optional<OnlinePrefix> prefix;
        bool forwardingFailed;
        bool deliverToClient; // else the client side is closed at once
        bool deliverToServer;
        bool halfClose; // the other side may go on sending (half_close.cpp)
    };
    static EndingRule ruleFor(Ending how);
    enum class Flow { Idle, More, Ended };
    enum class Flush { Done, Waiting, Failed };

    // Keeps objects alive until the outermost engine call returns.
    class Scope {
    public:
        explicit Scope(Impl& impl) : m_impl(impl) { ++m_impl.depth; }
        ~Scope() {
            if (--m_impl.depth == 0)
                m_impl.collectGarbage();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Impl& m_impl;
    };

    // accepting.cpp
    bool listen(quint16 port, QString* error);
    void adoptListener(int fd);
    void closeListener();
    void onListenerReadable();
    void refuseForLackOfDescriptors();
    bool isBanned(const IpAddress& address) const;
    void admit(int fd, const SocketAddress& peer);
    void refuse(int fd, const QString& address, const QString& reason);
    void onLookedUp(int slot, quint64 serial, const QHostInfo& info);
    void connectToNextAddress(RelayPair& pair);
    bool reopenServerSocket(RelayPair& pair, int family);
    // False when the attempt failed at once.
    bool connectUpstream(RelayPair& pair, const SocketTarget& target);
    void finishConnect(RelayPair& pair, quint32 events);
    void acceptClient(RelayPair& pair);
    bool sendProxyHeader(RelayPair& pair);
    bool isOwnConnection(const SocketAddress& peer);
    void endAsOwnConnection(RelayPair& pair);

    // relaying.cpp
    bool watch(Endpoint& endpoint, int operation);
    void onPollerReadable();
    void dispatch(Endpoint& endpoint, quint32 events);
    void takeTurn(RelayPair& pair, Endpoint& first);
    Flow pump(RelayPair& pair, Endpoint& from, Endpoint& to, quint64& counter);
    Flush flush(Endpoint& endpoint);
    bool sendOrKeep(Endpoint& to, const char* bytes, std::size_t count);
    bool waiting(const Endpoint& to) const { return !to.out.empty() || to.piped.held() > 0; }
    void openPipe(Endpoint& to);
    Flush flushPipe(Endpoint& to);
    void takeIntoMemory(Endpoint& to);
    void queueTurn(RelayPair& pair);
    void runQueuedTurns();
    char* scratchBuffer();

    // ending.cpp
    void endPair(RelayPair& pair, Ending how);
    void retire(Endpoint& endpoint, bool deliver);
    void closeEndpoint(Endpoint& endpoint);
    void stepLingering(LingeringSocket& socket);
    void closeLingering(LingeringSocket& socket);
    void setDeadline(Endpoint& endpoint, int ms);
    void setDeadlineAt(Endpoint& endpoint, SteadyTime due);
    void clearDeadline(Endpoint& endpoint);
    void onDeadline();
    void armDeadlineTimer();
    void collectGarbage();
    void lowerCount();
    int ownDescriptors() const;

    // half_close.cpp
    bool keepHalfOpen(std::unique_ptr<RelayPair>& owned);
    void onHalfOpenEvent(RelayPair& pair, Endpoint& endpoint, quint32 events);
    void carryHalfOpen(RelayPair& pair);
    void endHalfOpen(RelayPair& pair, Endpoint* survivor);
    void armHalfOpenDeadline(RelayPair& pair);
    void onHalfOpenDeadline(RelayPair& pair);

    RelayEngine* q;
    const BanTable& bans;
    const Ban6Table* bans6 = nullptr;
    int proxyVersion = 0;
    const Clock& clock;
    UpstreamChooser chooser;
    int connectTimeoutMs = 5000;
    int lingerMs = 5000;
    int halfCloseIdleMs = 60000;
    PeerLossTimings peerLoss;
    qint16 online = 0;
    quint64 nextSerial = 1;
    int depth = 0;

    int listenFd = -1;
    quint16 listenPort = 0;
    bool saidIpv4Only = false;
    // Upstream connections to the listener's port number, by their local end:
    // one that arrives at the listener is the relay's own. Slot 0 once its
    // pair ended that way, so the arrival is still refused.
    struct OwnPortConnect {
        int slot;
        quint64 serial;
    };
    std::map<EndpointKey, OwnPortConnect> ownPortConnects;
    DescriptorBudget descriptors;
    AddressLimits addressLimits;
    int spareFd = -1; // given up to refuse a client when descriptors run out
    // A child of the engine; deleted later, as it may be the sender of the
    // signal being handled when the listener closes.
    QSocketNotifier* listenNotifier = nullptr;
    QTimer acceptPause;

    int epollFd = -1;
    std::unique_ptr<QSocketNotifier> pollNotifier;
    SlotTable pairTable;
    std::map<LingeringSocket*, std::unique_ptr<LingeringSocket>> lingering;
    std::map<RelayPair*, std::unique_ptr<RelayPair>> halfOpenPairs;
    std::vector<std::unique_ptr<RelayPair>> endedPairs;
    std::vector<std::unique_ptr<LingeringSocket>> closedLingering;
    std::deque<RelayPair*> turns; // pairs that used up their reads and have more
    QTimer turnTimer;
    DeadlineMap deadlines;
    QTimer deadlineTimer;
    SteadyTime deadlineArmedFor{};
    std::unique_ptr<char[]> scratch;
    int openPipes = 0; // two descriptors each
};

} // namespace qm
