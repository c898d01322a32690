#pragma once

class QRectF;
class QWindow;

// Whether one of this application's own windows can be seen, asked of the X server through
// Qt's own connection: shown, viewable, on a monitor and not wholly covered. False on other
// platforms (offscreen, Wayland), where nothing can tell.
bool isOwnWindowVisible(const QWindow &window);

// The share (0 to 1) of a part of one of this application's own windows (window coordinates)
// that lies on a monitor and is covered by no other window; 0 where nothing can tell.
double ownWindowSeenShare(const QWindow &window, const QRectF &part);
