#pragma once

#include "app/headless/service_notifier.h"
#include "service/relay_controller.h"

#include <QObject>
#include <QTimer>

namespace qm {

// The service's state for systemd: READY=1 once the relay first listens or
// waits for a server, RELOADING=1 and READY=1 around each reload, and a
// one-line STATUS= ("listening on 9730, 12 clients") kept current once a
// second at most.
class ServiceStatus : public QObject {
    Q_OBJECT
public:
    explicit ServiceStatus(RelayController& controller, QObject* parent = nullptr);

    // Call before the reload itself: READY=1 follows when it has ended.
    void reloadStarting();

private:
    void settled(); // a start or reload has ended, whichever way
    void refresh();
    QString line() const;

    RelayController& m_controller;
    ServiceNotifier m_notifier;
    QTimer m_refresh;
    QString m_lastLine;
    bool m_ready = false;
    bool m_reloading = false;
    bool m_waiting = false;
};

} // namespace qm
