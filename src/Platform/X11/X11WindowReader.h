#pragma once

#include "Platform/WindowSystem.h"
#include "Platform/X11/XcbConnection.h"

#include <QByteArray>

#include <vector>

// Batched reads of client windows' properties: all requests are sent before the first reply is
// awaited, so a batch costs about one round trip to the server.
namespace X11WindowReader {

// The app id a window announces: _GTK_APPLICATION_ID, else _KDE_NET_WM_DESKTOP_FILE (without a
// ".desktop" suffix), else the class part of WM_CLASS; empty when it announces none.
QString appIdFrom(const QByteArray &gtkApplicationId, const QByteArray &kdeDesktopFile, const QByteArray &wmClass);

// The application (app id and process id) of each window, in order.
std::vector<RunningApplication> readApplications(XcbConnection &x, const std::vector<xcb_window_t> &windows);

// Frame, minimised flag and title of each window, in order.
std::vector<WindowInfo> readWindows(XcbConnection &x, const std::vector<xcb_window_t> &windows);

// Whether the window's state holds _NET_WM_STATE_HIDDEN; absent when it cannot be read.
std::optional<bool> readHidden(XcbConnection &x, xcb_window_t window);

// The window's ancestor that is a child of the root (the window manager's frame, or itself).
xcb_window_t topLevelAncestor(XcbConnection &x, xcb_window_t window);

} // namespace X11WindowReader
