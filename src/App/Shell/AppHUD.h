#pragma once

#include "App/Shell/AppHUDSettings.h"
#include "App/Shell/ScopeMenu.h"
#include "App/Shell/ShellController.h"
#include "HUD/HUDWindowController.h"
#include "HUD/SlotSnapshot.h"

#include <QObject>

class ImpressionEngine;
class SponsoredSlot;

// The HUD as the application runs it: the window controller over the application's settings,
// the sponsored slot's state copied into its view and its clicks recorded, and the hooks the
// shell drives it through. Main thread only.
class AppHUD : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppHUD)

public:
    // Everything given must outlive the HUD. Installs the slot's HUD-visible gate.
    AppHUD(AppSettings &settings, WindowSystem &windows, MetricsEngine &metrics, CodexTelemetryHealth &codexHealth,
           SponsoredSlot &slot, const HUDWindowController::PanelFactory &panelFactory = {}, QObject *parent = nullptr);
    ~AppHUD() override;

    HUDWindowController &controller() { return m_controller; }
    HUDHooks hooks();
    ScopeMenu &scopeMenu() { return m_scopeMenu; }

    // What the HUD shows of the impression engine at `now`.
    static SlotSnapshot snapshotOf(const ImpressionEngine &engine, const QDateTime &now);

Q_SIGNALS:
    // A right-click on the HUD, at this screen position.
    void contextMenuRequested(const QPoint &globalPosition);

private:
    void copySlotState();

    AppHUDSettings m_settings;
    SponsoredSlot &m_slot;
    HUDWindowController m_controller;
    ScopeMenu m_scopeMenu;
};
