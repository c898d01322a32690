#pragma once

#include "Platform/Environment.h"
#include "Platform/WindowSystem.h"
#include "Tracking/TargetWindowState.h"

#include <QObject>

#include <functional>
#include <optional>
#include <vector>

// Follows the target application's main content window and reports every state it computes.
// Window events of the attached application, application and desktop changes, and a poll
// (env.delays.trackerPoll) all funnel into one refresh, debounced by env.delays.trackerDebounce.
class WindowTracker : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowTracker)

public:
    // The target's app id is read from the provider at every attach and refresh.
    WindowTracker(WindowSystem &windows, std::function<QString()> targetAppId, const Environment &env = {},
                  QObject *parent = nullptr);

    // Receives every produced state, repeats included.
    std::function<void(const TargetWindowState &)> onChange;

    // Listens to application and desktop changes, starts the poll, then attaches. Call once.
    void start();
    // Attaches to the first running instance of the target (does not detach first).
    void attach();
    // Drops the attachment; idempotent.
    void detach();
    // Asks for a refresh one debounce from now, replacing one already asked for.
    void scheduleRefresh();
    // Computes and reports the state now.
    void refreshNow();

    const TargetWindowState &state() const { return m_state; }
    bool isAttached() const { return m_attached.has_value(); }
    qint64 observedPid() const { return m_attached ? m_attached->pid : 0; }

    // Top-left-origin rectangle to bottom-left origin, given the primary screen's height.
    static QRectF appKitRect(QPointF axTopLeft, QSizeF size, double primaryScreenHeight);
    // Which frame to follow: the first at least 320 × 160, else the largest (earliest on ties).
    static std::optional<std::size_t> preferredWindowIndex(const std::vector<QRectF> &frames);

private:
    void report(const TargetWindowState &state);
    // Running instances of the target; this process's own windows are never a target.
    QList<RunningApplication> targetInstances() const;
    std::optional<WindowInfo> targetWindow(const RunningApplication &application) const;
    std::optional<QRectF> windowFrame(const WindowInfo &window) const;
    void applicationChanged(const RunningApplication &application, bool terminated);

    WindowSystem &m_windows;
    std::function<QString()> m_targetAppId;
    std::optional<RunningApplication> m_attached;
    Timer *m_pendingRefresh;
    Timer *m_refreshTimer;
    bool m_started = false;
    TargetWindowState m_state;
};
