#pragma once

#include <QObject>

#include <functional>

class EventBus;
class EventStore;
class MetricsEngine;
struct AgentEvent;

// The bus's one subscriber: every event moves the metrics, is stored with the model then in
// force, and an event from a Codex source asks for a health refresh. What Claude Code's hooks
// already reported is not taken again from its transcripts (ClaudeHookCoverage).
class EventPipeline : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventPipeline)

public:
    // store may be null (no persistence); metrics and store must outlive the pipeline.
    EventPipeline(EventBus &bus, MetricsEngine &metrics, EventStore *store, std::function<void()> onCodexEvent,
                  QObject *parent = nullptr);

    void handle(const AgentEvent &event);

private:
    MetricsEngine &m_metrics;
    EventStore *m_store;
    std::function<void()> m_onCodexEvent;
};
