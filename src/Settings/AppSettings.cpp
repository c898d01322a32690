#include "Settings/AppSettings.h"

#include <cstdio>

namespace Key {
constexpr const char *targetBundleID = "targetBundleID";
constexpr const char *dockEdge = "dockEdge";
constexpr const char *showAds = "showAds";
constexpr const char *adBackendMode = "adBackendMode";
constexpr const char *remoteAdBaseURL = "remoteAdBaseURL";
constexpr const char *remoteAdPublisherID = "remoteAdPublisherID";
constexpr const char *remoteAdPlacementID = "remoteAdPlacementID";
constexpr const char *useMockData = "useMockDataV2"; // the unsuffixed key held an older meaning
constexpr const char *displayMode = "displayMode";
constexpr const char *hideWhenTargetMissing = "hideWhenTargetMissing";
constexpr const char *showDebugOverlay = "showDebugOverlay";
constexpr const char *debugLogRawOTel = "debugLogRawOTel";
} // namespace Key

namespace Default {
const QString targetBundleID = QLatin1String(defaultTargetAppId);
constexpr DockEdge dockEdge = DockEdge::above;
constexpr bool showAds = true;
const QString remoteAdPlacementID = QStringLiteral("hud");
constexpr bool useMockData = false;
const QString displayMode = QStringLiteral("follow");
constexpr bool off = false;
} // namespace Default

namespace {

// Anything but "localMock" is the remote backend, as it always was.
std::optional<AdBackendMode> adBackendModeOf(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    return *text == QLatin1String("localMock") ? AdBackendMode::localMock : AdBackendMode::remoteREST;
}

// Never unreadable: anything unrecognised is follow-focus.
std::optional<DisplayMode> displayModeOf(const std::optional<QString> &text)
{
    return text ? std::optional(DisplayMode::fromRaw(*text)) : std::nullopt;
}

} // namespace

AppSettings::AppSettings(SettingsStore &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_targetBundleID(readText(Key::targetBundleID, Default::targetBundleID))
    , m_dockEdge(storedDockEdge().value_or(Default::dockEdge))
    , m_showAds(readBool(Key::showAds, Default::showAds))
    , m_adBackendMode(adBackendModeOf(storedText(Key::adBackendMode)).value_or(AdBackendMode::remoteREST))
    , m_remoteAdBaseURL(readText(Key::remoteAdBaseURL, defaultRemoteAdBaseURL))
    , m_remoteAdPublisherID(readText(Key::remoteAdPublisherID, defaultRemoteAdPublisherID))
    , m_remoteAdPlacementID(readText(Key::remoteAdPlacementID, Default::remoteAdPlacementID))
    , m_useMockData(readBool(Key::useMockData, Default::useMockData))
    , m_displayMode(DisplayMode::fromRaw(readText(Key::displayMode, Default::displayMode)))
    , m_hideWhenTargetMissing(readBool(Key::hideWhenTargetMissing, Default::off))
    , m_showDebugOverlay(readBool(Key::showDebugOverlay, Default::off))
    , m_debugLogRawOTel(readBool(Key::debugLogRawOTel, Default::off))
{
}


void AppSettings::reportUnreadable(const char *key, const QVariant &value) const
{
    if (m_reported.value(QLatin1String(key)) == value)
        return;
    m_reported.insert(QLatin1String(key), value);
    std::fprintf(stderr, "corvane: ignoring the setting %s: \"%s\" cannot be read\n", key,
                 qPrintable(value.toStringList().join(u',')));
}

std::optional<QString> AppSettings::storedText(const char *key) const
{
    const QVariant value = m_defaults.value(QLatin1String(key));
    if (value.typeId() == QMetaType::QString)
        return value.toString();
    if (value.isValid())
        reportUnreadable(key, value);
    return std::nullopt;
}

std::optional<bool> AppSettings::storedBool(const char *key) const
{
    const QVariant value = m_defaults.value(QLatin1String(key));
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        return std::nullopt;
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::QString: // INI files hand booleans back as text
        if (const auto flag = boolFromRaw(value.toString()))
            return flag;
        break;
    default:
        break;
    }
    reportUnreadable(key, value);
    return std::nullopt;
}

std::optional<DockEdge> AppSettings::storedDockEdge() const
{
    const std::optional<QString> text = storedText(Key::dockEdge);
    if (!text)
        return std::nullopt;
    const std::optional<DockEdge> edge = dockEdgeFromRaw(*text);
    if (!edge)
        reportUnreadable(Key::dockEdge, *text);
    return edge;
}

QString AppSettings::readText(const char *key, const QString &fallback) const
{
    return storedText(key).value_or(fallback);
}

bool AppSettings::readBool(const char *key, bool fallback) const
{
    return storedBool(key).value_or(fallback);
}

template <typename T>
void AppSettings::adopt(T &field, std::optional<T> stored, const char *key, const T &fallback,
                        void (AppSettings::*changed)())
{
    if (!stored && m_defaults.value(QLatin1String(key)).isValid())
        return; // there but unreadable: the last good value stays
    const T value = stored.value_or(fallback);
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)();
}

