#include "HUD/Format.h"

#include <cmath>

QString Format::tokens(qint64 n)
{
    if (n <= 999)
        return QString::number(n);
    if (n <= 999'999)
        return QString::asprintf("%.1fk", static_cast<double>(n) / 1'000.0);
    return QString::asprintf("%.2fM", static_cast<double>(n) / 1'000'000.0);
}

QString Format::money(double dollars)
{
    return dollars < 10 ? QString::asprintf("$%.3f", dollars) : QString::asprintf("$%.2f", dollars);
}

QString Format::clock(double seconds)
{
    const double truncated = std::isfinite(seconds) ? std::trunc(seconds) : 0;
    const qint64 whole = truncated > 0 ? static_cast<qint64>(truncated) : 0;
    return QString::asprintf("%lld:%02lld", static_cast<long long>(whole / 60), static_cast<long long>(whole % 60));
}
