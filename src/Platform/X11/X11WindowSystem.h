#pragma once

#include "Platform/WindowSystem.h"

#include <memory>

class XcbConnection;

// The WindowSystem of an X11 session with an EWMH window manager. It learns about changes from
// the connection's events in the main thread's event loop (no polling of its own): the root
// window's client list, stacking, active window and current desktop, and the observed
// application's configure and state events. Without a connection, or without an EWMH window
// manager, there is no window access and every read is empty.
class X11WindowSystem : public WindowSystem {
    Q_OBJECT

public:
    explicit X11WindowSystem(std::shared_ptr<XcbConnection> connection, QObject *parent = nullptr);
    ~X11WindowSystem() override;

    bool hasWindowAccess() const override;
    QString backendName() const override { return QStringLiteral("X11"); }
    QString accessProblem() const override;
    QList<RunningApplication> runningApplications(const QString &appId) const override;
    ApplicationWindows windows(const RunningApplication &application) const override;
    std::optional<RunningApplication> frontmostApplication() const override;
    double primaryScreenHeight() const override;
    bool observe(const RunningApplication &application) override;
    void stopObserving() override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
