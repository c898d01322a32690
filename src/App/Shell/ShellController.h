#pragma once

#include "Ads/AdPilotReport.h"
#include "Settings/AppSettings.h"
#include "App/Shell/CodexSetup.h"
#include "App/Shell/StatusMenuModel.h"
#include "Platform/DesktopSession.h"
#include "Tracking/TargetWindowState.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class CodexTelemetryHealth;
class Desktop;
class FollowFocus;
class MetricsEngine;
class OnboardingWindow;
class SponsoredSlot;
class StatusMenu;
class WindowSystem;
class WindowTracker;

// What the tray menu, its dialogs, the onboarding window and follow-focus act on.
struct ShellParts {
    AppSettings &settings;
    MetricsEngine &metrics;
    CodexTelemetryHealth &codexHealth;
    std::function<void()> refreshCodexHealth;
    SponsoredSlot &slot;
    WindowSystem &windows;
    WindowTracker &tracker;
    Desktop &desktop;
    CodexSetup::Paths codexPaths;
    QString claudeSettingsPath;
    QString pricingPath;
    AdPilotReport::Files reportFiles;
    QString autostartPath;
    QString executablePath;
    QString ownAppId;
    qint64 ownPid = 0;
    std::function<QString()> storeProblem; // empty when the event store is fine
    DesktopFamily desktopFamily = DesktopFamily::other; // whose help the onboarding window gives
};

// The HUD as the shell sees it.
struct HUDHooks {
    std::function<bool()> isVisible = [] { return false; };
    std::function<void()> toggle = [] {};
    std::function<bool()> isExpanded = [] { return false; };
    std::function<void()> toggleExpanded = [] {};
    // Stores the state as the HUD's last target and places the HUD for it.
    std::function<void(const TargetWindowState &)> showTarget = [](const TargetWindowState &) {};
};

// The user-facing shell around the running pipeline: tray menu and its actions, dialogs,
// onboarding, follow-focus and the settings subscriptions that move the HUD. Main thread only.
class ShellController : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ShellController)

public:
    ShellController(ShellParts parts, HUDHooks hud, QObject *parent = nullptr);
    ~ShellController() override;

    // The tracker's reports drive the HUD.
    void wireTrackerToHUD();
    // targetBundleID (deferred, repeats dropped) re-attaches the tracker; displayMode (deferred,
    // current value delivered) sets the metrics scope.
    void installSettingsSubscriptions();
    // Application activations and the 1 s follow-focus timer.
    void startFollowFocus();
    // The tray icon and its menu.
    void setupStatusItem();
    // Starts tracking, or without window access shows the permission state and onboarding.
    void startTrackingOrOnboard();

    // A right-click on the HUD: opens the tray's menu there when no system tray holds the icon,
    // so every setting stays reachable; false when the tray has it.
    bool hudContextMenuRequested(const QPoint &globalPosition);

    StatusMenuState menuState() const;
    void handle(MenuAction action, const QString &represented);
    void showOnboarding();
    // The onboarding window's re-check: with window access, closes it and starts tracking.
    void recheckWindowAccess();
    // GNOME on Wayland docks through Corvane's Shell extension, which the user installs from here.
    bool offersShellExtension() const;
    QString installShellExtension();

    StatusMenu *statusMenu() const { return m_menu.get(); }
    OnboardingWindow *onboardingWindow() const { return m_onboarding.get(); }
    FollowFocus &followFocus() { return *m_followFocus; }
    bool isTrackerStarted() const { return m_trackerStarted; }

private:
    void startTracker();

    ShellParts m_parts;
    HUDHooks m_hud;
    std::unique_ptr<FollowFocus> m_followFocus;
    std::unique_ptr<StatusMenu> m_menu;
    std::unique_ptr<OnboardingWindow> m_onboarding;
    bool m_trackerStarted = false;
};
