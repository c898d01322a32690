#pragma once

#include <QtGlobal>

// Keep one of this process's own windows on every desktop, above other windows, and out of the
// taskbar and the pager. A window manager drops these hints when the window is withdrawn, so
// both are needed at every showing: the window's own EWMH properties, written before it is
// mapped, and the client messages, sent once it is managed (a quick hide and show can have the
// manager's clean-up of the withdrawal erase the properties). Both do nothing outside X11.
void markStickyUtilityWindowBeforeMapping(quint64 nativeWindow);
void markStickyUtilityWindow(quint64 nativeWindow);

// Whether the window manager still holds a window the client has withdrawn (its WM_STATE is not
// yet Withdrawn). Mapping it again before then races the manager's clean-up, which can leave the
// window mapped but unmanaged, without any of the hints.
bool isStillManaged(quint64 nativeWindow);
