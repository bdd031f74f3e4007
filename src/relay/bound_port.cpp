#include "relay/bound_port.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {

int bindOnFamily(int family, bool listener, quint16 port) {
    const int fd =
        ::socket(family, (listener ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    int off = 0;
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET6) {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        v6.sin6_addr = in6addr_any;
        length = sizeof v6;
    } else {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(INADDR_ANY);
        length = sizeof v4;
    }
    if ((listener && setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) ||
        (family == AF_INET6 && setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        (listener && ::listen(fd, SOMAXCONN) != 0)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

BoundPort BoundPort::open(Kind kind, quint16 port) {
    BoundPort bound;
    bound.m_port = port;
    const bool listener = kind == Kind::Listener;
    int fd = bindOnFamily(AF_INET6, listener, port);
    // A taken or forbidden port, or a lack of descriptors, is no reason to drop IPv6.
    if (fd < 0 && errno != EADDRINUSE && errno != EACCES && errno != EPERM && errno != EMFILE &&
        errno != ENFILE) {
        fd = bindOnFamily(AF_INET, listener, port);
        bound.m_ipv4Only = fd >= 0;
    }
    if (fd < 0)
        bound.m_errorNumber = errno;
    bound.m_fd = fd;
    return bound;
}

BoundPort::BoundPort(BoundPort&& other) noexcept
    : m_fd(other.m_fd), m_port(other.m_port), m_errorNumber(other.m_errorNumber),
      m_ipv4Only(other.m_ipv4Only) {
    other.m_fd = -1;
}

BoundPort& BoundPort::operator=(BoundPort&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.m_fd;
        m_port = other.m_port;
        m_errorNumber = other.m_errorNumber;
        m_ipv4Only = other.m_ipv4Only;
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
