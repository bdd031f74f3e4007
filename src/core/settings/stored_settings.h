#pragma once

#include "core/settings/relay_options.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace qm {

// The texts of the five setting boxes plus Auto_Start, as the main window
// shows them at load: the file's values where usable, the defaults otherwise.
struct SettingBoxes {
    QString clientPort = QStringLiteral("9730");
    QString serverHost = QStringLiteral("127.0.0.1");
    QString serverPort = QStringLiteral("9730");
    QString server2Host = QStringLiteral("127.0.0.2");
    QString server2Port = QStringLiteral("9730");
    qint16 autoStart = 0;

    bool operator==(const SettingBoxes&) const = default;
};

// The settings in effect after a start, as written back to the file.
struct AppliedSettings {
    qint16 autoStart = 0;
    float clientPort = 0;
    QString serverHost;
    float serverPort = 0;
    QString server2Host;
    float server2Port = 0;
};

// Each value present in the file but not usable, and so left at its default,
// is added to *ignored as "Key=value".
// With relay, section [relay] is read in the same pass.
SettingBoxes readSettingBoxes(const QString& configPath, QStringList* ignored = nullptr,
                              RelayOptions* relay = nullptr);
// Writes the six keys of section main in their fixed order; false on failure,
// with *error naming the file and the reason.
bool writeAppliedSettings(const AppliedSettings& settings, const QString& configPath,
                          QString* error = nullptr);

} // namespace qm
