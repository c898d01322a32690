#include "StoreFixture.h"

#include "support/TestSupport.h"

namespace {

using Store = StoreFixture;

TEST_F(Store, ReopeningKeepsTheData)
{
    ASSERT_TRUE(store);
    insert(AgentSource::mock, "m", TurnStarted{}, at(14, 0));
    auto second = openStore();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->eventCount(), 1);
    store.reset();
    second = openStore();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->eventCount(), 1);
}

TEST_F(Store, OpenFailsOnAnUnusablePath)
{
    TestSupport::writeFile(dir.filePath("garbage.sqlite"), QByteArray(4096, 'x'));
    for (const QString &bad : {dir.filePath("missing/dir/events.sqlite"), dir.filePath("garbage.sqlite"), dir.path()}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_FALSE(EventStore::open(bad));
    }
}

TEST_F(Store, DuplicatesAndUnstoredKindsLeaveOneRow)
{
    const AgentEvent usage = insert(AgentSource::codexOtel, "c", TokenUsage{10, 2, std::nullopt}, at(14, 0), "gpt-5.5");
    EXPECT_TRUE(store->insert(usage, QStringLiteral("gpt-5.5")));
    AgentEvent copy = usage;
    copy.id = QUuid::createUuid();
    EXPECT_TRUE(store->insert(copy, QStringLiteral("gpt-5.5")));
    insert(AgentSource::claudeCodeJsonl, "c", StateText{"busy"}, at(14, 0));
    EXPECT_EQ(store->eventCount(), 1);

    // The same content with another model is another row.
    copy.id = QUuid::createUuid();
    insert(AgentSource::codexOtel, "c", TokenUsage{10, 2, std::nullopt}, at(14, 0), "gpt-5.4");
    EXPECT_EQ(store->eventCount(), 2);

    // Snapshots are stored, once per content.
    const SessionSnapshot snapshot{1, 1, 1, 1, 1, 1, 1};
    insert(AgentSource::codexDesktopSession, "c", snapshot, at(14, 0));
    insert(AgentSource::codexDesktopSession, "c", snapshot, at(14, 0));
    EXPECT_EQ(store->eventCount(), 3);
}

TEST_F(Store, EveryStoredKindReplaysAsStored)
{
    const std::optional<QString> model = QStringLiteral("gpt-5.5");
    QList<StoredAgentEvent> expected;
    const auto keep = [&](AgentEventKind kind, std::optional<QString> modelAtEvent, std::optional<QString> stored) {
        const QDateTime time = at(14, 0).addMSecs(1234 * (expected.size() + 1));
        expected.append({insert(AgentSource::codexOtel, "c", std::move(kind), time, std::move(modelAtEvent)), std::move(stored)});
    };
    keep(TurnStarted{}, std::nullopt, std::nullopt);
    keep(ModelInfo{"gpt-5.5"}, QStringLiteral("other"), model); // the event's own model wins
    keep(TokenUsage{1000, 20, std::nullopt}, model, model);
    keep(TokenUsage{1000, 20, 900}, model, model);
    keep(TokenUsage{5000, 20, 900, 3000, 1000}, std::nullopt, std::nullopt); // cache writes
    keep(SessionSnapshot{2100, 700, 2000, 100, 900, 258400}, model, model);
    keep(ToolCall{"shell", std::nullopt}, model, model);
    keep(ToolCall{"apply_patch", 42}, std::nullopt, std::nullopt);
    keep(ApprovalRequested{}, model, model);
    keep(TurnEnded{}, model, model);

    EXPECT_EQ(store->recentEvents(100), expected);
    EXPECT_EQ(store->recentSessionEvents(1), expected);
    EXPECT_EQ(store->recentEvents(2), expected.mid(expected.size() - 2));
    EXPECT_EQ(store->recentEvents(0), expected.mid(expected.size() - 1));
}

TEST_F(Store, StoredRowsUseCanonicalText)
{
    const AgentEvent event = insert(AgentSource::claudeCodeJsonl, "s", TokenUsage{5, 1, std::nullopt}, at(14, 0));
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_stmt *row = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT id, source, ts, kind, cached IS NULL, tool IS NULL FROM events", -1, &row, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(row), SQLITE_ROW);
    EXPECT_EQ(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(row, 0))),
              event.id.toString(QUuid::WithoutBraces).toUpper());
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(row, 1)), "claudeCodeJsonl");
    EXPECT_DOUBLE_EQ(sqlite3_column_double(row, 2), at(14, 0).toMSecsSinceEpoch() / 1000.0);
    EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(row, 3)), "tokenUsage");
    EXPECT_EQ(sqlite3_column_int(row, 4), 1);
    EXPECT_EQ(sqlite3_column_int(row, 5), 1);
    sqlite3_finalize(row);
    sqlite3_close(db);
}

