#pragma once

#include "core/upstream.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class QTcpSocket;

namespace qm {

// Finds out which of the two upstream servers accepts a TCP connection: server 1
// first, then server 2, each with its own time limit. One probe runs at a time;
// a cancelled probe reports nothing. A port of 0 stands for a port no socket
// can use: that server counts as unreachable without a connection attempt.
// A probe that cannot get a socket (descriptors or buffers run out) keeps that
// server's last result: the shortage is this process's, not the server's.
class UpstreamMonitor : public QObject {
    Q_OBJECT
public:
    explicit UpstreamMonitor(int timeoutMs, QObject* parent = nullptr);
    ~UpstreamMonitor() override;

    // Starts a probe of both servers; a probe still running is cancelled first.
    void probeUpstreams(const Upstream& server1, const Upstream& server2);
    void cancel();
    bool isProbing() const { return m_probing; }
    // The relay's listening port (0 while closed): a server whose probe
    // connection arrives there is the relay itself and counts as unreachable.
    void setOwnPort(quint16 port) { m_ownPort = port; }

    // The last result for server 1 or 2 (false before any), known as soon as
    // that server's attempt is over and kept while the next probe runs: new
    // clients go by it.
    bool reachable(int server) const { return m_results[server - 1]; }
    // That server counts as unreachable until its next result.
    void forget(int server) { m_results[server - 1] = false; }

signals:
    void probeFinished(bool server1Reachable, bool server2Reachable);
    // As soon as that server's probe reached the relay's own listener.
    void ownListenerReached(int server);

private:
    void startAttempt();
    void finishAttempt(bool reachable);
    void dropSocket();

    int m_timeoutMs;
    quint16 m_ownPort = 0;
    bool m_probing = false;
    int m_current = 0; // 0 before the first attempt, then 1 or 2
    Upstream m_targets[2];
    bool m_results[2] = {false, false};
    Upstream m_resultFor[2]; // the server each result was found for
    quint64 m_attempt = 0;
    QPointer<QTcpSocket> m_socket;
    QTimer m_deadline;
    QTimer m_kickoff; // first attempt starts from the event loop, never inside the caller
};

} // namespace qm
