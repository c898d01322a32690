#include "Platform/DBusDesktop/DBusDesktopWindowSystem.h"

#include "Platform/DBusDesktop/CompositorScripts.h"
#include "Platform/DBusDesktop/DesktopWindowsReceiver.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

using DesktopWindows::Window;

namespace {

constexpr std::size_t focusHistoryLimit = 64;

WindowInfo infoOf(const Window &window) { return {qHash(window.id, 0), window.frame, window.minimized, window.title}; }

bool sameApplication(const Window &window, const RunningApplication &application)
{
    return window.application == application;
}

// A native id names one of this process's windows; its title is what the compositor side sees.
QString ownWindowTitle(quint64 nativeWindow)
{
    const QList<QWindow *> windows = QGuiApplication::allWindows();
    const auto it = std::find_if(windows.begin(), windows.end(),
                                 [nativeWindow](QWindow *window) { return window->winId() == nativeWindow; });
    return it == windows.end() ? QString() : (*it)->title();
}

} // namespace

struct DBusDesktopWindowSystem::Impl {
    DBusDesktopWindowSystem *q;
    DesktopFamily family;
    QDBusConnection bus;
    DesktopWindowsReceiver receiver;
    QDBusServiceWatcher peerWatcher;
    QString setupProblem; // why the compositor's side could not be started or reached
    QString lostProblem;
    bool access = false;
    QSizeF screen;

    std::vector<Window> windows; // in the order the compositor side reported them
    std::vector<QString> focusHistory; // window ids, most recently focused first
    std::optional<RunningApplication> observed;

    Impl(DBusDesktopWindowSystem *owner, DesktopFamily family, QDBusConnection connection, const Environment &env)
        : q(owner), family(family), bus(connection), receiver(connection, env)
    {
        peerWatcher.setConnection(bus);
        peerWatcher.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(&peerWatcher, &QDBusServiceWatcher::serviceUnregistered, q, [this](const QString &name) {
            if (name == receiver.peer())
                lose();
        });
        QObject::connect(&receiver, &DesktopWindowsReceiver::helloReceived, q,
                         [this](const QString &peer, const QVariantMap &session) { greet(peer, session); });
        QObject::connect(&receiver, &DesktopWindowsReceiver::windowAdded, q, [this](const Window &w) { add(w); });
        QObject::connect(&receiver, &DesktopWindowsReceiver::windowRemoved, q, [this](const QString &id) { remove(id); });
        QObject::connect(&receiver, &DesktopWindowsReceiver::windowChanged, q,
                         [this](const QString &id, const QVariantMap &change) { this->change(id, change); });
        QObject::connect(&receiver, &DesktopWindowsReceiver::activated, q,
                         [this](const QString &id) { activate(id); });
    }

    QString sideName() const
    {
        return family == DesktopFamily::kde ? QStringLiteral("KWin script") : QStringLiteral("GNOME Shell extension");
    }

    void start(std::chrono::milliseconds helloWait)
    {
        if (!bus.isConnected()) {
            setupProblem = QStringLiteral("There is no D-Bus session bus to reach the %1 through.").arg(sideName());
            return;
        }
        if (!bus.registerObject(DesktopWindows::path, &receiver, QDBusConnection::ExportAllSlots)
            || !bus.registerService(DesktopWindows::service)) {
            setupProblem = QStringLiteral("Another program holds the D-Bus name %1 (is Corvane running twice?).")
                               .arg(DesktopWindows::service);
            return;
        }
        if (family == DesktopFamily::kde)
            setupProblem = KWinScript::load(bus).value_or(QString());
        // An extension that is not running now will not report in a moment from now either.
        const bool peerExpected = family == DesktopFamily::kde || GnomeShellExtension::problem(bus).isEmpty();
        if (setupProblem.isEmpty() && peerExpected)
            waitForHello(helloWait);
    }

