#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"

#include "Platform/Files/DirectoryTreeWatcher.h"
#include "Platform/Files/RegularFile.h"
#include "Telemetry/Adapters/ClaudeHistoryReader.h"
#include "Telemetry/Adapters/ClaudeTranscriptLine.h"
#include "Telemetry/Adapters/HistoryScan.h"
#include "Telemetry/EventBus.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

bool isTranscript(const QString &path) { return path.endsWith(QLatin1String(".jsonl")); }

bool isTokenUsage(const AgentEvent &event) { return std::holds_alternative<TokenUsage>(event.kind); }

} // namespace

ClaudeCodeJSONLAdapter::ClaudeCodeJSONLAdapter(EventBus &bus, QString rootDir, const Environment &env)
    : m_bus(bus)
    , m_rootDir(QDir::cleanPath(QDir(rootDir).absolutePath())) // the same spelling as the watcher's paths
    , m_clock(*env.clock)
    , m_delays(env.delays)
{
}

ClaudeCodeJSONLAdapter::~ClaudeCodeJSONLAdapter()
{
    m_thread.run([this] { stopOnThread(); });
}

void ClaudeCodeJSONLAdapter::setHistoryLink(HistoryLink link)
{
    m_thread.run([this, &link] { m_history = std::move(link); });
}

void ClaudeCodeJSONLAdapter::start()
{
    m_thread.run([this] { startOnThread(); });
}

void ClaudeCodeJSONLAdapter::stop()
{
    m_thread.run([this] { stopOnThread(); });
}

QList<AgentEvent> ClaudeCodeJSONLAdapter::events(QByteArrayView line, const QString &fallbackSession)
{
    return ClaudeTranscriptLine::parse(line, fallbackSession, QDateTime::currentDateTimeUtc()).events;
}

void ClaudeCodeJSONLAdapter::startOnThread()
{
    stopOnThread();
    if (m_history)
        resumeFromStore();
    else
        primeOffsets();
    // The root is watched even when it does not exist yet: Claude Code may be installed later.
    m_watcher = new DirectoryTreeWatcher(m_delays.fileEventLatency, m_thread.context());
    QObject::connect(m_watcher, &DirectoryTreeWatcher::filesChanged, m_watcher, [this](const QStringList &paths) {
        for (const QString &path : paths) {
            if (isTranscript(path))
                readAppended(path);
        }
    });
    if (!m_watcher->watch(m_rootDir)) {
        delete m_watcher;
        m_watcher = nullptr;
        return;
    }
    m_idleTimer = m_clock.createTimer(m_delays.transcriptIdleCheck, Clock::Repeat::everyInterval, m_thread.context(),
                                      [this] { checkIdle(); });
    m_idleTimer->start();
}

void ClaudeCodeJSONLAdapter::stopOnThread()
{
    m_import.reset();
    m_reader.reset();
    m_sink.reset();
    delete m_watcher;
    m_watcher = nullptr;
    delete m_idleTimer;
    m_idleTimer = nullptr;
    m_transcripts.clear();
    m_turnOpen = false;
}

void ClaudeCodeJSONLAdapter::primeOffsets()
{
    for (const QString &path : HistoryScan::jsonlFiles(m_rootDir)) {
        if (const auto identity = RegularFile::identify(path))
            m_transcripts.insert(path, Transcript(path, identity->size))->identity = identity;
    }
}

// Known transcripts go on from their stored positions, reading at once what was appended
// meanwhile; the rest is imported in steps between the live reads.
void ClaudeCodeJSONLAdapter::resumeFromStore()
{
    m_sink = m_history->openSink ? m_history->openSink() : nullptr;
    if (m_sink) // what earlier runs counted is not counted again when met in another file
        m_filter.remember(m_sink->countedIdentities(2 * ClaudeLineFilter::identityMemory));
    const HistoryScan::Result scan = HistoryScan::classify(HistoryScan::jsonlFiles(m_rootDir), m_history->known);
    for (const FilePosition &position : scan.resumed)
        m_transcripts.insert(position.path, Transcript(position.path, position.offset))->identity = position.identity;
    for (const HistoryImport::Job &job : scan.jobs)
        m_transcripts.insert(job.path, Transcript(job.path, 0, true));
    // Read once start() has returned: the main thread, waiting for it, could not drain the bus.
    QStringList appended;
    for (const FilePosition &position : scan.resumed) {
        if (position.identity.size > position.offset)
            appended.append(position.path);
    }
    m_thread.post([this, appended] {
        for (const QString &path : appended) {
            if (m_transcripts.contains(path)) // not stopped meanwhile
                readAppended(path);
        }
    });
    beginImport(scan.jobs);
}

