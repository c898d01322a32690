#pragma once

#include "App/AppCore.h"

#include <QObject>

// The desktop launch: the core pipeline, and around it what the user sees.
class AppDelegate : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppDelegate)

public:
    AppDelegate(SettingsStore &defaults, AppEnvironment environment, QObject *parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; the interface's own steps join the core's here.
    void applicationDidFinishLaunching();
    // A second launch asked for the HUD; nothing to show yet.
    void bringHUDForward();

    AppCore &core() { return m_core; }

private:
    AppCore m_core;
};
