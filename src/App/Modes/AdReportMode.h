#pragma once

#include "Ads/AdPilotReport.h"
#include "App/Core/AppEnvironment.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

// The "--ad-report" mode: writes the pilot report over the support directory and prints its files
// and shares.
namespace AdReportMode {

// The window's start: now moved by 1 - max(days, 1) calendar days in now's time zone, or by -6
// without a number; now itself when the calendar cannot give the date.
QDateTime windowStart(const QDateTime &now, std::optional<qint64> days);

// The five lines printed after a report was written.
QString resultLines(const AdPilotReport::Result &result);

// Runs the mode over the last `days` days (--days N) of the environment's support directory;
// returns the exit status.
int run(std::optional<qint64> days, const AppEnvironment &environment);

} // namespace AdReportMode
