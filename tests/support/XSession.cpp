#include "support/XSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xcb.h>

#include <sys/prctl.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

constexpr auto startTimeout = std::chrono::seconds(15);

xcb_atom_t atom(xcb_connection_t *x, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : XCB_NONE;
    std::free(reply);
    return result;
}

std::vector<uint32_t> cardinals(xcb_connection_t *x, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr);
    std::vector<uint32_t> values;
    if (reply && reply->format == 32) {
        const auto *data = static_cast<const uint32_t *>(xcb_get_property_value(reply));
        values.assign(data, data + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    return values;
}

bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
    return true;
}

} // namespace

XSession::XSession() = default;

XSession::~XSession()
{
    for (auto &client : m_clients) {
        client->kill();
        client->waitForFinished(2000);
    }
    m_clients.clear();
    stopWindowManager();
    stopServer();
}

QProcess *XSession::spawn(const QString &program, const QStringList &arguments)
{
    auto *process = new QProcess;
    process->setProgram(program);
    process->setArguments(arguments);
    process->setProcessEnvironment(environment());
    // Whatever happens to the test, nothing it started outlives it.
    process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    return process;
}

bool XSession::start(QSize screen, bool withWindowManager)
{
    m_screen = screen;
    const QString geometry = QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height());
    m_server.reset(spawn(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                  QStringLiteral("-screen"), QStringLiteral("0"), geometry,
                                                  QStringLiteral("-nolisten"), QStringLiteral("tcp")}));
    m_server->setProcessChannelMode(QProcess::SeparateChannels);
    m_server->start();
    if (!m_server->waitForStarted(5000)) {
        m_error = QStringLiteral("Xvfb could not be started (%1); install the xvfb package")
                      .arg(m_server->errorString());
        return false;
    }
    // Xvfb writes the display number it took once it accepts connections.
    QByteArray number;
    const bool announced = waitFor(
        [&] {
            number += m_server->readAllStandardOutput();
            return number.contains('\n') || m_server->state() != QProcess::Running;
        },
        startTimeout);
    if (!announced || !number.contains('\n')) {
        m_error = QStringLiteral("Xvfb did not announce a display: %1")
                      .arg(QString::fromLocal8Bit(m_server->readAllStandardError()));
        return false;
    }
    if (!connect(':' + number.trimmed()))
        return false;
    return !withWindowManager || startWindowManager();
}

bool XSession::join(const QByteArray &displayName)
{
    if (!connect(displayName.isEmpty() ? qgetenv("DISPLAY") : displayName))
        return false;
    m_screen = QSize(xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->width_in_pixels,
                     xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->height_in_pixels);
    m_managed = !cardinals(m_x, m_root, atom(m_x, "_NET_SUPPORTED")).empty();
    return true;
}

bool XSession::connect(const QByteArray &displayName)
{
    m_display = displayName;
    m_x = xcb_connect(m_display.constData(), nullptr);
    if (xcb_connection_has_error(m_x)) {
        m_error = QStringLiteral("cannot connect to the X server on %1").arg(QString::fromLatin1(m_display));
        return false;
    }
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root;
    return true;
}

bool XSession::startWindowManager()
{
    m_windowManager.reset(spawn(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")}));
    m_windowManager->start();
    if (!m_windowManager->waitForStarted(5000)) {
        m_error = QStringLiteral("openbox could not be started (%1); install the openbox package")
                      .arg(m_windowManager->errorString());
        return false;
    }
    if (!waitForWindowManager(startTimeout)) {
        m_error = QStringLiteral("openbox did not start managing windows: %1")
                      .arg(QString::fromLocal8Bit(m_windowManager->readAllStandardError()));
        return false;
    }
    m_managed = true;
    return true;
}

// openbox publishes _NET_SUPPORTED before it manages windows, and a window mapped in between can
// stay unmanaged; so a probe window is mapped until the manager lists it.
bool XSession::waitForWindowManager(std::chrono::milliseconds timeout)
{
    const xcb_atom_t supported = atom(m_x, "_NET_SUPPORTED");
    if (!waitFor([&] { return !cardinals(m_x, m_root, supported).empty(); }, timeout))
        return false;
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_x)).data;
    QDeadlineTimer deadline(timeout);
    while (!deadline.hasExpired()) {
        const xcb_window_t probe = xcb_generate_id(m_x);
        xcb_create_window(m_x, XCB_COPY_FROM_PARENT, probe, m_root, 0, 0, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, 0, nullptr);
        xcb_map_window(m_x, probe);
        xcb_flush(m_x);
        auto listed = [&] {
            const std::vector<quint32> clients = clientWindows();
            return std::find(clients.begin(), clients.end(), probe) != clients.end();
        };
        const bool managed = waitFor(listed, std::chrono::milliseconds(300));
        xcb_destroy_window(m_x, probe);
        xcb_flush(m_x);
        if (managed)
            return waitFor([&] { return !listed(); }, timeout);
    }
    return false;
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!m_display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), QString::fromLatin1(m_display));
    return environment;
}