    void waitForHello(std::chrono::milliseconds wait)
    {
        QEventLoop loop;
        QObject::connect(&receiver, &DesktopWindowsReceiver::helloReceived, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        QTimer::singleShot(wait, &loop, &QEventLoop::quit);
        if (!access)
            loop.exec();
    }

    void greet(const QString &peer, const QVariantMap &session)
    {
        if (access)
            lose(); // a restarted script: what the old one reported is gone
        access = true;
        lostProblem.clear();
        screen = DesktopWindows::screenSizeFrom(session);
        peerWatcher.setWatchedServices({peer});
    }

    void lose()
    {
        if (!access)
            return;
        access = false;
        receiver.forgetPeer();
        lostProblem = QStringLiteral("The %1 stopped answering (the compositor restarted or it was turned off).")
                          .arg(sideName());
        const std::vector<RunningApplication> gone = applications();
        windows.clear();
        focusHistory.clear();
        for (const RunningApplication &application : gone)
            Q_EMIT q->applicationTerminated(application);
    }

    std::vector<RunningApplication> applications() const
    {
        std::vector<RunningApplication> list;
        for (const Window &window : windows) {
            if (!window.application.appId.isEmpty()
                && std::find(list.begin(), list.end(), window.application) == list.end())
                list.push_back(window.application);
        }
        return list;
    }

    bool hasWindows(const RunningApplication &application) const
    {
        return std::any_of(windows.begin(), windows.end(),
                           [&](const Window &window) { return sameApplication(window, application); });
    }

    Window *find(const QString &id)
    {
        const auto it = std::find_if(windows.begin(), windows.end(), [&](const Window &w) { return w.id == id; });
        return it == windows.end() ? nullptr : &*it;
    }

    void add(const Window &window)
    {
        if (find(window.id))
            remove(window.id);
        const bool launched = !window.application.appId.isEmpty() && !hasWindows(window.application);
        windows.push_back(window);
        if (launched)
            Q_EMIT q->applicationLaunched(window.application);
        announceObservedWindows(window.application);
        if (window.focused)
            activate(window.id);
    }

    void remove(const QString &id)
    {
        const Window *window = find(id);
        if (!window)
            return;
        const RunningApplication application = window->application;
        std::erase_if(windows, [&](const Window &w) { return w.id == id; });
        std::erase(focusHistory, id);
        announceObservedWindows(application);
        if (!application.appId.isEmpty() && !hasWindows(application))
            Q_EMIT q->applicationTerminated(application);
    }

    void announceObservedWindows(const RunningApplication &application)
    {
        if (observed && application == *observed)
            Q_EMIT q->observedWindowChanged(WindowChange::mainWindowChanged);
    }

    void change(const QString &id, const QVariantMap &change)
    {
        Window *window = find(id);
        if (!window)
            return;
        const Window before = *window;
        if (!DesktopWindows::applyChange(*window, change) || !observed || window->application != *observed)
            return;
        if (window->minimized != before.minimized)
            Q_EMIT q->observedWindowChanged(window->minimized ? WindowChange::minimized : WindowChange::restored);
        if (window->frame.size() != before.frame.size())
            Q_EMIT q->observedWindowChanged(WindowChange::resized);
        else if (window->frame.topLeft() != before.frame.topLeft())
            Q_EMIT q->observedWindowChanged(WindowChange::moved);
    }

    const Window *focused() const
    {
        const auto it = std::find_if(windows.begin(), windows.end(), [](const Window &w) { return w.focused; });
        return it == windows.end() ? nullptr : &*it;
    }

    void activate(const QString &id)
    {
        const Window *was = focused();
        const std::optional<RunningApplication> wasApplication =
            was ? std::optional(was->application) : std::nullopt;
        for (Window &window : windows)
            window.focused = window.id == id;
        const Window *now = focused();
        if (!now || (was && was->id == now->id))
            return;
        std::erase(focusHistory, id);
        focusHistory.insert(focusHistory.begin(), id);
        if (focusHistory.size() > focusHistoryLimit)
            focusHistory.pop_back();
        if (wasApplication != now->application)
            Q_EMIT q->applicationActivated(now->application);
        if (observed && (now->application == *observed || wasApplication == *observed))
            Q_EMIT q->observedWindowChanged(WindowChange::focusChanged);
    }
};

DBusDesktopWindowSystem::DBusDesktopWindowSystem(DesktopFamily family, QDBusConnection bus, const Environment &env,
                                                 QObject *parent)
    : WindowSystem(parent), d(std::make_unique<Impl>(this, family, std::move(bus), env))
{
    d->start(env.delays.compositorHello);
}

DBusDesktopWindowSystem::~DBusDesktopWindowSystem()
{
    if (d->family == DesktopFamily::kde && d->setupProblem.isEmpty())
        KWinScript::unload(d->bus);
    d->bus.unregisterService(DesktopWindows::service);
    d->bus.unregisterObject(DesktopWindows::path);
}

bool DBusDesktopWindowSystem::hasWindowAccess() const { return d->access; }

QString DBusDesktopWindowSystem::backendName() const { return d->sideName(); }

QString DBusDesktopWindowSystem::accessProblem() const
{
    if (d->access)
        return {};
    if (!d->setupProblem.isEmpty())
        return d->setupProblem;
    if (d->family == DesktopFamily::gnome) {
        const QString extension = GnomeShellExtension::problem(d->bus);
        if (!extension.isEmpty())
            return extension;
    }
    if (!d->lostProblem.isEmpty())
        return d->lostProblem;
    return QStringLiteral("The %1 is running but has not reported any windows to Corvane.").arg(d->sideName());
}

QList<RunningApplication> DBusDesktopWindowSystem::runningApplications(const QString &appId) const
{
    QList<RunningApplication> found;
    for (const RunningApplication &application : d->applications()) {
        if (!appId.isEmpty() && application.appId == appId)
            found.append(application);
    }
    return found;
}

ApplicationWindows DBusDesktopWindowSystem::windows(const RunningApplication &application) const
{
    ApplicationWindows result;
    for (const Window &window : d->windows) {
        if (sameApplication(window, application))
            result.listed.push_back(infoOf(window));
    }
    // The most recently focused window in sight is the main one; the first listed without one.
    std::optional<WindowInfo> mainInSight;
    for (const QString &id : d->focusHistory) {
        const Window *window = d->find(id);
        if (!window || !sameApplication(*window, application))
            continue;
        if (!result.focused)
            result.focused = infoOf(*window);
        if (!window->minimized) {
            mainInSight = infoOf(*window);
            break;
        }
    }
    if (!mainInSight) {
        const auto shown = std::find_if(result.listed.begin(), result.listed.end(),
                                        [](const WindowInfo &info) { return !info.isMinimized.value_or(false); });
        if (shown != result.listed.end())
            mainInSight = *shown;
        else if (!result.listed.empty())
            mainInSight = result.listed.front();
    }
    result.main = mainInSight;
    return result;
}

std::optional<RunningApplication> DBusDesktopWindowSystem::frontmostApplication() const
{
    const Window *window = d->focused();
    if (!window || window->application.appId.isEmpty())
        return std::nullopt;
    return window->application;
}

double DBusDesktopWindowSystem::primaryScreenHeight() const { return d->access ? d->screen.height() : 0; }

bool DBusDesktopWindowSystem::observe(const RunningApplication &application)
{
    stopObserving();
    if (!d->access)
        return false;
    d->observed = application;
    return true;
}

void DBusDesktopWindowSystem::stopObserving() { d->observed.reset(); }

bool DBusDesktopWindowSystem::placeOwnWindow(quint64 nativeWindow, const QRectF &frame)
{
    const QString title = ownWindowTitle(nativeWindow);
    if (!d->access || title.isEmpty())
        return false;
    d->receiver.setPlacement(QCoreApplication::applicationPid(), title, frame);
    return true;
}
