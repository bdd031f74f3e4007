#include "support/fake_upstream.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm::test {

FakeUpstream::FakeUpstream(const QHostAddress& address, quint16 port, QObject* parent)
    : QObject(parent), m_address(address), m_port(port) {
    connect(&m_server, &QTcpServer::newConnection, this, &FakeUpstream::acceptPending);
    // Room for bursts of hundreds of connections while the event loop is busy.
    m_server.setListenBacklogSize(1024);
    listen();
}

bool FakeUpstream::listen() {
    if (!m_server.listen(m_address, m_port))
        return false;
    m_port = m_server.serverPort();
    return true;
}

void FakeUpstream::stopListening() {
    m_server.close();
}

void FakeUpstream::closeConnections() {
    for (const QPointer<QTcpSocket>& connection : std::as_const(m_connections))
        if (connection)
            connection->close();
}

QList<QTcpSocket*> FakeUpstream::openConnections() const {
    QList<QTcpSocket*> open;
    for (const QPointer<QTcpSocket>& connection : m_connections)
        if (connection && connection->state() == QAbstractSocket::ConnectedState)
            open.append(connection);
    return open;
}

void FakeUpstream::acceptPending() {
    while (QTcpSocket* connection = m_server.nextPendingConnection()) {
        ++m_accepted;
        m_connections.append(connection);
        connect(connection, &QTcpSocket::disconnected, connection, &QObject::deleteLater);
        connect(connection, &QTcpSocket::readyRead, this, [this, connection] {
            const QByteArray bytes = connection->readAll();
            m_received += bytes;
            if (m_echo)
                connection->write(bytes);
            emit bytesReceived();
        });
        if (!m_greeting.isEmpty())
            connection->write(m_greeting);
        emit connectionAccepted(connection);
    }
}

SilentUpstream::SilentUpstream() {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_listener, 0) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    // Fill the accept queue; once a non-blocking connect stays in progress,
    // the queue is full and SYNs are being dropped.
    while (m_fillers.size() < 16) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        m_fillers.append(filler);
        if (::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno == EINPROGRESS) {
            // On loopback the handshake completes at once unless the listener
            // drops the SYN: still not writable after a while means dropped.
            pollfd waiting = {filler, POLLOUT, 0};
            if (::poll(&waiting, 1, 100) == 0) {
                m_port = ntohs(address.sin_port);
                return;
            }
        }
    }
}

SilentUpstream::~SilentUpstream() {
    for (int filler : std::as_const(m_fillers))
        ::close(filler);
    if (m_listener >= 0)
        ::close(m_listener);
}

} // namespace qm::test
