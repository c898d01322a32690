#include "App/Shell/MenuChoices.h"

bool applySettingsChoice(AppSettings &settings, MenuAction action, const QString &represented)
{
    switch (action) {
    case MenuAction::pickTarget:
        settings.setTargetBundleID(represented);
        return true;
    case MenuAction::pickEdge:
        if (const auto edge = dockEdgeFromRaw(represented))
            settings.setDockEdge(*edge);
        return true;
    case MenuAction::pickDisplayMode:
        settings.setDisplayMode(DisplayMode::fromRaw(represented));
        return true;
    case MenuAction::pickAdBackend:
        if (const auto mode = adBackendModeFromRaw(represented))
            settings.setAdBackendMode(*mode);
        return true;
    case MenuAction::toggleAds:
        settings.setShowAds(!settings.showAds());
        return true;
    case MenuAction::toggleMock:
        settings.setUseMockData(!settings.useMockData());
        return true;
    case MenuAction::toggleDebugOverlay:
        settings.setShowDebugOverlay(!settings.showDebugOverlay());
        return true;
    default:
        return false;
    }
}
