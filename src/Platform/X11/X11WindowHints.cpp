#include "Platform/X11/X11WindowHints.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <array>
#include <cstdlib>

namespace {

xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(qstrlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

void markStickyUtilityWindowBeforeMapping(quint64 nativeWindow)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t *connection = x11->connection();
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    // Qt merges its own states (above, for a stays-on-top window) into this list when it maps.
    const std::array<xcb_atom_t, 4> states = {
        internAtom(connection, "_NET_WM_STATE_STICKY"), internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
        internAtom(connection, "_NET_WM_STATE_SKIP_PAGER"), internAtom(connection, "_NET_WM_STATE_ABOVE")};
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, "_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, states.size(), states.data());
    constexpr uint32_t allDesktops = 0xFFFFFFFFu;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
}
