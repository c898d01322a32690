#pragma once

// The whole telemetry pipeline with no window, tray or display, as the one instance.
namespace HeadlessRun {

// Runs until SIGINT or SIGTERM; the exit status.
int run(int argc, char **argv);

// Gives the application its name, which places its settings and support files.
void nameApplication();

} // namespace HeadlessRun
