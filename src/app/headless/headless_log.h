#pragma once

#include "app/headless/refusal_summary.h"
#include "service/relay_controller.h"

#include <QObject>

#include <functional>
#include <optional>

namespace qm {

enum class LogLevel { Error, Warning, Info };

// One line per event of the relay, for the headless mode: listening, clients
// accepted, pairs ended with their counters and duration, probe results when
// they change, and every message a window would show. Refused clients and
// dropped datagrams are summed per reason (see RefusalSummary).
class HeadlessLog : public QObject {
    Q_OBJECT
public:
    using LineWriter = std::function<void(LogLevel level, const QString& line)>;

    HeadlessLog(RelayController& controller, LineWriter writeLine, int summaryPeriodMs = 1000,
                QObject* parent = nullptr);

    // The values of config.ini that were present but unusable, as "Key=value".
    void ignoredSettings(const QStringList& entries);

private:
    void serverProbed(int server, bool reachable);

    RelayController& m_controller;
    LineWriter m_writeLine;
    std::optional<bool> m_lastReported[2];
    RefusalSummary m_refusals;
    RefusalSummary m_drops;
};

} // namespace qm
