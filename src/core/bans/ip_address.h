#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace qm {

// Dotted IPv4 text <-> address number: the four octets as the bytes of a signed
// 32-bit integer, octet 1 least significant (192.168.0.1 -> 0x0100A8C0).
// Any text that is not four plain decimal octets gives 0.
qint32 ipToNumber(QStringView text);
QString numberToIp(qint32 number);

} // namespace qm
