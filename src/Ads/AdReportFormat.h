#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// Text forms of the pilot report.
namespace AdReportFormat {

// "$%.3f" below 10, else "$%.2f".
QString money(double dollars);
// "1h 2m", "1m 5s", "59s"; a negative time is 0s and a non-finite one "-".
QString duration(double seconds);
// Plain up to 999, then "%.1fk", and "%.2fM" above 999999.
QString tokens(qint64 count);
// "yyyyMMdd-HHmmss" in the given time zone.
QString fileStamp(const QDateTime &time, const QTimeZone &zone);

} // namespace AdReportFormat
