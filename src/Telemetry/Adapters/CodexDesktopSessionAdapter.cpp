#include "Telemetry/Adapters/CodexDesktopSessionAdapter.h"

#include "Platform/Files/RegularFile.h"
#include "Telemetry/Adapters/CodexHistoryReader.h"
#include "Telemetry/Adapters/CodexThreadDatabase.h"
#include "Telemetry/Adapters/HistoryScan.h"
#include "Telemetry/EventBus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const QString unknownSession = QStringLiteral("codex-desktop");

QDateTime distantPast() { return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC); }

// The newest ".jsonl" file below dir, hidden entries skipped; the first met wins a tie.
void findNewest(const QString &dir, std::optional<QFileInfo> &newest)
{
    const auto entries = QDir(dir).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir())
            findNewest(entry.filePath(), newest);
        else if (entry.isFile() && entry.suffix() == QLatin1String("jsonl") &&
                 (!newest || entry.lastModified() > newest->lastModified()))
            newest = entry;
    }
}

// The bytes [from, to) of a regular file; none when it cannot be read.
std::optional<QByteArray> readRange(const QString &path, qint64 from, qint64 to)
{
    const std::optional<RegularFile> file = RegularFile::open(path);
    if (!file)
        return std::nullopt;
    QByteArray bytes(to - from, Qt::Uninitialized);
    if (file->read(from, bytes.data(), bytes.size()) != bytes.size())
        return std::nullopt;
    return bytes;
}

// Length of the complete lines at the start of bytes.
qint64 completeLength(const QByteArray &bytes) { return bytes.lastIndexOf('\n') + 1; }

} // namespace

CodexDesktopSessionAdapter::CodexDesktopSessionAdapter(EventBus &bus, const QString &homeDir, const Environment &env)
    : m_bus(bus)
    , m_codexHome(homeDir + QStringLiteral("/.codex"))
    , m_clock(*env.clock)
    , m_pollInterval(env.delays.codexSessionPoll)
    , m_activeWithin(env.delays.codexSessionActiveWithin)
{
}

CodexDesktopSessionAdapter::~CodexDesktopSessionAdapter() { stop(); }

void CodexDesktopSessionAdapter::setHistoryLink(HistoryLink link)
{
    m_thread.run([this, &link] { m_history = std::move(link); });
}

void CodexDesktopSessionAdapter::start()
{
    m_thread.run([this] {
        delete m_timer;
        m_active = false;
        m_timer = m_clock.createTimer(m_pollInterval, Clock::Repeat::everyInterval, m_thread.context(),
                                      [this] { poll(); });
        m_timer->start();
    });
    m_thread.post([this] { poll(); });
    // After the first poll, so that what its snapshot counts is known to the import.
    m_thread.post([this] { startImport(std::nullopt); });
}

void CodexDesktopSessionAdapter::stop()
{
    m_thread.run([this] {
        m_import.reset();
        m_reader.reset();
        m_sink.reset();
        delete m_timer;
        m_timer = nullptr;
        m_active = false;
    });
}

// Rollouts are read again from their start (a count is a difference from the one before it);
// the rows already held are not stored twice.
void CodexDesktopSessionAdapter::importHistory(const std::optional<QDateTime> &since)
{
    m_thread.post([this, since] {
        if (m_history && !m_import) {
            m_history->known = m_sink ? m_sink->filePositions() : m_history->known;
            startImport(since);
        }
    });
}

void CodexDesktopSessionAdapter::startImport(const std::optional<QDateTime> &since)
{
    m_import.reset();
    if (!m_history)
        return;
    QList<HistoryImport::Job> jobs =
        HistoryScan::classify(HistoryScan::jsonlFiles(m_codexHome + QStringLiteral("/sessions")), m_history->known, since)
            .allJobs();
    for (HistoryImport::Job &job : jobs)
        job.from = 0;
    if (!m_sink && m_history->openSink)
        m_sink = m_history->openSink();
    if (!m_sink)
        return;
    // What the live snapshots counted (this run's, else stored ones) is not imported again.
    m_reader = std::make_unique<CodexHistoryReader>(m_clock.now(), [this](const QString &sessionId) {
        if (sessionId == m_currentSessionId && m_lastPublished)
            return m_lastPublished;
        return m_sink->latestSnapshot(AgentSource::codexDesktopSession, sessionId);
    });
    m_import = std::make_unique<HistoryImport>(*m_reader, *m_sink, std::move(jobs));
    m_thread.post([this] { importStep(); });
}

void CodexDesktopSessionAdapter::importStep()
{
    if (!m_import)
        return; // stopped meanwhile
    const bool more = m_import->step(); // also tells an import with nothing to do that it is done
    if (m_history->onProgress)
        m_history->onProgress(m_import->progress());
    if (more)
        m_thread.post([this] { importStep(); });
    else
        m_import.reset();
}

void CodexDesktopSessionAdapter::pollNow()
{
    m_thread.run([this] { poll(); });
}

std::optional<QString> CodexDesktopSessionAdapter::currentUserThreadId() const
{
    if (auto thread = CodexThreadDatabase::currentUserThread(m_codexHome))
        return thread->id;
    return std::nullopt;
}

std::optional<QString> CodexDesktopSessionAdapter::latestSessionFile() const
{
    if (auto thread = CodexThreadDatabase::currentUserThread(m_codexHome); thread && QFileInfo(thread->rolloutPath).isFile())
        return thread->rolloutPath;
    std::optional<QFileInfo> newest;
    findNewest(m_codexHome + QStringLiteral("/sessions"), newest);
    if (!newest)
        return std::nullopt;
    return newest->filePath();
}

