#include "Tracking/WindowTracker.h"

#include <QCoreApplication>

WindowTracker::WindowTracker(WindowSystem &windows, std::function<QString()> targetAppId, const Environment &env,
                             QObject *parent)
    : QObject(parent)
    , m_windows(windows)
    , m_targetAppId(std::move(targetAppId))
    , m_pendingRefresh(env.clock->createTimer(env.delays.trackerDebounce, Clock::Repeat::once, this,
                                              [this] { refreshNow(); }))
    , m_refreshTimer(env.clock->createTimer(env.delays.trackerPoll, Clock::Repeat::everyInterval, this,
                                            [this] { scheduleRefresh(); }))
{
}

void WindowTracker::start()
{
    if (m_started)
        return;
    m_started = true;
    connect(&m_windows, &WindowSystem::applicationLaunched, this,
            [this](const RunningApplication &application) { applicationChanged(application, false); });
    connect(&m_windows, &WindowSystem::applicationActivated, this,
            [this](const RunningApplication &application) { applicationChanged(application, false); });
    connect(&m_windows, &WindowSystem::applicationTerminated, this,
            [this](const RunningApplication &application) { applicationChanged(application, true); });
    connect(&m_windows, &WindowSystem::activeDesktopChanged, this, &WindowTracker::scheduleRefresh);
    m_refreshTimer->start();
    attach();
}

void WindowTracker::attach()
{
    const QList<RunningApplication> instances = targetInstances();
    if (instances.isEmpty()) {
        report({std::nullopt, false, false, false});
        return;
    }
    if (!m_windows.hasWindowAccess()) {
        report({std::nullopt, false, true, true});
        return;
    }
    m_attached = instances.front();
    // Without observation the tracker stays attached and relies on the poll.
    if (m_windows.observe(*m_attached))
        connect(&m_windows, &WindowSystem::observedWindowChanged, this, &WindowTracker::scheduleRefresh,
                Qt::UniqueConnection);
    scheduleRefresh();
}

void WindowTracker::detach()
{
    if (m_attached) {
        disconnect(&m_windows, &WindowSystem::observedWindowChanged, this, &WindowTracker::scheduleRefresh);
        m_windows.stopObserving();
    }
    m_attached.reset();
    m_pendingRefresh->stop();
}

void WindowTracker::scheduleRefresh() { m_pendingRefresh->start(); }

void WindowTracker::refreshNow()
{
    if (m_attached) {
        const std::optional<WindowInfo> window = targetWindow(*m_attached);
        if (window)
            report({windowFrame(*window), window->isMinimized.value_or(false), true, false});
        else
            report({std::nullopt, false, true, false});
        return;
    }
    const bool running = !targetInstances().isEmpty();
    const bool access = m_windows.hasWindowAccess();
    if (running && access) {
        attach();
        return;
    }
    report({std::nullopt, false, running, !access});
}

QRectF WindowTracker::appKitRect(QPointF axTopLeft, QSizeF size, double primaryScreenHeight)
{
    return {axTopLeft.x(), primaryScreenHeight - axTopLeft.y() - size.height(), size.width(), size.height()};
}

std::optional<std::size_t> WindowTracker::preferredWindowIndex(const std::vector<QRectF> &frames)
{
    if (frames.empty())
        return std::nullopt;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].width() >= 320 && frames[i].height() >= 160)
            return i;
    }
    std::size_t largest = 0;
    for (std::size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].width() * frames[i].height() > frames[largest].width() * frames[largest].height())
            largest = i;
    }
    return largest;
}

void WindowTracker::report(const TargetWindowState &state)
{
    m_state = state;
    if (onChange)
        onChange(m_state);
}

QList<RunningApplication> WindowTracker::targetInstances() const
{
    QList<RunningApplication> instances = m_windows.runningApplications(m_targetAppId());
    const qint64 ownPid = QCoreApplication::applicationPid();
    instances.removeIf([ownPid](const RunningApplication &application) { return application.pid == ownPid; });
    return instances;
}

std::optional<WindowInfo> WindowTracker::targetWindow(const RunningApplication &application) const
{
    const ApplicationWindows windows = m_windows.windows(application);
    std::vector<WindowInfo> candidates;
    if (windows.focused)
        candidates.push_back(*windows.focused);
    if (windows.main)
        candidates.push_back(*windows.main);
    candidates.insert(candidates.end(), windows.listed.begin(), windows.listed.end());

    std::vector<const WindowInfo *> kept;
    std::vector<QRectF> frames;
    for (const WindowInfo &candidate : candidates) {
        if (candidate.isMinimized.value_or(false))
            continue;
        if (const auto frame = windowFrame(candidate)) {
            kept.push_back(&candidate);
            frames.push_back(*frame);
        }
    }
    if (const auto index = preferredWindowIndex(frames))
        return *kept[*index];
    if (candidates.empty())
        return std::nullopt;
    return candidates.front();
}

std::optional<QRectF> WindowTracker::windowFrame(const WindowInfo &window) const
{
    if (!window.frame)
        return std::nullopt;
    return appKitRect(window.frame->topLeft(), window.frame->size(), m_windows.primaryScreenHeight());
}

void WindowTracker::applicationChanged(const RunningApplication &application, bool terminated)
{
    if (application.appId.isEmpty() || application.appId != m_targetAppId())
        return;
    detach();
    if (!terminated) {
        attach();
        return;
    }
    // Another instance of the target may still run (one xterm closed of several): follow it.
    if (!targetInstances().isEmpty() && m_windows.hasWindowAccess()) {
        attach();
        return;
    }
    report({std::nullopt, false, false, false});
}
