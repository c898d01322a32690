#pragma once

#include "Persistence/EventStore.h"
#include "Platform/ManualClock.h"
#include "Telemetry/PricingTable.h"

#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <memory>

// A store in a fresh temporary file, with a settable clock in a zone with daylight saving.
class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() { store = openStore(); }

    std::unique_ptr<EventStore> openStore() { return EventStore::open(path(), clock, Calendar(zone)); }

    QString path() const { return dir.filePath(QStringLiteral("events.sqlite")); }

    QDateTime at(int hour, int minute, int second = 0, int dayOffset = 0) const
    {
        return QDateTime(QDate(2026, 3, 14).addDays(dayOffset), QTime(hour, minute, second), zone);
    }

    AgentEvent insert(AgentSource source, const QString &session, AgentEventKind kind, QDateTime time,
                      std::optional<QString> model = std::nullopt)
    {
        AgentEvent event = AgentEvent::make(source, session, std::move(kind), std::move(time));
        EXPECT_TRUE(store->insert(event, model));
        return event;
    }

    // Runs SQL on a connection of its own, as another program would.
    void exec(const char *sql) const
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &db), SQLITE_OK);
        char *error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    QTemporaryDir dir;
    PricingTable pricing{dir.filePath(QStringLiteral("pricing.json"))};
    QTimeZone zone{"Europe/Berlin"};
    ManualClock clock{QDateTime(QDate(2026, 3, 14), QTime(15, 0), QTimeZone("Europe/Berlin"))};
    std::unique_ptr<EventStore> store;
};
