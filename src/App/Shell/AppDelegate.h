#pragma once

#include "App/Core/AppCore.h"

#include <QObject>

#include <memory>

class AppHUD;
class FreedesktopDesktop;
class InputIdle;
class QNetworkAccessManager;
class ShellController;
class SponsoredSlot;
class WindowSystem;
class WindowTracker;

// The desktop launch: the core pipeline, and around it what the user sees.
class AppDelegate : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppDelegate)

public:
    AppDelegate(SettingsStore &defaults, AppEnvironment environment, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; the interface's own steps join the core's here.
    void applicationDidFinishLaunching();
    // A second launch asked for the HUD: it comes to the front without taking focus.
    void bringHUDForward();

    AppCore &core() { return m_core; }
    AppHUD &hud() { return *m_hud; }
    SponsoredSlot &slot() { return *m_slot; }
    ShellController &shell() { return *m_shell; }

private:
    // Slot, window access, tracker, tray menu, follow-focus and onboarding around the core.
    void launchShell();

    AppCore m_core;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<InputIdle> m_inputIdle;
    std::unique_ptr<SponsoredSlot> m_slot;
    std::unique_ptr<WindowSystem> m_windows;
    std::unique_ptr<AppHUD> m_hud;
    std::unique_ptr<WindowTracker> m_tracker;
    std::unique_ptr<FreedesktopDesktop> m_desktop;
    std::unique_ptr<ShellController> m_shell; // last: it refers to everything above
};
