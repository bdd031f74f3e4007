#include "ui/online/online_format.h"

#include <array>

namespace qm {

QString connectedTime(const QDateTime& acceptedAt, const QDateTime& now) {
    // Read off the local clock field by field; whole days add 24 hours each.
    const QDateTime start = acceptedAt.toLocalTime();
    const QDateTime end = now.toLocalTime();
    const QTime from = start.time();
    const QTime to = end.time();
    qint64 h = to.hour() - from.hour() + 24 * start.date().daysTo(end.date());
    qint64 m = to.minute() - from.minute();
    qint64 s = to.second() - from.second();
    if (s < 0) {
        m -= 1;
        s += 60;
    }
    if (m < 0) {
        h -= 1;
        m += 60;
    }
    if (h < 0)
        h = m = s = 0;
    return QStringLiteral("%1:%2:%3")
        .arg(h)
        .arg(m, 2, 10, QLatin1Char('0'))
        .arg(s, 2, 10, QLatin1Char('0'));
}

namespace {

QString twoDigits(unsigned value, const QLocale& locale) {
    const QString text = locale.toString(value);
    return value < 10 ? locale.zeroDigit() + text : text;
}

} // namespace

QString scaledTraffic(quint64 bytes, const QLocale& locale) {
    static const std::array<QString, 4> units = {QStringLiteral("Byte"), QStringLiteral("Kb  "),
                                                 QStringLiteral("Mb  "), QStringLiteral("Gb  ")};

    // The scaled value is bytes / 2^(10 * step): exact in integers, rounded
    // once to hundredths, halves away from zero.
    size_t step = 0;
    unsigned __int128 divisor = 1;
    while (step + 1 < units.size() && bytes > divisor * 1024) {
        divisor *= 1024;
        ++step;
    }
    const unsigned __int128 hundredths =
        (static_cast<unsigned __int128>(bytes) * 200 / divisor + 1) / 2;
    const auto whole = static_cast<qulonglong>(hundredths / 100);
    const auto fraction = static_cast<unsigned>(hundredths % 100);
    return locale.toString(whole) + locale.decimalPoint() + twoDigits(fraction, locale) +
           QLatin1Char(' ') + units[step];
}

} // namespace qm
