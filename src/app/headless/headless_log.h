#pragma once

#include "service/relay_controller.h"

#include <QObject>

#include <functional>
#include <optional>

namespace qm {

enum class LogLevel { Error, Warning, Info };

// One line per event of the relay, for the headless mode: listening, clients
// accepted and refused, pairs ended with their counters, probe results when
// they change, and every message a window would show.
class HeadlessLog : public QObject {
    Q_OBJECT
public:
    using LineWriter = std::function<void(LogLevel level, const QString& line)>;

    HeadlessLog(RelayController& controller, LineWriter writeLine, QObject* parent = nullptr);

    // The values of config.ini that were present but unusable, as "Key=value".
    void ignoredSettings(const QStringList& entries);

private:
    void serverProbed(int server, bool reachable);

    RelayController& m_controller;
    LineWriter m_writeLine;
    std::optional<bool> m_lastReported[2];
};

} // namespace qm
