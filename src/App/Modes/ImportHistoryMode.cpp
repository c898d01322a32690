#include "App/Modes/ImportHistoryMode.h"

#include "App/Core/CommandLine.h"
#include "App/Core/ControlClient.h"
#include "App/Core/ControlRequest.h"
#include "App/Core/HistoryProgressJson.h"
#include "App/Core/InstanceLock.h"
#include "Persistence/EventStore.h"
#include "Platform/Files/Terminal.h"
#include "Telemetry/Adapters/ClaudeHistoryReader.h"
#include "Telemetry/Adapters/ClaudeLineFilter.h"
#include "Telemetry/Adapters/CodexHistoryReader.h"
#include "Telemetry/Adapters/HistoryScan.h"

#include <QJsonDocument>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace ImportHistoryMode {

namespace {

constexpr int barWidth = 30;
constexpr int pollMs = 200;

int percentOf(const HistoryImport::Progress &progress)
{
    return progress.bytesTotal > 0 ? int(std::min<qint64>(100, progress.bytesDone * 100 / progress.bytesTotal)) : 100;
}

// A terminal's bar is redrawn at each percent; plain output gets a line per tenth.
void show(const HistoryImport::Progress &progress, bool terminal, int &lastShown)
{
    const int shown = terminal ? percentOf(progress) : percentOf(progress) / 10;
    if (shown == lastShown)
        return;
    lastShown = shown;
    CommandLine::printLines(progressLine(progress, terminal));
}

std::optional<QDateTime> sinceOf(const std::optional<qint64> &days)
{
    if (!days)
        return std::nullopt;
    return QDateTime::currentDateTimeUtc().addDays(-*days);
}

// Both agents' imports, one after the other, newest first within each.
int runHere(const std::optional<qint64> &days, const AppEnvironment &environment)
{
    EventStore::Opened opened = EventStore::openRecovering(environment.eventsDatabase(), *environment.clock);
    if (!opened.store)
        return CommandLine::errorExit(opened.failure);
    EventStore &store = *opened.store;
    const FilePositions known = store.filePositions();
    const QDateTime now = environment.clock->now();

    ClaudeLineFilter filter;
    filter.remember(store.countedIdentities(2 * ClaudeLineFilter::identityMemory));
    ClaudeHistoryReader claudeReader(filter, environment.delays.transcriptTurnQuiet, now);
    HistoryImport claude(claudeReader, store,
                         HistoryScan::classify(HistoryScan::jsonlFiles(environment.claudeProjectsDir()), known, sinceOf(days))
                             .allJobs());
    QList<HistoryImport::Job> codexJobs =
        HistoryScan::classify(HistoryScan::jsonlFiles(environment.homeDir + QStringLiteral("/.codex/sessions")), known,
                              sinceOf(days))
            .allJobs();
    for (HistoryImport::Job &job : codexJobs)
        job.from = 0; // a rollout's counts are differences: it is read from its start
    CodexHistoryReader codexReader(now, [&store](const QString &sessionId) {
        return store.latestSnapshot(AgentSource::codexDesktopSession, sessionId);
    });
    HistoryImport codex(codexReader, store, std::move(codexJobs));

    const bool terminal = isTerminal(stdout);
    int lastPercent = -1;
    const auto total = [&] { return HistoryImport::Progress::sum({claude.progress(), codex.progress()}); };
    while (claude.step() || codex.step())
        show(total(), terminal, lastPercent);
    const HistoryImport::Progress done = total();
    show(done, terminal, lastPercent);
    if (terminal)
        CommandLine::printLines(QStringLiteral("\n"));
    if (done.problem)
        return CommandLine::errorExit(*done.problem);
    CommandLine::printLines(summaryLine(done));
    return 0;
}

// The running instance imports; this process shows its progress until it is done.
int runInInstance(const std::optional<qint64> &days, const AppEnvironment &environment)
{
    const QString socket = environment.controlSocket();
    if (!ControlClient::send(socket, ControlRequest::importHistory(days).toLine()))
        return CommandLine::errorExit(QStringLiteral("the running instance does not answer"));
    const bool terminal = isTerminal(stdout);
    int lastPercent = -1;
    for (;;) {
        const std::optional<QByteArray> answer = ControlClient::send(socket, ControlRequest::importStatus().toLine());
        const auto progress = answer ? HistoryProgressJson::fromJson(QJsonDocument::fromJson(*answer).object()) : std::nullopt;
        if (!progress)
            return CommandLine::errorExit(QStringLiteral("the running instance stopped answering"));
        show(*progress, terminal, lastPercent);
        if (progress->finished) {
            if (terminal)
                CommandLine::printLines(QStringLiteral("\n"));
            if (progress->problem)
                return CommandLine::errorExit(*progress->problem);
            CommandLine::printLines(summaryLine(*progress));
            return 0;
        }
        QThread::msleep(pollMs);
    }
}

} // namespace

QString progressLine(const HistoryImport::Progress &progress, bool terminal)
{
    const int percent = percentOf(progress);
    const QString counts = QStringLiteral("%1% (%2 of %3 files)").arg(percent).arg(progress.filesDone).arg(progress.filesTotal);
    if (!terminal)
        return QStringLiteral("importing history: ") + counts + u'\n';
    const int filled = percent * barWidth / 100;
    return QStringLiteral("\r[%1%2] ").arg(QString(filled, u'#'), QString(barWidth - filled, u'-')) + counts;
}

QString summaryLine(const HistoryImport::Progress &progress)
{
    return QStringLiteral("imported %1 events from %2 files\n").arg(progress.rowsAdded).arg(progress.filesDone);
}

int run(const std::optional<qint64> &days, const AppEnvironment &environment)
{
    if (days && *days < 1)
        return CommandLine::errorExit(QStringLiteral("--days needs a whole number of days, 1 or more"));
    // Holding the instance lock keeps an instance from starting its own import meanwhile.
    const std::unique_ptr<InstanceLock> lock = InstanceLock::acquire(environment.supportDir);
    if (!lock)
        return runInInstance(days, environment);
    return runHere(days, environment);
}

} // namespace ImportHistoryMode
