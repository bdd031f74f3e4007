#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace qm {

// The number a port box holds, as a single-precision value (blanks around it
// allowed); nothing when the text is not a finite number, empty included.
std::optional<float> portBoxNumber(const QString& text);

// The port a socket is given for a port number: rounded half to even, 0 when
// the result lies outside 1..65535 (no socket may wrap it into range).
quint16 socketPort(float number);

} // namespace qm
