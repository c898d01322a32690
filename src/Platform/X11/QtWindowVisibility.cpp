#include "Platform/X11/QtWindowVisibility.h"

#include "Platform/X11/X11WindowVisibility.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <algorithm>

bool isOwnWindowVisible(const QWindow &window)
{
    if (!window.isVisible() || !window.handle())
        return false;
    // The root window spans every monitor; a window in the gap beside a smaller one is not seen.
    const QRect frame = window.frameGeometry();
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (std::none_of(screens.begin(), screens.end(), [&](const QScreen *s) { return s->geometry().intersects(frame); }))
        return false;
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t *connection = x11->connection();
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen && X11WindowVisibility::isVisible(connection, screen->root, xcb_window_t(window.winId()));
}
