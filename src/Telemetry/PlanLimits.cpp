#include "Telemetry/PlanLimits.h"

#include "Telemetry/AgentEvent.h"

#include <QJsonValue>

namespace {

QJsonValue optionalText(const std::optional<QString> &text) { return text ? QJsonValue(*text) : QJsonValue(); }

QJsonValue optionalTime(const std::optional<QDateTime> &at)
{
    return at ? QJsonValue(at->toUTC().toString(Qt::ISODateWithMs)) : QJsonValue();
}

QJsonObject windowJson(const LimitWindow &window)
{
    return {{"usedPercent", window.usedPercent},
            {"windowMinutes", window.windowMinutes ? QJsonValue(*window.windowMinutes) : QJsonValue()},
            {"resetsAt", optionalTime(window.resetsAt)}};
}

DecodingError corrupted(const QString &path, const char *description)
{
    return DecodingError(DecodingError::Reason::dataCorrupted, path, QLatin1String(description));
}

std::optional<QString> textAt(const QJsonObject &object, const char *key, const QString &path)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        throw DecodingError(DecodingError::Reason::typeMismatch, path + u'.' + QLatin1String(key),
                            QStringLiteral("Expected to decode String but found another type instead."));
    return value.toString();
}

std::optional<QDateTime> timeAt(const QJsonObject &object, const char *key, const QString &path)
{
    const auto text = textAt(object, key, path);
    if (!text)
        return std::nullopt;
    const QDateTime at = QDateTime::fromString(*text, Qt::ISODateWithMs);
    if (!at.isValid())
        throw corrupted(path + u'.' + QLatin1String(key), "Expected date string to be ISO8601-formatted.");
    return at.toUTC();
}

std::optional<LimitWindow> windowAt(const QJsonObject &object, const char *key, const QString &parent)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    const QString path = parent + u'.' + QLatin1String(key);
    const QJsonObject window = value.toObject();
    if (!value.isObject() || !window.value("usedPercent").isDouble())
        throw corrupted(path, "Expected a window with usedPercent.");
    LimitWindow result{window.value("usedPercent").toDouble(), std::nullopt, timeAt(window, "resetsAt", path)};
    if (window.value("windowMinutes").isDouble())
        result.windowMinutes = window.value("windowMinutes").toInteger();
    return result;
}

} // namespace

LimitWindow LimitWindow::at(const QDateTime &now) const
{
    if (resetsAt && *resetsAt <= now)
        return LimitWindow{0, windowMinutes, std::nullopt};
    return *this;
}

PlanLimits PlanLimits::mergedOver(const PlanLimits &older) const
{
    PlanLimits merged = *this;
    if (!merged.limitName)
        merged.limitName = older.limitName;
    if (!merged.primary)
        merged.primary = older.primary;
    if (!merged.secondary)
        merged.secondary = older.secondary;
    if (!merged.credits)
        merged.credits = older.credits;
    if (merged.reachedType && !merged.reachedUntil)
        merged.reachedUntil = merged.fullWindowReset();
    return merged;
}

std::optional<QDateTime> PlanLimits::fullWindowReset() const
{
    for (const auto *window : {&primary, &secondary}) {
        if (*window && (*window)->usedPercent >= 100 && (*window)->resetsAt)
            return (*window)->resetsAt;
    }
    return primary ? primary->resetsAt : std::nullopt;
}

PlanLimits PlanLimits::at(const QDateTime &now) const
{
    PlanLimits current = *this;
    if (current.primary)
        current.primary = current.primary->at(now);
    if (current.secondary)
        current.secondary = current.secondary->at(now);
    // Without a known end the state holds until a report says otherwise.
    if (current.reachedUntil && *current.reachedUntil <= now) {
        current.reachedType.reset();
        current.reachedUntil.reset();
    }
    return current;
}

QJsonObject PlanLimits::toJson() const
{
    QJsonObject object{{"limitId", limitId},
                       {"limitName", optionalText(limitName)},
                       {"channel", channel},
                       {"primary", primary ? QJsonValue(windowJson(*primary)) : QJsonValue()},
                       {"secondary", secondary ? QJsonValue(windowJson(*secondary)) : QJsonValue()},
                       {"reachedType", optionalText(reachedType)},
                       {"reachedUntil", optionalTime(reachedUntil)},
                       {"seenAt", optionalTime(seenAt.isValid() ? std::optional(seenAt) : std::nullopt)}};
    if (credits)
        object.insert("credits", QJsonObject{{"hasCredits", credits->hasCredits},
                                             {"unlimited", credits->unlimited},
                                             {"balance", optionalText(credits->balance)}});
    else
        object.insert("credits", QJsonValue());
    return object;
}

PlanLimits PlanLimits::fromJson(const QJsonObject &object, const QString &path)
{
    PlanLimits limits;
    const auto limitId = textAt(object, "limitId", path);
    if (!limitId)
        throw DecodingError(DecodingError::Reason::keyNotFound, path,
                            QStringLiteral("No value associated with key \"limitId\"."));
    limits.limitId = *limitId;
    limits.limitName = textAt(object, "limitName", path);
    limits.channel = textAt(object, "channel", path).value_or(QString());
    limits.primary = windowAt(object, "primary", path);
    limits.secondary = windowAt(object, "secondary", path);
    const QJsonValue credits = object.value("credits");
    if (credits.isObject())
        limits.credits = LimitCredits{credits["hasCredits"].toBool(), credits["unlimited"].toBool(),
                                      textAt(credits.toObject(), "balance", path + QStringLiteral(".credits"))};
    limits.reachedType = textAt(object, "reachedType", path);
    limits.reachedUntil = timeAt(object, "reachedUntil", path);
    limits.seenAt = timeAt(object, "seenAt", path).value_or(QDateTime());
    return limits;
}
