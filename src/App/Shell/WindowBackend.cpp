#include "App/Shell/WindowBackend.h"

#include "Platform/DBusDesktop/DBusDesktopWindowSystem.h"
#include "Platform/Sway/SwayWindowSystem.h"
#include "Platform/X11/X11WindowSystem.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QGuiApplication>

namespace {

// On a Wayland Plasma or GNOME session whose compositor is on the bus, only its own scripting
// sees native windows; elsewhere (an X11 session, a compositor that is not there) X11 sees them.
bool compositorOnBus(DesktopFamily family)
{
    const QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    const QString name = family == DesktopFamily::kde ? QStringLiteral("org.kde.KWin") : QStringLiteral("org.gnome.Shell");
    return bus && bus->isServiceRegistered(name).value();
}

} // namespace

std::unique_ptr<WindowSystem> makeWindowSystem(const DesktopSession &session, std::shared_ptr<XcbConnection> x)
{
    if (session.family == DesktopFamily::sway)
        return std::make_unique<SwayWindowSystem>(session.swaySocket,
                                                  QGuiApplication::platformName() == QLatin1String("xcb"));
    if ((session.family == DesktopFamily::kde || session.family == DesktopFamily::gnome) && session.wayland
        && compositorOnBus(session.family))
        return std::make_unique<DBusDesktopWindowSystem>(session.family, QDBusConnection::sessionBus());
    return std::make_unique<X11WindowSystem>(std::move(x));
}
