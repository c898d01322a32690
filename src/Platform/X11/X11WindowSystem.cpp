#include "Platform/X11/X11WindowSystem.h"

#include "Platform/X11/X11WindowReader.h"
#include "Platform/X11/XcbConnection.h"

#include <algorithm>
#include <unordered_map>

namespace {

constexpr std::size_t focusHistoryLimit = 64;

bool contains(const std::vector<xcb_window_t> &windows, xcb_window_t window)
{
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

void appendDistinct(std::vector<RunningApplication> &list, const RunningApplication &application)
{
    if (std::find(list.begin(), list.end(), application) == list.end())
        list.push_back(application);
}

} // namespace

struct X11WindowSystem::Impl {
    X11WindowSystem *q;
    std::shared_ptr<XcbConnection> x;
    bool access = false;
    xcb_window_t wmCheck = XCB_NONE;
    double rootHeight = 0;

    std::vector<xcb_window_t> clients;  // _NET_CLIENT_LIST order
    std::vector<xcb_window_t> stacking; // bottom to top
    std::unordered_map<xcb_window_t, RunningApplication> owners;
    xcb_window_t active = XCB_NONE;
    std::vector<xcb_window_t> focusHistory; // most recently active first

    std::optional<RunningApplication> observed;
    std::unordered_map<xcb_window_t, QSizeF> watchedSizes; // client and frame windows
    std::unordered_map<xcb_window_t, bool> watchedHidden;  // client windows

    bool usable() const { return x && x->isAlive(); }

    void start()
    {
        if (!usable())
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x->raw()));
        for (int i = 0; i < x->screenNumber() && screens.rem; ++i)
            xcb_screen_next(&screens);
        if (screens.rem)
            rootHeight = screens.data->height_in_pixels;
        selectInput(x->root(), XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        x->setEventHandler([this](const xcb_generic_event_t &event) { handle(event); });
        x->setErrorHandler([this] { lose(); });
        recheckAccess(false);
        x->scheduleDispatch();
    }

