#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace qm {

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop: the handler only
// writes the signal number into a socket pair, a notifier reads it back.
// One watcher per process.
class SignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override; // restores the default handlers

signals:
    void signalled(int signalNumber);

private:
    void readSignal();

    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace qm
