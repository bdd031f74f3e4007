#include "app/headless/service_status.h"

namespace qm {

namespace {

constexpr int RefreshMs = 1000;

} // namespace

ServiceStatus::ServiceStatus(RelayController& controller, QObject* parent)
    : QObject(parent), m_controller(controller) {
    if (!m_notifier.active())
        return;
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &ServiceStatus::refresh);
    connect(&controller, &RelayController::startFinished, this, [this](bool listening) {
        if (!listening && !m_ready)
            return; // a refused first start ends the program
        if (listening)
            m_waiting = false;
        settled();
    });
    connect(&controller, &RelayController::waitingForServer, this, [this] {
        m_waiting = true;
        settled();
    });
    connect(&controller, &RelayController::reloadRefused, this, &ServiceStatus::settled);
    connect(&controller, &RelayController::listeningChanged, this, &ServiceStatus::refresh);
    m_notifier.status(QStringLiteral("starting"));
}

void ServiceStatus::reloadStarting() {
    m_reloading = true;
    m_notifier.reloading();
    m_notifier.status(QStringLiteral("reloading"));
    m_lastLine.clear();
}

void ServiceStatus::settled() {
    refresh();
    if (m_ready && !m_reloading)
        return;
    m_ready = true;
    m_reloading = false;
    m_notifier.ready();
    m_refresh.start();
}

void ServiceStatus::refresh() {
    if (!m_notifier.active())
        return;
    const QString now = line();
    if (now == m_lastLine)
        return;
    m_lastLine = now;
    m_notifier.status(now);
}

QString ServiceStatus::line() const {
    if (m_controller.listening())
        return QStringLiteral("listening on %1, %2 clients")
            .arg(m_controller.listeningPort())
            .arg(m_controller.livePairs().size());
    if (m_waiting)
        return QStringLiteral("waiting: both servers unreachable");
    return QStringLiteral("not listening: see the log");
}

} // namespace qm
