#pragma once

#include "Telemetry/Adapters/HistoryImport.h"
#include "Telemetry/FilePosition.h"

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <optional>

// Sorts an agent's files at start by what the store knows of them.
namespace HistoryScan {

struct Result {
    // Files counted before, each up to its offset: live reading goes on from there, and first
    // reads what was appended while Corvane was not running.
    QList<FilePosition> resumed;
    // Files never seen, replaced, cut, or whose import was interrupted; newest first.
    QList<HistoryImport::Job> jobs;

    // Everything left to read as import jobs (for an import without live reading), newest first.
    QList<HistoryImport::Job> allJobs() const;
};

// The ".jsonl" files below root (hidden ones included).
QStringList jsonlFiles(const QString &root);

// Files that are not regular once links are resolved (FIFOs, sockets, devices) are left out.
// With `since`, only files modified since then are imported; older ones are left for a later
// import without a bound.
Result classify(const QStringList &files, const FilePositions &known, const std::optional<QDateTime> &since = {});

} // namespace HistoryScan
