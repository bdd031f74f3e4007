#pragma once

#include "core/settings/ini_file.h"

#include <QString>
#include <QStringList>

namespace qm {

// The relay's own options, read from section [relay] of config.ini, which the
// program never writes. 0 means no limit, and so does a missing, empty or
// unreadable value.
struct RelayOptions {
    int connectionsPerIp = 0;       // pairs one client address may hold at once
    int connectsPerIpPerSecond = 0; // new connections one address may open per second
    // The PROXY protocol header in front of each pair's upstream stream: 1 or
    // 2 for that version, 0 for none (also for a missing or other value).
    int proxyProtocol = 0;
    // Engine threads relaying accepted pairs; 0 (or missing) for the default.
    int threads = 0;

    bool operator==(const RelayOptions&) const = default;
};

// Each value present but not a whole number from 0 up is added to *ignored as
// "Key=value" and counts as no limit; so is a Proxy_Protocol other than 0, 1, 2.
RelayOptions readRelayOptions(const QString& configPath, QStringList* ignored = nullptr);
// The same from values read elsewhere, in the order of relayOptionKeys().
const IniKeys& relayOptionKeys();
RelayOptions relayOptionsFrom(const QStringList& values, QStringList* ignored = nullptr);

} // namespace qm
