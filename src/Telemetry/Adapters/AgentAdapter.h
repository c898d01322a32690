#pragma once

#include "Telemetry/AgentEvent.h"

// What every telemetry source offers the application.
class AgentAdapter {
public:
    virtual ~AgentAdapter() = default;
    virtual AgentSource source() const = 0;
    // Begins producing events; calling it again restarts the adapter.
    virtual void start() = 0;
    virtual void stop() = 0;
};
