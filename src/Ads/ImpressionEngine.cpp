#include "Ads/ImpressionEngine.h"

#include "Ads/AdLedger.h"
#include "Ads/AdMonth.h"
#include "Ads/AdServer.h"
#include "Ads/MockAdServer.h"
#include "Platform/Desktop.h"
#include "Platform/InputIdle.h"

#include <QLoggingCategory>
#include <QPointer>

ImpressionEngine::ImpressionEngine(std::shared_ptr<AdServer> server, AdLedger &ledger, const InputIdle *inputIdle,
                                   const Environment &env, QTimeZone zone, QObject *parent)
    : QObject(parent),
      m_server(std::move(server)),
      m_ledger(ledger),
      m_clock(*env.clock),
      m_evaluationPeriod(env.delays.adEvaluation),
      m_zone(std::move(zone)),
      m_backendHealth(m_server->health())
{
    // Without an input-idle source the user counts as present and the display as awake.
    displayAwakeProvider = [inputIdle] { return !inputIdle || inputIdle->isDisplayAwake(); };
    const double inputRecentSeconds = std::chrono::duration<double>(env.delays.adInputRecent).count();
    inputRecentProvider = [inputIdle, inputRecentSeconds] {
        return !inputIdle || inputIdle->secondsSinceLastInput() < inputRecentSeconds;
    };
    refreshMonthValues(m_clock.now());
}

ImpressionEngine::~ImpressionEngine() = default;

void ImpressionEngine::start()
{
    if (m_timer)
        return;
    // Owned by the engine, so a released engine stops evaluating.
    m_timer = m_clock.createTimer(m_evaluationPeriod, Clock::Repeat::everyInterval, this,
                                  [this] { evaluate(m_clock.now()); });
    m_timer->start();
}

void ImpressionEngine::evaluate(const QDateTime &now)
{
    Gates gates;
    gates.turnInFlight = turnInFlightProvider();
    gates.hudVisible = hudVisibleProvider();
    gates.displayAwake = displayAwakeProvider();
    gates.inputRecent = inputRecentProvider();
    setGates(gates);

    if (!gates.turnInFlight || !adsShownProvider()) {
        setCurrentCreative(std::nullopt);
        m_renderedImpressionForTurn = false;
        setStreak(0);
        return;
    }
    if (!m_currentCreative)
        refreshCreative(now);
    if (gates.hudVisible && gates.displayAwake && gates.inputRecent && m_currentCreative) {
        if (m_streakSeconds + 1 >= ticksPerStreak) {
            setStreak(0);
            record(AdEventType::viewTick, *m_currentCreative, now);
        } else {
            setStreak(m_streakSeconds + 1);
        }
        return;
    }
    setStreak(0);
}

void ImpressionEngine::handleClick(const QDateTime &now)
{
    if (!m_currentCreative)
        return;
    const AdCreative creative = *m_currentCreative;
    const QUrl url(creative.clickUrl, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty() && !(desktop && desktop->openUrl(url)))
        qWarning("corvane: could not open the sponsored link %s", qPrintable(url.toString()));
    record(AdEventType::click, creative, now);
}

void ImpressionEngine::replaceServer(std::shared_ptr<AdServer> server)
{
    m_server = std::move(server);
    refreshMonthValues(m_clock.now());
    setBackendHealth(m_server->health());
    setCurrentCreative(std::nullopt);
    m_renderedImpressionForTurn = false;
    setStreak(0);
}

double ImpressionEngine::projectedMonthly(double earned, const QDateTime &now, const QTimeZone &zone,
                                          const QCalendar &calendar)
{
    const QDate date = now.toTimeZone(zone).date();
    const QCalendar::YearMonthDay parts = calendar.partsFromDate(date);
    const int day = parts.isValid() ? parts.day : 0;
    int daysInMonth = parts.isValid() ? calendar.daysInMonth(parts.month, parts.year) : 0;
    if (daysInMonth <= 0)
        daysInMonth = 30;
    if (day >= 1 && earned > 0)
        return earned / day * daysInMonth;
    return earned;
}

MockAdServer *ImpressionEngine::localServer() const
{
    return dynamic_cast<MockAdServer *>(m_server.get());
}

