#pragma once

#include "App/Core/RefusedEvents.h"
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
// A refused group goes unanswered and comes back under new ids: what it held is stored again
// but not counted again (RefusedEvents).
class EventPipeline : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventPipeline)

public:
    // store may be null (no persistence); metrics and store must outlive the pipeline.
    EventPipeline(EventBus &bus, MetricsEngine &metrics, EventStore *store, std::function<void()> onCodexEvent,
                  QObject *parent = nullptr);
    ~EventPipeline() override;

    // Applies and stores the events in order; false when the store refused them. An event with the
    // content of a row still waiting from a refused group is stored without being applied again.
    bool deliver(const QList<AgentEvent> &events);

private:
    // The model the agent's rows are stored with now.
    std::optional<QString> modelInForce(const AgentEvent &event) const;
    // The row again for an event whose content a refused group held; absent otherwise.
    std::optional<StoredAgentEvent> resentRow(const AgentEvent &event) const;
    // In one transaction; the rows of a refused group are remembered until a group holding them is stored.
    bool store(const QList<StoredAgentEvent> &rows);
    // What a token row stores as its counted share: absent when it counted in full.
    static std::optional<CountedTokens> storedShare(const AgentEvent &event, const std::optional<CountedTokens> &counted);

    EventBus &m_bus;
    MetricsEngine &m_metrics;
    EventStore *m_store;
    std::function<void()> m_onCodexEvent;
    RefusedEvents m_refused; // as many as the store keeps for its retry
};