std::vector<quint32> XSession::clientWindows()
{
    if (!m_x)
        return {};
    const std::vector<uint32_t> list = cardinals(m_x, m_root, atom(m_x, "_NET_CLIENT_LIST"));
    return {list.begin(), list.end()};
}

quint32 XSession::windowOfPid(qint64 pid)
{
    const xcb_atom_t pidAtom = atom(m_x, "_NET_WM_PID");
    for (const quint32 window : clientWindows()) {
        const std::vector<uint32_t> value = cardinals(m_x, window, pidAtom);
        if (!value.empty() && value.front() == pid)
            return window;
    }
    return 0;
}

XSession::Client XSession::startXterm(const QStringList &arguments)
{
    QProcess *process = spawn(QStringLiteral("xterm"),
                              arguments + QStringList{QStringLiteral("-e"), QStringLiteral("sleep"),
                                                      QStringLiteral("3600")});
    m_clients.emplace_back(process);
    process->start();
    Client client{process, 0};
    if (!process->waitForStarted(5000)) {
        m_error = QStringLiteral("xterm could not be started (%1); install the xterm package")
                      .arg(process->errorString());
        return client;
    }
    if (!m_managed)
        return client;
    if (!waitFor([&] { return (client.window = windowOfPid(process->processId())) != 0; }, startTimeout))
        m_error = QStringLiteral("the window manager never listed the xterm's window");
    return client;
}

bool XSession::stopClient(Client &client)
{
    if (!client.process)
        return true;
    const quint32 window = client.window;
    client.process->terminate();
    client.process->waitForFinished(5000);
    client.window = 0;
    return waitFor(
        [&] {
            const std::vector<quint32> clients = clientWindows();
            return std::find(clients.begin(), clients.end(), window) == clients.end();
        },
        startTimeout);
}

QByteArray XSession::run(const QString &program, const QStringList &arguments)
{
    std::unique_ptr<QProcess> process(spawn(program, arguments));
    process->start();
    if (!process->waitForFinished(15000) || process->exitStatus() != QProcess::NormalExit ||
        process->exitCode() != 0) {
        m_error = QStringLiteral("%1 %2 failed: %3")
                      .arg(program, arguments.join(QLatin1Char(' ')),
                           QString::fromLocal8Bit(process->readAllStandardError()) + process->errorString());
        return {};
    }
    return process->readAllStandardOutput();
}

QRect XSession::frameGeometry(quint32 window)
{
    xcb_window_t current = window;
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(m_x, xcb_query_tree(m_x, current), nullptr);
        if (!tree)
            return {};
        const bool top = tree->parent == tree->root || tree->parent == XCB_NONE;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (top)
            break;
        current = parent;
    }
    xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(m_x, xcb_get_geometry(m_x, current), nullptr);
    if (!geometry)
        return {};
    const int border = geometry->border_width;
    const QRect frame(geometry->x, geometry->y, geometry->width + 2 * border, geometry->height + 2 * border);
    std::free(geometry);
    return frame;
}

void XSession::configure(quint32 window, QRect geometry, bool move, bool resize)
{
    uint16_t mask = 0;
    std::vector<uint32_t> values;
    if (move) {
        mask |= XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y;
        values.push_back(static_cast<uint32_t>(geometry.x()));
        values.push_back(static_cast<uint32_t>(geometry.y()));
    }
    if (resize) {
        mask |= XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT;
        values.push_back(static_cast<uint32_t>(geometry.width()));
        values.push_back(static_cast<uint32_t>(geometry.height()));
    }
    xcb_configure_window(m_x, window, mask, values.data());
    xcb_flush(m_x);
}

void XSession::stopWindowManager()
{
    if (m_windowManager) {
        m_windowManager->terminate();
        if (!m_windowManager->waitForFinished(3000))
            m_windowManager->kill();
        m_windowManager->waitForFinished(2000);
        m_windowManager.reset();
        m_managed = false;
    }
}

void XSession::stopServer()
{
    if (m_x) {
        xcb_disconnect(m_x);
        m_x = nullptr;
    }
    if (m_server) {
        m_server->terminate();
        if (!m_server->waitForFinished(3000))
            m_server->kill();
        m_server->waitForFinished(2000);
        m_server.reset();
    }
}
