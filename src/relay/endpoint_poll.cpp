#include "relay/endpoint_poll.h"

#include <sys/epoll.h>
#include <unistd.h>

namespace qm {

bool watchEndpoint(int epollFd, Endpoint& endpoint, int operation) {
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    event.data.ptr = &endpoint;
    if (epoll_ctl(epollFd, operation, endpoint.fd, &event) != 0)
        return false;
    endpoint.watched = true;
    return true;
}

void noteReadiness(Endpoint& endpoint, quint32 events) {
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
        endpoint.canRead = true;
    if (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR))
        endpoint.peerClosed = true;
    if (events & (EPOLLOUT | EPOLLHUP | EPOLLERR))
        endpoint.canWrite = true;
}

void closeEndpoint(int epollFd, Endpoint& endpoint) {
    if (endpoint.watched)
        epoll_ctl(epollFd, EPOLL_CTL_DEL, endpoint.fd, nullptr);
    ::close(endpoint.fd);
    endpoint.fd = -1;
    endpoint.watched = false;
}

} // namespace qm
