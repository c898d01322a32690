#include "Telemetry/Adapters/CodexThreadDatabase.h"

#include <QFile>

#include <sqlite3.h>

#include <functional>
#include <memory>

namespace {

constexpr const char *currentThreadQuery = "SELECT id, rollout_path, model\n"
                                           "FROM threads\n"
                                           "WHERE archived = 0\n"
                                           "  AND has_user_event = 1\n"
                                           "  AND (agent_nickname IS NULL OR agent_nickname = '')\n"
                                           "ORDER BY COALESCE(updated_at_ms, updated_at * 1000) DESC, id DESC\n"
                                           "LIMIT 1";
constexpr const char *modelQuery = "SELECT model FROM threads WHERE id = ? LIMIT 1";

// Codex may be writing; wait briefly for its lock rather than fail at once.
constexpr int busyTimeoutMs = 50;

struct CloseDatabase {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct FinalizeStatement {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};

std::optional<QString> textColumn(sqlite3_stmt *statement, int column)
{
    if (sqlite3_column_type(statement, column) == SQLITE_NULL)
        return std::nullopt;
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
}

std::optional<QString> nonEmpty(std::optional<QString> text)
{
    if (text && text->isEmpty())
        return std::nullopt;
    return text;
}

// Opens the database read-only, prepares one statement, lets bind fill it and read look at the
// first row; the statement is finalized and the database closed before returning.
template <typename Result>
std::optional<Result> queryFirstRow(const QString &codexHome, const char *sql,
                                    const std::function<bool(sqlite3_stmt *)> &bind,
                                    const std::function<std::optional<Result>(sqlite3_stmt *)> &read)
{
    const QByteArray path = QFile::encodeName(CodexThreadDatabase::databasePath(codexHome));
    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(path.constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, CloseDatabase> db(raw);
    if (opened != SQLITE_OK)
        return std::nullopt;
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    sqlite3_stmt *prepared = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql, -1, &prepared, nullptr) != SQLITE_OK)
        return std::nullopt; // no such table or column: not a database we know
    const std::unique_ptr<sqlite3_stmt, FinalizeStatement> statement(prepared);
    if (!bind(statement.get()) || sqlite3_step(statement.get()) != SQLITE_ROW)
        return std::nullopt;
    return read(statement.get());
}

} // namespace

namespace CodexThreadDatabase {

QString databasePath(const QString &codexHome) { return codexHome + QStringLiteral("/state_5.sqlite"); }

std::optional<CodexCurrentThread> currentUserThread(const QString &codexHome)
{
    return queryFirstRow<CodexCurrentThread>(
        codexHome, currentThreadQuery, [](sqlite3_stmt *) { return true; },
        [](sqlite3_stmt *row) -> std::optional<CodexCurrentThread> {
            auto id = textColumn(row, 0);
            auto rolloutPath = textColumn(row, 1);
            if (!id || !rolloutPath)
                return std::nullopt;
            return CodexCurrentThread{*id, *rolloutPath, nonEmpty(textColumn(row, 2))};
        });
}

std::optional<QString> model(const QString &codexHome, const QString &threadId)
{
    const QByteArray id = threadId.toUtf8();
    return queryFirstRow<QString>(
        codexHome, modelQuery,
        [&id](sqlite3_stmt *statement) {
            return sqlite3_bind_text(statement, 1, id.constData(), static_cast<int>(id.size()), SQLITE_TRANSIENT) ==
                   SQLITE_OK;
        },
        [](sqlite3_stmt *row) { return nonEmpty(textColumn(row, 0)); });
}

} // namespace CodexThreadDatabase
