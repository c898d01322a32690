#pragma once

#include "Telemetry/PlanLimits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>

#include <optional>

// Readers of the plan limits in a Codex rollout file's lines (simdjson; pure).
namespace CodexRolloutLimits {

// The `payload.rate_limits` of a "token_count" line as one family's report: a null window or
// null credits are left out (a response without headers, not a reset). None for any other line.
// `now` stamps a line without a time.
std::optional<PlanLimits> rateLimits(QByteArrayView line, const QDateTime &now);

// Whether the line is a "task_complete" that ended on the usage limit.
bool endsOnUsageLimit(QByteArrayView line);

} // namespace CodexRolloutLimits

// On a usage-limit 429 Codex writes a token_count whose `info` is a copy of the previous one:
// such a line adds no tokens. Fed every token_count line in file order.
class RepeatedTokenInfo {
public:
    // True when this token_count line's `info` is, byte for byte, the previous token_count's.
    bool repeats(QByteArrayView line);
    void reset() { m_previous.reset(); }

private:
    std::optional<QByteArray> m_previous;
};