TEST_F(Store, DamagedRowsAreSkipped)
{
    const AgentEvent good = insert(AgentSource::mock, "m", TurnStarted{}, at(14, 0));
    store.reset();
    exec("INSERT INTO events (id, source, session, ts, kind, tool, model) VALUES "
         "('not-a-uuid', 'mock', 'm', 1, 'turnStarted', NULL, NULL),"
         "('11111111-1111-1111-1111-111111111111', 'vscode', 'm', 2, 'turnStarted', NULL, NULL),"
         "('22222222-2222-2222-2222-222222222222', 'mock', 'm', 3, 'sessionSnapshot', NULL, NULL),"
         "('33333333-3333-3333-3333-333333333333', 'mock', 'm', 4, 'toolCall', NULL, NULL),"
         "('44444444-4444-4444-4444-444444444444', 'mock', 'm', 5, 'modelInfo', NULL, NULL),"
         "(NULL, 'mock', 'm', 6, 'turnEnded', NULL, NULL)");
    store = openStore();
    ASSERT_TRUE(store);
    EXPECT_EQ(store->eventCount(), 7);
    const auto events = store->recentEvents(100);
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0].event, good);
}

TEST_F(Store, OpeningFoldsDuplicatesOfAnOlderDatabase)
{
    store.reset();
    QFile::remove(path());
    exec("CREATE TABLE events (id TEXT PRIMARY KEY, source TEXT NOT NULL, session TEXT NOT NULL, ts REAL NOT NULL,"
         " kind TEXT NOT NULL, input INTEGER, output INTEGER, cached INTEGER, tool TEXT, model TEXT, duration_ms INTEGER);"
         "INSERT INTO events VALUES ('AAAAAAAA-0000-0000-0000-000000000001','mock','m',10,'tokenUsage',5,1,NULL,NULL,NULL,NULL);"
         "INSERT INTO events VALUES ('AAAAAAAA-0000-0000-0000-000000000002','mock','m',10,'tokenUsage',5,1,NULL,NULL,NULL,NULL);"
         "INSERT INTO events VALUES ('AAAAAAAA-0000-0000-0000-000000000003','mock','m',10,'tokenUsage',5,1,0,NULL,NULL,NULL);"
         "INSERT INTO events VALUES ('AAAAAAAA-0000-0000-0000-000000000004','mock','m',10,'toolCall',NULL,NULL,NULL,'x',NULL,NULL);"
         "INSERT INTO events VALUES ('AAAAAAAA-0000-0000-0000-000000000005','mock','m',10,'toolCall',NULL,NULL,NULL,'x',NULL,NULL);");
    store = openStore();
    ASSERT_TRUE(store);
    const auto events = store->recentEvents(10);
    ASSERT_EQ(events.size(), 3); // NULL cached differs from 0 cached only through COALESCE: -1 vs 0
    EXPECT_EQ(events[0].event.id.toString(QUuid::WithoutBraces).toUpper().right(1), "1");
    // The unique index now refuses a copy made by any later insert.
    exec("INSERT OR IGNORE INTO events (id, source, session, ts, kind, tool) VALUES "
         "('AAAAAAAA-0000-0000-0000-000000000009','mock','m',10,'toolCall','x');");
    EXPECT_EQ(store->eventCount(), 3);
}

TEST_F(Store, RecentSessionsReturnWholeSessionsOldestFirst)
{
    for (int i = 0; i < 2053; ++i)
        insert(AgentSource::claudeCodeJsonl, "long", TokenUsage{i, 1, std::nullopt}, at(10, 0).addSecs(i));
    insert(AgentSource::mock, "older", TurnStarted{}, at(9, 0));
    insert(AgentSource::codexOtel, "older", TurnStarted{}, at(9, 30));

    const auto single = store->recentSessionEvents(1);
    ASSERT_EQ(single.size(), 2053);
    for (qsizetype i = 1; i < single.size(); ++i)
        ASSERT_LT(single[i - 1].event.timestamp, single[i].event.timestamp);
    EXPECT_EQ(store->recentSessionEvents(0).size(), 2053);

    // The same session id under two sources is two sessions.
    const auto two = store->recentSessionEvents(2);
    ASSERT_EQ(two.size(), 2054);
    EXPECT_EQ(two.front().event.source, AgentSource::codexOtel);
    EXPECT_EQ(store->recentSessionEvents(24).size(), 2055);
}

