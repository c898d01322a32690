#include "Settings/AppSettings.h"

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

AppSettings::AppSettings(SettingsStore &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_targetBundleID(readText(Key::targetBundleID, QLatin1String(defaultTargetAppId)))
    , m_dockEdge(dockEdgeFromRaw(readText(Key::dockEdge, QString())).value_or(DockEdge::above))
    , m_showAds(readBool(Key::showAds, true))
    , m_adBackendMode(readText(Key::adBackendMode, QString()) == QLatin1String("localMock")
                          ? AdBackendMode::localMock
                          : AdBackendMode::remoteREST)
    , m_remoteAdBaseURL(readText(Key::remoteAdBaseURL, defaultRemoteAdBaseURL))
    , m_remoteAdPublisherID(readText(Key::remoteAdPublisherID, defaultRemoteAdPublisherID))
    , m_remoteAdPlacementID(readText(Key::remoteAdPlacementID, QStringLiteral("hud")))
    , m_useMockData(readBool(Key::useMockData, false))
    , m_displayMode(DisplayMode::fromRaw(readText(Key::displayMode, QStringLiteral("follow"))))
    , m_hideWhenTargetMissing(readBool(Key::hideWhenTargetMissing, false))
    , m_showDebugOverlay(readBool(Key::showDebugOverlay, false))
    , m_debugLogRawOTel(readBool(Key::debugLogRawOTel, false))
{
}

QString AppSettings::readText(const char *key, const QString &fallback) const
{
    const QVariant value = m_defaults.value(QLatin1String(key));
    return value.typeId() == QMetaType::QString ? value.toString() : fallback;
}

bool AppSettings::readBool(const char *key, bool fallback) const
{
    const QVariant value = m_defaults.value(QLatin1String(key));
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
        return value.toDouble() != 0.0;
    case QMetaType::QString: // INI files hand booleans back as text
        if (value.toString() == QLatin1String("true"))
            return true;
        if (value.toString() == QLatin1String("false"))
            return false;
        return fallback;
    default:
        return fallback;
    }
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
