#include "Telemetry/Adapters/ClaudeCodeJSONLAdapter.h"

#include "Platform/Files/DirectoryTreeWatcher.h"
#include "Telemetry/Adapters/ClaudeTranscriptLine.h"
#include "Telemetry/EventBus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr qint64 readSliceBytes = 1 << 20;

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
    m_startedAt = m_clock.now();
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
    delete m_watcher;
    m_watcher = nullptr;
    delete m_idleTimer;
    m_idleTimer = nullptr;
    m_transcripts.clear();
    m_turnOpen = false;
}

void ClaudeCodeJSONLAdapter::primeOffsets()
{
    QDirIterator it(m_rootDir, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isTranscript(path))
            m_transcripts.insert(path, Transcript{it.fileInfo().size(), {}, false});
    }
}

void ClaudeCodeJSONLAdapter::readAppended(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return;
    auto found = m_transcripts.find(path);
    if (found == m_transcripts.end()) // a transcript that appeared since the start: read it all
        found = m_transcripts.insert(path, Transcript{0, {}, true});
    Transcript &transcript = found.value();
    const qint64 previous = transcript.offset;
    const qint64 end = file.size();
    if (end == previous)
        return;
    if (end < previous) { // shrunk: what is left was read before (or is lost); follow from here
        transcript.offset = end;
        transcript.remainder.clear();
        return;
    }
    if (!file.seek(previous))
        return;
    // In slices, so that a large burst neither needs its size in memory twice nor waits for a
    // single huge read before its first line is handled.
    const QString fallbackSession = QFileInfo(path).completeBaseName();
    QByteArray slice(std::min(end - previous, readSliceBytes), Qt::Uninitialized);
    for (qint64 position = previous; position < end;) {
        const qint64 got = file.read(slice.data(), std::min<qint64>(slice.size(), end - position));
        if (got <= 0)
            return;
        position += got;
        transcript.offset = position;
        handleBytes(transcript, QByteArrayView(slice.constData(), got), fallbackSession);
    }
}

// Completes the pending partial line, handles every complete line and keeps the new partial one.
void ClaudeCodeJSONLAdapter::handleBytes(Transcript &transcript, QByteArrayView bytes, const QString &fallbackSession)
{
    const QDateTime now = m_clock.now();
    if (!transcript.remainder.isEmpty()) {
        const qsizetype newline = bytes.indexOf('\n');
        if (newline < 0) {
            transcript.remainder.append(bytes);
            return;
        }
        transcript.remainder.append(bytes.first(newline));
        const QByteArray line = std::exchange(transcript.remainder, {});
        handleLine(line, fallbackSession, transcript.appearedAfterStart, now);
        bytes = bytes.sliced(newline + 1);
    }
    qsizetype start = 0;
    for (qsizetype newline; (newline = bytes.indexOf('\n', start)) >= 0; start = newline + 1) {
        if (newline > start)
            handleLine(bytes.sliced(start, newline - start), fallbackSession, transcript.appearedAfterStart, now);
    }
    transcript.remainder = bytes.sliced(start).toByteArray();
}

void ClaudeCodeJSONLAdapter::handleLine(QByteArrayView text, const QString &fallbackSession, bool appearedAfterStart,
                                        const QDateTime &now)
{
    ClaudeTranscriptLine line = ClaudeTranscriptLine::parse(text, fallbackSession, now);
    if (line.events.isEmpty() || !keepOnlyNew(line, appearedAfterStart))
        return;
    m_lastEventAt = now;
    m_lastSessionId = line.events.front().sessionId;
    for (const AgentEvent &event : std::as_const(line.events)) {
        m_bus.publish(event);
        if (std::holds_alternative<TurnStarted>(event.kind))
            m_turnOpen = true;
    }
    // A response without a user line before it still opens a turn, so that one gets closed.
    if (!m_turnOpen && std::any_of(line.events.cbegin(), line.events.cend(), isTokenUsage))
        m_turnOpen = true;
}

// Drops what was already counted: copies of lines (a forked session starts with its parent's
// lines), history copied into a new transcript, and the repeated usage of one response (Claude
// Code writes a line per content block, each with the whole response's usage). False when
// nothing is left.
bool ClaudeCodeJSONLAdapter::keepOnlyNew(ClaudeTranscriptLine &line, bool appearedAfterStart)
{
    if (!line.uuid.isEmpty() && !m_seenLines.insert(line.uuid))
        return false;
    if (appearedAfterStart && line.stampedAt.isValid() && line.stampedAt < m_startedAt)
        return false;
    const auto usage = std::find_if(line.events.begin(), line.events.end(), isTokenUsage);
    if (usage != line.events.end() && !line.responseId.isEmpty() && !m_countedResponses.insert(line.responseId))
        line.events.erase(usage);
    return !line.events.isEmpty();
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
