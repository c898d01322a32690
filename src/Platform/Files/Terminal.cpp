#include "Platform/Files/Terminal.h"

#include <unistd.h>

bool isTerminal(std::FILE *stream) { return ::isatty(::fileno(stream)) == 1; }