TEST_F(Store, DailyAggregatesCoverSevenDaysEndingToday)
{
    const std::optional<QString> gpt = QStringLiteral("gpt-5.5");
    insert(AgentSource::codexOtel, "c", TokenUsage{1000, 100, 500}, at(23, 59, 0, -1), gpt);
    insert(AgentSource::codexOtel, "c", TokenUsage{2000, 200, std::nullopt}, at(0, 1), gpt);
    insert(AgentSource::claudeCodeJsonl, "s", TokenUsage{30, 3, std::nullopt}, at(14, 0));
    insert(AgentSource::claudeCodeJsonl, "s", TokenUsage{7, 7, std::nullopt}, at(12, 0, 0, -6)); // first day
    insert(AgentSource::claudeCodeJsonl, "s", TokenUsage{9, 9, std::nullopt}, at(23, 59, 59, -7)); // before it
    insert(AgentSource::claudeCodeJsonl, "s", TokenUsage{8, 8, std::nullopt}, at(0, 0, 0, 1)); // tomorrow
    insert(AgentSource::claudeCodeJsonl, "s", ToolCall{"Bash", std::nullopt}, at(14, 0));

    const QList<DayAgg> all = store->dailyAggregates(7, pricing);
    ASSERT_EQ(all.size(), 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(all[i].date, QDate(2026, 3, 14).addDays(i - 6).startOfDay(zone));
    EXPECT_EQ(all[0].input, 7);
    EXPECT_EQ(all[5].input, 1000);
    EXPECT_NEAR(all[5].cost, pricing.cost(gpt, 1000, 100, 500), 1e-12);
    EXPECT_EQ(all[6].input, 2030);
    EXPECT_EQ(all[6].output, 203);
    EXPECT_NEAR(all[6].cost, pricing.cost(gpt, 2000, 200, 0) + pricing.cost(std::nullopt, 30, 3, 0), 1e-12);
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(all[i].input + all[i].output, 0);

    const AgentSource claude[] = {AgentSource::claudeCodeJsonl};
    const QList<DayAgg> claudeDays = store->dailyAggregates(7, pricing, claude);
    EXPECT_EQ(claudeDays[5].input, 0);
    EXPECT_EQ(claudeDays[6].input, 30);
    const auto codex = sources(DisplayAgent::codex);
    EXPECT_EQ(store->dailyAggregates(7, pricing, codex)[6].input, 2000);
    EXPECT_EQ(store->dailyAggregates(1, pricing).size(), 1);
    EXPECT_TRUE(store->dailyAggregates(0, pricing).isEmpty());

    // The one-pass lists the engine reloads agree with the separate queries.
    const DailyTotals totals = store->dailyTotals(7, pricing);
    EXPECT_EQ(totals.all, all);
    for (DisplayAgent agent : allDisplayAgents)
        EXPECT_EQ(totals.byAgent.at(agent), store->dailyAggregates(7, pricing, sources(agent))) << rawValue(agent).toStdString();
}

TEST_F(Store, DayTotalsCountWhatEachRowCountedAndPriceCacheWrites)
{
    const std::optional<QString> sonnet = QStringLiteral("claude-sonnet-4-5");
    const std::optional<QString> gpt = QStringLiteral("gpt-5.5");
    const TokenUsage claude{10000, 100, 2000, 3000, 1000};
    const TokenUsage codex{1002, 64, 202};
    const QList<StoredAgentEvent> rows = {
        {AgentEvent::make(AgentSource::claudeCodeJsonl, "s", claude, at(14, 0)), sonnet},
        // A snapshot counts what it added, never its cumulative counts.
        {AgentEvent::make(AgentSource::codexDesktopSession, "c", SessionSnapshot{1066, 1066, 1002, 64, 202}, at(14, 1)),
         gpt, CountedTokens{1002, 64, 202}},
        // The same response reported again by the other channel added nothing.
        {AgentEvent::make(AgentSource::codexOtel, "c", codex, at(14, 2)), gpt, CountedTokens{0, 0, 0}},
        {AgentEvent::make(AgentSource::codexDesktopSession, "c", SessionSnapshot{9, 9, 9, 0, 0}, at(14, 3)), gpt},
    };
    ASSERT_TRUE(store->insertAll(rows));
    const DailyTotals totals = store->dailyTotals(1, pricing);
    EXPECT_EQ(totals.byAgent.at(DisplayAgent::codex)[0].input, 1002);
    EXPECT_EQ(totals.byAgent.at(DisplayAgent::codex)[0].output, 64);
    EXPECT_NEAR(totals.byAgent.at(DisplayAgent::codex)[0].cost, pricing.cost(gpt, codex), 1e-12);
    // 4000 plain, 2000 read, 3000 written for 5 minutes, 1000 for an hour.
    const double claudeCost = (3.0 * 4000 + 15.0 * 100 + 0.3 * 2000 + 3.75 * 3000 + 6.0 * 1000) / 1e6;
    EXPECT_NEAR(totals.byAgent.at(DisplayAgent::claudeCode)[0].cost, claudeCost, 1e-12);
    EXPECT_NEAR(totals.all[0].cost, claudeCost + pricing.cost(gpt, codex), 1e-12);
    EXPECT_EQ(store->recentEvents(10).mid(0, 3), rows.mid(0, 3));
}

TEST_F(Store, AnOlderDatabaseGainsTheNewColumnsAndCountsAsBefore)
{
    store.reset();
    QFile::remove(path());
    exec("CREATE TABLE events (id TEXT PRIMARY KEY, source TEXT NOT NULL, session TEXT NOT NULL, ts REAL NOT NULL,"
         " kind TEXT NOT NULL, input INTEGER, output INTEGER, cached INTEGER, tool TEXT, model TEXT, duration_ms INTEGER);"
         "CREATE INDEX idx_events_kind_ts ON events(kind, ts, source, input, output, cached, model);");
    const double ts = at(14, 0).toMSecsSinceEpoch() / 1000.0;
    exec(QByteArray("INSERT INTO events VALUES ('AAAAAAAA-0000-0000-0000-000000000001','codexOtel','c',"
                    + QByteArray::number(ts, 'f', 3) + ",'tokenUsage',1000,100,200,NULL,'gpt-5.5',NULL);")
             .constData());
    store = openStore();
    ASSERT_TRUE(store);
    const QList<DayAgg> days = store->dailyAggregates(1, pricing);
    EXPECT_EQ(days[0].input, 1000);
    EXPECT_NEAR(days[0].cost, pricing.cost(QStringLiteral("gpt-5.5"), 1000, 100, 200), 1e-12);
    insert(AgentSource::claudeCodeJsonl, "s", TokenUsage{10, 1, std::nullopt, 5}, at(14, 1));
    EXPECT_EQ(store->eventCount(), 2);
    // A second open finds the schema current.
    store.reset();
    store = openStore();
    EXPECT_EQ(store->dailyAggregates(1, pricing)[0].input, 1010);
}

TEST_F(Store, DailyAggregatesFollowTheClockPastMidnight)
{
    insert(AgentSource::mock, "m", TokenUsage{10, 1, std::nullopt}, at(23, 59));
    clock.set(at(0, 0, 30, 1));
    const QList<DayAgg> days = store->dailyAggregates(7, pricing);
    EXPECT_EQ(days.last().date, at(0, 0, 0, 1));
    EXPECT_EQ(days.last().input, 0);
    EXPECT_EQ(days[5].input, 10);
}

TEST_F(Store, LatestTimestampOfSources)
{
    const auto codex = sources(DisplayAgent::codex);
    EXPECT_FALSE(store->latestEventTimestamp(codex));
    insert(AgentSource::codexNotify, "c", TurnStarted{}, at(13, 0));
    insert(AgentSource::codexDesktopSession, "c", TurnEnded{}, at(13, 5));
    insert(AgentSource::claudeCodeJsonl, "s", TurnEnded{}, at(14, 0));
    EXPECT_EQ(store->latestEventTimestamp(codex), at(13, 5));
    EXPECT_FALSE(store->latestEventTimestamp({}));
    const AgentSource mock[] = {AgentSource::mock};
    EXPECT_FALSE(store->latestEventTimestamp(mock));
}

TEST_F(Store, ReportSummariesPerSource)
{
    const QDateTime since = at(10, 0), until = at(12, 0);
    insert(AgentSource::codexOtel, "a", TokenUsage{100, 10, 50}, at(10, 0));
    insert(AgentSource::codexOtel, "b", TokenUsage{200, 20, std::nullopt}, at(12, 0));
    insert(AgentSource::codexOtel, "b", TokenUsage{999, 99, 9}, at(12, 0, 1)); // after the window
    insert(AgentSource::codexOtel, "a", ToolCall{"shell", 3}, at(11, 0));
    insert(AgentSource::mock, "m", ToolCall{"Bash", std::nullopt}, at(11, 0));

    const auto summaries = store->reportSummaries(since, until);
    ASSERT_EQ(summaries.size(), 2);
    const EventStoreReportSummary &codex = summaries.at(AgentSource::codexOtel);
    EXPECT_EQ(codex.source, AgentSource::codexOtel);
    EXPECT_EQ(codex.sessions, 2);
    EXPECT_EQ(codex.tokenRows, 2);
    EXPECT_EQ(codex.inputTokens, 300);
    EXPECT_EQ(codex.outputTokens, 30);
    EXPECT_EQ(codex.cachedTokens, 50);
    EXPECT_EQ(codex.toolCalls, 1);
    EXPECT_EQ(codex.firstActivity, at(10, 0));
    EXPECT_EQ(codex.lastActivity, at(12, 0));
    const EventStoreReportSummary &mock = summaries.at(AgentSource::mock);
    EXPECT_EQ(mock.toolCalls, 1);
    EXPECT_EQ(mock.tokenRows, 0);
    EXPECT_FALSE(mock.firstActivity);
}

TEST_F(Store, ActiveTurnTimeIsClippedToTheWindow)
{
    const QDateTime since = at(10, 0), until = at(12, 0);
    // Started before the window: only the part inside counts.
    insert(AgentSource::codexOtel, "a", TurnStarted{}, at(9, 0));
    insert(AgentSource::codexOtel, "a", TurnEnded{}, at(10, 10));
    // Wholly before the window, or begun more than a day before it: nothing.
    insert(AgentSource::codexNotify, "n", TurnStarted{}, at(8, 0));
    insert(AgentSource::codexNotify, "n", TurnEnded{}, at(9, 0));
    insert(AgentSource::codexDesktopSession, "d", TurnStarted{}, at(9, 0, 0, -1));
    insert(AgentSource::codexDesktopSession, "d", TurnEnded{}, at(11, 0));
    // Two starts, one end: from the first start.
    insert(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, at(10, 0));
    insert(AgentSource::claudeCodeJsonl, "s", TurnStarted{}, at(10, 30));
    insert(AgentSource::claudeCodeJsonl, "s", TurnEnded{}, at(11, 0));
    // Still open at the window end.
    insert(AgentSource::mock, "m", TurnStarted{}, at(11, 30));
    insert(AgentSource::mock, "m", TurnEnded{}, at(12, 30));

    const auto seconds = store->activeTurnSeconds(since, until);
    EXPECT_DOUBLE_EQ(seconds.at(AgentSource::codexOtel), 600.0);
    EXPECT_FALSE(seconds.contains(AgentSource::codexNotify));
    EXPECT_FALSE(seconds.contains(AgentSource::codexDesktopSession)); // its end has no start
    EXPECT_DOUBLE_EQ(seconds.at(AgentSource::claudeCodeJsonl), 3600.0);
    EXPECT_DOUBLE_EQ(seconds.at(AgentSource::mock), 1800.0);

    const auto summaries = store->reportSummaries(since, until);
    EXPECT_DOUBLE_EQ(summaries.at(AgentSource::mock).activeTurnSeconds, 1800.0);
    EXPECT_EQ(summaries.at(AgentSource::mock).tokenRows, 0);
    EXPECT_DOUBLE_EQ(summaries.at(AgentSource::codexOtel).activeTurnSeconds, 600.0);
    EXPECT_FALSE(summaries.contains(AgentSource::codexNotify));
}

} // namespace

