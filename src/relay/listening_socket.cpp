#include "relay/listening_socket.h"

#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {

int bound(int family, quint16 port) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
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
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        (family == AF_INET6 && setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off) != 0) ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

} // namespace

int openListeningSocket(quint16 port, bool* ipv4Only) {
    *ipv4Only = false;
    const int fd = bound(AF_INET6, port);
    // A taken port or a lack of descriptors is no reason to drop IPv6.
    if (fd >= 0 || errno == EADDRINUSE || errno == EACCES || errno == EMFILE || errno == ENFILE)
        return fd;
    *ipv4Only = true;
    return bound(AF_INET, port);
}

} // namespace qm
