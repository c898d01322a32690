#pragma once

#include <QProcessEnvironment>
#include <QString>

// Which desktop the session runs, as far as its environment tells, and so which window system
// to read windows through.
enum class DesktopFamily { sway, kde, gnome, other };

struct DesktopSession {
    DesktopFamily family = DesktopFamily::other;
    QString swaySocket; // SWAYSOCK, when set
    bool wayland = false; // a Wayland session (WAYLAND_DISPLAY or XDG_SESSION_TYPE says so)

    bool operator==(const DesktopSession &other) const = default;
};

// Reads XDG_CURRENT_DESKTOP (a colon-separated list, "ubuntu:GNOME"), SWAYSOCK, WAYLAND_DISPLAY
// and XDG_SESSION_TYPE. SWAYSOCK alone
// makes it a Sway session: it is set only inside one.
DesktopSession detectDesktopSession(const QProcessEnvironment &environment);
