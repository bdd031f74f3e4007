#include "core/settings/stored_settings.h"

#include "core/settings/ini_file.h"
#include "core/settings/ini_values.h"

#include <algorithm>

namespace qm {

namespace {

const QString Section = QStringLiteral("main");
const QStringList Keys = {QStringLiteral("Client_Port"), QStringLiteral("Server_Port"),
                          QStringLiteral("Server_IP"),   QStringLiteral("Server2_Port"),
                          QStringLiteral("Server2_IP"),  QStringLiteral("Auto_Start")};

class Reader {
public:
    // One pass over the file for all the keys: a huge file is read once.
    Reader(const QString& configPath, QStringList* ignored, RelayOptions* relay)
        : m_ignored(ignored) {
        QList<IniKeys> wanted{{Section, Keys}};
        if (relay)
            wanted.append(relayOptionKeys());
        const QList<QStringList> values = readIniSections(wanted, configPath);
        m_values = values.first();
        if (relay)
            *relay = relayOptionsFrom(values.last(), ignored);
    }

    // A port of 0 means "not set": the box keeps its default.
    void port(const QString& key, QString* box) const {
        const QString text = value(key);
        const int port = portFromIni(text);
        if (port != 0)
            *box = QString::number(port);
        else
            noteIgnored(key, text);
    }

    // An empty address, or one holding control characters (such as NUL from a
    // damaged file), keeps the default.
    void address(const QString& key, QString* box) const {
        const QString address = value(key);
        const bool usable = !address.isEmpty() && std::none_of(address.begin(), address.end(),
                                                               [](QChar c) { return c < u' '; });
        if (usable)
            *box = address;
        else
            noteIgnored(key, address);
    }

    qint16 autoStart(const QString& key) const {
        const QString text = value(key);
        const qint16 value = autoStartFromIni(text);
        if (value == 0 && text.trimmed() != QLatin1String("0"))
            noteIgnored(key, text);
        return value;
    }

private:
    QString value(const QString& key) const { return m_values.at(Keys.indexOf(key)); }
    void noteIgnored(const QString& key, const QString& text) const {
        if (m_ignored && !text.isEmpty())
            m_ignored->append(key + u'=' + text);
    }

    QStringList m_values;
    QStringList* m_ignored;
};

} // namespace

SettingBoxes readSettingBoxes(const QString& configPath, QStringList* ignored,
                              RelayOptions* relay) {
    const Reader read(configPath, ignored, relay);
    SettingBoxes boxes;
    read.port(QStringLiteral("Client_Port"), &boxes.clientPort);
    read.port(QStringLiteral("Server_Port"), &boxes.serverPort);
    read.address(QStringLiteral("Server_IP"), &boxes.serverHost);
    read.port(QStringLiteral("Server2_Port"), &boxes.server2Port);
    read.address(QStringLiteral("Server2_IP"), &boxes.server2Host);
    boxes.autoStart = read.autoStart(QStringLiteral("Auto_Start"));
    return boxes;
}

bool writeAppliedSettings(const AppliedSettings& settings, const QString& configPath,
                          QString* error) {
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
                          configPath, error);
}

} // namespace qm
