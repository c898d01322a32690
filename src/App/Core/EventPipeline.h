#pragma once

#include "Telemetry/StoredAgentEvent.h"

#include <QList>
#include <QObject>

#include <functional>
#include <optional>

class EventBus;
class EventStore;
class MetricsEngine;

// The bus's sink: every event moves the metrics and is stored with the model then in force and
// with what it counted under the engine's one-count rule (a model event that changes nothing is
// not stored); a group that holds an event from a Codex source asks once for a health refresh.
// What Claude Code's hooks already reported is not taken again from its transcripts
// (ClaudeHookCoverage).
//
// Both run here, on the main thread, because the model in force is the metrics engine's: the
// adapters' threads map and queue, the bus hands each queued group over in one call, and the
// group is stored in one transaction before its receipts (the receivers' answers) go out.
class EventPipeline : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventPipeline)

public:
    // store may be null (no persistence); metrics and store must outlive the pipeline.
    EventPipeline(EventBus &bus, MetricsEngine &metrics, EventStore *store, std::function<void()> onCodexEvent,
                  QObject *parent = nullptr);
    ~EventPipeline() override;

    // Applies and stores the events in order; false when the store refused them.
    bool deliver(const QList<AgentEvent> &events);

private:
    // What a token row stores as its counted share: absent when it counted in full.
    static std::optional<CountedTokens> storedShare(const AgentEvent &event, const std::optional<CountedTokens> &counted);

    EventBus &m_bus;
    MetricsEngine &m_metrics;
    EventStore *m_store;
    std::function<void()> m_onCodexEvent;
};
