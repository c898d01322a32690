#include "Platform/X11/XcbConnection.h"

#include "Platform/X11/X11Display.h"

#include <QAbstractEventDispatcher>
#include <QSocketNotifier>
#include <QThread>

#include <cstdlib>
#include <cstring>

std::shared_ptr<XcbConnection> openXcbConnection(const QByteArray &displayName)
{
    int screen = 0;
    xcb_connection_t *connection = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screen);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection)
            xcb_disconnect(connection);
        return nullptr;
    }
    return std::make_shared<XcbConnection>(connection, screen);
}

bool xServerAnswers(const QByteArray &displayName)
{
    xcb_connection_t *connection = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), nullptr);
    const bool answers = connection && !xcb_connection_has_error(connection);
    if (connection)
        xcb_disconnect(connection);
    return answers;
}

XcbConnection::XcbConnection(xcb_connection_t *connection, int screenNumber)
    : m_connection(connection), m_screenNumber(screenNumber)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (screens.rem)
        m_root = screens.data->root;

    xcb_intern_atom_cookie_t *cookies = xcb_ewmh_init_atoms(m_connection, &m_ewmh);
    m_ewmhReady = xcb_ewmh_init_atoms_replies(&m_ewmh, cookies, nullptr) != 0;
    m_gtkApplicationId = internAtom("_GTK_APPLICATION_ID");
    m_kdeDesktopFile = internAtom("_KDE_NET_WM_DESKTOP_FILE");

    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { dispatchEvents(true); });
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread())) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, m_notifier.get(),
                         [this] { dispatchEvents(false); });
    }
}

XcbConnection::~XcbConnection()
{
    m_notifier.reset();
    if (m_ewmhReady)
        xcb_ewmh_connection_wipe(&m_ewmh);
    xcb_disconnect(m_connection);
}

bool XcbConnection::isAlive() const { return xcb_connection_has_error(m_connection) == 0; }

void XcbConnection::setEventHandler(std::function<void(const xcb_generic_event_t &)> handler)
{
    m_onEvent = std::move(handler);
}

void XcbConnection::dispatchEvents(bool readSocket)
{
    // A handler may spin a nested event loop; the outer call keeps draining.
    if (m_dispatching || m_errorReported)
        return;
    m_dispatching = true;
    while (xcb_generic_event_t *event =
               readSocket ? xcb_poll_for_event(m_connection) : xcb_poll_for_queued_event(m_connection)) {
        if (m_onEvent)
            m_onEvent(*event);
        std::free(event);
    }
    m_dispatching = false;
    if (!isAlive())
        handleError();
}

void XcbConnection::scheduleDispatch()
{
    if (m_dispatchScheduled || m_errorReported)
        return;
    m_dispatchScheduled = true;
    QMetaObject::invokeMethod(
        m_notifier.get(),
        [this] {
            m_dispatchScheduled = false;
            dispatchEvents(false);
        },
        Qt::QueuedConnection);
}

void XcbConnection::handleError()
{
    if (m_errorReported)
        return;
    m_errorReported = true;
    m_notifier->setEnabled(false);
    if (m_onError)
        m_onError();
}

xcb_atom_t XcbConnection::internAtom(const char *name)
{
    const auto cookie = xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(m_connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return atom;
}

std::optional<std::vector<xcb_window_t>> XcbConnection::windowListProperty(xcb_window_t window, xcb_atom_t property)
{
    const auto cookie = xcb_get_property(m_connection, 0, window, property, XCB_ATOM_WINDOW, 0, 16384);
    xcb_get_property_reply_t *reply = xcb_get_property_reply(m_connection, cookie, nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<std::vector<xcb_window_t>> list;
    if (reply->type == XCB_ATOM_WINDOW && reply->format == 32) {
        const auto *data = static_cast<const xcb_window_t *>(xcb_get_property_value(reply));
        list.emplace(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return list;
}
