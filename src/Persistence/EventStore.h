#pragma once

#include "Persistence/EventStoreReportSummary.h"
#include "Telemetry/Calendar.h"
#include "Telemetry/HistorySink.h"
#include "Platform/Clock.h"
#include "Telemetry/MetricsHistory.h"
#include "Telemetry/StoredAgentEvent.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>

struct sqlite3;
class PricingTable;
class SqliteStatement;

// Agent events in "events.sqlite": turns, approvals, token usage, session snapshots, tool calls
// and model changes, each with the model in force, without duplicates. Several connections may use
// one file (the application's and a report's): the database runs in WAL mode and waits
// up to busyTimeoutMs for a lock instead of failing.
class EventStore final : public MetricsHistory, public HistorySink {
public:
    static constexpr int busyTimeoutMs = 5000;
    // How far before a report window a turn start may lie and still count from the window start.
    static constexpr double turnLookBackSeconds = 24 * 3600;

    // Opens (creating if needed) and migrates the database; null when it cannot be used.
    // The clock and calendar decide what "today" is for the day aggregates; the clock must
    // outlive the store. The file and its -wal and -shm are the owner's alone.
    static std::unique_ptr<EventStore> open(const QString &path, const Clock &clock = Clock::system(),
                                            Calendar calendar = Calendar());

    struct Opened {
        std::unique_ptr<EventStore> store; // null when even a fresh database could not be opened
        QString movedAside;                // where an unreadable database was moved; empty if none
        QString failure;                   // why there is no store
    };
    // As open(), for the store's owner: a file that is not a readable database (damaged,
    // truncated, not SQLite at all) is moved aside, with its -wal and -shm, as
    // "<path>.corrupt-<yyyyMMdd-HHmmss>" in local time, and a fresh database is started. A file
    // that is only locked or out of reach is left as it is. A write that later finds the
    // database damaged (SQLITE_CORRUPT, SQLITE_NOTADB) does the same in place: the store keeps
    // working on the fresh database and stores the refused events into it; when the fresh one
    // cannot be made, the damaged one stays and the events wait for retryUnstored().
    static Opened openRecovering(const QString &path, const Clock &clock = Clock::system(),
                                 Calendar calendar = Calendar());
    ~EventStore() override;
    EventStore(const EventStore &) = delete;
    EventStore &operator=(const EventStore &) = delete;

    // Stores one event. State texts are not stored; an event already held
    // (same id, or same content) is ignored. False only when the database refused the row; the
    // event is then kept (up to maxUnstoredEvents) for retryUnstored().
    bool insert(const AgentEvent &event, const std::optional<QString> &modelAtEvent);
    // Stores the events in one transaction: all of them or, when the database refuses one or the
    // commit, none. An event already held is ignored as above. A refused batch is kept for
    // retryUnstored() like a refused event.
    bool insertAll(std::span<const StoredAgentEvent> events);
    // Stores again the events a failing database refused (a full disk that has room again), in
    // order and in batches of a transaction each, up to the first batch still refused.
    void retryUnstored();
    // Why the database refuses writes ("cannot store events in …: database or disk is full");
    // absent while writes succeed.
    const std::optional<QString> &writeProblem() const { return m_writeProblem; }
    // Called on the store's thread each time writeProblem() changes.
    void setWriteProblemObserver(std::function<void(const std::optional<QString> &)> observer);
    // Called on the store's thread with the moved-aside path when a store from openRecovering
    // finds its database damaged on a write and starts a fresh one in its place.
    void setMovedAsideObserver(std::function<void(const QString &)> observer);

    static constexpr qsizetype maxUnstoredEvents = 100'000;

