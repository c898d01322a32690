#include "Telemetry/Adapters/HistoryImport.h"

#include "Telemetry/Adapters/LineAssembler.h"
#include "Telemetry/HistorySink.h"

#include <algorithm>

struct HistoryImport::Current {
    RegularFile file;
    LineAssembler lines;
    qint64 position = 0; // bytes fed so far
    qint64 end = 0;      // the size when opened: what is appended later is the live reader's

    FilePosition positionReached(bool complete) const
    {
        return {lines.path(), file.identity(), position - lines.heldBytes(), complete};
    }
};

HistoryImport::Progress HistoryImport::Progress::sum(const QList<Progress> &parts)
{
    Progress total;
    total.finished = true;
    for (const Progress &part : parts) {
        total.filesDone += part.filesDone;
        total.filesTotal += part.filesTotal;
        total.bytesDone += part.bytesDone;
        total.bytesTotal += part.bytesTotal;
        total.rowsAdded += part.rowsAdded;
        total.finished = total.finished && part.finished;
        if (part.problem)
            total.problem = part.problem;
    }
    return total;
}

HistoryImport::HistoryImport(Reader &reader, HistorySink &sink, QList<Job> jobs, FileDone onFileDone)
    : m_reader(reader)
    , m_sink(sink)
    , m_jobs(std::move(jobs))
    , m_onFileDone(std::move(onFileDone))
{
    m_progress.filesTotal = int(m_jobs.size());
    for (const Job &job : std::as_const(m_jobs))
        m_progress.bytesTotal += std::max<qint64>(0, job.seen.size - job.from);
    m_progress.finished = m_jobs.isEmpty();
}

HistoryImport::~HistoryImport() = default;

bool HistoryImport::step()
{
    if (m_progress.finished)
        return false;
    Batch batch;
    QList<FilePosition> positions;
    QList<FilePosition> done;
    qint64 budget = stepBytes;
    while (budget > 0 && (m_current || openNext())) {
        Current &current = *m_current;
        const qint64 to = std::min(current.end, current.position + budget);
        const qint64 reached = current.lines.read(current.file, current.position, to, [&](QByteArrayView line) {
            m_reader.line(line, batch);
        });
        budget -= reached - current.position;
        m_progress.bytesDone += reached - current.position;
        current.position = reached;
        if (reached < to || reached >= current.end) { // the end, or a read error: what was read counts
            finishFile(positions, batch);
            done.append(positions.back());
        }
    }
    if (m_current)
        positions.append(m_current->positionReached(false));
    if (!commit(batch, positions))
        return false;
    for (const FilePosition &position : std::as_const(done)) {
        if (m_onFileDone)
            m_onFileDone(position);
    }
    m_progress.finished = !m_current && m_next >= m_jobs.size();
    return !m_progress.finished;
}

bool HistoryImport::openNext()
{
    while (m_next < m_jobs.size()) {
        const Job &job = m_jobs.at(m_next++);
        std::optional<RegularFile> file = RegularFile::open(job.path);
        if (!file) { // gone, or no longer a regular file
            ++m_progress.filesDone;
            m_progress.bytesDone += std::max<qint64>(0, job.seen.size - job.from);
            continue;
        }
        const FileIdentity identity = file->identity();
        // Replaced or cut since the scan: counted again from its start under the usual de-duplication.
        const qint64 from = identity.sameFile(job.seen) && identity.size >= job.from ? job.from : 0;
        m_current.reset(new Current{std::move(*file), LineAssembler(job.path), from, identity.size});
        m_reader.beginFile(job.path);
        return true;
    }
    return false;
}

void HistoryImport::finishFile(QList<FilePosition> &positions, Batch &batch)
{
    m_reader.endFile(batch);
    positions.append(m_current->positionReached(true));
    ++m_progress.filesDone;
    m_current.reset();
}

bool HistoryImport::commit(const Batch &batch, const QList<FilePosition> &positions)
{
    if (positions.isEmpty() && batch.rows.isEmpty())
        return true;
    const std::optional<qint64> added = m_sink.importBatch(batch.rows, positions, batch.counted);
    if (!added) {
        m_progress.problem = QStringLiteral("the event store refused the imported history");
        m_progress.finished = true;
        return false;
    }
    m_progress.rowsAdded += *added;
    return true;
}