void AppSettings::followStoreEdits()
{
    m_defaults.watchForEdits([this] { reload(); });
}

void AppSettings::reload()
{
    const auto text = [this](const char *key) { return storedText(key); };
    adopt(m_targetBundleID, text(Key::targetBundleID), Key::targetBundleID, Default::targetBundleID,
          &AppSettings::targetBundleIDChanged);
    adopt(m_dockEdge, storedDockEdge(), Key::dockEdge, Default::dockEdge, &AppSettings::dockEdgeChanged);
    adopt(m_showAds, storedBool(Key::showAds), Key::showAds, Default::showAds, &AppSettings::showAdsChanged);
    adopt(m_adBackendMode, adBackendModeOf(text(Key::adBackendMode)), Key::adBackendMode, AdBackendMode::remoteREST,
          &AppSettings::adBackendModeChanged);
    adopt(m_remoteAdBaseURL, text(Key::remoteAdBaseURL), Key::remoteAdBaseURL, defaultRemoteAdBaseURL,
          &AppSettings::remoteAdBaseURLChanged);
    adopt(m_remoteAdPublisherID, text(Key::remoteAdPublisherID), Key::remoteAdPublisherID, defaultRemoteAdPublisherID,
          &AppSettings::remoteAdPublisherIDChanged);
    adopt(m_remoteAdPlacementID, text(Key::remoteAdPlacementID), Key::remoteAdPlacementID,
          Default::remoteAdPlacementID, &AppSettings::remoteAdPlacementIDChanged);
    adopt(m_useMockData, storedBool(Key::useMockData), Key::useMockData, Default::useMockData,
          &AppSettings::useMockDataChanged);
    adopt(m_displayMode, displayModeOf(text(Key::displayMode)), Key::displayMode,
          DisplayMode::fromRaw(Default::displayMode), &AppSettings::displayModeChanged);
    adopt(m_hideWhenTargetMissing, storedBool(Key::hideWhenTargetMissing), Key::hideWhenTargetMissing, Default::off,
          &AppSettings::hideWhenTargetMissingChanged);
    adopt(m_showDebugOverlay, storedBool(Key::showDebugOverlay), Key::showDebugOverlay, Default::off,
          &AppSettings::showDebugOverlayChanged);
    adopt(m_debugLogRawOTel, storedBool(Key::debugLogRawOTel), Key::debugLogRawOTel, Default::off,
          &AppSettings::debugLogRawOTelChanged);
}

template <typename T>
void AppSettings::assign(T &field, const T &value, const char *key, const QVariant &stored,
                         void (AppSettings::*changed)())
{
    m_defaults.setValue(QLatin1String(key), stored);
    if (field == value)
        return;
    field = value;
    Q_EMIT(this->*changed)();
}

QString AppSettings::targetDisplayName() const { return ::targetDisplayName(m_targetBundleID); }

void AppSettings::setTargetBundleID(const QString &value)
{
    assign(m_targetBundleID, value, Key::targetBundleID, value, &AppSettings::targetBundleIDChanged);
}
void AppSettings::setDockEdge(DockEdge value)
{
    assign(m_dockEdge, value, Key::dockEdge, rawValue(value), &AppSettings::dockEdgeChanged);
}
void AppSettings::setShowAds(bool value)
{
    assign(m_showAds, value, Key::showAds, value, &AppSettings::showAdsChanged);
}
void AppSettings::setAdBackendMode(AdBackendMode value)
{
    assign(m_adBackendMode, value, Key::adBackendMode, rawValue(value), &AppSettings::adBackendModeChanged);
}
void AppSettings::setRemoteAdBaseURL(const QString &value)
{
    assign(m_remoteAdBaseURL, value, Key::remoteAdBaseURL, value, &AppSettings::remoteAdBaseURLChanged);
}
void AppSettings::setRemoteAdPublisherID(const QString &value)
{
    assign(m_remoteAdPublisherID, value, Key::remoteAdPublisherID, value, &AppSettings::remoteAdPublisherIDChanged);
}
void AppSettings::setRemoteAdPlacementID(const QString &value)
{
    assign(m_remoteAdPlacementID, value, Key::remoteAdPlacementID, value, &AppSettings::remoteAdPlacementIDChanged);
}
void AppSettings::setUseMockData(bool value)
{
    assign(m_useMockData, value, Key::useMockData, value, &AppSettings::useMockDataChanged);
}
void AppSettings::setDisplayMode(DisplayMode value)
{
    assign(m_displayMode, value, Key::displayMode, value.rawValue(), &AppSettings::displayModeChanged);
}
void AppSettings::setHideWhenTargetMissing(bool value)
{
    assign(m_hideWhenTargetMissing, value, Key::hideWhenTargetMissing, value,
           &AppSettings::hideWhenTargetMissingChanged);
}
void AppSettings::setShowDebugOverlay(bool value)
{
    assign(m_showDebugOverlay, value, Key::showDebugOverlay, value, &AppSettings::showDebugOverlayChanged);
}
void AppSettings::setDebugLogRawOTel(bool value)
{
    assign(m_debugLogRawOTel, value, Key::debugLogRawOTel, value, &AppSettings::debugLogRawOTelChanged);
}
