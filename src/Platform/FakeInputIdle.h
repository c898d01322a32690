#pragma once

#include "Platform/InputIdle.h"

// Input idle time and display state set directly by tests.
class FakeInputIdle : public InputIdle {
public:
    double seconds = 0;
    bool awake = true;

    double secondsSinceLastInput() const override { return seconds; }
    bool isDisplayAwake() const override { return awake; }
};
