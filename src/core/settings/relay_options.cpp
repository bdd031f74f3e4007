#include "core/settings/relay_options.h"

#include <limits>

namespace qm {

namespace {

const QString Section = QStringLiteral("relay");
const QString ConnectionsPerIp = QStringLiteral("Connections_Per_IP");
const QString ConnectsPerIpPerSecond = QStringLiteral("Connects_Per_IP_Per_Second");
const QString ProxyProtocol = QStringLiteral("Proxy_Protocol");
const QString Threads = QStringLiteral("Threads");

int limitFrom(const QString& key, const QString& text, QStringList* ignored) {
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value < 0) {
        if (ignored)
            ignored->append(key + u'=' + text);
        return 0;
    }
    return static_cast<int>(std::min<qlonglong>(value, std::numeric_limits<int>::max()));
}

int proxyVersionFrom(const QString& text, QStringList* ignored) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed == u'0')
        return 0;
    if (trimmed == u'1' || trimmed == u'2')
        return trimmed.toInt();
    if (ignored)
        ignored->append(ProxyProtocol + u'=' + text);
    return 0;
}

} // namespace

const IniKeys& relayOptionKeys() {
    static const IniKeys keys{Section,
                              {ConnectionsPerIp, ConnectsPerIpPerSecond, ProxyProtocol, Threads}};
    return keys;
}

RelayOptions readRelayOptions(const QString& configPath, QStringList* ignored) {
    const IniKeys& keys = relayOptionKeys();
    return relayOptionsFrom(readIniValues(keys.section, keys.keys, configPath), ignored);
}

RelayOptions relayOptionsFrom(const QStringList& values, QStringList* ignored) {
    RelayOptions options;
    options.connectionsPerIp = limitFrom(ConnectionsPerIp, values.at(0), ignored);
    options.connectsPerIpPerSecond = limitFrom(ConnectsPerIpPerSecond, values.at(1), ignored);
    options.proxyProtocol = proxyVersionFrom(values.at(2), ignored);
    options.threads = limitFrom(Threads, values.at(3), ignored);
    return options;
}

} // namespace qm
