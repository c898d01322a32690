#pragma once

#include <QDateTime>

// Token and cost totals of one calendar day.
struct DayAgg {
    QDateTime date; // start of the day in the engine's time zone
    qint64 input = 0;
    qint64 output = 0;
    double cost = 0;

    bool operator==(const DayAgg &) const = default;
};
