#pragma once

#include <QDateTime>
#include <QTimeZone>

// Whether two points in time fall in the same calendar month of a time zone.
inline bool sameCalendarMonth(const QDateTime &a, const QDateTime &b, const QTimeZone &zone)
{
    const QDate da = a.toTimeZone(zone).date();
    const QDate db = b.toTimeZone(zone).date();
    return da.year() == db.year() && da.month() == db.month();
}
