#include "service/port_rules.h"

#include <cmath>

namespace qm {

std::optional<float> portBoxNumber(const QString& text) {
    bool ok = false;
    const float number = text.trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number;
}

quint16 socketPort(float number) {
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    const double rounded = std::nearbyint(static_cast<double>(number));
    if (!(rounded >= 1 && rounded <= 65535))
        return 0;
    return static_cast<quint16>(rounded);
}

} // namespace qm
