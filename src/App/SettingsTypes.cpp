#include "App/SettingsTypes.h"

namespace {
constexpr std::array<const char *, 4> dockEdgeNames{"above", "below", "left", "right"};
constexpr std::array<const char *, 2> backendNames{"localMock", "remoteREST"};

template <typename Enum, std::size_t N>
std::optional<Enum> fromName(const std::array<const char *, N> &names, QStringView raw)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (raw == QLatin1String(names[i]))
            return static_cast<Enum>(i);
    }
    return std::nullopt;
}

const QString pinPrefix = QStringLiteral("pin:");
} // namespace

QString rawValue(DockEdge edge) { return QLatin1String(dockEdgeNames[static_cast<std::size_t>(edge)]); }
std::optional<DockEdge> dockEdgeFromRaw(QStringView raw) { return fromName<DockEdge>(dockEdgeNames, raw); }

QString rawValue(AdBackendMode mode) { return QLatin1String(backendNames[static_cast<std::size_t>(mode)]); }
std::optional<AdBackendMode> adBackendModeFromRaw(QStringView raw)
{
    return fromName<AdBackendMode>(backendNames, raw);
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
    case Kind::pinned: return QStringLiteral("Pin ") + displayName(agent);
    case Kind::aggregate: return QStringLiteral("All Agents");
    case Kind::followFocus: break;
    }
    return QStringLiteral("Follow Focused App");
}

QString displayName(DisplayAgent agent)
{
    switch (agent) {
    case DisplayAgent::claudeCode: return QStringLiteral("Claude Code");
    case DisplayAgent::codex: return QStringLiteral("Codex");
    case DisplayAgent::mock: break;
    }
    return QStringLiteral("Mock");
}

QString targetDisplayName(const QString &appId)
{
    for (const KnownTarget &target : knownTargets) {
        if (appId == QLatin1String(target.appId))
            return QString::fromUtf8(target.name);
    }
    return appId;
}