void ImpressionEngine::refreshCreative(const QDateTime &now)
{
    if (MockAdServer *local = localServer()) {
        applyServed(local->serveSync(), now);
        setBackendHealth(local->health());
        return;
    }
    // Every evaluation with an empty slot asks again; answers come back on the main thread.
    QPointer<ImpressionEngine> self(this);
    std::weak_ptr<AdServer> asked = m_server;
    m_server->serve([self, asked, now](std::optional<AdCreative> creative, std::optional<AdServerError> error) {
        const std::shared_ptr<AdServer> server = asked.lock();
        // An answer from a backend that has since been replaced is dropped.
        if (!self || !server || server != self->m_server)
            return;
        self->setBackendHealth(server->health());
        self->applyServed(error ? std::nullopt : creative, now);
    });
}

void ImpressionEngine::applyServed(const std::optional<AdCreative> &creative, const QDateTime &now)
{
    if (!adsShownProvider())
        return; // an answer to a request made before the ads were switched off
    setCurrentCreative(creative);
    if (!creative || m_renderedImpressionForTurn)
        return;
    m_renderedImpressionForTurn = true;
    const AdEvent event = AdEvent::make(creative->id, AdEventType::impressionRendered, now, agentSourceProvider());
    m_ledger.append(event);
    postToServer({event});
}

void ImpressionEngine::record(AdEventType type, const AdCreative &creative, const QDateTime &now)
{
    const AdEvent event = AdEvent::make(creative.id, type, now, agentSourceProvider());
    m_ledger.append(event);
    if (type == AdEventType::viewTick)
        setTickCount(m_tickCount + 1);
    const double share = adEventValue(type, creative.bidPer1000Imps) * developerShareRate;
    if (creative.isPaid())
        setEarnings(m_earningsThisMonth + share);
    else
        setDemoValue(m_demoValueThisMonth + share);
    postToServer({event});
    if (MockAdServer *local = localServer()) {
        // The budget is already spent, so an exhausted campaign gives way without a new render.
        setCurrentCreative(local->serveSync());
        setBackendHealth(local->health());
    } else {
        setBackendHealth(m_server->health());
    }
}

void ImpressionEngine::postToServer(const QList<AdEvent> &events)
{
    if (MockAdServer *local = localServer()) {
        local->postEventsSync(events);
        setBackendHealth(local->health());
        return;
    }
    QPointer<ImpressionEngine> self(this);
    std::weak_ptr<AdServer> posted = m_server;
    // Undelivered events stay in the backend's own queue, so a failure needs no handling here.
    m_server->postEvents(events, [self, posted](std::optional<AdServerError>) {
        const std::shared_ptr<AdServer> server = posted.lock();
        if (self && server && server == self->m_server)
            self->setBackendHealth(server->health());
    });
}

void ImpressionEngine::refreshMonthValues(const QDateTime &now)
{
    const QHash<QString, double> bids = m_server->bidLookup();
    const QHash<QString, bool> paid = m_server->paidLookup();
    double earnings = 0;
    double demo = 0;
    for (const AdEvent &event : m_ledger.loadEvents()) {
        if (!sameCalendarMonth(event.timestamp, now, m_zone))
            continue;
        const auto bid = bids.constFind(event.campaignId);
        if (bid == bids.constEnd())
            continue;
        const double value = adEventValue(event.type, *bid);
        if (paid.value(event.campaignId, false))
            earnings += value;
        else
            demo += value;
    }
    setEarnings(developerShareRate * earnings);
    setDemoValue(developerShareRate * demo);
}

void ImpressionEngine::setGates(const Gates &gates)
{
    if (std::exchange(m_gates, gates) != gates)
        Q_EMIT gatesChanged();
}

void ImpressionEngine::setCurrentCreative(const std::optional<AdCreative> &creative)
{
    if (std::exchange(m_currentCreative, creative) != creative)
        Q_EMIT currentCreativeChanged();
}

void ImpressionEngine::setEarnings(double value)
{
    if (std::exchange(m_earningsThisMonth, value) != value)
        Q_EMIT earningsThisMonthChanged();
}

void ImpressionEngine::setDemoValue(double value)
{
    if (std::exchange(m_demoValueThisMonth, value) != value)
        Q_EMIT demoValueThisMonthChanged();
}

void ImpressionEngine::setTickCount(int value)
{
    if (std::exchange(m_tickCount, value) != value)
        Q_EMIT tickCountChanged();
}

void ImpressionEngine::setStreak(int value)
{
    if (std::exchange(m_streakSeconds, value) != value)
        Q_EMIT streakSecondsChanged();
}

void ImpressionEngine::setBackendHealth(AdServerHealth health)
{
    // A ledger that cannot be written is told where the ad backend's state is shown.
    if (m_ledger.writeProblem())
        health.message = *m_ledger.writeProblem();
    if (std::exchange(m_backendHealth, health) != health)
        Q_EMIT backendHealthChanged();
}
