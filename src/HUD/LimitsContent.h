#pragma once

#include "Telemetry/AgentPlanLimits.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariantMap>

// The texts, gauge fill and colour role of a plan's figure: amber from 80 %, red at 100 % or
// while a limit holds.
struct LimitsFigure {
    QString text;
    double fraction = 0; // of the gauge, 0…1
    QString color;       // "secondary", "orange" or "red"
    QString help;
};

// The scope's most pressing plan (the fullest short window); none without limits.
std::optional<LimitsFigure> barLimitsFigure(const QList<AgentPlanLimits> &agents, const QDateTime &now);

// One dashboard tile per agent: {title, value, detail, tint, gauges: [fraction, …]}.
QVariantList limitsTiles(const QList<AgentPlanLimits> &agents, const QDateTime &now);
