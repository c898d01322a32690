#include "Settings/SettingsTypes.h"

#include "Telemetry/DisplayFormat.h"
#include "Telemetry/EnumNames.h"

namespace {
constexpr std::array<const char *, 4> dockEdgeNames{"above", "below", "left", "right"};
constexpr std::array<const char *, 2> backendNames{"localMock", "remoteREST"};


const QString pinPrefix = QStringLiteral("pin:");
} // namespace

QString rawValue(DockEdge edge) { return enumName(dockEdgeNames, edge); }
std::optional<DockEdge> dockEdgeFromRaw(QStringView raw) { return enumFromName<DockEdge>(dockEdgeNames, raw); }

QString rawValue(AdBackendMode mode) { return enumName(backendNames, mode); }
std::optional<AdBackendMode> adBackendModeFromRaw(QStringView raw)
{
    return enumFromName<AdBackendMode>(backendNames, raw);
}

DisplayMode DisplayMode::fromRaw(QStringView raw)
{
    if (raw == QLatin1String("aggregate"))
        return aggregate();
    if (raw.startsWith(pinPrefix)) {
        if (const auto agent = displayAgentFromRaw(raw.mid(pinPrefix.size())))
            return pinned(*agent);
    }
    return followFocus();
}

QString DisplayMode::rawValue() const
{
    switch (kind) {
    case Kind::pinned: return pinPrefix + ::rawValue(agent);
    case Kind::aggregate: return QStringLiteral("aggregate");
    case Kind::followFocus: break;
    }
    return QStringLiteral("follow");
}

QString DisplayMode::label() const
{
    switch (kind) {
    case Kind::pinned: return QStringLiteral("Pin ") + DisplayFormat::agentName(agent);
    case Kind::aggregate: return QStringLiteral("All Agents");
    case Kind::followFocus: break;
    }
    return QStringLiteral("Follow Focused App");
}

QString targetDisplayName(const QString &appId)
{
    for (const KnownTarget &target : knownTargets) {
        if (appId == QLatin1String(target.appId))
            return QString::fromUtf8(target.name);
    }
    return appId;
}

std::optional<bool> boolFromRaw(QStringView raw)
{
    const QStringView text = raw.trimmed();
    for (const char *word : {"true", "1", "yes", "on"}) {
        if (text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return true;
    }
    for (const char *word : {"false", "0", "no", "off"}) {
        if (text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return false;
    }
    return std::nullopt;
}
