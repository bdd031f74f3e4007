#include "app/headless/headless_log.h"

namespace qm {

namespace {

QString describe(const Upstream& server) {
    return QStringLiteral("%1:%2").arg(server.host, QString::number(server.port));
}

LogLevel levelOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Critical:
        return LogLevel::Error;
    case MessageIcon::Warning:
        return LogLevel::Warning;
    case MessageIcon::None:
    case MessageIcon::Information:
        break;
    }
    return LogLevel::Info;
}

QString durationText(qint64 ms) {
    if (ms < 0)
        return QStringLiteral("never accepted");
    return QStringLiteral("after %1 s").arg(QString::number(ms / 1000.0, 'f', 1));
}

} // namespace

HeadlessLog::HeadlessLog(RelayController& controller, LineWriter writeLine, int summaryPeriodMs,
                         QObject* parent)
    : QObject(parent), m_controller(controller), m_writeLine(std::move(writeLine)),
      m_refusals(
          {QStringLiteral("client %1 refused: %2"),
           QStringLiteral("clients refused (%1): %2 in %3 s from %4, most from %5 (%6)")},
          [this](const QString& line) { m_writeLine(LogLevel::Info, line); }, summaryPeriodMs),
      m_drops(
          {QStringLiteral("datagram from %1 dropped: %2"),
           QStringLiteral("datagrams dropped (%1): %2 in %3 s from %4, most from %5 (%6)")},
          [this](const QString& line) { m_writeLine(LogLevel::Info, line); }, summaryPeriodMs) {
    // A restart opens the listener again without ever leaving the listening state.
    connect(&controller, &RelayController::startFinished, this, [this](bool listening) {
        if (listening)
            m_writeLine(LogLevel::Info,
                        QStringLiteral("listening on port %1").arg(m_controller.listeningPort()));
    });
    connect(&controller, &RelayController::listeningChanged, this, [this](bool listening) {
        if (!listening)
            m_writeLine(LogLevel::Info, QStringLiteral("listener closed"));
    });
    connect(&controller, &RelayController::waitingForServer, this, [this] {
        m_writeLine(LogLevel::Warning,
                    QStringLiteral("waiting for a server to answer, probing once a second"));
    });
    connect(&controller, &RelayController::server1Probed, this,
            [this](bool reachable) { serverProbed(1, reachable); });
    connect(&controller, &RelayController::server2Probed, this,
            [this](bool reachable) { serverProbed(2, reachable); });
    connect(&controller, &RelayController::messageRaised, this, [this](const UserMessage& message) {
        const QString line =
            message.event.isEmpty()
                ? QStringLiteral("message: %1").arg(message.text)
                : QStringLiteral("%1; message: %2").arg(message.event, message.text);
        m_writeLine(levelOf(message.icon), line);
    });
    connect(&controller, &RelayController::clientAccepted, this,
            [this](int slot, const QString& address, const Upstream& server) {
                m_writeLine(LogLevel::Info,
                            QStringLiteral("client %1 accepted in slot %2, server %3")
                                .arg(address, QString::number(slot), describe(server)));
            });
    connect(&controller, &RelayController::clientRefused, &m_refusals, &RefusalSummary::add);
    connect(&controller, &RelayController::datagramDropped, &m_drops, &RefusalSummary::add);
    connect(&controller, &RelayController::pairEnded, this,
            [this](int slot, const QString& address, quint64 fromClient, quint64 fromServer,
                   qint64 durationMs) {
                m_writeLine(LogLevel::Info,
                            QStringLiteral("pair %1 of client %2 ended: %3 bytes from client, "
                                           "%4 bytes from server, %5")
                                .arg(QString::number(slot), address, QString::number(fromClient),
                                     QString::number(fromServer), durationText(durationMs)));
            });
}

void HeadlessLog::serverProbed(int server, bool reachable) {
    std::optional<bool>& last = m_lastReported[server - 1];
    if (last == reachable)
        return;
    last = reachable;
    const AppliedSettings& applied = m_controller.appliedSettings();
    const QString& host = server == 1 ? applied.serverHost : applied.server2Host;
    const float port = server == 1 ? applied.serverPort : applied.server2Port;
    // Multi-argument form: a host typed with a % in it is printed as typed.
    m_writeLine(reachable ? LogLevel::Info : LogLevel::Warning,
                QStringLiteral("server %1 (%2 port %3) %4")
                    .arg(QString::number(server), host, QString::number(port),
                         reachable ? QStringLiteral("reachable") : QStringLiteral("unreachable")));
}

void HeadlessLog::ignoredSettings(const QStringList& entries) {
    for (const QString& entry : entries)
        m_writeLine(
            LogLevel::Warning,
            QStringLiteral("config.ini: %1 cannot be read, the default is used").arg(entry));
}

} // namespace qm
