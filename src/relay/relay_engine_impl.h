#pragma once

#include "relay/address_limits.h"
#include "relay/deadline_queue.h"
#include "relay/engine_shared.h"
#include "relay/engine_thread.h"
#include "relay/fd_limit.h"
#include "relay/relay_engine.h"
#include "relay/relay_pair.h"
#include "relay/slot_table.h"
#include "relay/socket_options.h"

#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <map>
#include <netinet/in.h>

namespace qm {

// The engine's state and the main thread's steps: accepting, connecting
// upstream and the bookkeeping of endings. Pairs being connected are watched by
// an edge-triggered epoll set behind one notifier on the Qt event loop; once
// accepted, a pair is handed to an engine thread, which relays it and reports
// its ending back. Objects that a signal handler may end while they are in use
// are freed only when the outermost call returns.
struct RelayEngine::Impl {
    Impl(RelayEngine* owner, const BanTable& banTable, const Clock& wallClock);
    ~Impl();

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

    // handing_over.cpp
    void onPollerReadable();
    bool threadForNextPair();
    void handOver(RelayPair& pair);
    EngineThread& leastLoadedThread(int* index);
    void onEndingReports();
    void syncThreads();

    // ending.cpp
    void endPair(RelayPair& pair, Ending how);
    void bookEnding(RelayPair& pair, Ending how, SteadyTime endedAt);
    void setDeadline(Endpoint& endpoint, int ms);
    void clearDeadline(Endpoint& endpoint);
    void onDeadline();
    void armDeadlineTimer();
    void collectGarbage();
    void lowerCount();
    int ownDescriptors();

    RelayEngine* q;
    const BanTable& bans;
    const Ban6Table* bans6 = nullptr;
    int proxyVersion = 0;
    const Clock& clock;
    UpstreamChooser chooser;
    int connectTimeoutMs = 5000;
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

    int epollFd = -1; // pairs being connected upstream
    std::unique_ptr<QSocketNotifier> pollNotifier;
    SlotTable pairTable;
    std::vector<std::unique_ptr<RelayPair>> endedPairs;
    DeadlineQueue deadlines;
    QTimer deadlineTimer;
    SteadyTime deadlineArmedFor{};

    EngineShared shared;
    int threadCount = engineThreadsFor(0);
    // Started as pairs come; new pairs go to the first threadCount of them.
    std::vector<std::unique_ptr<EngineThread>> threads;
    std::vector<int> pairsOnThread;
    std::unique_ptr<QSocketNotifier> reportNotifier;
};

} // namespace qm
