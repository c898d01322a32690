#pragma once

#include "Platform/Clock.h"
#include "Platform/Delays.h"

// What a component takes from the world besides its inputs: the time and how long to wait.
// Components keep the parts they need; the clock must outlive them.
struct Environment {
    Clock *clock = &Clock::system();
    Delays delays;
};
