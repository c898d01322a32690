#pragma once

#include "Platform/DesktopSession.h"
#include "Platform/Environment.h"
#include "Platform/WindowSystem.h"

#include <QDBusConnection>

#include <memory>

// The WindowSystem of KDE Plasma and GNOME on Wayland, where only the compositor's own scripting
// sees other windows: a KWin script (loaded at start) or a GNOME Shell extension (installed by the
// user from the menu) reports every window over D-Bus to a receiver this exports
// (DesktopWindowsContract.h), and places the HUD where it is asked to. Window access means that
// side said Hello and is still on the bus.
class DBusDesktopWindowSystem : public WindowSystem {
    Q_OBJECT

public:
    // family is DesktopFamily::kde or ::gnome. Takes the contract's service name on bus, starts the
    // compositor's side where Corvane can (KWin) and waits up to env.delays.compositorHello for its
    // first report.
    DBusDesktopWindowSystem(DesktopFamily family, QDBusConnection bus, const Environment &env = {},
                            QObject *parent = nullptr);
    ~DBusDesktopWindowSystem() override;

    bool hasWindowAccess() const override;
    QString backendName() const override;
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
