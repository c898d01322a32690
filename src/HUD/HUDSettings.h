#pragma once

#include "Settings/SettingsTypes.h"

#include <QObject>
#include <QString>

// The few user settings the HUD reads and the one it changes, with their change signals.
// The application implements it over its settings object.
class HUDSettings : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual QString targetBundleID() const = 0;
    virtual QString targetDisplayName() const = 0;
    virtual DockEdge dockEdge() const = 0;
    virtual bool hideWhenTargetMissing() const = 0;
    virtual bool showAds() const = 0;
    virtual bool showDebugOverlay() const = 0;
    virtual DisplayMode displayMode() const = 0;
    virtual void setDisplayMode(DisplayMode mode) = 0;

Q_SIGNALS:
    void targetChanged();
    void dockEdgeChanged();
    void hideWhenTargetMissingChanged();
    void showAdsChanged();
    void showDebugOverlayChanged();
    void displayModeChanged();
};
