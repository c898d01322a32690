#pragma once

#include <QtGlobal>

// Asks the window manager to keep one of this process's own windows on every desktop, above
// other windows, and out of the taskbar and the pager (EWMH client messages). Does nothing
// outside an X11 session. The window must be mapped.
void markStickyUtilityWindow(quint64 nativeWindow);
