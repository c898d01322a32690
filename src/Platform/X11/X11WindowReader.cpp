#include "Platform/X11/X11WindowReader.h"

#include <cstdlib>
#include <memory>

namespace X11WindowReader {
namespace {

struct FreeDeleter {
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// Replies that failed carry an error, which is dropped here rather than left in the event queue.
template <typename T, typename Cookie, typename Fetch>
Reply<T> reply(XcbConnection &x, Cookie cookie, Fetch fetch)
{
    xcb_generic_error_t *error = nullptr;
    Reply<T> result(fetch(x.raw(), cookie, &error));
    std::free(error);
    return result;
}

xcb_get_property_cookie_t requestProperty(XcbConnection &x, xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property(x.raw(), 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096);
}

Reply<xcb_get_property_reply_t> propertyReply(XcbConnection &x, xcb_get_property_cookie_t cookie)
{
    return reply<xcb_get_property_reply_t>(x, cookie, xcb_get_property_reply);
}

// The property's bytes; absent when the window is gone, empty when the property is not set.
std::optional<QByteArray> bytes(XcbConnection &x, xcb_get_property_cookie_t cookie, xcb_atom_t *type = nullptr)
{
    const auto property = propertyReply(x, cookie);
    if (!property)
        return std::nullopt;
    if (type)
        *type = property->type;
    if (property->type == XCB_NONE || property->format != 8)
        return QByteArray();
    return QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())),
                      xcb_get_property_value_length(property.get()));
}

std::optional<std::vector<uint32_t>> cardinals(XcbConnection &x, xcb_get_property_cookie_t cookie)
{
    const auto property = propertyReply(x, cookie);
    if (!property)
        return std::nullopt;
    std::vector<uint32_t> values;
    if (property->type != XCB_NONE && property->format == 32) {
        const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(property.get()));
        values.assign(data, data + xcb_get_property_value_length(property.get()) / 4);
    }
    return values;
}

// The class part of WM_CLASS ("instance\0class\0").
QByteArray wmClassName(const QByteArray &wmClass)
{
    const qsizetype split = wmClass.indexOf('\0');
    if (split < 0)
        return {};
    QByteArray name = wmClass.mid(split + 1);
    const qsizetype end = name.indexOf('\0');
    return end < 0 ? name : name.left(end);
}

QString text(const QByteArray &raw, xcb_atom_t type, xcb_atom_t utf8)
{
    QByteArray trimmed = raw;
    while (trimmed.endsWith('\0'))
        trimmed.chop(1);
    return type == utf8 ? QString::fromUtf8(trimmed) : QString::fromLatin1(trimmed);
}

std::optional<QRectF> frameFrom(XcbConnection &x, xcb_get_geometry_cookie_t geometryCookie,
                                xcb_translate_coordinates_cookie_t originCookie,
                                xcb_get_property_cookie_t extentsCookie)
{
    const auto geometry = reply<xcb_get_geometry_reply_t>(x, geometryCookie, xcb_get_geometry_reply);
    const auto origin = reply<xcb_translate_coordinates_reply_t>(x, originCookie, xcb_translate_coordinates_reply);
    const auto extents = cardinals(x, extentsCookie);
    if (!geometry || !origin)
        return std::nullopt;
    // Left, right, top, bottom; without them the window's own border is its frame.
    const double border = geometry->border_width;
    double left = border, right = border, top = border, bottom = border;
    if (extents && extents->size() == 4) {
        left = (*extents)[0];
        right = (*extents)[1];
        top = (*extents)[2];
        bottom = (*extents)[3];
    }
    return QRectF(origin->dst_x - left, origin->dst_y - top, geometry->width + left + right,
                  geometry->height + top + bottom);
}

} // namespace

