#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QUuid>

#include <optional>

// What happened to a creative. Raw text is the case name.
enum class AdEventType { viewTick, impressionRendered, click };

QString rawValue(AdEventType type);
std::optional<AdEventType> adEventTypeFromRaw(QStringView raw);

// One render, view tick or click of a creative.
struct AdEvent {
    QUuid eventId;
    QString campaignId;
    AdEventType type = AdEventType::impressionRendered;
    QDateTime timestamp;
    QString surface = QStringLiteral("hud");
    QString agentSource; // "claudeCode", "codex", "mock" or "unknown"

    // A new event with a fresh random id on the "hud" surface.
    static AdEvent make(QString campaignId, AdEventType type, QDateTime timestamp, QString agentSource);

    bool operator==(const AdEvent &) const = default;

    // Upper-case event id, whole-second UTC timestamp; keys come out sorted.
    QJsonObject toJson() const;
    // All six keys are required; the timestamp must be the whole-second form.
    static std::optional<AdEvent> fromJson(const QJsonObject &object);
    // One line of the ledger or remote queue, without its line feed.
    static std::optional<AdEvent> fromLine(const QByteArray &line);
};

// Dollars an event represents at a CPM bid: a tick bid / 1000, a click fifty ticks, a render nothing.
double adEventValue(AdEventType type, double bidPer1000Imps);

// The developer's share of an event's value.
inline constexpr double developerShareRate = 0.5;
