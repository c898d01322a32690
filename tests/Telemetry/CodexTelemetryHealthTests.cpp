#include "Telemetry/CodexTelemetryHealth.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

using Health = CodexTelemetryHealth;
using Status = Health::Status;
using ConfigStatus = CodexConfigStatus;

QDateTime at(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000), QTimeZone::utc());
}

const ConfigStatus installed{true, true, false, false, false};

TEST(CodexTelemetryHealth, FirstMatchingRuleDecides)
{
    struct Case {
        const char *name;
        ConfigStatus config;
        bool otelListening;
        std::optional<double> latestAt;
        double now;
        Status status;
        bool configInstalled;
        bool otelInSnapshot;
        const char *detail;
        const char *menuDetail;
    };
    const Case cases[]{
        {"foreign otel, nothing installed", {true, false, false, true, false}, true, std::nullopt, 0,
         Status::configConflict, false, true, "foreign [otel]", "Existing unmanaged [otel] config blocks Corvane install"},
        {"foreign otel beside our block", {true, true, false, true, false}, false, 5.0, 10, Status::configConflict,
         true, false, "foreign [otel]", "Existing unmanaged [otel] config blocks Corvane install"},
        {"not installed", {true, false, true, false, false}, true, 100.0, 140, Status::setupNeeded, false, true,
         "configure Codex", "Codex telemetry config is not installed"},
        {"no config file", {}, false, std::nullopt, 0, Status::setupNeeded, false, false, "configure Codex",
         "Codex telemetry config is not installed"},
        {"listener down outranks the restart hint", installed, false, std::nullopt, 0, Status::listenerDown, true,
         false, "4318 offline", "Corvane is configured, but the local OTel listener is not active"},
        {"listener down with events", installed, false, 100.0, 140, Status::listenerDown, true, false,
         "4318 offline", "Corvane is configured, but the local OTel listener is not active"},
        {"no event yet", installed, true, std::nullopt, 0, Status::restartNeeded, true, true, "restart Codex",
         "Configured and listening; restart Codex if no events arrive"},
        {"fresh", installed, true, 100.0, 140, Status::ready, true, true, "last 40s ago",
         "Configured and listening; latest Codex event was 40s ago"},
        {"stale", installed, true, 0.0, 1000, Status::stale, true, true, "last 16m ago",
         "Configured and listening; latest Codex event was 16m ago"},
        {"exactly 900 s is still ready", installed, true, 0.0, 900, Status::ready, true, true, "last 15m ago",
         "Configured and listening; latest Codex event was 15m ago"},
        {"900.4 s is stale", installed, true, 0.0, 900.4, Status::stale, true, true, "last 15m ago",
         "Configured and listening; latest Codex event was 15m ago"},
        {"event in the future counts as now", installed, true, 500.0, 100, Status::ready, true, true,
         "last just now", "Configured and listening; latest Codex event was just now"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QDateTime> latest = c.latestAt ? std::optional(at(*c.latestAt)) : std::nullopt;
        const Health::Snapshot s = Health::evaluate(c.config, c.otelListening, false, latest, at(c.now));
        EXPECT_EQ(s.status, c.status);
        EXPECT_EQ(s.configInstalled, c.configInstalled);
        EXPECT_EQ(s.otelListening, c.otelInSnapshot);
        EXPECT_EQ(s.latestEventAt, latest);
        EXPECT_EQ(s.detail, c.detail);
        EXPECT_EQ(s.menuDetail, c.menuDetail);
    }
}

TEST(CodexTelemetryHealth, NotifyIsAvailableFromAnyNotifyPathAndNeverChangesTheStatus)
{
    struct Case {
        ConfigStatus config;
        bool notifyListening;
        bool available;
    };
    const Case cases[]{
        {installed, false, false},
        {{true, true, true, false, false}, false, true},
        {{true, true, false, false, true}, false, true},
        {installed, true, true},
        {{}, true, true},
    };
    for (const Case &c : cases) {
        const Health::Snapshot s = Health::evaluate(c.config, true, c.notifyListening, std::nullopt, at(0));
        EXPECT_EQ(s.notifyAvailable, c.available);
        EXPECT_EQ(s.status, c.config.installed ? Status::restartNeeded : Status::setupNeeded);
    }
}

TEST(CodexTelemetryHealth, AgeText)
{
    const std::pair<double, const char *> cases[]{
        {0, "just now"},     {1.4, "just now"},  {1.5, "2s ago"},    {40, "40s ago"},   {59.4, "59s ago"},
        {59.6, "1m ago"},    {60, "1m ago"},     {119.9, "2m ago"},  {3599, "59m ago"}, {3599.5, "1h ago"},
        {7200 + 250, "2h ago"}, {86400 * 3, "72h ago"},
    };
    for (const auto &[seconds, text] : cases)
        EXPECT_EQ(Health::ageDescription(seconds), text) << seconds;
}

TEST(CodexTelemetryHealth, StartsAsSetupNeededAndNotifiesOnlyOnChange)
{
    Health health;
    EXPECT_EQ(health.snapshot(), Health::evaluate({}, false, false, std::nullopt, at(0)));
    EXPECT_EQ(health.snapshot().detail, "configure Codex");
    EXPECT_FALSE(health.snapshot().latestEventAt);

    QSignalSpy changes(&health, &Health::snapshotChanged);
    health.refresh({}, false, false, std::nullopt, at(50)); // equal to the initial snapshot
    EXPECT_EQ(changes.count(), 0);

    health.refresh(installed, true, false, at(100), at(140));
    health.refresh(installed, true, false, at(100), at(140));
    health.refresh(installed, true, false, at(100), at(140.3)); // same text, same state
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(health.snapshot().detail, "last 40s ago");

    health.refresh(installed, true, false, at(100), at(160)); // the age text moved on
    health.refresh(installed, true, true, at(100), at(160));  // notify became available
    EXPECT_EQ(changes.count(), 3);
    EXPECT_EQ(changes.last().at(0).value<Health::Snapshot>(), health.snapshot());
}

} // namespace
