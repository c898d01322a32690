#include "Ads/AdReportFormat.h"

#include <QLocale>

#include <cmath>

namespace AdReportFormat {

QString money(double dollars)
{
    return dollars < 10 ? QString::asprintf("$%.3f", dollars) : QString::asprintf("$%.2f", dollars);
}

QString duration(double seconds)
{
    if (!std::isfinite(seconds))
        return QStringLiteral("-");
    // Whole numbers kept as doubles, so times beyond the integer range still print.
    const double total = std::max(std::round(seconds), 0.0);
    if (total >= 3600) {
        const double hours = std::floor(total / 3600);
        const double minutes = std::floor(std::fmod(total, 3600) / 60);
        return QString::asprintf("%.0fh %.0fm", hours, minutes);
    }
    if (total > 59)
        return QString::asprintf("%.0fm %.0fs", std::floor(total / 60), std::fmod(total, 60));
    return QString::asprintf("%.0fs", total);
}

QString tokens(qint64 count)
{
    if (count <= 999)
        return QString::number(count);
    if (count > 999999)
        return QString::asprintf("%.2fM", static_cast<double>(count) / 1e6);
    return QString::asprintf("%.1fk", static_cast<double>(count) / 1e3);
}

QString fileStamp(const QDateTime &time, const QTimeZone &zone)
{
    return QLocale::c().toString(time.toTimeZone(zone), QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace AdReportFormat
