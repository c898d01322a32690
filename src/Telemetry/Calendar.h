#pragma once

#include <QDateTime>
#include <QTimeZone>

// Day arithmetic in one time zone: days start at local midnight (or the first valid
// moment of the day when a clock change skips midnight).
class Calendar {
public:
    explicit Calendar(QTimeZone zone = QTimeZone::systemTimeZone()) : m_zone(std::move(zone)) {}

    QDateTime startOfDay(const QDateTime &moment) const;
    // The start of the day `days` calendar days after the day of `moment` (negative: before).
    QDateTime startOfDay(const QDateTime &moment, qint64 days) const;

private:
    QTimeZone m_zone;
};
