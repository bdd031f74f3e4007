#include "app/headless/service_notifier.h"

#include <cstring>
#include <unistd.h>

namespace qm {

ServiceNotifier::ServiceNotifier() {
    const QByteArray path = qgetenv("NOTIFY_SOCKET");
    // A path, or an abstract name written with a leading '@'.
    if (path.size() < 2 || path.size() >= int(sizeof m_address.sun_path) ||
        (path[0] != '/' && path[0] != '@'))
        return;
    m_address.sun_family = AF_UNIX;
    std::memcpy(m_address.sun_path, path.constData(), path.size());
    if (path[0] == '@')
        m_address.sun_path[0] = '\0';
    m_addressLength = socklen_t(offsetof(sockaddr_un, sun_path) + path.size());
    m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

ServiceNotifier::~ServiceNotifier() {
    if (m_fd >= 0)
        ::close(m_fd);
}

void ServiceNotifier::ready() {
    send("READY=1");
}

void ServiceNotifier::reloading() {
    send("RELOADING=1");
}

void ServiceNotifier::status(const QString& line) {
    send("STATUS=" + line.toUtf8().replace('\n', ' '));
}

void ServiceNotifier::send(const QByteArray& assignments) {
    if (m_fd < 0)
        return;
    ::sendto(m_fd, assignments.constData(), assignments.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&m_address), m_addressLength);
}

} // namespace qm
