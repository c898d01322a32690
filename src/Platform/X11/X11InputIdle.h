#pragma once

#include "Platform/InputIdle.h"

#include <memory>

class XcbConnection;

// Idle time from the MIT-SCREEN-SAVER extension, display state from DPMS. Without a connection
// or an extension the answer is "unknown": input recent (0 s) and display awake.
class X11InputIdle : public InputIdle {
public:
    explicit X11InputIdle(std::shared_ptr<XcbConnection> connection);

    double secondsSinceLastInput() const override;
    bool isDisplayAwake() const override;

private:
    std::shared_ptr<XcbConnection> m_x;
    bool m_hasScreenSaver = false;
    bool m_hasDpms = false;
};
