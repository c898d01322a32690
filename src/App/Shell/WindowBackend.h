#pragma once

#include "Platform/DesktopSession.h"

#include <memory>

class WindowSystem;
class XcbConnection;

// The window system for this session: Sway's IPC on Sway, the KWin script or GNOME Shell
// extension on those Wayland sessions (the X11 view of XWayland would miss every native Wayland
// window there), X11 everywhere else. Call after the QGuiApplication exists:
// own windows are placed through Sway only when Qt draws them through XWayland.
std::unique_ptr<WindowSystem> makeWindowSystem(const DesktopSession &session, std::shared_ptr<XcbConnection> x);
