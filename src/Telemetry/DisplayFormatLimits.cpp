// The plan-limit texts of DisplayFormat.
#include "Telemetry/DisplayFormat.h"

#include <cmath>

namespace DisplayFormat {

QString windowName(const LimitWindow &window, const QString &fallback)
{
    if (!window.windowMinutes || *window.windowMinutes <= 0)
        return fallback;
    const qint64 minutes = *window.windowMinutes;
    if (minutes % 1440 == 0)
        return QString::number(minutes / 1440) + u'd';
    if (minutes % 60 == 0)
        return QString::number(minutes / 60) + u'h';
    return QString::number(minutes) + u'm';
}

QString countdown(double seconds)
{
    const double minutes = std::isfinite(seconds) && seconds > 0 ? std::ceil(seconds / 60) : 0;
    if (minutes >= 1440)
        return QString::asprintf("%.0fd %.0fh", std::floor(minutes / 1440), std::floor(std::fmod(minutes, 1440) / 60));
    return QString::asprintf("%.0f:%02.0f", std::floor(minutes / 60), std::fmod(minutes, 60));
}

QString percent(double used)
{
    return QString::number(qint64(std::round(std::isfinite(used) && used > 0 ? used : 0))) + QStringLiteral(" %");
}

QString windowLabel(const LimitWindow &window, const QString &fallbackName, const QDateTime &now)
{
    const LimitWindow current = window.at(now);
    QString label = windowName(current, fallbackName) + u' ' + percent(current.usedPercent);
    if (current.resetsAt)
        label += QStringLiteral(" \u00b7 ") + countdown(double(now.msecsTo(*current.resetsAt)) / 1000.0);
    return label;
}

QString limitLabel(const PlanLimits &limits, const QDateTime &now)
{
    const PlanLimits current = limits.at(now);
    if (current.reached()) {
        if (!current.reachedUntil)
            return QStringLiteral("limit reached");
        return QStringLiteral("limit \u00b7 resets ") + current.reachedUntil->toLocalTime().toString(QStringLiteral("HH:mm"));
    }
    if (current.primary)
        return windowLabel(*current.primary, QStringLiteral("5h"), now);
    if (current.secondary)
        return windowLabel(*current.secondary, QStringLiteral("7d"), now);
    return {};
}

} // namespace DisplayFormat
