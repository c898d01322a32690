#pragma once

#include <QProcessEnvironment>
#include <QString>

// Which desktop the session runs, as far as its environment tells, and so which window system
// to read windows through.
enum class DesktopFamily { sway, kde, gnome, other };

struct DesktopSession {
    DesktopFamily family = DesktopFamily::other;
    QString swaySocket; // SWAYSOCK, when set

    bool operator==(const DesktopSession &other) const = default;
};

// Reads XDG_CURRENT_DESKTOP (a colon-separated list, "ubuntu:GNOME") and SWAYSOCK. SWAYSOCK alone
// makes it a Sway session: it is set only inside one.
DesktopSession detectDesktopSession(const QProcessEnvironment &environment);
