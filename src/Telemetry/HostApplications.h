#pragma once

#include "Telemetry/AgentEvent.h"

#include <QString>

#include <array>
#include <optional>

// Terminals and editors an agent runs inside (app ids as the window tracker reports them).
inline constexpr std::array<const char *, 17> hostApplications{
    "com.apple.Terminal", "com.googlecode.iterm2", "com.microsoft.VSCode", "dev.warp.Warp-Stable",
    "com.mitchellh.ghostty", "com.todesktop.230313mzl4w4u92",
    "org.gnome.Terminal", "org.gnome.Console", "org.kde.konsole", "xfce4-terminal", "kitty",
    "Alacritty", "org.wezfurlong.wezterm", "foot", "XTerm", "com.gexperts.Tilix", "Code"};

inline constexpr const char *codexDesktopAppId = "com.openai.codex";

bool isHostApplication(QStringView appId);

// The agent a focused application shows: the Codex app is Codex; in a host application
// a title mentioning "codex" is Codex and anything else Claude Code; other apps none.
std::optional<DisplayAgent> displayAgentFrom(QStringView bundleId, const std::optional<QString> &windowTitle);
