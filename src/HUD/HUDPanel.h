#pragma once

#include <QRectF>

#include <optional>

// The HUD's window as the controller sees it. Frames are bottom-left-origin screen rectangles,
// like the tracker's; only the implementation converts them to the window system's.
class HUDPanel {
public:
    virtual ~HUDPanel() = default;

    virtual QRectF frame() const = 0;
    // The window system's id of the window (created if need be), for a desktop that places it.
    virtual quint64 nativeWindow() = 0;
    virtual void setFrame(const QRectF &frame) = 0;
    // Shows the panel above other windows without taking focus.
    virtual void orderFront() = 0;
    // Takes the panel off screen.
    virtual void orderOut() = 0;
    virtual bool isMapped() const = 0;
    // Mapped, at least partly on screen and not wholly covered by other windows; false where the
    // window system cannot tell.
    virtual bool isSeenOnScreen() const = 0;
    // The share (0 to 1) of a part of the window (window coordinates, top-left origin) that lies
    // on a monitor and is covered by no other window; 0 while unmapped or where nothing can tell.
    virtual double seenShare(const QRectF &part) const = 0;
    // The main screen's area free of panels and docks; absent without a screen.
    virtual std::optional<QRectF> mainScreenVisibleFrame() const = 0;
};
