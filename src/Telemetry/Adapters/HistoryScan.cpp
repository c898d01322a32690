#include "Telemetry/Adapters/HistoryScan.h"

#include "Platform/Files/FileTree.h"

#include <QDir>

#include <algorithm>

namespace HistoryScan {

namespace {

void newestFirst(QList<HistoryImport::Job> &jobs)
{
    std::stable_sort(jobs.begin(), jobs.end(), [](const HistoryImport::Job &a, const HistoryImport::Job &b) {
        return a.seen.modifiedNs > b.seen.modifiedNs;
    });
}

} // namespace

QList<HistoryImport::Job> Result::allJobs() const
{
    QList<HistoryImport::Job> all = jobs;
    for (const FilePosition &position : resumed) {
        if (position.identity.size > position.offset)
            all.append({position.path, position.offset, position.identity});
    }
    newestFirst(all);
    return all;
}

QStringList jsonlFiles(const QString &root) { return filesBelow(QDir::cleanPath(root), QStringLiteral(".jsonl")); }

Result classify(const QStringList &files, const FilePositions &known, const std::optional<QDateTime> &since)
{
    Result result;
    const qint64 sinceNs = since ? since->toMSecsSinceEpoch() * 1'000'000 : 0;
    for (const QString &path : files) {
        const std::optional<FileIdentity> identity = RegularFile::identify(path);
        if (!identity)
            continue;
        const auto found = known.constFind(path);
        const bool same = found != known.cend() && found->identity.sameFile(*identity) && identity->size >= found->offset;
        if (same && found->complete) {
            FilePosition position = *found;
            position.identity = *identity;
            result.resumed.append(position);
        } else if (identity->modifiedNs >= sinceNs) {
            result.jobs.append({path, same ? found->offset : 0, *identity});
        }
    }
    newestFirst(result.jobs);
    return result;
}

} // namespace HistoryScan
