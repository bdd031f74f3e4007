#include "core/bans/ip_address.h"

#include <array>
#include <optional>

namespace qm {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// One dotted field: plain ASCII decimal digits, blanks around them allowed,
// leading zeros accepted. Anything else (sign, exponent, comma, hex prefix,
// blanks between digits) is not an octet.
std::optional<quint8> octetFromField(QStringView field) {
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && isBlank(field[begin]))
        ++begin;
    while (end > begin && isBlank(field[end - 1]))
        --end;
    if (begin == end)
        return std::nullopt;
    int value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = field[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > 255) // also keeps long digit runs from overflowing
            return std::nullopt;
    }
    return static_cast<quint8>(value);
}

} // namespace

qint32 ipToNumber(QStringView text) {
    std::array<QStringView, 4> fields;
    qsizetype start = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype dot = text.indexOf(u'.', start);
        if (dot < 0)
            return 0;
        fields[static_cast<size_t>(i)] = text.sliced(start, dot - start);
        start = dot + 1;
    }
    // A fourth dot stays in the last field and makes it invalid.
    fields[3] = text.sliced(start);

    quint32 number = 0;
    for (size_t i = 0; i < fields.size(); ++i) {
        const std::optional<quint8> octet = octetFromField(fields[i]);
        if (!octet)
            return 0;
        number |= quint32(*octet) << (8 * i);
    }
    return static_cast<qint32>(number);
}

QString numberToIp(qint32 number) {
    const auto bits = static_cast<quint32>(number);
    return QStringLiteral("%1.%2.%3.%4")
        .arg(bits & 0xFF)
        .arg((bits >> 8) & 0xFF)
        .arg((bits >> 16) & 0xFF)
        .arg((bits >> 24) & 0xFF);
}

} // namespace qm
