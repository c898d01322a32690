#pragma once

#include <QRegion>

#include <xcb/xcb.h>

// Whether a window can be seen: mapped and viewable, at least partly on the screen, and not
// entirely covered by one window stacked above it. Without a compositor X11 gives no cheaper
// answer that stays true while the window is not redrawn. Any failed request counts as not
// visible.
namespace X11WindowVisibility {

bool isVisible(xcb_connection_t *x, xcb_window_t root, xcb_window_t window);

// The part of `area` (in the window's coordinates) that no viewable window stacked above
// `window` covers, in root coordinates; empty when `window` is not viewable or a request fails.
// Monitors are the caller's to intersect.
QRegion uncoveredPart(xcb_connection_t *x, xcb_window_t root, xcb_window_t window, const QRect &area);

} // namespace X11WindowVisibility
