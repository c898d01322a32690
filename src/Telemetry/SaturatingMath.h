#pragma once

#include <QtGlobal>

#include <limits>

// Token sums saturate instead of overflowing; real sessions stay far below the limit.
inline qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<qint64>::max() : std::numeric_limits<qint64>::min();
    return sum;
}
