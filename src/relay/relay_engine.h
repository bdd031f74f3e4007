#pragma once

#include "core/bans/ban6_table.h"
#include "core/bans/ban_table.h"
#include "core/clock.h"
#include "core/online_prefix.h"
#include "core/pair_snapshot.h"
#include "core/upstream.h"
#include "relay/bound_port.h"
#include "relay/socket_options.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qm {

// Accepts clients on the listening port, connects each one upstream before it
// is accepted, relays bytes both ways and ends pairs. Accepting and all signals
// are on the thread of the Qt event loop, which is never blocked; accepted
// pairs are relayed on engine threads of their own.
class RelayEngine : public QObject {
    Q_OBJECT
public:
    // Returns the server for a new client, or nothing when no server is reachable.
    using UpstreamChooser = std::function<std::optional<Upstream>()>;

    RelayEngine(const BanTable& bans, const Clock& clock, QObject* parent = nullptr);
    ~RelayEngine() override;

    void setUpstreamChooser(UpstreamChooser chooser);
    // The IPv6 bans, read at each request and acceptance as the IPv4 ones
    // are; none without it. The table must outlive the engine.
    void setIpv6Bans(const Ban6Table* bans);
    // Upper bound for an upstream connection attempt (the probe's 5 s by default).
    void setConnectTimeoutMs(int ms);
    // How long a side of an ended pair may take to accept what was read for it
    // before the ending (5 s by default); then it is closed regardless.
    void setCloseLingerMs(int ms);
    // How long a pair whose one side has ended its sending goes on carrying
    // the other side's bytes without a byte passing (60 s by default).
    void setHalfCloseIdleMs(int ms);
    // Keep-alive and unacknowledged-data limits of new pairs' sockets: the
    // defaults give a vanished peer about two minutes. Shortened in tests.
    void setPeerLossTimings(const PeerLossTimings& timings);
    // Pairs at once (32767); clients beyond it are refused. Lowered in tests.
    void setSlotCapacity(int capacity);
    // The most pairs one client address may hold at once, reserved ones
    // included, and the most new connections it may open per second (a
    // token bucket whose burst is the same number); 0 is no limit, and a
    // value above the slot capacity counts as the capacity. A client over
    // either is refused as a banned one is.
    void setAddressLimits(int pairsPerAddress, int connectsPerSecond);
    // Engine threads that relay accepted pairs, at most MaxThreads; 0 is one
    // per processor the program may run on. Started as pairs come; a lower
    // number applies to new pairs, while those already on a thread stay there.
    static constexpr int MaxThreads = 64;
    void setThreads(int count);
    // 1 or 2: each new pair's upstream stream starts with a PROXY protocol
    // header of that version (not counted as relayed bytes); 0, the default,
    // sends none. Pairs already standing are not touched.
    void setProxyProtocol(int version);

    // Listens on port for both families (IPv4 alone where the machine has no
    // IPv6). False (with *error) when the port cannot be bound.
    bool listen(quint16 port, QString* error = nullptr);
    // Serves on a listener bound beforehand (must be ok()), closing the one before.
    void adoptListener(BoundPort&& listener);
    void closeListener();
    bool isListening() const;
    quint16 serverPort() const; // the bound port (listen(0) picks one); 0 when closed

    // Ends every pair, live or reserved, without touching the count (restart).
    void closeAllPairs();

    qint16 onlineN() const;
    void setOnlineN(qint16 n); // no display refresh

    // Live pairs in ascending slot order; reserved pairs are left out.
    std::vector<PairSnapshot> livePairs() const;
    // Slots 1..32767; a reserved or live pair occupies its slot.
    bool isSlotOccupied(int slot) const;
    int pairsInProgress() const;
    // Sides of ended pairs still open: delivering their last bytes, or carrying
    // on after one side ended its sending (a half-closed pair holds both).
    int lingeringSockets() const;

    // The online list's disconnect: ends the live pair in the lowest slot whose
    // client address equals address and lowers the count once; false if none.
    bool disconnectFirst(const QString& address);

signals:
    // The online caption and tray tooltip are to show prefix + count.
    void onlineDisplayRefresh(qm::OnlinePrefix prefix, qint16 count);
    // Each new client's upstream: the datagram relay sends there from now on.
    void upstreamChosen(const qm::Upstream& server);
    void clientAccepted(int slot, const QString& address, const qm::Upstream& server);
    // Banned (at the request, or at acceptance when banned meanwhile), over a
    // per-address limit, no server reachable, no free slot or out of
    // descriptors; the client was closed without data and nothing was counted.
    void clientRefused(const QString& address, const QString& reason);
    // Once per pair, whatever ended it (restarts and pairs never accepted too);
    // after forwardingFailed and before the caption refresh of the same ending.
    // durationMs counts from the acceptance; -1 for a pair never accepted.
    void pairEnded(int slot, const QString& address, quint64 bytesFromClient,
                   quint64 bytesFromServer, qint64 durationMs);
    // An upstream connection to server reached this relay's own listener; its
    // pair ended as a failed upstream, and the looped connection is refused.
    void ownListenerReached(const qm::Upstream& server);
    // A send on a side that is no longer connected ended the pair ("40006").
    void forwardingFailed(int slot);
    // The first listener opened without IPv6, the machine having none.
    void listeningOnIpv4Only();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace qm
