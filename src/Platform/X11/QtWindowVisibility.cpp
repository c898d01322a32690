#include "Platform/X11/QtWindowVisibility.h"

#include "Platform/X11/X11WindowVisibility.h"

#include <QGuiApplication>
#include <QRectF>
#include <QRegion>
#include <QScreen>
#include <QWindow>

#include <algorithm>

namespace {

xcb_connection_t *qtConnection()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

qint64 areaOf(const QRegion &region)
{
    qint64 area = 0;
    for (const QRect &rect : region)
        area += qint64(rect.width()) * rect.height();
    return area;
}

} // namespace

double ownWindowSeenShare(const QWindow &window, const QRectF &part)
{
    const QRect area = part.toAlignedRect();
    xcb_connection_t *connection = qtConnection();
    if (!window.isVisible() || !window.handle() || area.isEmpty() || !connection)
        return 0;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return 0;
    // The root window spans every monitor; what lies in a gap beside a smaller one is not seen.
    QRegion monitors;
    for (const QScreen *s : QGuiApplication::screens())
        monitors += s->geometry();
    const QRegion seen =
        X11WindowVisibility::uncoveredPart(connection, screen->root, xcb_window_t(window.winId()), area) & monitors;
    return double(areaOf(seen)) / (double(area.width()) * area.height());
}

bool isOwnWindowVisible(const QWindow &window)
{
    if (!window.isVisible() || !window.handle())
        return false;
    // The root window spans every monitor; a window in the gap beside a smaller one is not seen.
    const QRect frame = window.frameGeometry();
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (std::none_of(screens.begin(), screens.end(), [&](const QScreen *s) { return s->geometry().intersects(frame); }))
        return false;
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return false;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    return screen && X11WindowVisibility::isVisible(connection, screen->root, xcb_window_t(window.winId()));
}
