#pragma once

#include "Platform/Environment.h"
#include "Platform/WindowSystem.h"

#include <memory>

// The WindowSystem of a Sway (or other i3-IPC) session, read through the compositor's IPC
// socket: the tree gives the windows (app id or X11 class, pid, frame, focus, visibility, title)
// and the window and workspace events say when to read it again. Sway sends no event for a
// window that moves or is resized, so while an application is observed its tree is also read
// every env.delays.swayGeometryPoll (an unchanged reply costs a comparison, not a parse).
// A window on a hidden workspace, behind a tab or in the scratchpad counts as minimised.
// This process's own windows are floated, made sticky and unfocusable, and placed on request.
class SwayWindowSystem : public WindowSystem {
    Q_OBJECT

public:
    // Connects to the socket (SWAYSOCK's path); without an answer there is no window access.
    // Own windows are placed only when they are XWayland windows (Qt's xcb platform), whose
    // native ids Sway's tree names.
    SwayWindowSystem(const QString &socketPath, bool ownWindowsOnXWayland, const Environment &env = {},
                     QObject *parent = nullptr);
    ~SwayWindowSystem() override;

    bool hasWindowAccess() const override;
    QString backendName() const override { return QStringLiteral("Sway IPC"); }
    QString accessProblem() const override;
    QList<RunningApplication> runningApplications(const QString &appId) const override;
    ApplicationWindows windows(const RunningApplication &application) const override;
    std::optional<RunningApplication> frontmostApplication() const override;
    double primaryScreenHeight() const override;
    bool observe(const RunningApplication &application) override;
    void stopObserving() override;
    bool placeOwnWindow(quint64 nativeWindow, const QRectF &frame) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
