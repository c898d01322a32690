#pragma once

#include <cstdio>

// Whether a standard stream is a terminal (a progress bar redraws in place there).
bool isTerminal(std::FILE *stream);
