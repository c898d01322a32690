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

xcb_connection_t *x11Connection()
{
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

std::array<xcb_atom_t, 4> stickyStates(xcb_connection_t *connection)
{
    return {internAtom(connection, "_NET_WM_STATE_STICKY"), internAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
            internAtom(connection, "_NET_WM_STATE_SKIP_PAGER"), internAtom(connection, "_NET_WM_STATE_ABOVE")};
}

constexpr uint32_t allDesktops = 0xFFFFFFFFu;

} // namespace

void markStickyUtilityWindowBeforeMapping(quint64 nativeWindow)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
    const auto window = static_cast<xcb_window_t>(nativeWindow);
    // Qt merges its own states (above, for a stays-on-top window) into this list when it maps.
    const std::array<xcb_atom_t, 4> states = stickyStates(connection);
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, "_NET_WM_STATE"),
                        XCB_ATOM_ATOM, 32, states.size(), states.data());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, internAtom(connection, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &allDesktops);
    xcb_flush(connection);
}

void markStickyUtilityWindow(quint64 nativeWindow)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return;
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
    const std::array<xcb_atom_t, 4> states = stickyStates(connection);
    send(state, {add, states[0], states[1], fromApplication, 0});
    send(state, {add, states[2], states[3], fromApplication, 0});
    send(internAtom(connection, "_NET_WM_DESKTOP"), {allDesktops, fromApplication, 0, 0, 0});
    xcb_flush(connection);
}

bool isStillManaged(quint64 nativeWindow)
{
    xcb_connection_t *connection = x11Connection();
    if (!connection)
        return false;
    const xcb_atom_t wmState = internAtom(connection, "WM_STATE");
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(nativeWindow), wmState, wmState, 0, 1);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(connection, cookie, nullptr);
    constexpr uint32_t withdrawn = 0;
    const bool managed = reply && xcb_get_property_value_length(reply) >= 4
        && *static_cast<const uint32_t *>(xcb_get_property_value(reply)) != withdrawn;
    std::free(reply);
    return managed;
}
