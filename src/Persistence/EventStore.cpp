#include "Persistence/EventStore.h"

#include "Persistence/FilePositionTable.h"
#include "Persistence/PlanLimitsTable.h"
#include "Persistence/SqliteStatement.h"
#include "Telemetry/SaturatingMath.h"
#include "Telemetry/PricingTable.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Pragmas first: WAL lets a reader and the writer work side by side, and NORMAL
// syncing is safe in WAL mode (a power cut may lose the last commits, never the file).
constexpr const char *connectionPragmas = "PRAGMA journal_mode=WAL;\nPRAGMA synchronous=NORMAL;";

// Run on every open; the DELETE folds duplicates left by builds without the unique index.
constexpr const char *schemaScript = R"sql(CREATE TABLE IF NOT EXISTS events (
    id TEXT PRIMARY KEY,
    source TEXT NOT NULL,
    session TEXT NOT NULL,
    ts REAL NOT NULL,
    kind TEXT NOT NULL,
    input INTEGER,
    output INTEGER,
    cached INTEGER,
    tool TEXT,
    model TEXT,
    duration_ms INTEGER,
    cache_write_5m INTEGER,
    cache_write_1h INTEGER,
    counted_input INTEGER,
    counted_output INTEGER,
    counted_cached INTEGER,
    context_tokens INTEGER,
    context_window INTEGER
);
CREATE INDEX IF NOT EXISTS idx_events_ts ON events(ts);
DELETE FROM events
WHERE rowid NOT IN (
    SELECT MIN(rowid)
    FROM events
    GROUP BY source, session, ts, kind,
             COALESCE(input, -1), COALESCE(output, -1), COALESCE(cached, -1),
             COALESCE(tool, ''), COALESCE(model, ''), COALESCE(duration_ms, -1)
);
CREATE UNIQUE INDEX IF NOT EXISTS idx_events_fingerprint ON events(
    source, session, ts, kind,
    COALESCE(input, -1), COALESCE(output, -1), COALESCE(cached, -1),
    COALESCE(tool, ''), COALESCE(model, ''), COALESCE(duration_ms, -1)
);
)sql";

// Columns later builds added; all nullable, so older rows keep their meaning. Cache writes are
// part of input; counted_* hold what a token row added to the day totals when that is not its
// own counts (a snapshot's counts are cumulative, a response may be counted by another channel).
constexpr const char *addedColumns[] = {"cache_write_5m", "cache_write_1h", "counted_input", "counted_output",
                                        "counted_cached", "context_tokens", "context_window"};

// Token rows by day are read from this index alone, without visiting the table; it replaces
// the index of builds that knew fewer token columns.
constexpr const char *tokenIndex =
    "DROP INDEX IF EXISTS idx_events_kind_ts;"
    "CREATE INDEX IF NOT EXISTS idx_events_tokens ON events(kind, ts, source, input, output, cached, model, "
    "counted_input, counted_output, counted_cached, cache_write_5m, cache_write_1h);";

// With every index in place the script changes nothing: the unique index already rules out
// every group its DELETE would fold, and the token index exists only once every column does.
// Skipping it spares a full grouping of the table per open.
bool schemaIsCurrent(sqlite3 *db)
{
    SqliteStatement statement(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index' AND tbl_name = 'events' "
                                  "AND name IN ('idx_events_ts', 'idx_events_fingerprint', 'idx_events_tokens')");
    return statement.nextRow() && statement.integer(0) == 3;
}

