#pragma once

#include "Ads/AdCreative.h"
#include "Ads/AdEvent.h"
#include "Ads/AdPilotReportSummary.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <optional>
#include <stdexcept>

// Local proof of what the sponsored slot did in a time window, written as Markdown and JSON.
// Works on files only.
namespace AdPilotReport {

// A report that could not be written; the description is the file system's.
class ReportError : public std::runtime_error {
public:
    explicit ReportError(const QString &description)
        : std::runtime_error(description.toStdString()), m_description(description) {}
    const QString &description() const { return m_description; }

private:
    QString m_description;
};

struct Files {
    QString ledger;
    QString campaigns;
    QString remoteQueue;
    QString remoteCreativeCache;
    QString eventsDatabase;
    QString outputDir;
};

// The event database's per-source activity in [since, until]; none when the database does not open.
using TelemetryReader =
    std::function<std::optional<QList<TelemetrySummary>>(const QDateTime &since, const QDateTime &until)>;

struct Result {
    QString markdownPath;
    QString jsonPath;
    Summary summary;
};

// Reads the files, writes "corvane-ad-pilot-<stamp>.md" and ".json" into the output directory and
// returns them. The stamp is generatedAt in `zone`. Throws ReportError when a file cannot be written.
Result generate(const QDateTime &since, const QDateTime &until, const Files &files, const TelemetryReader &telemetry,
                const QDateTime &generatedAt = QDateTime::currentDateTimeUtc(),
                const QTimeZone &zone = QTimeZone::systemTimeZone());

// The summary of the window's ledger events, without telemetry rows.
Summary summarize(const QList<AdEvent> &events, const QHash<QString, AdCreative> &creativeLookup,
                  qint64 queuedRemoteEvents, const QDateTime &since, const QDateTime &until,
                  const QString &ledgerSource, const QString &telemetrySource, const QDateTime &generatedAt);

// Campaign file entries by id, overlaid with the remote creative cache.
QHash<QString, AdCreative> loadCreativeLookup(const QString &campaignsPath, const QString &remoteCreativeCachePath);

QString markdown(const Summary &summary);

QStringList privacyBoundary();
QStringList caveats(qint64 unknownBidEvents, qint64 excludedDemoEvents);

} // namespace AdPilotReport
