#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace qm {

// How long a client has been connected, as h:mm:ss: hours go on past 24, and a
// clock set back before the acceptance gives 0:00:00.
QString connectedTime(const QDateTime& acceptedAt, const QDateTime& now);

// A byte count scaled to "Byte", "Kb", "Mb" or "Gb" (divided by 1024 while it
// is greater than 1024), two decimals in the locale's number format, the unit
// filled to four characters: 1025 gives "1.00 Kb  ".
QString scaledTraffic(quint64 bytes, const QLocale& locale = QLocale());

} // namespace qm
