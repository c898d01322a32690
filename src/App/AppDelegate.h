#pragma once

#include "App/AppSettings.h"
#include "Telemetry/EventBus.h"
#include "Telemetry/PricingTable.h"

#include <QObject>

#include <memory>

// Owns every long-lived component of the running application.
class AppDelegate : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AppDelegate)

public:
    explicit AppDelegate(SettingsStore &defaults, QObject *parent = nullptr);
    ~AppDelegate() override;

private:
    AppSettings m_settings;
    EventBus m_bus;
    std::unique_ptr<PricingTable> m_pricing;
};
