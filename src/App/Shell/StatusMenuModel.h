#pragma once

#include "Settings/SettingsTypes.h"
#include "Telemetry/AgentPlanLimits.h"
#include "Telemetry/CodexTelemetryHealth.h"

#include <QList>
#include <QString>
#include <QStringList>

// What choosing a menu row does; `none` rows are informational and shown disabled.
enum class MenuAction {
    none,
    openOnboarding,
    installShellExtension,
    toggleHUD,
    toggleExpandedDashboard,
    pickTarget,
    pickCustomTarget,
    pickEdge,
    pickDisplayMode,
    toggleAds,
    pickAdBackend,
    configureRemoteAds,
    exportAdPilotReport,
    toggleMock,
    toggleDebugOverlay,
    setupCodex,
    revertCodex,
    setupClaude,
    revertClaude,
    openPricing,
    toggleStartAtLogin,
    quit,
};

// One row of the tray menu as plain data, so the menu's content is testable without a display.
struct MenuRow {
    enum class Kind { item, separator, submenu };
    Kind kind = Kind::item;
    QString title;
    MenuAction action = MenuAction::none;
    bool checked = false;
    QString represented;     // the text a choice action reads
    QList<MenuRow> children; // submenu rows

    static MenuRow separator() { return {Kind::separator, {}, MenuAction::none, false, {}, {}}; }
    bool operator==(const MenuRow &) const = default;
};

// Everything the menu shows, read at the moment it opens.
struct StatusMenuState {
    bool windowAccessGranted = false;
    QString windowBackend; // what windows are read through ("X11", "Sway IPC")
    bool offerShellExtension = false; // GNOME on Wayland without Corvane's extension running
    bool hudVisible = false;
    bool dashboardExpanded = false;
    QString targetBundleID;
    QString targetDisplayName;
    DockEdge dockEdge = DockEdge::above;
    DisplayMode displayMode;
    bool showAds = true;
    AdBackendMode adBackendMode = AdBackendMode::localMock;
    QString backendHealthMessage;
    int backendQueuedEvents = 0;
    bool useMockData = false;
    bool showDebugOverlay = false;
    QString codexHealthWord;
    QString codexHealthDetail;
    QString storeProblem; // what is wrong with the event store; empty when nothing is
    bool codexConfigInstalled = false;
    bool codexNotifyInstalled = false;
    bool claudeInstalled = false; // any of Corvane's entries in Claude Code's settings
    bool startAtLogin = false;
    QStringList limitsLines; // "Codex limits: 5h 43 % · 1:12 · 7d 17 % · 3d 0h", one per agent that reported
};

// The menu's rows for a state, top to bottom.
QList<MenuRow> statusMenuRows(const StatusMenuState &state);

// The menu's limits line per agent: "Codex limits: 5h 43 % · 1:12 · 7d 17 % · 3d 0h", or
// "Codex limits: limit · resets 11:46 · 7d …" while a limit holds.
QStringList limitsMenuLines(const QList<AgentPlanLimits> &agents, const QDateTime &now);

// A raw value with its first letter upper-cased ("above" -> "Above").
QString capitalised(const QString &raw);

// The one-word Codex health shown in the menu: "Setup", "Conflict", "Down", "Restart", "Stale", "Ready".
QString codexHealthWord(CodexTelemetryHealth::Status status);
