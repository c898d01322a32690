#pragma once

#include "HUD/HUDSettings.h"

// Settings held in fields; each setter announces a change as the application's settings do.
class FakeHUDSettings : public HUDSettings {
public:
    QString appId = QStringLiteral("XTerm");
    DockEdge edge = DockEdge::above;
    bool hideMissing = false;
    bool ads = true;
    bool debugOverlay = false;
    DisplayMode mode = DisplayMode::followFocus();

    QString targetBundleID() const override { return appId; }
    QString targetDisplayName() const override { return ::targetDisplayName(appId); }
    DockEdge dockEdge() const override { return edge; }
    bool hideWhenTargetMissing() const override { return hideMissing; }
    bool showAds() const override { return ads; }
    bool showDebugOverlay() const override { return debugOverlay; }
    DisplayMode displayMode() const override { return mode; }
    void setDisplayMode(DisplayMode value) override
    {
        if (mode == value)
            return;
        mode = value;
        Q_EMIT displayModeChanged();
    }
    void setDockEdge(DockEdge value)
    {
        edge = value;
        Q_EMIT dockEdgeChanged();
    }
    void setShowAds(bool value)
    {
        ads = value;
        Q_EMIT showAdsChanged();
    }
    void setShowDebugOverlay(bool value)
    {
        debugOverlay = value;
        Q_EMIT showDebugOverlayChanged();
    }
};
