#pragma once

#include <QtGlobal>

// Asks the window manager to keep one of this process's own windows on every desktop, above
// other windows, and out of the taskbar and the pager. The hints are written as the window's
// own EWMH properties, which a window manager reads when it manages the window, so call this
// before each mapping: it drops them when the window is withdrawn. Does nothing outside an
// X11 session.
void markStickyUtilityWindowBeforeMapping(quint64 nativeWindow);
