#pragma once

#include "Telemetry/AgentEvent.h"
#include "Telemetry/MetricsScope.h"

#include <QString>

#include <array>
#include <optional>

// Edge of the target window the HUD docks to.
enum class DockEdge { above, below, left, right };
inline constexpr std::array<DockEdge, 4> allDockEdges{DockEdge::above, DockEdge::below, DockEdge::left,
                                                      DockEdge::right};
QString rawValue(DockEdge edge);
std::optional<DockEdge> dockEdgeFromRaw(QStringView raw);

// Which ad backend serves the sponsored slot.
enum class AdBackendMode { localMock, remoteREST };
inline constexpr std::array<AdBackendMode, 2> allAdBackendModes{AdBackendMode::localMock,
                                                                AdBackendMode::remoteREST};
QString rawValue(AdBackendMode mode);
std::optional<AdBackendMode> adBackendModeFromRaw(QStringView raw);

// Which agent the HUD shows: one pinned agent, all of them, or the focused application's.
struct DisplayMode {
    enum class Kind { pinned, aggregate, followFocus };
    Kind kind = Kind::followFocus;
    DisplayAgent agent = DisplayAgent::claudeCode; // meaningful only when pinned

    static DisplayMode pinned(DisplayAgent agent) { return {Kind::pinned, agent}; }
    static DisplayMode aggregate() { return {Kind::aggregate, DisplayAgent::claudeCode}; }
    static DisplayMode followFocus() { return {}; }

    // Never fails: anything unrecognised is follow-focus.
    static DisplayMode fromRaw(QStringView raw);
    QString rawValue() const;
    QString label() const;
    // The scope shown while no agent window has the focus: the pinned agent, else all agents.
    MetricsScope startingScope() const
    {
        return kind == Kind::pinned ? MetricsScope::of(agent) : MetricsScope::aggregate();
    }

    bool operator==(const DisplayMode &other) const
    {
        return kind == other.kind && (kind != Kind::pinned || agent == other.agent);
    }
};

struct KnownTarget {
    const char *name;
    const char *appId;
};

// Applications offered as HUD targets, macOS bundle ids first, then Linux app ids (the id a
// window announces: _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE, else the WM_CLASS class).
inline constexpr std::array<KnownTarget, 16> knownTargets{{
    {"Codex", "com.openai.codex"},
    {"Terminal", "com.apple.Terminal"},
    {"iTerm2", "com.googlecode.iterm2"},
    {"Visual Studio Code", "com.microsoft.VSCode"},
    {"Terminal", "org.gnome.Terminal"},
    {"Console", "org.gnome.Console"},
    {"Konsole", "org.kde.konsole"},
    {"Xfce Terminal", "Xfce4-terminal"},
    {"kitty", "kitty"},
    {"Alacritty", "Alacritty"},
    {"Ghostty", "com.mitchellh.ghostty"},
    {"WezTerm", "org.wezfurlong.wezterm"},
    {"foot", "foot"},
    {"XTerm", "XTerm"},
    {"Tilix", "com.gexperts.Tilix"},
    {"Visual Studio Code", "Code"},
}};

inline constexpr const char *defaultTargetAppId = "org.gnome.Terminal";

// The known name of an app id, else the id itself.
QString targetDisplayName(const QString &appId);

// A boolean as people write it in a config file: true/false, 1/0, yes/no, on/off, in any case.
std::optional<bool> boolFromRaw(QStringView raw);
