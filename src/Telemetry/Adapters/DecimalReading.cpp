#include "Telemetry/Adapters/DecimalReading.h"

#include <charconv>
#include <limits>

namespace DecimalReading {

std::optional<qint64> int64(QByteArrayView text)
{
    if (text.isEmpty())
        return std::nullopt;
    bool negative = false;
    qsizetype i = 0;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate as a negative number so that the minimum value fits.
    qint64 value = 0;
    constexpr qint64 min = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const int digit = c - '0';
        if (value < (min + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    if (value == min)
        return std::nullopt;
    return -value;
}

std::optional<double> real(QByteArrayView text)
{
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first != last && *first == '-')
            return std::nullopt; // one sign only
    }
    double value = 0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr != last)
        return std::nullopt;
    return value;
}

} // namespace DecimalReading