void ClaudeCodeJSONLAdapter::importHistory(const std::optional<QDateTime> &since)
{
    m_thread.post([this, since] {
        if (!m_history || m_import)
            return; // no store, or the import under way covers it
        QStringList unknown;
        for (const QString &path : HistoryScan::jsonlFiles(m_rootDir)) {
            if (!m_transcripts.contains(path))
                unknown.append(path);
        }
        const QList<HistoryImport::Job> jobs = HistoryScan::classify(unknown, {}, since).jobs;
        for (const HistoryImport::Job &job : jobs)
            m_transcripts.insert(job.path, Transcript(job.path, 0, true));
        beginImport(jobs);
    });
}

void ClaudeCodeJSONLAdapter::beginImport(const QList<HistoryImport::Job> &jobs)
{
    if (!m_sink && m_history->openSink)
        m_sink = m_history->openSink();
    if (!m_sink) {
        for (const HistoryImport::Job &job : jobs) // nowhere to import to: read them live
            m_transcripts.find(job.path)->importing = false;
        return;
    }
    m_reader = std::make_unique<ClaudeHistoryReader>(m_filter, m_delays.transcriptTurnQuiet, m_clock.now());
    m_import = std::make_unique<HistoryImport>(*m_reader, *m_sink, jobs,
                                               [this](const FilePosition &position) { importedUpTo(position); });
    m_thread.post([this] { importStep(); });
}

void ClaudeCodeJSONLAdapter::importStep()
{
    if (!m_import)
        return; // stopped meanwhile
    const bool more = m_import->step(); // also tells an import with nothing to do that it is done
    if (m_history->onProgress)
        m_history->onProgress(m_import->progress());
    if (more) {
        m_thread.post([this] { importStep(); });
        return;
    }
    // Files the import could not finish (the store refused it) are left for the next start.
    m_import.reset();
    m_reader.reset();
}

void ClaudeCodeJSONLAdapter::importedUpTo(const FilePosition &position)
{
    auto found = m_transcripts.find(position.path);
    if (found == m_transcripts.end())
        return;
    *found = Transcript(position.path, position.offset);
    found->identity = position.identity;
    readAppended(position.path); // what was written during the import
}

void ClaudeCodeJSONLAdapter::readAppended(const QString &path)
{
    auto found = m_transcripts.find(path);
    if (found != m_transcripts.end() && found->importing)
        return;
    const std::optional<RegularFile> file = RegularFile::open(path);
    if (!file)
        return;
    if (found == m_transcripts.end()) // a transcript that appeared since the start: read it all
        found = m_transcripts.insert(path, Transcript(path));
    Transcript &transcript = found.value();
    const qint64 end = file->identity().size;
    // Cut or replaced: read again from the start; what was counted before is dropped as a copy.
    if (end < transcript.offset || (transcript.identity && !transcript.identity->sameFile(file->identity())))
        transcript = Transcript(path);
    transcript.identity = file->identity();
    if (end == transcript.offset)
        return;
    const QString fallbackSession = QFileInfo(path).completeBaseName();
    const QDateTime now = m_clock.now();
    QList<AgentEvent> events;
    CountedIdentities counted;
    transcript.offset = transcript.lines.read(*file, transcript.offset, end, [&](QByteArrayView line) {
        handleLine(line, fallbackSession, now, events, counted);
    });
    if (!m_history) {
        if (!events.isEmpty())
            m_bus.publish(std::move(events), nullptr);
        return;
    }
    const FilePosition position{path, file->identity(), transcript.offset - transcript.lines.heldBytes(), true};
    m_bus.publish(std::move(events), [save = m_history->savePosition, position, counted](bool stored) {
        if (stored && save)
            save(position, counted);
    });
}

void ClaudeCodeJSONLAdapter::handleLine(QByteArrayView text, const QString &fallbackSession, const QDateTime &now,
                                        QList<AgentEvent> &out, CountedIdentities &counted)
{
    ClaudeTranscriptLine line = ClaudeTranscriptLine::parse(text, fallbackSession, now);
    if (line.events.isEmpty() || !m_filter.keepOnlyNew(line, &counted))
        return;
    m_lastEventAt = now;
    m_lastSessionId = line.events.front().sessionId;
    for (const AgentEvent &event : std::as_const(line.events)) {
        out.append(event);
        if (std::holds_alternative<TurnStarted>(event.kind))
            m_turnOpen = true;
    }
    // A response without a user line before it still opens a turn, so that one gets closed.
    if (!m_turnOpen && std::any_of(line.events.cbegin(), line.events.cend(), isTokenUsage))
        m_turnOpen = true;
}

void ClaudeCodeJSONLAdapter::checkIdle()
{
    const QDateTime now = m_clock.now();
    if (!m_turnOpen || !m_lastEventAt || m_lastEventAt->msecsTo(now) <= m_delays.transcriptTurnQuiet.count())
        return;
    m_turnOpen = false;
    m_bus.publish(AgentEvent::make(AgentSource::claudeCodeJsonl, m_lastSessionId.value_or(QStringLiteral("claude")),
                                   TurnEnded{}, now));
}
