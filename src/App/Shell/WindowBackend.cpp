#include "App/Shell/WindowBackend.h"

#include "Platform/Sway/SwayWindowSystem.h"
#include "Platform/X11/X11WindowSystem.h"

#include <QGuiApplication>

std::unique_ptr<WindowSystem> makeWindowSystem(const DesktopSession &session, std::shared_ptr<XcbConnection> x)
{
    if (session.family == DesktopFamily::sway)
        return std::make_unique<SwayWindowSystem>(session.swaySocket,
                                                  QGuiApplication::platformName() == QLatin1String("xcb"));
    return std::make_unique<X11WindowSystem>(std::move(x));
}
