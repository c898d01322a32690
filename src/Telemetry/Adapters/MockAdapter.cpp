#include "Telemetry/Adapters/MockAdapter.h"

#include <QRandomGenerator>
#include <QUuid>

#include <algorithm>
#include <cmath>

namespace {

QDateTime after(const QDateTime &time, double seconds)
{
    return time.addMSecs(std::llround(seconds * 1000.0));
}

} // namespace

const QStringList MockAdapter::tools{"Bash", "Read", "Edit", "WebSearch", "Grep", "Write"};
const QStringList MockAdapter::verbs{"Reticulating", "Refactoring", "Spelunking", "Pondering", "Compiling", "Vibing"};

double MockAdapter::systemRandom()
{
    return QRandomGenerator::global()->generateDouble();
}

MockAdapter::MockAdapter(EventBus &bus, const Environment &env, UnitRandom random, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_clock(*env.clock)
    , m_random(std::move(random))
    , m_sessionId(QStringLiteral("mock-")
                  + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toUpper())
    , m_timer(m_clock.createTimer(env.delays.mockStep, Clock::Repeat::everyInterval, this, [this] { step(); }))
{
}

void MockAdapter::start()
{
    stop();
    const QDateTime now = m_clock.now();
    publish(ModelInfo{QStringLiteral("mock-model-xl")}, now);
    m_nextTurnAt = after(now, 2.0);
    m_timer->start();
}

void MockAdapter::stop()
{
    m_timer->stop();
    if (m_turnEndsAt) {
        publish(TurnEnded{}, m_clock.now());
        m_turnEndsAt.reset();
    }
}

void MockAdapter::step()
{
    const QDateTime now = m_clock.now();
    if (!m_turnEndsAt) {
        if (m_nextTurnAt && now >= *m_nextTurnAt)
            startTurn(now);
    } else if (now >= *m_turnEndsAt) {
        endTurn(now);
    } else {
        stepInTurn(now);
    }
}

void MockAdapter::startTurn(const QDateTime &now)
{
    publish(TurnStarted{}, now);
    TokenUsage usage;
    usage.inputTokens = randomInteger(800, 6000);
    usage.cachedTokens = randomInteger(0, 20000);
    publish(usage, now);
    m_turnEndsAt = after(now, randomReal(10.0, 120.0));
}

void MockAdapter::endTurn(const QDateTime &now)
{
    publish(TurnEnded{}, now);
    m_turnEndsAt.reset();
    m_nextTurnAt = after(now, randomReal(3.0, 10.0));
}

void MockAdapter::stepInTurn(const QDateTime &now)
{
    if (chance(0.8)) {
        TokenUsage usage;
        usage.inputTokens = randomInteger(0, 40);
        usage.outputTokens = static_cast<qint64>(randomReal(20.0, 80.0) / 2.0);
        if (chance(0.5))
            usage.cachedTokens = randomInteger(100, 2000);
        publish(usage, now);
    }
    if (chance(0.12))
        publish(ToolCall{randomElement(tools), randomInteger(80, 4000)}, now);
    if (chance(0.05))
        publish(StateText{randomElement(verbs) + QChar(0x2026)}, now);
}

void MockAdapter::publish(AgentEventKind kind, const QDateTime &now)
{
    m_bus.publish(AgentEvent::make(AgentSource::mock, m_sessionId, std::move(kind), now));
}

qint64 MockAdapter::randomInteger(qint64 low, qint64 high)
{
    const auto span = static_cast<double>(high - low + 1);
    return low + std::min(high - low, static_cast<qint64>(m_random() * span));
}

double MockAdapter::randomReal(double low, double high)
{
    return low + m_random() * (high - low);
}

bool MockAdapter::chance(double probability)
{
    return m_random() < probability;
}

const QString &MockAdapter::randomElement(const QStringList &list)
{
    return list.at(randomInteger(0, list.size() - 1));
}
