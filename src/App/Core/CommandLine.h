#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace CommandLine {

// What one run of the executable does; the first flag present, in this order, wins.
enum class Mode {
    smokeTest,
    codexStatus,
    installCodexConfig,
    revertCodexConfig,
    adReport,
    snapshot,
    help,
    version,
    headless,
    interface,
};

Mode selectMode(const QStringList &arguments);

// The base-10 integer after the first occurrence of flag: optional sign, digits only, 64 bits.
std::optional<qint64> cliInt(const QStringList &arguments, const QString &flag);

// Prints "error: <description>" on standard output; returns the exit status 1.
int errorExit(const QString &description);

// Prints text as one write.
void printLines(const QString &text);

QString usage();

} // namespace CommandLine
