#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

namespace TestSupport {

#ifdef CORVANE_FIXTURES_DIR
// Paths are compiled into each test executable, so it also runs outside ctest.
// The repository's small test fixtures (tests/fixtures).
inline QString fixturesDir() { return QStringLiteral(CORVANE_FIXTURES_DIR); }
// The recordings made from the real agents (tests/fixtures/samples).
inline QString samplesDir() { return fixturesDir() + QStringLiteral("/samples"); }
// The built corvane executable.
inline QString corvaneBinary() { return QStringLiteral(CORVANE_BINARY_PATH); }
// Where screenshots go for a person to look at: test-artifacts in the build directory.
inline QString artifactsDir() { return QStringLiteral(CORVANE_TEST_ARTIFACTS_DIR); }
#endif

// What one child run of this test executable printed and how it ended.
struct ChildRun {
    bool finished = false; // false: killed after the timeout
    int exitCode = -1;
    QString output;
    bool passed() const { return finished && exitCode == 0 && output.contains(QLatin1String("[  PASSED  ] 1 test")); }
};

// Runs one test of this executable in a child process with `environment` (for a test that needs
// the real X platform while its siblings run offscreen).
ChildRun runTestInChild(const QString &testName, const QProcessEnvironment &environment,
                        std::chrono::milliseconds timeout = std::chrono::seconds(90));

QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &bytes);
// Overwrites everything after a database's first 4 KiB page with random bytes: the schema on
// page 1 still reads, every table and index is garbage.
void scrambleAfterFirstPage(const QString &path);

// Spins the Qt event loop until the predicate holds or the timeout passes; returns the predicate.
bool waitUntil(const std::function<bool()> &predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Runs the event loop for a while, delivering queued calls and timers.
void spin(std::chrono::milliseconds duration);

} // namespace TestSupport
