#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// The built-in self-check: named checks over each subsystem, against a temporary directory and
// loopback sockets only.
namespace SmokeTest {

struct Check {
    QString name;
    // Runs in workDir; the failure's description, or none when it passed.
    std::function<std::optional<QString>(const QString &workDir)> run;
};

// The fixed list, in the order they run.
std::vector<Check> checks();

// Points HOME and the XDG directories into a fresh temporary directory (before anything resolves
// a path), runs every check printing "<name>: ok" or "<name>: FAILED — <why>", and answers 0
// only when all passed. Needs a QCoreApplication.
int run();

} // namespace SmokeTest
