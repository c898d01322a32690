#pragma once

#include "Settings/AppSettings.h"
#include "HUD/HUDSettings.h"

// The HUD's view of the application's settings; each change of AppSettings is passed on.
class AppHUDSettings : public HUDSettings {
    Q_OBJECT

public:
    explicit AppHUDSettings(AppSettings &settings, QObject *parent = nullptr);

    QString targetBundleID() const override { return m_settings.targetBundleID(); }
    QString targetDisplayName() const override { return m_settings.targetDisplayName(); }
    DockEdge dockEdge() const override { return m_settings.dockEdge(); }
    bool hideWhenTargetMissing() const override { return m_settings.hideWhenTargetMissing(); }
    bool showAds() const override { return m_settings.showAds(); }
    bool showDebugOverlay() const override { return m_settings.showDebugOverlay(); }
    DisplayMode displayMode() const override { return m_settings.displayMode(); }
    void setDisplayMode(DisplayMode mode) override { m_settings.setDisplayMode(mode); }

private:
    AppSettings &m_settings;
};
