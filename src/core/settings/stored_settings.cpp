#include "core/settings/stored_settings.h"

#include "core/settings/ini_file.h"
#include "core/settings/ini_values.h"

#include <algorithm>

namespace qm {

namespace {

const QString Section = QStringLiteral("main");

// A port of 0 means "not set": the box keeps its default.
void readPort(const QString& key, const QString& configPath, QString* box) {
    const int port = portFromIni(readIniValue(Section, key, configPath));
    if (port != 0)
        *box = QString::number(port);
}

// An empty address, or one holding control characters (such as NUL from a
// damaged file), keeps the default.
void readAddress(const QString& key, const QString& configPath, QString* box) {
    const QString address = readIniValue(Section, key, configPath);
    const bool usable =
        !address.isEmpty() &&
        std::none_of(address.begin(), address.end(), [](QChar c) { return c.unicode() < 32; });
    if (usable)
        *box = address;
}

} // namespace

SettingBoxes readSettingBoxes(const QString& configPath) {
    SettingBoxes boxes;
    readPort(QStringLiteral("Client_Port"), configPath, &boxes.clientPort);
    readPort(QStringLiteral("Server_Port"), configPath, &boxes.serverPort);
    readAddress(QStringLiteral("Server_IP"), configPath, &boxes.serverHost);
    readPort(QStringLiteral("Server2_Port"), configPath, &boxes.server2Port);
    readAddress(QStringLiteral("Server2_IP"), configPath, &boxes.server2Host);
    boxes.autoStart =
        autoStartFromIni(readIniValue(Section, QStringLiteral("Auto_Start"), configPath));
    return boxes;
}

bool writeAppliedSettings(const AppliedSettings& settings, const QString& configPath) {
    // One atomic write: the file never holds half of a start's settings.
    return writeIniValues(Section,
                          {
                              {QStringLiteral("Auto_Start"), strForm(settings.autoStart)},
                              {QStringLiteral("Client_Port"), strForm(settings.clientPort)},
                              {QStringLiteral("Server_IP"), settings.serverHost},
                              {QStringLiteral("Server_Port"), strForm(settings.serverPort)},
                              {QStringLiteral("Server2_IP"), settings.server2Host},
                              {QStringLiteral("Server2_Port"), strForm(settings.server2Port)},
                          },
                          configPath);
}

} // namespace qm
