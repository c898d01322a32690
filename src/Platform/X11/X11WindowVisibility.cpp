#include "Platform/X11/X11WindowVisibility.h"

#include <QRect>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace X11WindowVisibility {

namespace {

struct FreeReply {
    void operator()(void *reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

bool viewable(xcb_connection_t *x, xcb_window_t window, bool *inputOnly = nullptr)
{
    const Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr));
    if (!attributes)
        return false;
    if (inputOnly)
        *inputOnly = attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY;
    return attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

// The window's outer rectangle (border included) in root coordinates; empty on failure.
QRect rootRect(xcb_connection_t *x, xcb_window_t root, xcb_window_t window)
{
    const Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr));
    if (!geometry)
        return {};
    const Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, window, root, 0, 0), nullptr));
    if (!origin)
        return {};
    const int border = geometry->border_width;
    return QRect(origin->dst_x - border, origin->dst_y - border, geometry->width + 2 * border,
                 geometry->height + 2 * border);
}

// The ancestor of window that is a child of the root (the window manager's frame, if any).
xcb_window_t topLevel(xcb_connection_t *x, xcb_window_t root, xcb_window_t window)
{
    for (int depth = 0; depth < 64; ++depth) {
        const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x, xcb_query_tree(x, window), nullptr));
        if (!tree)
            return XCB_NONE;
        if (tree->parent == root || tree->parent == XCB_NONE)
            return window;
        window = tree->parent;
    }
    return XCB_NONE;
}

// The top-level windows stacked above the one that holds `window`, bottom to top; nullopt on failure.
std::optional<std::vector<xcb_window_t>> windowsAbove(xcb_connection_t *x, xcb_window_t root, xcb_window_t window)
{
    const xcb_window_t ours = topLevel(x, root, window);
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr));
    if (ours == XCB_NONE || !tree)
        return std::nullopt;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    const xcb_window_t *at = std::find(children, children + count, ours);
    if (at == children + count)
        return std::nullopt;
    return std::vector<xcb_window_t>(at + 1, children + count);
}

} // namespace

QRegion uncoveredPart(xcb_connection_t *x, xcb_window_t root, xcb_window_t window, const QRect &area)
{
    if (!x || !viewable(x, window))
        return {};
    const auto above = windowsAbove(x, root, window);
    if (!above)
        return {};
    const QRect placed = rootRect(x, root, window);
    if (placed.isEmpty())
        return {};
    QRegion uncovered(area.translated(placed.topLeft()));
    for (const xcb_window_t other : *above) {
        bool inputOnly = false;
        if (viewable(x, other, &inputOnly) && !inputOnly)
            uncovered -= rootRect(x, root, other);
    }
    return uncovered;
}

bool isVisible(xcb_connection_t *x, xcb_window_t root, xcb_window_t window)
{
    if (!x || !viewable(x, window))
        return false;
    const QRect screen = rootRect(x, root, root);
    const QRect shown = rootRect(x, root, window).intersected(screen);
    if (shown.isEmpty())
        return false;
    const xcb_window_t ours = topLevel(x, root, window);
    const Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr));
    if (ours == XCB_NONE || !tree)
        return false;
    // Children come bottom to top: only the ones after ours can cover it.
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    bool above = false;
    for (int i = 0; i < count; ++i) {
        if (children[i] == ours) {
            above = true;
            continue;
        }
        bool inputOnly = false;
        if (!above || !viewable(x, children[i], &inputOnly) || inputOnly)
            continue;
        if (rootRect(x, root, children[i]).contains(shown))
            return false;
    }
    return above;
}

} // namespace X11WindowVisibility