void CodexDesktopSessionAdapter::poll()
{
    const auto file = latestSessionFile();
    if (!file)
        return;
    const QFileInfo info(*file);
    const QDateTime modifiedAt = info.exists() ? info.lastModified().toUTC() : distantPast();
    const qint64 size = info.exists() ? info.size() : 0;
    if (file != m_currentFile) {
        if (switchTo(*file, size, modifiedAt))
            return; // seeded from the tail
    }
    readIncrement(*file, size, modifiedAt);
}

// A new thread (or the first poll): its newest snapshot is in the file's tail. True when the
// tail had one.
bool CodexDesktopSessionAdapter::switchTo(const QString &file, qint64 size, const QDateTime &modifiedAt)
{
    m_currentFile = file;
    m_currentSessionId = CodexRollout::threadId(file).value_or(unknownSession);
    m_currentModel = CodexThreadDatabase::model(m_codexHome, m_currentSessionId);
    m_lastSnapshotFingerprint.reset();
    m_lastPublished.reset();
    m_repeatedInfo.reset();
    m_lines = LineAssembler(file);
    m_currentOffset = size;
    if (size == 0)
        return false;
    const qint64 from = std::max<qint64>(0, size - tailSeedBytes);
    const auto tail = readRange(file, from, size);
    if (!tail)
        return false;
    QByteArrayView lines(*tail);
    lines.truncate(completeLength(*tail));
    m_currentOffset = from + lines.size();
    if (from > 0) // the window begins inside a line, perhaps inside a character: skip that piece
        lines = lines.sliced(std::min<qsizetype>(lines.indexOf('\n') + 1, lines.size()));
    seedLimits(lines, m_clock.now());
    if (const auto snapshot = CodexRollout::latestSnapshot(lines, m_currentSessionId, m_clock.now())) {
        publish(*snapshot);
        updateActiveState(modifiedAt, snapshot->timestamp);
        return true;
    }
    return false;
}

void CodexDesktopSessionAdapter::readIncrement(const QString &file, qint64 size, const QDateTime &modifiedAt)
{
    const std::optional<RegularFile> opened = RegularFile::open(file);
    if (!opened) {
        updateActiveState(modifiedAt, m_clock.now());
        return;
    }
    if (size < m_currentOffset) { // truncated or replaced: read it again from the start
        m_currentOffset = 0;
        m_lines.clear();
    }
    const QDateTime now = m_clock.now();
    std::optional<CodexSessionSnapshot> latest;
    // A line still being written stays in m_lines for the next poll instead of being lost.
    m_currentOffset = m_lines.read(*opened, m_currentOffset, size, [&](QByteArrayView line) {
        if (const auto session = CodexRollout::sessionId(line); session && *session != m_currentSessionId)
            adoptSession(*session);
        publishLimits(line, now, modifiedAt);
        if (m_repeatedInfo.repeats(line))
            return; // a usage-limit line repeats the counts before it
        if (auto snapshot = CodexRollout::snapshot(line, m_currentSessionId, now))
            latest = std::move(snapshot);
    });
    if (latest)
        publish(*latest);
    updateActiveState(modifiedAt, latest ? latest->timestamp : modifiedAt);
}

void CodexDesktopSessionAdapter::adoptSession(const QString &sessionId)
{
    m_currentSessionId = sessionId;
    m_lastPublished.reset();
    m_currentModel = CodexThreadDatabase::model(m_codexHome, sessionId);
}

void CodexDesktopSessionAdapter::publish(const CodexSessionSnapshot &snapshot)
{
    const QString fingerprint = snapshot.fingerprint();
    if (fingerprint == m_lastSnapshotFingerprint)
        return;
    m_lastSnapshotFingerprint = fingerprint;
    const auto source = AgentSource::codexDesktopSession;
    if (m_currentModel && m_currentModel != m_lastReportedModel) {
        m_lastReportedModel = m_currentModel;
        m_bus.publish(AgentEvent::make(source, snapshot.sessionId, ModelInfo{*m_currentModel}, snapshot.timestamp));
    }
    SessionSnapshot payload;
    payload.sessionTokens = snapshot.sessionTokens;
    payload.contextTokens = snapshot.contextTokens;
    payload.inputTokens = snapshot.inputTokens;
    payload.outputTokens = snapshot.outputTokens;
    payload.cachedTokens = snapshot.cachedTokens;
    payload.modelContextWindow = snapshot.modelContextWindow;
    payload.contextInputTokens = snapshot.contextInputTokens;
    m_bus.publish(AgentEvent::make(source, snapshot.sessionId, payload, snapshot.timestamp));
    m_lastPublished = payload;
}

void CodexDesktopSessionAdapter::updateActiveState(const QDateTime &modifiedAt, const QDateTime &eventTime)
{
    const auto source = AgentSource::codexDesktopSession;
    const bool endedOnLimit = m_limitEndedTurnAt && modifiedAt <= *m_limitEndedTurnAt;
    if (modifiedAt.msecsTo(m_clock.now()) < m_activeWithin.count() && !endedOnLimit) {
        if (!m_active) {
            m_active = true;
            m_bus.publish(AgentEvent::make(source, m_currentSessionId, TurnStarted{}, eventTime));
        }
        m_bus.publish(AgentEvent::make(source, m_currentSessionId, StateText{QStringLiteral("Working...")}, eventTime));
    } else if (m_active) {
        m_active = false;
        m_bus.publish(AgentEvent::make(source, m_currentSessionId, TurnEnded{}, modifiedAt));
    }
}
