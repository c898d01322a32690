#pragma once

#include "Platform/WindowSystem.h"

#include <vector>

// In-memory window system for tests: applications and their windows are set directly,
// and the notifications are sent only when a test asks for them.
class FakeWindowSystem : public WindowSystem {
    Q_OBJECT

public:
    using WindowSystem::WindowSystem;

    bool access = true;
    QString problem = QStringLiteral("the fake desktop shows no windows");
    // Whether placeOwnWindow places windows, and what it was asked to place.
    bool placesOwnWindows = false;
    std::vector<std::pair<quint64, QRectF>> placements;
    double screenHeight = 1000;
    bool observable = true;
    std::optional<RunningApplication> frontmost;

    // Adds or replaces an application without telling anyone (a launch the notifications missed).
    void addApplication(const RunningApplication &application, const ApplicationWindows &windows = {});
    void removeApplication(const RunningApplication &application);
    void setWindows(const RunningApplication &application, const ApplicationWindows &windows);

    // Adds the application and announces its launch.
    void launch(const RunningApplication &application, const ApplicationWindows &windows = {});
    // Removes the application and announces its termination.
    void terminate(const RunningApplication &application);
    void activate(const RunningApplication &application);
    // Announces a window change if anything is being observed.
    void changeObservedWindow(WindowChange change);

    const std::optional<RunningApplication> &observed() const { return m_observed; }
    int windowReads() const { return m_windowReads; }

    bool hasWindowAccess() const override { return access; }
    QString backendName() const override { return QStringLiteral("Fake"); }
    QString accessProblem() const override { return access ? QString() : problem; }
    QList<RunningApplication> runningApplications(const QString &appId) const override;
    ApplicationWindows windows(const RunningApplication &application) const override;
    std::optional<RunningApplication> frontmostApplication() const override { return frontmost; }
    double primaryScreenHeight() const override { return screenHeight; }
    bool observe(const RunningApplication &application) override;
    void stopObserving() override { m_observed.reset(); }
    bool placeOwnWindow(quint64 nativeWindow, const QRectF &frame) override;

private:
    struct Entry {
        RunningApplication application;
        ApplicationWindows windows;
    };
    std::vector<Entry> m_entries;
    std::optional<RunningApplication> m_observed;
    mutable int m_windowReads = 0;
};
