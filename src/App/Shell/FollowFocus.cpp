#include "App/Shell/FollowFocus.h"

#include "Telemetry/HostApplications.h"
#include "Telemetry/MetricsEngine.h"

FollowFocus::FollowFocus(AppSettings &settings, MetricsEngine &metrics, WindowSystem &windows, QString ownAppId,
                         qint64 ownPid, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_metrics(metrics)
    , m_windows(windows)
    , m_ownAppId(std::move(ownAppId))
    , m_ownPid(ownPid)
{
    m_timer.setInterval(intervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FollowFocus::refreshFollowFocusScope);
}

bool FollowFocus::shouldFallbackToConfiguredTarget(const std::optional<QString> &frontmostBundleID,
                                                   const std::optional<QString> &ownBundleID)
{
    if (!frontmostBundleID)
        return true;
    if (ownBundleID && *frontmostBundleID == *ownBundleID)
        return true;
    return *frontmostBundleID == authenticationPromptAppId;
}

void FollowFocus::start()
{
    connect(&m_windows, &WindowSystem::applicationActivated, this, &FollowFocus::anyAppActivated);
    m_timer.start();
}

void FollowFocus::refreshFollowFocusScope()
{
    if (!following())
        return;
    const std::optional<RunningApplication> frontmost = m_windows.frontmostApplication();
    if (!frontmost)
        return;
    const std::optional<QString> frontmostId =
        frontmost->appId.isEmpty() ? std::nullopt : std::optional<QString>(frontmost->appId);
    const bool ownWindow = m_ownPid != 0 && frontmost->pid == m_ownPid;
    if (ownWindow || shouldFallbackToConfiguredTarget(frontmostId, m_ownAppId)) {
        if (const auto agent = displayAgentFrom(m_settings.targetBundleID(), std::nullopt))
            m_metrics.setScope(MetricsScope::of(*agent));
        return;
    }
    followAgentHost(*frontmost);
}

void FollowFocus::anyAppActivated(const RunningApplication &application)
{
    if (following())
        followAgentHost(application);
}

void FollowFocus::followAgentHost(const RunningApplication &application)
{
    if (application.appId.isEmpty())
        return;
    const auto agent = displayAgentFrom(application.appId, focusedWindowTitle(application));
    if (!agent)
        return;
    m_metrics.setScope(MetricsScope::of(*agent));
    if (m_settings.targetBundleID() != application.appId)
        m_settings.setTargetBundleID(application.appId);
}

std::optional<QString> FollowFocus::focusedWindowTitle(const RunningApplication &application) const
{
    if (!m_windows.hasWindowAccess())
        return std::nullopt;
    const ApplicationWindows windows = m_windows.windows(application);
    for (const std::optional<WindowInfo> *window : {&windows.focused, &windows.main}) {
        if (*window && (*window)->title)
            return (*window)->title;
    }
    return std::nullopt;
}

void FollowFocus::applyDisplayMode()
{
    const DisplayMode mode = m_settings.displayMode();
    switch (mode.kind) {
    case DisplayMode::Kind::followFocus:
        refreshFollowFocusScope();
        break;
    case DisplayMode::Kind::pinned:
        m_metrics.setScope(MetricsScope::of(mode.agent));
        break;
    case DisplayMode::Kind::aggregate:
        m_metrics.setScope(MetricsScope::aggregate());
        break;
    }
}
