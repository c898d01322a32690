#include "Telemetry/Calendar.h"

QDateTime Calendar::startOfDay(const QDateTime &moment) const
{
    return moment.toTimeZone(m_zone).date().startOfDay(m_zone);
}

QDateTime Calendar::startOfDay(const QDateTime &moment, qint64 days) const
{
    return moment.toTimeZone(m_zone).date().addDays(days).startOfDay(m_zone);
}
