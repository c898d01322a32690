#pragma once

#include "Platform/ManualClock.h"
#include "Telemetry/MetricsEngine.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <memory>

// An engine on the built-in price table with a settable clock in a zone with daylight saving.
class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() { engine = makeEngine(nullptr); }

    std::unique_ptr<MetricsEngine> makeEngine(const MetricsHistory *store, CodexCurrentThreadProvider provider = {})
    {
        return std::make_unique<MetricsEngine>(pricing, store, std::move(provider), Environment{&clock},
                                               Calendar(zone));
    }

    QDateTime at(int hour, int minute, int second = 0, int dayOffset = 0) const
    {
        return QDateTime(QDate(2026, 3, 14).addDays(dayOffset), QTime(hour, minute, second), zone);
    }

    AgentEvent event(AgentSource source, const QString &session, AgentEventKind kind, QDateTime time = {}) const
    {
        return AgentEvent::make(source, session, std::move(kind), time.isValid() ? time : clock.now());
    }

    void send(AgentSource source, const QString &session, AgentEventKind kind, QDateTime time = {})
    {
        engine->handle(event(source, session, std::move(kind), std::move(time)));
    }

    const AgentMetrics &agent(DisplayAgent which) const { return engine->agents().at(which); }
    const SessionAgg &session(DisplayAgent which, const QString &id) const { return agent(which).sessions.at(id); }

    QTemporaryDir dir;
    PricingTable pricing{dir.filePath(QStringLiteral("pricing.json"))};
    QTimeZone zone{"Europe/Berlin"};
    ManualClock clock{QDateTime(QDate(2026, 3, 14), QTime(15, 0), QTimeZone("Europe/Berlin"))};
    std::unique_ptr<MetricsEngine> engine;
};
