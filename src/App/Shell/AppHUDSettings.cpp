#include "App/Shell/AppHUDSettings.h"

AppHUDSettings::AppHUDSettings(AppSettings &settings, QObject *parent)
    : HUDSettings(parent), m_settings(settings)
{
    connect(&settings, &AppSettings::targetBundleIDChanged, this, &HUDSettings::targetChanged);
    connect(&settings, &AppSettings::dockEdgeChanged, this, &HUDSettings::dockEdgeChanged);
    connect(&settings, &AppSettings::hideWhenTargetMissingChanged, this, &HUDSettings::hideWhenTargetMissingChanged);
    connect(&settings, &AppSettings::showAdsChanged, this, &HUDSettings::showAdsChanged);
    connect(&settings, &AppSettings::showDebugOverlayChanged, this, &HUDSettings::showDebugOverlayChanged);
    connect(&settings, &AppSettings::displayModeChanged, this, &HUDSettings::displayModeChanged);
}
