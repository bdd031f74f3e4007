#include "service/upstream_monitor.h"

#include "relay/own_listener.h"

#include <QTcpSocket>

namespace qm {

UpstreamMonitor::UpstreamMonitor(int timeoutMs, QObject* parent)
    : QObject(parent), m_timeoutMs(timeoutMs) {
    m_deadline.setSingleShot(true);
    m_kickoff.setSingleShot(true);
    m_kickoff.setInterval(0);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finishAttempt(false); });
    connect(&m_kickoff, &QTimer::timeout, this, &UpstreamMonitor::startAttempt);
}

UpstreamMonitor::~UpstreamMonitor() {
    dropSocket();
}

void UpstreamMonitor::probeUpstreams(const Upstream& server1, const Upstream& server2) {
    cancel();
    m_targets[0] = server1;
    m_targets[1] = server2;
    m_current = 0;
    m_probing = true;
    m_kickoff.start();
}

void UpstreamMonitor::cancel() {
    m_kickoff.stop();
    m_deadline.stop();
    dropSocket();
    m_probing = false;
}

void UpstreamMonitor::startAttempt() {
    ++m_current;
    const Upstream& target = m_targets[m_current - 1];
    if (target.port == 0 || target.host.isEmpty()) {
        finishAttempt(false);
        return;
    }
    auto* socket = new QTcpSocket(this);
    m_socket = socket;
    // Queued, so the outcome is never handled inside connectToHost itself; the
    // attempt number drops an outcome that arrives after its attempt was over.
    const quint64 attempt = ++m_attempt;
    connect(
        socket, &QTcpSocket::connected, this,
        [this, attempt] {
            if (attempt != m_attempt || !m_socket)
                return;
            const bool ownListener =
                reachesOwnListener(int(m_socket->socketDescriptor()), m_ownPort);
            if (ownListener)
                emit ownListenerReached(m_current);
            if (attempt == m_attempt && m_socket) // not cancelled by a receiver
                finishAttempt(!ownListener);
        },
        Qt::QueuedConnection);
    connect(
        socket, &QTcpSocket::errorOccurred, this,
        [this, attempt](QAbstractSocket::SocketError error) {
            if (attempt != m_attempt || !m_socket)
                return;
            // No socket to probe with says nothing of the server: the last
            // result stands until a later probe can tell.
            // A result stands only for the server it was found for.
            const int index = m_current - 1;
            const bool localShortage = error == QAbstractSocket::SocketResourceError;
            finishAttempt(localShortage && m_results[index] &&
                          m_resultFor[index] == m_targets[index]);
        },
        Qt::QueuedConnection);
    m_deadline.start(m_timeoutMs);
    // A host name is looked up asynchronously by the socket, which tries its
    // addresses of both families in the resolver's order; a name that does
    // not resolve ends in an error like a refused connection.
    socket->connectToHost(target.host, target.port, QIODevice::ReadWrite,
                          QAbstractSocket::AnyIPProtocol);
}

void UpstreamMonitor::finishAttempt(bool reachable) {
    m_deadline.stop();
    dropSocket();
    m_results[m_current - 1] = reachable;
    m_resultFor[m_current - 1] = m_targets[m_current - 1];
    if (m_current == 1) {
        startAttempt();
        return;
    }
    m_probing = false;
    emit probeFinished(m_results[0], m_results[1]);
}

void UpstreamMonitor::dropSocket() {
    if (!m_socket)
        return;
    QTcpSocket* socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace qm
