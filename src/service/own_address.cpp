#include "service/own_address.h"

#include <QHostAddress>
#include <QNetworkInterface>

namespace qm {

bool namesThisMachine(const QString& host) {
    const QString trimmed = host.trimmed();
    if (trimmed.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(trimmed);
    if (address.isNull())
        return false; // other names are caught when a connection comes back
    return address.isLoopback() || address == QHostAddress::AnyIPv4 ||
           address == QHostAddress::AnyIPv6 || QNetworkInterface::allAddresses().contains(address);
}

} // namespace qm
