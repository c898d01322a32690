#pragma once

#include "Platform/Environment.h"
#include "Telemetry/Adapters/AgentAdapter.h"
#include "Telemetry/EventBus.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

// An endless, plausible synthetic agent (turns, tokens, tool calls, state texts) with source
// mock, so the HUD, the metrics and the sponsored slot can be seen working without a real agent.
// Runs on the main thread.
class MockAdapter : public QObject, public AgentAdapter {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MockAdapter)

public:
    // Uniformly distributed in [0, 1); every call an independent draw.
    using UnitRandom = std::function<double()>;

    static const QStringList tools;
    static const QStringList verbs;

    // Steps every env.delays.mockStep.
    explicit MockAdapter(EventBus &bus, const Environment &env = {}, UnitRandom random = systemRandom,
                         QObject *parent = nullptr);

    AgentSource source() const override { return AgentSource::mock; }
    // Announces the model and schedules the first turn two seconds ahead; restarts when running.
    void start() override;
    // Stops stepping; a turn in progress ends with turnEnded.
    void stop() override;
    // One step of the synthetic agent; the timer runs it at every step interval.
    void step();

    const QString &sessionId() const { return m_sessionId; }
    bool isRunning() const { return m_timer->isActive(); }
    const std::optional<QDateTime> &turnEndsAt() const { return m_turnEndsAt; }
    const std::optional<QDateTime> &nextTurnAt() const { return m_nextTurnAt; }

    static double systemRandom();

private:
    void publish(AgentEventKind kind, const QDateTime &now);
    void startTurn(const QDateTime &now);
    void endTurn(const QDateTime &now);
    void stepInTurn(const QDateTime &now);

    qint64 randomInteger(qint64 low, qint64 high);
    double randomReal(double low, double high);
    bool chance(double probability);
    const QString &randomElement(const QStringList &list);

    EventBus &m_bus;
    Clock &m_clock;
    UnitRandom m_random;
    QString m_sessionId;
    Timer *m_timer;
    std::optional<QDateTime> m_turnEndsAt;
    std::optional<QDateTime> m_nextTurnAt;
};