    QList<StoredAgentEvent> recentSessionEvents(int sessionLimit) const override;
    // The "plan_limits" rows; plan-limit events are kept there, one row per agent and family.
    QList<std::pair<DisplayAgent, PlanLimits>> planLimits() const override;
    // The `limit` latest events, oldest first.
    QList<StoredAgentEvent> recentEvents(int limit) const;
    QList<DayAgg> dailyAggregates(int days, const PricingTable &pricing,
                                  std::span<const AgentSource> sources = {}) const override;
    // The same lists as dailyAggregates per agent, from one pass over the rows.
    DailyTotals dailyTotals(int days, const PricingTable &pricing) const override;
    // The newest event time of these sources; absent for an empty list or no rows.
    std::optional<QDateTime> latestEventTimestamp(std::span<const AgentSource> sources) const;
    // Per source, between since and until inclusive.
    std::map<AgentSource, EventStoreReportSummary> reportSummaries(const QDateTime &since,
                                                                   const QDateTime &until) const;
    // Seconds each source spent inside turns, clipped to the window; a source appears once a
    // turn starts in the window or one begun before it is still open inside it.
    std::map<AgentSource, double> activeTurnSeconds(const QDateTime &since, const QDateTime &until) const;
    // Rows held; 0 when the query cannot run.
    qint64 eventCount() const;

    // How far each transcript and rollout file has been counted.
    FilePositions filePositions() const override;
    // A file's position and the identities counted up to it, in one transaction; false when
    // the database refused them.
    bool saveFilePosition(const FilePosition &position, std::span<const CountedIdentity> counted = {});
    // Imported history: the events, the positions they were read up to and what they counted.
    std::optional<qint64> importBatch(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions,
                                      std::span<const CountedIdentity> counted) override;
    CountedIdentities countedIdentities(qsizetype limit) const override;
    std::optional<SessionSnapshot> latestSnapshot(AgentSource source, const QString &session) const override;

private:
    struct DayRange;

    EventStore(QString path, sqlite3 *db, const Clock &clock, Calendar calendar);
    static std::unique_ptr<EventStore> open(const QString &path, const Clock &clock, Calendar calendar,
                                            int *errorCode, QString *failure);
    static Opened openReplacingUnreadable(const QString &path, const Clock &clock, Calendar calendar);
    // A migrated connection; null, with the reason, when the database cannot be used.
    static sqlite3 *connect(const QString &path, int *errorCode, QString *failure);
    bool closeConnection();
    std::optional<DayRange> dayRange(int days) const;
    bool write(const StoredAgentEvent &row);
    bool writeAll(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions = {},
                  std::span<const CountedIdentity> counted = {}, qint64 *countedAdded = nullptr);
    bool writeRows(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions,
                   std::span<const CountedIdentity> counted, qint64 *countedAdded);
    // Keeps why the statement just run failed, before a rollback replaces the connection's
    // error; always false.
    bool refuse();
    void keepUnstored(std::span<const StoredAgentEvent> refused);
    // The queued events in order, in batches, up to the first refused batch; true once none wait.
    bool storeUnstored();
    // After a write: replaces a damaged database and stores the queue into the fresh one, then
    // updates writeProblem(). Returns whether the events ended up stored.
    bool settle(bool stored);
    // Moves the damaged database aside and connects to a fresh one; false, with the damaged
    // one still in use, when that cannot be done.
    bool replaceDamagedDatabase();
    // Moves a database that was moved aside back to the store's path, over what is there.
    void putBack(const QString &aside);
    void noteWrite(bool stored);

    QString m_path;
    sqlite3 *m_db;
    const Clock &m_clock;
    Calendar m_calendar;
    std::unique_ptr<SqliteStatement> m_insert; // the one statement kept: inserts are the hot path
    QList<StoredAgentEvent> m_unstored;
    struct Failure {
        int code = 0;
        QString message;
    };
    Failure m_failure; // of the last refused statement
    bool m_replacesDamage = false; // only the owner's store moves its file aside
    std::optional<QString> m_writeProblem;
    std::function<void(const std::optional<QString> &)> m_writeProblemObserver;
    std::function<void(const QString &)> m_movedAsideObserver;
};