namespace {

TEST_F(StoreFixture, AGroupIsStoredWhollyOrNotAtAll)
{
    const AgentEvent held = insert(AgentSource::codexOtel, "c", TurnStarted{}, at(14, 0));
    const auto group = [&](const char *middle) {
        return QList<StoredAgentEvent>{
            {AgentEvent::make(AgentSource::codexOtel, "c", TokenUsage{5, 1, std::nullopt}, at(14, 1)), "gpt-5.5"},
            {AgentEvent::make(AgentSource::codexOtel, middle, TurnEnded{}, at(14, 2)), "gpt-5.5"},
            {held, std::nullopt},
        };
    };
    // Another connection makes the database refuse one row of a group.
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(path().toUtf8().constData(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "CREATE TRIGGER refuse BEFORE INSERT ON events WHEN NEW.session = 'refused' "
                                  "BEGIN SELECT RAISE(ABORT, 'refused'); END;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);

    EXPECT_FALSE(store->insertAll(group("refused")));
    EXPECT_EQ(store->eventCount(), 1) << "the rows before the refused one were rolled back";
    EXPECT_TRUE(store->insertAll(group("c"))) << "a row already held is no refusal";
    const QList<StoredAgentEvent> stored = store->recentEvents(10);
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[1].modelAtEvent, "gpt-5.5");
    EXPECT_TRUE(store->insert(AgentEvent::make(AgentSource::mock, "m", TurnStarted{}, at(15, 0)), std::nullopt))
        << "no transaction is left open";
    EXPECT_EQ(openStore()->eventCount(), 4);
}

} // namespace
