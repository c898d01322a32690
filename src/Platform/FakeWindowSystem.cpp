#include "Platform/FakeWindowSystem.h"

#include <algorithm>

void FakeWindowSystem::addApplication(const RunningApplication &application, const ApplicationWindows &windows)
{
    removeApplication(application);
    m_entries.push_back({application, windows});
}

void FakeWindowSystem::removeApplication(const RunningApplication &application)
{
    std::erase_if(m_entries, [&](const Entry &entry) { return entry.application == application; });
}

void FakeWindowSystem::setWindows(const RunningApplication &application, const ApplicationWindows &windows)
{
    for (Entry &entry : m_entries) {
        if (entry.application == application)
            entry.windows = windows;
    }
}

void FakeWindowSystem::launch(const RunningApplication &application, const ApplicationWindows &windows)
{
    addApplication(application, windows);
    Q_EMIT applicationLaunched(application);
}

void FakeWindowSystem::terminate(const RunningApplication &application)
{
    removeApplication(application);
    Q_EMIT applicationTerminated(application);
}

void FakeWindowSystem::activate(const RunningApplication &application)
{
    frontmost = application;
    Q_EMIT applicationActivated(application);
}

void FakeWindowSystem::changeObservedWindow(WindowChange change)
{
    if (m_observed)
        Q_EMIT observedWindowChanged(change);
}

QList<RunningApplication> FakeWindowSystem::runningApplications(const QString &appId) const
{
    QList<RunningApplication> found;
    for (const Entry &entry : m_entries) {
        if (entry.application.appId == appId)
            found.append(entry.application);
    }
    return found;
}

ApplicationWindows FakeWindowSystem::windows(const RunningApplication &application) const
{
    ++m_windowReads;
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [&](const Entry &entry) { return entry.application == application; });
    return it == m_entries.end() ? ApplicationWindows{} : it->windows;
}

bool FakeWindowSystem::observe(const RunningApplication &application)
{
    if (!observable)
        return false;
    m_observed = application;
    return true;
}

bool FakeWindowSystem::placeOwnWindow(quint64 nativeWindow, const QRectF &frame)
{
    if (!placesOwnWindows)
        return false;
    placements.emplace_back(nativeWindow, frame);
    return true;
}
