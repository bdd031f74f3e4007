#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

namespace qm::test {

// Whether this machine can use ::1 at all (IPv6 may be off).
inline bool ipv6LoopbackAvailable() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0);
}

} // namespace qm::test

// Skips the test function where the machine has no IPv6.
#define QM_REQUIRE_IPV6()                                                                          \
    do {                                                                                           \
        if (!qm::test::ipv6LoopbackAvailable())                                                    \
            QSKIP("no IPv6 on this machine: ::1 cannot be bound");                                 \
    } while (false)
