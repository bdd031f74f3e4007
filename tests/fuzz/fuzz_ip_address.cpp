// Any text: ipToNumber must not fail, and a valid result must come back from
// its dotted text unchanged.
#include "core/bans/ip_address.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qint32 number = qm::ipToNumber(text);
    if (number != 0) {
        const QString dotted = qm::numberToIp(number);
        if (qm::ipToNumber(dotted) != number || dotted.count(u'.') != 3)
            std::abort();
    }
    if (qm::ipToNumber(qm::numberToIp(number)) != number)
        std::abort();
    return 0;
}
