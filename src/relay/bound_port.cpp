#include "relay/bound_port.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

BoundPort BoundPort::open(Kind kind, quint16 port) {
    BoundPort bound;
    bound.m_port = port;
    const bool listener = kind == Kind::Listener;
    const int fd =
        ::socket(AF_INET, (listener ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    int reuse = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (fd < 0 ||
        (listener && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (listener && ::listen(fd, SOMAXCONN) != 0)) {
        bound.m_errorNumber = errno;
        if (fd >= 0)
            ::close(fd);
        return bound;
    }
    bound.m_fd = fd;
    return bound;
}

BoundPort::BoundPort(BoundPort&& other) noexcept
    : m_fd(other.m_fd), m_port(other.m_port), m_errorNumber(other.m_errorNumber) {
    other.m_fd = -1;
}

BoundPort& BoundPort::operator=(BoundPort&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_port = other.m_port;
        m_errorNumber = other.m_errorNumber;
        other.m_fd = -1;
    }
    return *this;
}

BoundPort::~BoundPort() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int BoundPort::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

QString portRefusalText(int errorNumber) {
    switch (errorNumber) {
    case EADDRINUSE:
        return QStringLiteral("is in use");
    case EACCES:
    case EPERM:
        return QStringLiteral("may not be used: permission denied (a port below 1024 needs the "
                              "capability CAP_NET_BIND_SERVICE)");
    case EADDRNOTAVAIL:
        return QStringLiteral("cannot be bound: address not available");
    default:
        return QStringLiteral("cannot be bound: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

bool portForbidden(int errorNumber) {
    return errorNumber == EACCES || errorNumber == EPERM;
}

} // namespace qm
