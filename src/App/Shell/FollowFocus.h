#pragma once

#include "Settings/AppSettings.h"
#include "Platform/WindowSystem.h"

#include <QObject>
#include <QTimer>

#include <optional>

class MetricsEngine;

// Decides which agent the HUD shows, and which application it docks to, while the display mode
// is follow-focus; in the other modes it sets the pinned or aggregate scope. Main thread only.
class FollowFocus : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FollowFocus)

public:
    static constexpr int intervalMs = 1000;
    static inline const QString authenticationPromptAppId = QStringLiteral("com.apple.SecurityAgent");

    // ownPid identifies this process's own windows when the desktop gives them another app id.
    FollowFocus(AppSettings &settings, MetricsEngine &metrics, WindowSystem &windows, QString ownAppId, qint64 ownPid,
                QObject *parent = nullptr);

    // True when the frontmost application should not be followed: none, this application, or the
    // system's authentication prompt.
    static bool shouldFallbackToConfiguredTarget(const std::optional<QString> &frontmostBundleID,
                                                 const std::optional<QString> &ownBundleID);

    // Listens for application activations and starts the 1 s re-evaluation.
    void start();

    void refreshFollowFocusScope();
    void anyAppActivated(const RunningApplication &application);
    void followAgentHost(const RunningApplication &application);
    std::optional<QString> focusedWindowTitle(const RunningApplication &application) const;
    // The scope the display mode asks for (the display-mode subscription's action).
    void applyDisplayMode();

private:
    bool following() const { return m_settings.displayMode().kind == DisplayMode::Kind::followFocus; }

    AppSettings &m_settings;
    MetricsEngine &m_metrics;
    WindowSystem &m_windows;
    QString m_ownAppId;
    qint64 m_ownPid;
    QTimer m_timer;
};
