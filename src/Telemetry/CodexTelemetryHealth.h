#pragma once

#include "Telemetry/AgentEvent.h"
#include "Telemetry/CodexConfigStatus.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <optional>

// Whether Codex telemetry can reach Corvane, and whether it does, as one observable verdict.
class CodexTelemetryHealth : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CodexTelemetryHealth)

public:
    enum class Status { setupNeeded, configConflict, listenerDown, restartNeeded, stale, ready };

    struct Snapshot {
        Status status = Status::setupNeeded;
        bool configInstalled = false;
        bool otelListening = false;
        bool notifyAvailable = false;
        std::optional<QDateTime> latestEventAt;
        QString detail;
        QString menuDetail;

        bool operator==(const Snapshot &) const = default;
    };

    // The sources whose latest event tells whether Codex telemetry arrives.
    static constexpr std::array codexSources{AgentSource::codexOtel, AgentSource::codexNotify,
                                             AgentSource::codexDesktopSession};

    // A Codex event older than this makes the telemetry stale.
    static constexpr double staleAfterSeconds = 900.0;

    explicit CodexTelemetryHealth(QObject *parent = nullptr);

    static Snapshot evaluate(const CodexConfigStatus &config, bool otelListening, bool notifyListening,
                             const std::optional<QDateTime> &latestEventAt, const QDateTime &now);

    // "setupNeeded", "configConflict", "listenerDown", "restartNeeded", "stale", "ready".
    static QString statusName(Status status);

    // "just now", "40s ago", "16m ago", "3h ago".
    static QString ageDescription(double seconds);

    // Evaluates and assigns; snapshotChanged is emitted only when the snapshot differs.
    void refresh(const CodexConfigStatus &config, bool otelListening, bool notifyListening,
                 const std::optional<QDateTime> &latestEventAt, const QDateTime &now);

    const Snapshot &snapshot() const { return m_snapshot; }

Q_SIGNALS:
    void snapshotChanged(const CodexTelemetryHealth::Snapshot &snapshot);

private:
    Snapshot m_snapshot;
};

Q_DECLARE_METATYPE(CodexTelemetryHealth::Snapshot)
