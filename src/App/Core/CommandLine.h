#pragma once

#include "Telemetry/MetricsScope.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace CommandLine {

// What one run of the executable does; the first flag present, in this order, wins.
enum class Mode {
    smokeTest,
    codexStatus,
    installCodexConfig,
    revertCodexConfig,
    claudeHook,
    claudeStatus,
    installClaudeConfig,
    revertClaudeConfig,
    adReport,
    importHistory,
    snapshot,
    help,
    version,
    headless,
    claudeStatusline,
    interface,
};

// The command line read: the mode and the options that go with it.
struct Invocation {
    Mode mode = Mode::interface;
    std::optional<MetricsScope> scope; // --scope, with --snapshot; none: the running instance's
    bool json = false;                 // --json, with --snapshot
    std::optional<qint64> days;        // --days N, with --ad-report or --import-history; none when absent or not a number
    bool daysGiven = false;            // --days was on the command line
};

// The invocation (without the program name in `arguments`), or what is wrong with the arguments:
// an unknown option, a value missing or not allowed, a bad scope, an option without its mode.
std::variant<Invocation, QString> parse(const QStringList &arguments);

// A base-10 integer: optional sign, digits only, 64 bits.
std::optional<qint64> cliInt(const QString &text);

// Prints "error: <description>" on standard output; returns the exit status 1.
int errorExit(const QString &description);

// Prints "error: <description>" and the usage line; returns the exit status 2.
int usageError(const QString &description);

// Prints text as one write.
void printLines(const QString &text);

QString usage();

} // namespace CommandLine