bool addMissingColumns(sqlite3 *db)
{
    QSet<QByteArray> present;
    {
        SqliteStatement columns(db, "PRAGMA table_info(events)");
        while (columns.nextRow())
            present.insert(columns.textView(1).toByteArray());
    }
    for (const char *column : addedColumns) {
        if (present.contains(column))
            continue;
        const QByteArray sql = QByteArray("ALTER TABLE events ADD COLUMN ") + column + " INTEGER";
        if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

// SQLite gives a new -wal and -shm the mode of the database file, so the file is created
// owner-only before SQLite sees it (an empty file is an empty database); files of older
// builds are tightened.
void keepPrivate(const QString &path)
{
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (!QFileInfo::exists(path)) {
        QFile(path).open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
        return;
    }
    for (const QString &file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")}) {
        if (QFileInfo::exists(file) && QFileInfo(file).permissions() != (ownerOnly | QFileDevice::ReadUser | QFileDevice::WriteUser))
            QFile::setPermissions(file, ownerOnly);
    }
}

// Not a database at all, or one whose pages do not hold together (a truncated file).
bool isUnreadableDatabase(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// Moves the database and its -wal and -shm aside; the new path, or empty when the database stayed.
QString moveAside(const QString &path, const QString &aside)
{
    if (!QFile::rename(path, aside))
        return {};
    for (const QLatin1String suffix : {QLatin1String("-wal"), QLatin1String("-shm")}) {
        // A stale log left beside a fresh database would be replayed into it.
        if (QFileInfo::exists(path + suffix) && !QFile::rename(path + suffix, aside + suffix))
            QFile::remove(path + suffix);
    }
    return aside;
}

// Where a damaged database goes: "<path>.corrupt-<yyyyMMdd-HHmmss>" in local time.
QString moveAsideDamaged(const QString &path, const Clock &clock)
{
    const QString stamp = QLocale::c().toString(clock.now().toLocalTime(), QStringLiteral("yyyyMMdd-HHmmss"));
    return moveAside(path, path + QStringLiteral(".corrupt-") + stamp);
}

bool migrate(sqlite3 *db)
{
    return schemaIsCurrent(db)
        || (sqlite3_exec(db, schemaScript, nullptr, nullptr, nullptr) == SQLITE_OK
            && addMissingColumns(db) && sqlite3_exec(db, tokenIndex, nullptr, nullptr, nullptr) == SQLITE_OK);
}

constexpr const char *insertSql =
    "INSERT OR IGNORE INTO events (id, source, session, ts, kind, input, output, cached, tool, model, duration_ms, "
    "cache_write_5m, cache_write_1h, counted_input, counted_output, counted_cached, context_tokens, context_window) "
    "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

constexpr const char *eventColumns = "id, source, session, ts, kind, input, output, cached, tool, model, duration_ms, "
                                     "cache_write_5m, cache_write_1h, counted_input, counted_output, counted_cached, "
                                     "context_tokens, context_window";

double secondsSince1970(const QDateTime &time) { return static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0; }

QDateTime timeFromSeconds(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0), Qt::UTC);
}

QString canonicalId(const QUuid &id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

std::optional<QUuid> uuidFrom(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    const QUuid id = QUuid::fromString(*text);
    if (id.isNull() && text->compare(QLatin1String("00000000-0000-0000-0000-000000000000"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    return id;
}

// The payload of a stored row, or nothing when the row is not a stored kind.
std::optional<AgentEventKind> kindFromRow(const SqliteStatement &row, QByteArrayView kind)
{
    if (kind == "tokenUsage")
        return TokenUsage{row.optionalInteger(5).value_or(0), row.optionalInteger(6).value_or(0), row.optionalInteger(7),
                          row.optionalInteger(11).value_or(0), row.optionalInteger(12).value_or(0)};
    if (kind == "sessionSnapshot") {
        if (row.isNull(5) || row.isNull(6))
            return std::nullopt;
        const qint64 input = row.optionalInteger(5).value_or(0);
        const qint64 output = row.optionalInteger(6).value_or(0);
        return SessionSnapshot{saturatingAdd(input, output), row.optionalInteger(16).value_or(0), input, output,
                               row.optionalInteger(7), row.optionalInteger(17)};
    }
    if (kind == "toolCall") {
        const auto tool = row.optionalText(8);
        if (!tool)
            return std::nullopt;
        return ToolCall{*tool, row.optionalInteger(10)};
    }
    if (kind == "modelInfo") {
        const auto model = row.optionalText(9);
        if (!model)
            return std::nullopt;
        return ModelInfo{*model};
    }
    if (kind == "turnStarted")
        return TurnStarted{};
    if (kind == "turnEnded")
        return TurnEnded{};
    if (kind == "approvalRequested")
        return ApprovalRequested{};
    return std::nullopt;
}

// A row of eventColumns as an event; absent when the row is damaged.
std::optional<StoredAgentEvent> storedEvent(const SqliteStatement &row)
{
    const auto id = uuidFrom(row.optionalText(0));
    const auto sourceText = row.optionalText(1);
    const auto source = sourceText ? agentSourceFromRaw(*sourceText) : std::nullopt;
    const auto session = row.optionalText(2);
    if (!id || !source || !session || row.isNull(4))
        return std::nullopt;
    const auto kind = kindFromRow(row, row.textView(4));
    if (!kind)
        return std::nullopt;
    std::optional<CountedTokens> counted;
    if (!row.isNull(13))
        counted = CountedTokens{row.integer(13), row.optionalInteger(14).value_or(0), row.optionalInteger(15).value_or(0)};
    return StoredAgentEvent{AgentEvent{*id, *source, *session, timeFromSeconds(row.real(3)), *kind},
                            row.optionalText(9), counted};
}

QList<StoredAgentEvent> storedEvents(SqliteStatement &statement)
{
    QList<StoredAgentEvent> events;
    while (statement.nextRow()) {
        if (auto event = storedEvent(statement))
            events.append(std::move(*event));
    }
    return events;
}

QByteArray placeholders(std::size_t count)
{
    QByteArray list;
    for (std::size_t i = 0; i < count; ++i)
        list += i == 0 ? "?" : ",?";
    return list;
}

void bindSources(SqliteStatement &statement, int firstIndex, std::span<const AgentSource> sources)
{
    for (std::size_t i = 0; i < sources.size(); ++i)
        statement.bind(firstIndex + static_cast<int>(i), rawValue(sources[i]));
}

// The model column of consecutive rows usually repeats; decode it only when it changes.
class ModelColumnCache {
public:
    const std::optional<QString> &read(const SqliteStatement &row, int column)
    {
        const bool null = row.isNull(column);
        const QByteArrayView bytes = row.textView(column);
        if (!m_valid || null != !m_model.has_value() || (!null && bytes != m_bytes)) {
            m_valid = true;
            m_bytes = null ? QByteArray() : bytes.toByteArray();
            m_model = null ? std::nullopt : std::optional<QString>(QString::fromUtf8(m_bytes));
        }
        return m_model;
    }

private:
    bool m_valid = false;
    QByteArray m_bytes;
    std::optional<QString> m_model;
};

} // namespace

namespace {

// State texts and session reports live only in memory: the next one replaces each.
bool isStoredKind(const AgentEventKind &kind)
{
    return !std::holds_alternative<StateText>(kind) && !std::holds_alternative<SessionReport>(kind);
}

std::optional<qint64> unlessZero(qint64 count) { return count > 0 ? std::optional(count) : std::nullopt; }

} // namespace

std::unique_ptr<EventStore> EventStore::open(const QString &path, const Clock &clock, Calendar calendar)
{
    return open(path, clock, std::move(calendar), nullptr, nullptr);
}

std::unique_ptr<EventStore> EventStore::open(const QString &path, const Clock &clock, Calendar calendar,
                                             int *errorCode, QString *failure)
{
    sqlite3 *db = connect(path, errorCode, failure);
    return db ? std::unique_ptr<EventStore>(new EventStore(path, db, clock, std::move(calendar))) : nullptr;
}

sqlite3 *EventStore::connect(const QString &path, int *errorCode, QString *failure)
{
    keepPrivate(path);
    sqlite3 *db = nullptr;
    const QByteArray file = path.toUtf8();
    int code = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (code == SQLITE_OK) {
        sqlite3_busy_timeout(db, busyTimeoutMs);
        if (sqlite3_exec(db, connectionPragmas, nullptr, nullptr, nullptr) == SQLITE_OK && migrate(db)
            && PlanLimitsTable::migrate(db) && FilePositionTable::migrate(db))
            return db;
        code = sqlite3_extended_errcode(db);
    }
    if (errorCode)
        *errorCode = code;
    if (failure)
        *failure = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(code));
    sqlite3_close(db);
    return nullptr;
}

EventStore::Opened EventStore::openReplacingUnreadable(const QString &path, const Clock &clock, Calendar calendar)
{
    Opened opened;
    int code = SQLITE_OK;
    opened.store = open(path, clock, calendar, &code, &opened.failure);
    if (opened.store || !isUnreadableDatabase(code))
        return opened;
    opened.movedAside = moveAsideDamaged(path, clock);
    if (opened.movedAside.isEmpty()) {
        opened.failure = QStringLiteral("%1 is not a readable database (%2) and cannot be moved aside")
                             .arg(path, opened.failure);
        return opened;
    }
    opened.failure.clear();
    opened.store = open(path, clock, std::move(calendar), &code, &opened.failure);
    return opened;
}

EventStore::Opened EventStore::openRecovering(const QString &path, const Clock &clock, Calendar calendar)
{
    Opened opened = openReplacingUnreadable(path, clock, std::move(calendar));
    if (opened.store)
        opened.store->m_replacesDamage = true;
    return opened;
}

EventStore::EventStore(QString path, sqlite3 *db, const Clock &clock, Calendar calendar)
    : m_path(std::move(path))
    , m_db(db)
    , m_clock(clock)
    , m_calendar(std::move(calendar))
    , m_insert(std::make_unique<SqliteStatement>(db, insertSql))
{
}

EventStore::~EventStore() { closeConnection(); }

bool EventStore::closeConnection()
{
    m_insert.reset(); // finalized before the connection closes
    if (sqlite3_close(m_db) != SQLITE_OK)
        return false;
    m_db = nullptr;
    return true;
}

bool EventStore::insert(const AgentEvent &event, const std::optional<QString> &modelAtEvent)
{
    if (!isStoredKind(event.kind))
        return true;
    const StoredAgentEvent row{event, modelAtEvent};
    const bool stored = write(row);
    if (!stored)
        keepUnstored(std::span(&row, 1));
    return settle(stored);
}

bool EventStore::insertAll(std::span<const StoredAgentEvent> events)
{
    if (events.empty())
        return true;
    const bool stored = writeAll(events);
    if (!stored)
        keepUnstored(events);
    return settle(stored);
}

void EventStore::retryUnstored()
{
    if (!m_unstored.isEmpty())
        settle(storeUnstored());
}

void EventStore::keepUnstored(std::span<const StoredAgentEvent> refused)
{
    const auto room = static_cast<std::size_t>(maxUnstoredEvents - m_unstored.size());
    for (const StoredAgentEvent &event : refused.first(std::min(room, refused.size())))
        m_unstored.append(event);
}

bool EventStore::storeUnstored()
{
    // One transaction per row costs a WAL frame for the table, each index and page 1 every
    // time; in batches the rows fit into far less room, so a disk freed a little catches up.
    constexpr qsizetype retryBatch = 500;
    qsizetype stored = 0;
    while (stored < m_unstored.size()) {
        const qsizetype count = std::min(retryBatch, m_unstored.size() - stored);
        if (!writeAll(std::span(m_unstored.constData() + stored, static_cast<std::size_t>(count))))
            break; // the rest waits, in order, for the next retry
        stored += count;
    }
    m_unstored.remove(0, stored);
    return m_unstored.isEmpty();
}

bool EventStore::settle(bool stored)
{
    if (!stored && m_replacesDamage && isUnreadableDatabase(m_failure.code) && replaceDamagedDatabase())
        stored = storeUnstored();
    noteWrite(stored);
    return stored;
}

bool EventStore::replaceDamagedDatabase()
{
    if (!closeConnection()) {
        m_insert = std::make_unique<SqliteStatement>(m_db, insertSql);
        return false;
    }
    const QString aside = moveAsideDamaged(m_path, m_clock);
    if (!aside.isEmpty()) {
        m_db = connect(m_path, nullptr, nullptr);
        if (!m_db) // no fresh database: the damaged one comes back and writes fail as before
            putBack(aside);
    }
    const bool replaced = m_db != nullptr;
    if (!replaced)
        m_db = connect(m_path, nullptr, nullptr);
    if (!m_db) // a handle that refuses every statement still reports why
        sqlite3_open_v2(m_path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr);
    m_insert = std::make_unique<SqliteStatement>(m_db, insertSql);
    if (replaced && m_movedAsideObserver)
        m_movedAsideObserver(aside);
    return replaced;
}

void EventStore::putBack(const QString &aside)
{
    for (const QLatin1String suffix : {QLatin1String(""), QLatin1String("-wal"), QLatin1String("-shm")})
        QFile::remove(m_path + suffix);
    moveAside(aside, m_path);
}

void EventStore::setWriteProblemObserver(std::function<void(const std::optional<QString> &)> observer)
{
    m_writeProblemObserver = std::move(observer);
}

void EventStore::setMovedAsideObserver(std::function<void(const QString &)> observer)
{
    m_movedAsideObserver = std::move(observer);
}

void EventStore::noteWrite(bool stored)
{
    std::optional<QString> problem;
    if (!stored)
        problem = QStringLiteral("cannot store events in %1: %2").arg(m_path, m_failure.message);
    if (problem == m_writeProblem)
        return;
    m_writeProblem = std::move(problem);
    if (m_writeProblemObserver)
        m_writeProblemObserver(m_writeProblem);
}

bool EventStore::write(const StoredAgentEvent &row)
{
    const AgentEvent &event = row.event;
    const AgentEventKind &kind = event.kind;
    if (const auto *limits = std::get_if<PlanLimits>(&kind))
        return PlanLimitsTable::upsert(m_db, displayAgent(event.source), *limits) || refuse();
    // Preparing this INSERT compiles the expression index each time, which costs about as
    // much as the insert itself; the statement is kept and reset instead.
    if (!m_insert->isValid())
        m_insert = std::make_unique<SqliteStatement>(m_db, insertSql);
    SqliteStatement &statement = *m_insert;
    if (!statement.isValid())
        return refuse();
    statement.bind(1, canonicalId(event.id));
    statement.bind(2, rawValue(event.source));
    statement.bind(3, event.sessionId);
    statement.bind(4, secondsSince1970(event.timestamp));
    statement.bind(5, caseName(kind));
    std::optional<QString> model = row.modelAtEvent;
    if (const auto *usage = std::get_if<TokenUsage>(&kind)) {
        statement.bind(6, usage->inputTokens);
        statement.bind(7, usage->outputTokens);
        statement.bind(8, usage->cachedTokens);
        statement.bind(12, unlessZero(usage->cacheWrite5mTokens));
        statement.bind(13, unlessZero(usage->cacheWrite1hTokens));
    } else if (const auto *snapshot = std::get_if<SessionSnapshot>(&kind)) {
        statement.bind(6, snapshot->inputTokens);
        statement.bind(7, snapshot->outputTokens);
        statement.bind(8, snapshot->cachedTokens);
        statement.bind(17, snapshot->contextTokens);
        statement.bind(18, snapshot->modelContextWindow);
    } else if (const auto *call = std::get_if<ToolCall>(&kind)) {
        statement.bind(9, call->name);
        statement.bind(11, call->durationMs);
    } else if (const auto *info = std::get_if<ModelInfo>(&kind)) {
        model = info->model;
    }
    statement.bind(10, model);
    if (row.counted) {
        statement.bind(14, row.counted->input);
        statement.bind(15, row.counted->output);
        statement.bind(16, row.counted->cached);
    }
    const bool stored = statement.run() || refuse();
    statement.reset();
    return stored;
}

bool EventStore::refuse()
{
    m_failure = {sqlite3_extended_errcode(m_db), QString::fromUtf8(sqlite3_errmsg(m_db))};
    return false;
}

QList<std::pair<DisplayAgent, PlanLimits>> EventStore::planLimits() const { return PlanLimitsTable::all(m_db); }

FilePositions EventStore::filePositions() const { return FilePositionTable::all(m_db); }

bool EventStore::saveFilePosition(const FilePosition &position, std::span<const CountedIdentity> counted)
{
    return writeAll({}, std::span(&position, 1), counted);
}

CountedIdentities EventStore::countedIdentities(qsizetype limit) const
{
    return FilePositionTable::countedIdentities(m_db, limit);
}

std::optional<SessionSnapshot> EventStore::latestSnapshot(AgentSource source, const QString &session) const
{
    SqliteStatement statement(m_db, "SELECT input, output, cached FROM events WHERE source = ? AND session = ? "
                                    "AND kind = 'sessionSnapshot' ORDER BY COALESCE(input, 0) + COALESCE(output, 0) DESC LIMIT 1");
    statement.bind(1, rawValue(source));
    statement.bind(2, session);
    if (!statement.nextRow())
        return std::nullopt;
    SessionSnapshot snapshot;
    snapshot.inputTokens = statement.optionalInteger(0).value_or(0);
    snapshot.outputTokens = statement.optionalInteger(1).value_or(0);
    snapshot.cachedTokens = statement.optionalInteger(2);
    snapshot.sessionTokens = saturatingAdd(snapshot.inputTokens, snapshot.outputTokens);
    return snapshot;
}

std::optional<qint64> EventStore::importBatch(std::span<const StoredAgentEvent> events,
                                              std::span<const FilePosition> positions,
                                              std::span<const CountedIdentity> counted)
{
    const qint64 before = sqlite3_total_changes64(m_db);
    qint64 countedAdded = 0;
    if (!writeAll(events, positions, counted, &countedAdded))
        return std::nullopt;
    // The positions' and identities' rows are changes too; only the events' count as imported.
    return sqlite3_total_changes64(m_db) - before - qint64(positions.size()) - countedAdded;
}

bool EventStore::writeAll(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions,
                          std::span<const CountedIdentity> counted, qint64 *countedAdded)
{
    // IMMEDIATE takes the write lock up front, so the busy timeout covers it instead of a
    // deadlock error half-way through.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return refuse();
    const bool stored = writeRows(events, positions, counted, countedAdded)
                     && (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK || refuse());
    // SQLite has already rolled back after some failures (a full disk); a ROLLBACK then
    // would only replace the reason with "no transaction is active".
    if (!stored && sqlite3_get_autocommit(m_db) == 0)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    return stored;
}

bool EventStore::writeRows(std::span<const StoredAgentEvent> events, std::span<const FilePosition> positions,
                           std::span<const CountedIdentity> counted, qint64 *countedAdded)
{
    for (const StoredAgentEvent &stored : events) {
        if (isStoredKind(stored.event.kind) && !write(stored))
            return false;
    }
    for (const FilePosition &position : positions) {
        if (!FilePositionTable::upsert(m_db, position))
            return refuse();
    }
    return FilePositionTable::insertCounted(m_db, counted, countedAdded) || refuse();
}

QList<StoredAgentEvent> EventStore::recentSessionEvents(int sessionLimit) const
{
    // Walking the time index backwards, a session is first met at its latest event, so the
    // first n distinct sessions are the n most recently active ones. This stops after a few
    // thousand rows instead of grouping the whole table.
    const qsizetype limit = std::max(sessionLimit, 1);
    QList<std::pair<QString, QString>> recent;
    {
        QSet<std::pair<QString, QString>> seen;
        SqliteStatement walk(m_db, "SELECT source, session FROM events ORDER BY ts DESC");
        while (recent.size() < limit && walk.nextRow()) {
            std::pair<QString, QString> key{QString::fromUtf8(walk.textView(0)), QString::fromUtf8(walk.textView(1))};
            if (!seen.contains(key)) {
                seen.insert(key);
                recent.append(std::move(key));
            }
        }
    }
    if (recent.isEmpty())
        return {};

    // Each (source, session) term is one lookup in the fingerprint index, which leads with them.
    QByteArray sql = QByteArray("SELECT ") + eventColumns + " FROM events WHERE ";
    for (qsizetype i = 0; i < recent.size(); ++i)
        sql += i == 0 ? "(source = ? AND session = ?)" : " OR (source = ? AND session = ?)";
    sql += " ORDER BY ts ASC";
    SqliteStatement statement(m_db, sql);
    for (qsizetype i = 0; i < recent.size(); ++i) {
        statement.bind(static_cast<int>(2 * i + 1), recent[i].first);
        statement.bind(static_cast<int>(2 * i + 2), recent[i].second);
    }
    return storedEvents(statement);
}

QList<StoredAgentEvent> EventStore::recentEvents(int limit) const
{
    SqliteStatement statement(m_db, QByteArray("SELECT ") + eventColumns + " FROM events ORDER BY ts DESC LIMIT ?");
    statement.bind(1, static_cast<qint64>(std::max(limit, 1)));
    QList<StoredAgentEvent> events = storedEvents(statement);
    std::reverse(events.begin(), events.end());
    return events;
}

struct EventStore::DayRange {
    std::vector<double> bounds; // day starts in seconds since 1970, then the start of tomorrow
    QList<DayAgg> days;

    // The index of the day holding ts; -1 outside the range.
    qsizetype dayOf(double ts) const
    {
        const auto next = std::upper_bound(bounds.begin(), bounds.end(), ts);
        const auto day = std::distance(bounds.begin(), next) - 1;
        return day < days.size() ? day : -1;
    }
};

std::optional<EventStore::DayRange> EventStore::dayRange(int days) const
{
    if (days < 1)
        return std::nullopt;
    const QDateTime now = m_clock.now();
    DayRange range;
    for (int i = 0; i <= days; ++i) {
        const QDateTime start = m_calendar.startOfDay(now, i - days + 1);
        if (!start.isValid())
            return std::nullopt;
        range.bounds.push_back(secondsSince1970(start));
        if (i < days)
            range.days.append(DayAgg{start, 0, 0, 0});
    }
    return range;
}

namespace {

// Adds the token rows of one query (ts, input, output, cached, model, source, cache writes) to day lists.
class DayAccumulator {
public:
    DayAccumulator(const PricingTable &pricing, const SqliteStatement &row) : m_pricing(pricing), m_row(row) {}

    // The day index of the current row, -1 when it is after today; reads its tokens and cost.
    qsizetype read(const std::function<qsizetype(double)> &dayOf)
    {
        m_day = dayOf(m_row.real(0));
        if (m_day < 0)
            return m_day;
        m_input = m_row.integer(1);
        m_output = m_row.integer(2);
        const TokenUsage usage{m_input, m_output, m_row.integer(3), m_row.integer(6), m_row.integer(7)};
        m_cost = m_pricing.cost(m_models.read(m_row, 4), usage);
        return m_day;
    }

    void addTo(QList<DayAgg> &days) const
    {
        DayAgg &entry = days[m_day];
        entry.input = saturatingAdd(entry.input, m_input);
        entry.output = saturatingAdd(entry.output, m_output);
        entry.cost += m_cost;
    }

private:
    const PricingTable &m_pricing;
    const SqliteStatement &m_row;
    ModelColumnCache m_models;
    qsizetype m_day = -1;
    qint64 m_input = 0;
    qint64 m_output = 0;
    double m_cost = 0;
};

// The time index must drive these queries: "+source" keeps SQLite from choosing the
// fingerprint index for a source filter, which would read every day of those sources.
// A row counts what it added to its session (counted_*) when that was recorded; else a usage
// counts its own counts and a snapshot, whose counts are cumulative, nothing. Cache writes are
// priced only on usages counted in full.
constexpr const char *tokenRowsSql =
    "SELECT ts, COALESCE(counted_input, CASE WHEN kind = 'tokenUsage' THEN input END), "
    "COALESCE(counted_output, CASE WHEN kind = 'tokenUsage' THEN output END), "
    "COALESCE(counted_cached, CASE WHEN kind = 'tokenUsage' THEN cached END), model, source, "
    "CASE WHEN counted_input IS NULL THEN cache_write_5m END, CASE WHEN counted_input IS NULL THEN cache_write_1h END "
    "FROM events WHERE kind IN ('tokenUsage', 'sessionSnapshot') AND ts >= ?";

} // namespace

QList<DayAgg> EventStore::dailyAggregates(int days, const PricingTable &pricing,
                                          std::span<const AgentSource> sources) const
{
    std::optional<DayRange> range = dayRange(days);
    if (!range)
        return {};
    QByteArray sql = tokenRowsSql;
    if (!sources.empty())
        sql += " AND +source IN (" + placeholders(sources.size()) + ")";
    SqliteStatement statement(m_db, sql);
    if (!statement.isValid())
        return range->days;
    statement.bind(1, range->bounds.front());
    bindSources(statement, 2, sources);

    DayAccumulator rows(pricing, statement);
    const auto dayOf = [&range](double ts) { return range->dayOf(ts); };
    while (statement.nextRow()) {
        if (rows.read(dayOf) >= 0)
            rows.addTo(range->days);
    }
    return range->days;
}

DailyTotals EventStore::dailyTotals(int days, const PricingTable &pricing) const
{
    std::optional<DayRange> range = dayRange(days);
    if (!range)
        return {};
    DailyTotals totals{range->days, {}};
    for (DisplayAgent agent : allDisplayAgents)
        totals.byAgent[agent] = range->days;
    SqliteStatement statement(m_db, tokenRowsSql);
    if (!statement.isValid())
        return totals;
    statement.bind(1, range->bounds.front());

    DayAccumulator rows(pricing, statement);
    const auto dayOf = [&range](double ts) { return range->dayOf(ts); };
    while (statement.nextRow()) {
        if (rows.read(dayOf) < 0)
            continue;
        rows.addTo(totals.all);
        if (const auto source = agentSourceFromRaw(QString::fromUtf8(statement.textView(5))))
            rows.addTo(totals.byAgent[displayAgent(*source)]);
    }
    return totals;
}

std::optional<QDateTime> EventStore::latestEventTimestamp(std::span<const AgentSource> sources) const
{
    if (sources.empty())
        return std::nullopt;
    const QByteArray list = placeholders(sources.size());
    // MAX(ts) over a source filter reads every row of those sources. Ask the fingerprint
    // index whether any row exists, then walk the time index back to the newest one.
    SqliteStatement any(m_db, "SELECT 1 FROM events WHERE source IN (" + list + ") LIMIT 1");
    bindSources(any, 1, sources);
    if (!any.nextRow())
        return std::nullopt;
    SqliteStatement newest(m_db, "SELECT ts FROM events WHERE +source IN (" + list + ") ORDER BY ts DESC LIMIT 1");
    bindSources(newest, 1, sources);
    if (!newest.nextRow() || newest.isNull(0))
        return std::nullopt;
    return timeFromSeconds(newest.real(0));
}

std::map<AgentSource, EventStoreReportSummary> EventStore::reportSummaries(const QDateTime &since,
                                                                           const QDateTime &until) const
{
    std::map<AgentSource, EventStoreReportSummary> summaries;
    const auto summaryOf = [&summaries](AgentSource source) -> EventStoreReportSummary & {
        auto [entry, created] = summaries.try_emplace(source);
        entry->second.source = source;
        return entry->second;
    };

    SqliteStatement tokens(m_db, R"sql(SELECT source,
       COUNT(DISTINCT session),
       COUNT(*),
       SUM(COALESCE(input,0)),
       SUM(COALESCE(output,0)),
       SUM(COALESCE(cached,0)),
       MIN(ts),
       MAX(ts)
FROM events
WHERE kind = 'tokenUsage' AND ts >= ? AND ts <= ?
GROUP BY source)sql");
    tokens.bind(1, secondsSince1970(since));
    tokens.bind(2, secondsSince1970(until));
    while (tokens.nextRow()) {
        const auto source = agentSourceFromRaw(QString::fromUtf8(tokens.textView(0)));
        if (!source)
            continue;
        EventStoreReportSummary &summary = summaryOf(*source);
        summary.sessions = tokens.integer(1);
        summary.tokenRows = tokens.integer(2);
        summary.inputTokens = tokens.integer(3);
        summary.outputTokens = tokens.integer(4);
        summary.cachedTokens = tokens.integer(5);
        summary.firstActivity = timeFromSeconds(tokens.real(6));
        summary.lastActivity = timeFromSeconds(tokens.real(7));
    }

    SqliteStatement tools(m_db, "SELECT source, COUNT(*) FROM events "
                                "WHERE kind = 'toolCall' AND ts >= ? AND ts <= ? GROUP BY source");
    tools.bind(1, secondsSince1970(since));
    tools.bind(2, secondsSince1970(until));
    while (tools.nextRow()) {
        if (const auto source = agentSourceFromRaw(QString::fromUtf8(tools.textView(0))))
            summaryOf(*source).toolCalls = tools.integer(1);
    }

    for (const auto &[source, seconds] : activeTurnSeconds(since, until))
        summaryOf(source).activeTurnSeconds = seconds;
    return summaries;
}

std::map<AgentSource, double> EventStore::activeTurnSeconds(const QDateTime &since, const QDateTime &until) const
{
    const double windowStart = secondsSince1970(since);
    const double windowEnd = secondsSince1970(until);
    // Edges from a little before the window are read too, so a turn that began before it
    // counts from the window start; older starts are taken as abandoned.
    SqliteStatement statement(m_db, R"sql(SELECT source, ts, kind
FROM events
WHERE kind IN ('turnStarted','turnEnded')
  AND ts >= ? AND ts <= ?
ORDER BY source, ts ASC)sql");
    statement.bind(1, windowStart - turnLookBackSeconds);
    statement.bind(2, windowEnd);

    std::map<AgentSource, double> totals;
    std::map<AgentSource, double> openStarts;
    while (statement.nextRow()) {
        const auto source = agentSourceFromRaw(QString::fromUtf8(statement.textView(0)));
        if (!source)
            continue;
        const double ts = statement.real(1);
        const bool inWindow = ts >= windowStart;
        const auto open = openStarts.find(*source);
        if (statement.textView(2) == "turnStarted") {
            if (open == openStarts.end()) // a second start keeps the first
                openStarts.emplace(*source, std::max(windowStart, ts));
            if (inWindow)
                totals.try_emplace(*source, 0.0);
        } else if (open != openStarts.end()) {
            if (inWindow) // a turn that ended before the window is not counted
                totals[*source] += std::max(std::min(windowEnd, ts) - open->second, 0.0);
            openStarts.erase(open);
        }
    }
    for (const auto &[source, start] : openStarts)
        totals[source] += std::max(windowEnd - start, 0.0);
    return totals;
}

qint64 EventStore::eventCount() const
{
    SqliteStatement statement(m_db, "SELECT COUNT(*) FROM events");
    return statement.nextRow() ? statement.integer(0) : 0;
}
