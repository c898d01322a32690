#include "Platform/X11/X11InputIdle.h"

#include "Platform/X11/XcbConnection.h"

#include <xcb/dpms.h>
#include <xcb/screensaver.h>

#include <cstdlib>

namespace {

bool hasExtension(xcb_connection_t *connection, xcb_extension_t *extension)
{
    const xcb_query_extension_reply_t *data = xcb_get_extension_data(connection, extension);
    return data && data->present;
}

} // namespace

X11InputIdle::X11InputIdle(std::shared_ptr<XcbConnection> connection) : m_x(std::move(connection))
{
    if (!m_x || !m_x->isAlive())
        return;
    m_hasScreenSaver = hasExtension(m_x->raw(), &xcb_screensaver_id);
    m_hasDpms = hasExtension(m_x->raw(), &xcb_dpms_id);
}

double X11InputIdle::secondsSinceLastInput() const
{
    if (!m_hasScreenSaver || !m_x->isAlive())
        return 0;
    xcb_generic_error_t *error = nullptr;
    xcb_screensaver_query_info_reply_t *info = xcb_screensaver_query_info_reply(
        m_x->raw(), xcb_screensaver_query_info(m_x->raw(), m_x->root()), &error);
    std::free(error);
    const double seconds = info ? info->ms_since_user_input / 1000.0 : 0;
    std::free(info);
    m_x->scheduleDispatch();
    return seconds;
}

bool X11InputIdle::isDisplayAwake() const
{
    if (!m_hasDpms || !m_x->isAlive())
        return true;
    xcb_generic_error_t *error = nullptr;
    xcb_dpms_info_reply_t *info = xcb_dpms_info_reply(m_x->raw(), xcb_dpms_info(m_x->raw()), &error);
    std::free(error);
    // With DPMS disabled the server never powers the display down.
    const bool awake = !info || !info->state || info->power_level == XCB_DPMS_DPMS_MODE_ON;
    std::free(info);
    m_x->scheduleDispatch();
    return awake;
}
