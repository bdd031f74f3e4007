#pragma once

#include <QString>
#include <QtGlobal>

namespace qm {

// A port value from the key file: leading blanks allowed, a fraction rounded
// half to even, anything else 0 ("not set").
int portFromIni(const QString& text);
// Auto_Start: as a port, then limited to the signed 16-bit range (outside: 0).
qint16 autoStartFromIni(const QString& text);
// A number as the key file stores it: shortest single-precision text, with one
// leading blank when not negative (9730 -> " 9730", -5 -> "-5").
QString strForm(float number);

} // namespace qm
