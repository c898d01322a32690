#pragma once

#include <QByteArray>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

// One XCB connection with its EWMH atoms. Events are read when the connection's socket becomes
// readable and whenever the event loop is about to sleep (replies can pull events into XCB's
// queue without the socket waking us), then handed to the event handler.
class XcbConnection {
public:
    XcbConnection(xcb_connection_t *connection, int screenNumber);
    ~XcbConnection();
    XcbConnection(const XcbConnection &) = delete;
    XcbConnection &operator=(const XcbConnection &) = delete;

    xcb_connection_t *raw() const { return m_connection; }
    xcb_ewmh_connection_t *ewmh() { return &m_ewmh; }
    xcb_window_t root() const { return m_root; }
    int screenNumber() const { return m_screenNumber; }
    // False once the server went away; every request then fails.
    bool isAlive() const;

    xcb_atom_t gtkApplicationId() const { return m_gtkApplicationId; }
    xcb_atom_t kdeDesktopFile() const { return m_kdeDesktopFile; }

    // Receives every event; set by the one service that consumes events.
    void setEventHandler(std::function<void(const xcb_generic_event_t &)> handler);
    void setErrorHandler(std::function<void()> handler) { m_onError = std::move(handler); }

    // Hands every pending event to the handler; reads the socket only when asked to.
    void dispatchEvents(bool readSocket);
    // After replies were awaited outside the event handler: events that arrived with them wait
    // in XCB's queue, where the socket notifier cannot see them, so hand them over on the next
    // turn of the event loop.
    void scheduleDispatch();

    std::optional<std::vector<xcb_window_t>> windowListProperty(xcb_window_t window, xcb_atom_t property);

private:
    xcb_atom_t internAtom(const char *name);
    void handleError();

    xcb_connection_t *m_connection;
    int m_screenNumber;
    xcb_window_t m_root = XCB_NONE;
    xcb_ewmh_connection_t m_ewmh{};
    bool m_ewmhReady = false;
    xcb_atom_t m_gtkApplicationId = XCB_NONE;
    xcb_atom_t m_kdeDesktopFile = XCB_NONE;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(const xcb_generic_event_t &)> m_onEvent;
    std::function<void()> m_onError;
    bool m_errorReported = false;
    bool m_dispatching = false;
    bool m_dispatchScheduled = false;
};
