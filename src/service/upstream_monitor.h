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

signals:
    // server is 1 or 2, reported as soon as that server's attempt is over.
    void serverProbed(int server, bool reachable);
    void probeFinished(bool server1Reachable, bool server2Reachable);
    // Before serverProbed: that server's probe reached the relay's own listener.
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
    quint64 m_attempt = 0;
    QPointer<QTcpSocket> m_socket;
    QTimer m_deadline;
    QTimer m_kickoff; // first attempt starts from the event loop, never inside the caller
};

} // namespace qm
