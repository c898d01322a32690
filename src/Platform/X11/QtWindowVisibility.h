#pragma once

class QWindow;

// Whether one of this application's own windows can be seen, asked of the X server through
// Qt's own connection: shown, viewable, on a monitor and not wholly covered. False on other
// platforms (offscreen, Wayland), where nothing can tell.
bool isOwnWindowVisible(const QWindow &window);
