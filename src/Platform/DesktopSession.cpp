#include "Platform/DesktopSession.h"

#include <QStringList>

namespace {

DesktopFamily familyOf(const QStringList &desktops)
{
    for (const QString &desktop : desktops) {
        if (desktop.compare(u"sway", Qt::CaseInsensitive) == 0)
            return DesktopFamily::sway;
        if (desktop.compare(u"KDE", Qt::CaseInsensitive) == 0)
            return DesktopFamily::kde;
        if (desktop.compare(u"GNOME", Qt::CaseInsensitive) == 0)
            return DesktopFamily::gnome;
    }
    return DesktopFamily::other;
}

} // namespace

DesktopSession detectDesktopSession(const QProcessEnvironment &environment)
{
    DesktopSession session;
    session.swaySocket = environment.value(QStringLiteral("SWAYSOCK"));
    session.family = session.swaySocket.isEmpty()
        ? familyOf(environment.value(QStringLiteral("XDG_CURRENT_DESKTOP")).split(u':', Qt::SkipEmptyParts))
        : DesktopFamily::sway;
    session.wayland = !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()
        || environment.value(QStringLiteral("XDG_SESSION_TYPE")) == u"wayland";
    return session;
}
