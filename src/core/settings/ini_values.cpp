#include "core/settings/ini_values.h"

#include <cmath>
#include <limits>
#include <optional>

namespace qm {

namespace {

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A decimal number: optional sign, digits with an optional "." fraction, an
// optional exponent; blanks around it. Rounded half to even.
std::optional<double> roundedNumber(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    const auto skipDigits = [&] {
        const qsizetype start = i;
        while (i < t.size() && isAsciiDigit(t[i]))
            ++i;
        return i - start;
    };
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    qsizetype mantissaDigits = skipDigits();
    if (i < t.size() && t[i] == u'.') {
        ++i;
        mantissaDigits += skipDigits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        if (skipDigits() == 0)
            return std::nullopt;
    }
    if (i != t.size())
        return std::nullopt;

    bool ok = false;
    const double value = t.toLatin1().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return std::nearbyint(value); // the default rounding mode: half to even
}

template <typename Int> Int wholeNumberFromIni(const QString& text) {
    const std::optional<double> value = roundedNumber(text);
    if (!value || *value < std::numeric_limits<Int>::min() ||
        *value > std::numeric_limits<Int>::max())
        return 0;
    return static_cast<Int>(*value);
}

} // namespace

int portFromIni(const QString& text) {
    return wholeNumberFromIni<qint32>(text);
}

qint16 autoStartFromIni(const QString& text) {
    return wholeNumberFromIni<qint16>(text);
}

QString strForm(float number) {
    if (number == 0) // also -0
        return QStringLiteral(" 0");
    const QString digits = QString::number(double(number), 'g', 7);
    return std::signbit(number) ? digits : u' ' + digits;
}

} // namespace qm