    void selectInput(xcb_window_t window, uint32_t mask)
    {
        xcb_change_window_attributes(x->raw(), window, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(x->raw());
    }

    // Access needs a live window manager (its check window names itself) that lists clients.
    void recheckAccess(bool announce)
    {
        xcb_ewmh_connection_t *ewmh = x->ewmh();
        xcb_window_t check = XCB_NONE, confirmed = XCB_NONE;
        const bool hasCheck = xcb_ewmh_get_supporting_wm_check_reply(
                                  ewmh, xcb_ewmh_get_supporting_wm_check(ewmh, x->root()), &check, nullptr) &&
                              xcb_ewmh_get_supporting_wm_check_reply(
                                  ewmh, xcb_ewmh_get_supporting_wm_check(ewmh, check), &confirmed, nullptr) &&
                              check == confirmed;
        bool listsClients = false;
        xcb_ewmh_get_atoms_reply_t supported;
        if (hasCheck && xcb_ewmh_get_supported_reply(ewmh, xcb_ewmh_get_supported(ewmh, x->screenNumber()),
                                                     &supported, nullptr)) {
            listsClients = std::find(supported.atoms, supported.atoms + supported.atoms_len,
                                     ewmh->_NET_CLIENT_LIST) != supported.atoms + supported.atoms_len;
            xcb_ewmh_get_atoms_reply_wipe(&supported);
        }
        if (hasCheck && check != wmCheck)
            selectInput(check, XCB_EVENT_MASK_STRUCTURE_NOTIFY); // to hear when the manager goes
        wmCheck = hasCheck ? check : XCB_NONE;
        const bool had = access;
        access = hasCheck && listsClients;
        if (access) {
            reloadClients(announce && had);
            reloadStacking();
            reloadActive(announce && had);
        } else if (had) {
            forgetClients();
        }
    }

    void lose()
    {
        access = false;
        forgetClients();
    }

    void forgetClients()
    {
        clients.clear();
        stacking.clear();
        owners.clear();
        active = XCB_NONE;
        focusHistory.clear();
        watchedSizes.clear();
        watchedHidden.clear();
    }

    std::vector<RunningApplication> applicationsOf(const std::vector<xcb_window_t> &windows) const
    {
        std::vector<RunningApplication> list;
        for (const xcb_window_t window : windows) {
            if (const auto it = owners.find(window); it != owners.end() && !it->second.appId.isEmpty())
                appendDistinct(list, it->second);
        }
        return list;
    }

    bool ownedByObserved(xcb_window_t window) const
    {
        const auto it = owners.find(window);
        return observed && it != owners.end() && it->second == *observed;
    }

    void reloadClients(bool announce)
    {
        std::vector<xcb_window_t> list =
            x->windowListProperty(x->root(), x->ewmh()->_NET_CLIENT_LIST).value_or(std::vector<xcb_window_t>{});
        const std::vector<RunningApplication> before = applicationsOf(clients);

        std::vector<xcb_window_t> added;
        for (const xcb_window_t window : list) {
            if (!owners.count(window))
                added.push_back(window);
        }
        const std::vector<RunningApplication> addedOwners = X11WindowReader::readApplications(*x, added);
        for (std::size_t i = 0; i < added.size(); ++i)
            owners[added[i]] = addedOwners[i];

        bool observedChanged = false;
        for (const xcb_window_t window : clients) {
            if (!contains(list, window)) {
                observedChanged = observedChanged || ownedByObserved(window);
                owners.erase(window);
                watchedHidden.erase(window);
                watchedSizes.erase(window);
            }
        }
        std::erase_if(focusHistory, [&](xcb_window_t window) { return !contains(list, window); });
        clients = std::move(list);
        for (const xcb_window_t window : added) {
            if (ownedByObserved(window)) {
                watch(window);
                observedChanged = true;
            }
        }

        const std::vector<RunningApplication> after = applicationsOf(clients);
        if (announce) {
            for (const RunningApplication &application : before) {
                if (std::find(after.begin(), after.end(), application) == after.end())
                    Q_EMIT q->applicationTerminated(application);
            }
            for (const RunningApplication &application : after) {
                if (std::find(before.begin(), before.end(), application) == before.end())
                    Q_EMIT q->applicationLaunched(application);
            }
        }
        if (observedChanged && observed)
            Q_EMIT q->observedWindowChanged(WindowChange::mainWindowChanged);
    }

    std::optional<xcb_window_t> topmostOf(const RunningApplication &application) const
    {
        for (auto it = stacking.rbegin(); it != stacking.rend(); ++it) {
            if (const auto owner = owners.find(*it); owner != owners.end() && owner->second == application)
                return *it;
        }
        return std::nullopt;
    }

    void reloadStacking()
    {
        const auto previous = observed ? topmostOf(*observed) : std::nullopt;
        stacking = x->windowListProperty(x->root(), x->ewmh()->_NET_CLIENT_LIST_STACKING)
                       .value_or(std::vector<xcb_window_t>{});
        if (observed && topmostOf(*observed) != previous)
            Q_EMIT q->observedWindowChanged(WindowChange::mainWindowChanged);
    }

    std::optional<RunningApplication> ownerOf(xcb_window_t window) const
    {
        const auto it = owners.find(window);
        if (it == owners.end() || it->second.appId.isEmpty())
            return std::nullopt;
        return it->second;
    }

    void reloadActive(bool announce)
    {
        xcb_ewmh_connection_t *ewmh = x->ewmh();
        xcb_window_t window = XCB_NONE;
        if (!xcb_ewmh_get_active_window_reply(ewmh, xcb_ewmh_get_active_window(ewmh, x->screenNumber()), &window,
                                              nullptr))
            window = XCB_NONE;
        if (window == active)
            return;
        const bool observedFocus = ownedByObserved(active) || ownedByObserved(window);
        const auto previousOwner = ownerOf(active);
        active = window;
        if (window != XCB_NONE) {
            std::erase(focusHistory, window);
            focusHistory.insert(focusHistory.begin(), window);
            if (focusHistory.size() > focusHistoryLimit)
                focusHistory.pop_back();
        }
        const auto owner = ownerOf(window);
        if (announce && owner && owner != previousOwner)
            Q_EMIT q->applicationActivated(*owner);
        if (announce && observedFocus)
            Q_EMIT q->observedWindowChanged(WindowChange::focusChanged);
    }

    void watch(xcb_window_t client)
    {
        const uint32_t clientMask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        selectInput(client, clientMask);
        watchedHidden[client] = X11WindowReader::readHidden(*x, client).value_or(false);
        const xcb_window_t frame = X11WindowReader::topLevelAncestor(*x, client);
        if (frame != client)
            selectInput(frame, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
        for (const xcb_window_t window : {client, frame}) {
            const auto info = X11WindowReader::readWindows(*x, {window});
            watchedSizes[window] = info.front().frame ? info.front().frame->size() : QSizeF();
        }
    }

    void handle(const xcb_generic_event_t &event)
    {
        switch (event.response_type & ~0x80) {
        case XCB_PROPERTY_NOTIFY: onProperty(reinterpret_cast<const xcb_property_notify_event_t &>(event)); break;
        case XCB_CONFIGURE_NOTIFY: onConfigure(reinterpret_cast<const xcb_configure_notify_event_t &>(event)); break;
        case XCB_DESTROY_NOTIFY:
            if (reinterpret_cast<const xcb_destroy_notify_event_t &>(event).window == wmCheck)
                recheckAccess(true);
            break;
        default: break; // errors of requests nobody waits for, and events we did not ask for
        }
    }

    void onProperty(const xcb_property_notify_event_t &event)
    {
        xcb_ewmh_connection_t *ewmh = x->ewmh();
        if (event.window != x->root()) {
            if (event.atom == ewmh->_NET_WM_STATE && watchedHidden.count(event.window))
                onStateChanged(event.window);
            return;
        }
        if (event.atom == ewmh->_NET_SUPPORTED || event.atom == ewmh->_NET_SUPPORTING_WM_CHECK)
            recheckAccess(true);
        if (!access)
            return;
        if (event.atom == ewmh->_NET_CLIENT_LIST)
            reloadClients(true);
        else if (event.atom == ewmh->_NET_CLIENT_LIST_STACKING)
            reloadStacking();
        else if (event.atom == ewmh->_NET_ACTIVE_WINDOW)
            reloadActive(true);
        else if (event.atom == ewmh->_NET_CURRENT_DESKTOP)
            Q_EMIT q->activeDesktopChanged();
    }

    void onStateChanged(xcb_window_t window)
    {
        const bool hidden = X11WindowReader::readHidden(*x, window).value_or(false);
        bool &known = watchedHidden[window];
        if (hidden == known)
            return;
        known = hidden;
        Q_EMIT q->observedWindowChanged(hidden ? WindowChange::minimized : WindowChange::restored);
    }

    void onConfigure(const xcb_configure_notify_event_t &event)
    {
        if (event.window == x->root()) {
            rootHeight = event.height;
            return;
        }
        const auto it = watchedSizes.find(event.window);
        if (it == watchedSizes.end())
            return;
        const QSizeF size(event.width + 2.0 * event.border_width, event.height + 2.0 * event.border_width);
        const bool resized = it->second != size;
        it->second = size;
        Q_EMIT q->observedWindowChanged(resized ? WindowChange::resized : WindowChange::moved);
    }

    void unwatchAll()
    {
        if (usable()) {
            for (const auto &[window, size] : watchedSizes)
                selectInput(window, XCB_EVENT_MASK_NO_EVENT);
        }
        watchedSizes.clear();
        watchedHidden.clear();
    }
};

X11WindowSystem::X11WindowSystem(std::shared_ptr<XcbConnection> connection, QObject *parent)
    : WindowSystem(parent), d(std::make_unique<Impl>())
{
    d->q = this;
    d->x = std::move(connection);
    d->start();
}

X11WindowSystem::~X11WindowSystem()
{
    if (d->x) {
        d->unwatchAll();
        d->x->setEventHandler({});
        d->x->setErrorHandler({});
    }
}

bool X11WindowSystem::hasWindowAccess() const { return d->access && d->usable(); }

QString X11WindowSystem::accessProblem() const
{
    if (hasWindowAccess())
        return {};
    if (!d->usable())
        return QStringLiteral("No X server answers on this display.");
    return QStringLiteral("The X server has no window manager that lists its windows (EWMH).");
}

QList<RunningApplication> X11WindowSystem::runningApplications(const QString &appId) const
{
    QList<RunningApplication> found;
    if (!hasWindowAccess() || appId.isEmpty())
        return found;
    for (const RunningApplication &application : d->applicationsOf(d->clients)) {
        if (application.appId == appId)
            found.append(application);
    }
    return found;
}

ApplicationWindows X11WindowSystem::windows(const RunningApplication &application) const
{
    if (!hasWindowAccess())
        return {};
    std::vector<xcb_window_t> listed;
    for (const xcb_window_t window : d->clients) {
        if (d->ownerOf(window) == application)
            listed.push_back(window);
    }
    if (listed.empty())
        return {};
    std::optional<xcb_window_t> focused;
    for (const xcb_window_t window : d->focusHistory) {
        if (contains(listed, window)) {
            focused = window;
            break;
        }
    }
    const std::optional<xcb_window_t> main = d->topmostOf(application);

    // The focused and main windows are among the listed ones, so each window is read once.
    const std::vector<WindowInfo> infos = X11WindowReader::readWindows(*d->x, listed);
    d->x->scheduleDispatch();
    auto infoOf = [&](std::optional<xcb_window_t> window) -> std::optional<WindowInfo> {
        const auto it = window ? std::find(listed.begin(), listed.end(), *window) : listed.end();
        if (it == listed.end())
            return std::nullopt;
        return infos[static_cast<std::size_t>(it - listed.begin())];
    };
    return {infoOf(focused), infoOf(main), infos};
}

std::optional<RunningApplication> X11WindowSystem::frontmostApplication() const
{
    if (!hasWindowAccess() || d->active == XCB_NONE)
        return std::nullopt;
    return d->ownerOf(d->active);
}

double X11WindowSystem::primaryScreenHeight() const { return d->usable() ? d->rootHeight : 0; }

bool X11WindowSystem::observe(const RunningApplication &application)
{
    stopObserving();
    if (!hasWindowAccess())
        return false;
    d->observed = application;
    for (const xcb_window_t window : d->clients) {
        if (d->ownerOf(window) == application)
            d->watch(window);
    }
    d->x->scheduleDispatch();
    return true;
}

void X11WindowSystem::stopObserving()
{
    d->unwatchAll();
    d->observed.reset();
}
