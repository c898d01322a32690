#include "Persistence/PlanLimitsTable.h"

#include "Persistence/SqliteStatement.h"

#include <QJsonDocument>

#include <sqlite3.h>

namespace PlanLimitsTable {

namespace {

std::optional<PlanLimits> decode(QByteArrayView json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray());
    if (!document.isObject())
        return std::nullopt;
    try {
        return PlanLimits::fromJson(document.object());
    } catch (const DecodingError &) {
        return std::nullopt;
    }
}

std::optional<PlanLimits> stored(sqlite3 *db, DisplayAgent agent, const QString &limitId)
{
    SqliteStatement select(db, "SELECT payload FROM plan_limits WHERE agent = ? AND limit_id = ?");
    select.bind(1, rawValue(agent));
    select.bind(2, limitId);
    return select.nextRow() ? decode(select.textView(0)) : std::nullopt;
}

} // namespace

bool migrate(sqlite3 *db)
{
    return sqlite3_exec(db,
                        "CREATE TABLE IF NOT EXISTS plan_limits (agent TEXT NOT NULL, limit_id TEXT NOT NULL, "
                        "seen REAL NOT NULL, payload TEXT NOT NULL, PRIMARY KEY (agent, limit_id))",
                        nullptr, nullptr, nullptr)
        == SQLITE_OK;
}

bool upsert(sqlite3 *db, DisplayAgent agent, const PlanLimits &limits)
{
    const auto older = stored(db, agent, limits.limitId);
    const PlanLimits merged = older ? limits.mergedOver(*older) : limits;
    SqliteStatement statement(db, "INSERT OR REPLACE INTO plan_limits (agent, limit_id, seen, payload) VALUES (?,?,?,?)");
    statement.bind(1, rawValue(agent));
    statement.bind(2, merged.limitId);
    statement.bind(3, static_cast<double>(merged.seenAt.toMSecsSinceEpoch()) / 1000.0);
    statement.bind(4, QString::fromUtf8(QJsonDocument(merged.toJson()).toJson(QJsonDocument::Compact)));
    return statement.run();
}

QList<std::pair<DisplayAgent, PlanLimits>> all(sqlite3 *db)
{
    QList<std::pair<DisplayAgent, PlanLimits>> rows;
    SqliteStatement select(db, "SELECT agent, payload FROM plan_limits ORDER BY seen");
    while (select.nextRow()) {
        const auto agent = displayAgentFromRaw(QString::fromUtf8(select.textView(0)));
        auto limits = decode(select.textView(1));
        if (agent && limits)
            rows.append({*agent, std::move(*limits)});
    }
    return rows;
}

} // namespace PlanLimitsTable
