#pragma once

#include <QRectF>

#include <optional>

// Where the target application's window is (bottom-left-origin screen coordinates) and what
// the tracker knows about the application.
struct TargetWindowState {
    std::optional<QRectF> frame;
    bool isMinimized = false;
    bool isRunning = false;
    bool needsAccessibilityPermission = false;

    bool operator==(const TargetWindowState &other) const = default;
};
