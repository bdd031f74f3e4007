#pragma once

#include "core/bans/ban6_table.h"
#include "core/bans/ban_table.h"
#include "core/clock.h"
#include "core/pair_snapshot.h"
#include "core/settings/stored_settings.h"
#include "core/upstream.h"
#include "core/user_message.h"
#include "service/datagram_counts.h"

#include <QObject>
#include <memory>
#include <vector>

namespace qm {

// Owns the main-window state (ports, hosts, probe results, Listening, OnlineN,
// preferred server) and runs the start, restart, probe and datagram relay.
// Everything the main window shows leaves as signals; no widgets here.
class RelayController : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString configPath;        // config.ini, written after each successful start
        int probeTimeoutMs = 5000; // per server
        int probeIntervalMs = 1000;
        quint16 datagramUpstreamPort = 44786;
        // Without windows nobody can press apply again: when no server answers,
        // keep probing and listen as soon as one does.
        bool waitForServer = false;
    };

    RelayController(const BanTable& bans, const Clock& clock, Options options,
                    QObject* parent = nullptr);
    ~RelayController() override;

    // The IPv6 bans beside the IPv4 ones; none without it. Must outlive this.
    void setIpv6Bans(const Ban6Table* bans);

    // The live pairs for the online list, and its disconnect: the first pair
    // of that address ends, and the caption and tooltip show the new count.
    std::vector<PairSnapshot> livePairs() const;
    bool disconnectClient(const QString& address);
    // config.ini as the boxes show it at load (defaults where unusable, each
    // such value, of [main] and of [relay], added to *ignored as "Key=value").
    // [relay] is read in the same pass and used by the start that follows;
    // any other start reads it again.
    SettingBoxes storedSettings(QStringList* ignored = nullptr);

    bool listening() const;
    bool listenerOpen() const; // the listening socket itself, apart from the state
    qint16 onlineN() const;
    int pairsInProgress() const; // live and reserved
    DatagramCounts datagramCounts() const;
    bool serverReachable() const;
    bool server2Reachable() const;
    qint16 autoStart() const;
    void setAutoStart(qint16 value); // as read at load; written back unchanged
    bool preferServer1() const;      // server 1 is the preferred one
    void setPreferServer1(bool preferred);

    QString onlineCaption() const; // starts as "Онлайн – 0"
    QString trayToolTip() const;   // starts empty
    QString applyCaption() const;  // "Применить", "Рестарт" or "Приминить"
    bool applyEnabled() const;
    bool onlineLabelEnabled() const; // false until the relay first listens
    // The settings the last start took from the boxes (ports as typed, unrounded).
    const AppliedSettings& appliedSettings() const;
    quint16 listeningPort() const; // the port the listener was opened on, 0 before
    // The last refused start or reload met a port this process may not use
    // (below 1024 without the capability): trying again cannot help.
    bool portForbidden() const;

public slots:
    // The apply button: disables itself, then restarts when listening, else starts.
    void apply(const qm::SettingBoxes& boxes);
    void startRelay(const qm::SettingBoxes& boxes);
    void restartRelay(const qm::SettingBoxes& boxes);
    // SIGHUP and the reload command: as the restart (every pair ends), but
    // settings that cannot take effect (a port that is no number, a client
    // port that cannot be bound) change nothing and raise reloadRefused; a
    // client port that stays keeps its listener and datagram sockets, and a
    // new one is bound before the old one closes.
    void reloadRelay(const qm::SettingBoxes& boxes);

signals:
    void onlineCaptionChanged(const QString& caption);
    void trayToolTipChanged(const QString& toolTip);
    void onlineLabelEnabledChanged(bool enabled);
    void applyCaptionChanged(const QString& caption);
    void applyEnabledChanged(bool enabled);
    void server1Probed(bool reachable); // colours server 1's boxes
    void server2Probed(bool reachable); // colours server 2's boxes
    void messageRaised(const qm::UserMessage& message);
    void listeningChanged(bool listening);
    // With waitForServer: no server answered, probing goes on once a second.
    void waitingForServer();
    // Pair events, as the engine reports them.
    void clientAccepted(int slot, const QString& address, const qm::Upstream& server);
    // Closed without data and not counted; reason is a short English text.
    void clientRefused(const QString& address, const QString& reason);
    // Once per pair; durationMs is -1 for a pair never accepted.
    void pairEnded(int slot, const QString& address, quint64 bytesFromClient,
                   quint64 bytesFromServer, qint64 durationMs);
    void datagramDropped(const QString& address, const QString& reason);
    // Once, at the first listener opened without IPv6 (the machine has none).
    void listeningOnIpv4Only();
    // Every start ends here, listening or refused (by a port check, the probe,
    // a busy port or a failed save).
    void startFinished(bool listening);
    // A reload changed nothing; its reason was raised as a message before.
    void reloadRefused();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace qm
