#include "Platform/X11/X11WindowHints.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
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

void markStickyUtilityWindow(quint64 nativeWindow)
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    xcb_connection_t *connection = x11->connection();
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto send = [&](xcb_atom_t type, std::array<uint32_t, 5> data) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = type;
        std::copy(data.begin(), data.end(), event.data.data32);
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
    };
    constexpr uint32_t add = 1;
    constexpr uint32_t fromApplication = 1;
    const xcb_atom_t state = internAtom(connection, "_NET_WM_STATE");
    send(state, {add, internAtom(connection, "_NET_WM_STATE_STICKY"), internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                 fromApplication, 0});
    send(state, {add, internAtom(connection, "_NET_WM_STATE_SKIP_PAGER"), internAtom(connection, "_NET_WM_STATE_ABOVE"),
                 fromApplication, 0});
    send(internAtom(connection, "_NET_WM_DESKTOP"), {0xFFFFFFFFu, fromApplication, 0, 0, 0});
    xcb_flush(connection);
}
