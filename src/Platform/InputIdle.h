#pragma once

// How long the user has been away and whether the screen is on.
// Implementations answer "recent" and "awake" when they cannot tell.
class InputIdle {
public:
    virtual ~InputIdle() = default;
    virtual double secondsSinceLastInput() const = 0;
    virtual bool isDisplayAwake() const = 0;
};
