#include "app/headless/signal_watcher.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qm {

namespace {

constexpr int WatchedSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t writeEnd = -1;

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0)
        return; // no watcher: the default handlers still end the process
    writeEnd = m_fds[1];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    for (const int number : WatchedSignals)
        setHandler(number, onSignal);
}

SignalWatcher::~SignalWatcher() {
    if (m_fds[0] < 0)
        return;
    for (const int number : WatchedSignals)
        setHandler(number, SIG_DFL);
    writeEnd = -1;
    m_notifier.reset();
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void SignalWatcher::readSignal() {
    unsigned char byte = 0;
    while (::read(m_fds[0], &byte, 1) == 1)
        emit signalled(byte);
}

} // namespace qm