QString appIdFrom(const QByteArray &gtkApplicationId, const QByteArray &kdeDesktopFile, const QByteArray &wmClass)
{
    auto clean = [](QByteArray value) {
        while (value.endsWith('\0'))
            value.chop(1);
        return QString::fromUtf8(value).trimmed();
    };
    if (const QString gtk = clean(gtkApplicationId); !gtk.isEmpty())
        return gtk;
    QString kde = clean(kdeDesktopFile);
    if (kde.endsWith(QLatin1String(".desktop")))
        kde.chop(8);
    if (!kde.isEmpty())
        return kde;
    return clean(wmClassName(wmClass));
}

std::vector<RunningApplication> readApplications(XcbConnection &x, const std::vector<xcb_window_t> &windows)
{
    struct Cookies {
        xcb_get_property_cookie_t gtk, kde, wmClass, pid;
    };
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t window : windows) {
        cookies.push_back({requestProperty(x, window, x.gtkApplicationId()),
                           requestProperty(x, window, x.kdeDesktopFile()),
                           requestProperty(x, window, XCB_ATOM_WM_CLASS),
                           requestProperty(x, window, x.ewmh()->_NET_WM_PID)});
    }
    std::vector<RunningApplication> applications;
    applications.reserve(windows.size());
    for (const Cookies &c : cookies) {
        const QByteArray gtk = bytes(x, c.gtk).value_or(QByteArray());
        const QByteArray kde = bytes(x, c.kde).value_or(QByteArray());
        const QByteArray wmClass = bytes(x, c.wmClass).value_or(QByteArray());
        const auto pid = cardinals(x, c.pid);
        applications.push_back({appIdFrom(gtk, kde, wmClass), pid && !pid->empty() ? qint64(pid->front()) : 0});
    }
    return applications;
}

std::vector<WindowInfo> readWindows(XcbConnection &x, const std::vector<xcb_window_t> &windows)
{
    struct Cookies {
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_property_cookie_t extents, state, netName, name;
    };
    xcb_ewmh_connection_t *ewmh = x.ewmh();
    std::vector<Cookies> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t window : windows) {
        cookies.push_back({xcb_get_geometry(x.raw(), window), xcb_translate_coordinates(x.raw(), window, x.root(), 0, 0),
                           requestProperty(x, window, ewmh->_NET_FRAME_EXTENTS),
                           requestProperty(x, window, ewmh->_NET_WM_STATE),
                           requestProperty(x, window, ewmh->_NET_WM_NAME),
                           requestProperty(x, window, XCB_ATOM_WM_NAME)});
    }
    std::vector<WindowInfo> infos;
    infos.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const Cookies &c = cookies[i];
        WindowInfo info;
        info.handle = windows[i];
        info.frame = frameFrom(x, c.geometry, c.origin, c.extents);
        if (const auto state = cardinals(x, c.state))
            info.isMinimized = std::find(state->begin(), state->end(), ewmh->_NET_WM_STATE_HIDDEN) != state->end();
        xcb_atom_t netType = XCB_NONE, type = XCB_NONE;
        const auto netName = bytes(x, c.netName, &netType);
        const auto name = bytes(x, c.name, &type);
        if (netName && !netName->isEmpty())
            info.title = text(*netName, netType, ewmh->UTF8_STRING);
        else if (name && type != XCB_NONE)
            info.title = text(*name, type, ewmh->UTF8_STRING);
        infos.push_back(std::move(info));
    }
    return infos;
}

std::optional<bool> readHidden(XcbConnection &x, xcb_window_t window)
{
    const auto state = cardinals(x, requestProperty(x, window, x.ewmh()->_NET_WM_STATE));
    if (!state)
        return std::nullopt;
    return std::find(state->begin(), state->end(), x.ewmh()->_NET_WM_STATE_HIDDEN) != state->end();
}

xcb_window_t topLevelAncestor(XcbConnection &x, xcb_window_t window)
{
    xcb_window_t current = window;
    for (int depth = 0; depth < 16; ++depth) {
        const auto tree = reply<xcb_query_tree_reply_t>(x, xcb_query_tree(x.raw(), current), xcb_query_tree_reply);
        if (!tree || tree->parent == XCB_NONE || tree->parent == tree->root)
            return current;
        current = tree->parent;
    }
    return current;
}

} // namespace X11WindowReader
