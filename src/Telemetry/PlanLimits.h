#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

// The lengths of Claude Code's windows, which it names rather than measures.
inline constexpr qint64 fiveHourWindowMinutes = 300;
inline constexpr qint64 weeklyWindowMinutes = 10080;

// One usage window of a plan (the 5-hour or the weekly one), as the agent last reported it.
struct LimitWindow {
    double usedPercent = 0;
    std::optional<qint64> windowMinutes;
    std::optional<QDateTime> resetsAt;

    // The window as it stands at `now`: once its reset time has passed it reads 0 % with its
    // next reset unknown.
    LimitWindow at(const QDateTime &now) const;
    bool operator==(const LimitWindow &) const = default;
};

// What a plan's credits hold, where the agent says.
struct LimitCredits {
    bool hasCredits = false;
    bool unlimited = false;
    std::optional<QString> balance;
    bool operator==(const LimitCredits &) const = default;
};

// The plan limits of one limit family of an agent ("codex", "codex_bengalfox", "claude"): an
// absent window or credits means "not in this report", never "reset".
struct PlanLimits {
    QString limitId;
    std::optional<QString> limitName;
    QString channel; // where it was read: "rollout" or "statusLine"
    std::optional<LimitWindow> primary;   // the short (5-hour) window
    std::optional<LimitWindow> secondary; // the weekly window
    std::optional<LimitCredits> credits;
    std::optional<QString> reachedType;   // set while a limit has been hit
    std::optional<QDateTime> reachedUntil;
    QDateTime seenAt;

    // This report over an older one of the same family: what it leaves out keeps the old values.
    PlanLimits mergedOver(const PlanLimits &older) const;
    // As it stands at `now`: passed windows reset, a passed limit-reached state cleared.
    PlanLimits at(const QDateTime &now) const;
    // Whether the limit-reached state holds at `now`.
    bool reached() const { return reachedType.has_value(); }
    // The window that is full, else the short one: its reset is when work can go on.
    std::optional<QDateTime> fullWindowReset() const;

    bool operator==(const PlanLimits &) const = default;

    QJsonObject toJson() const;
    // Throws DecodingError when the object is not plan limits.
    static PlanLimits fromJson(const QJsonObject &object, const QString &codingPath = QStringLiteral("planLimits"));
};
