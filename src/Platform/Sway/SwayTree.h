#pragma once

#include "Platform/WindowSystem.h"

#include <QByteArray>
#include <QRectF>

#include <optional>
#include <vector>

// One window (a "view") in Sway's tree.
struct SwayView {
    qint64 conId = 0;
    quint64 x11Window = 0; // the XWayland window's id; 0 for a native Wayland window
    RunningApplication application; // app_id, or the X11 class for XWayland windows
    QRectF frame; // title bar and borders included, layout (logical) coordinates, top-left origin
    bool focused = false;
    bool visible = false; // on a shown workspace and not behind a tab
    bool inScratchpad = false;
    QString title;

    bool operator==(const SwayView &other) const = default;
};

// The windows of a get_tree reply, in tree order, and the bounding box of the outputs.
struct SwayLayout {
    QRectF bounds;
    std::vector<SwayView> views;
};

// Reads a get_tree reply; absent when it is not a tree.
std::optional<SwayLayout> parseSwayTree(const QByteArray &json);
