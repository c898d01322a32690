#pragma once

#include "Ads/AdCreative.h"
#include "Ads/AdEvent.h"
#include "Ads/AdServerHealth.h"
#include "Platform/Environment.h"

#include <QCalendar>
#include <QDateTime>
#include <QObject>
#include <QTimeZone>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class AdLedger;
class AdServer;
class Desktop;
class InputIdle;
class MockAdServer;

// Decides at every evaluation period (a second) whether the sponsored slot may show a creative and whether it is being
// looked at; five qualifying evaluations in a row make one billable view tick. Main thread only.
class ImpressionEngine : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImpressionEngine)
    Q_PROPERTY(double earningsThisMonth READ earningsThisMonth NOTIFY earningsThisMonthChanged)
    Q_PROPERTY(double demoValueThisMonth READ demoValueThisMonth NOTIFY demoValueThisMonthChanged)
    Q_PROPERTY(int tickCount READ tickCount NOTIFY tickCountChanged)
    Q_PROPERTY(int streakSeconds READ streakSeconds NOTIFY streakSecondsChanged)

public:
    struct Gates {
        bool turnInFlight = false;
        bool hudVisible = false;
        bool displayAwake = false;
        bool inputRecent = false;
        bool operator==(const Gates &) const = default;
    };

    static constexpr int ticksPerStreak = 5;

    // The display and input gates default to inputIdle's answers (awake and recent without one;
    // input is recent within env.delays.adInputRecent). The month values are rebuilt from the
    // ledger at once, in `zone`; the timer (every env.delays.adEvaluation) is not started.
    ImpressionEngine(std::shared_ptr<AdServer> server, AdLedger &ledger, const InputIdle *inputIdle = nullptr,
                     const Environment &env = {}, QTimeZone zone = QTimeZone::systemTimeZone(),
                     QObject *parent = nullptr);
    ~ImpressionEngine() override;

    const Gates &gates() const { return m_gates; }
    const std::optional<AdCreative> &currentCreative() const { return m_currentCreative; }
    double earningsThisMonth() const { return m_earningsThisMonth; }
    double demoValueThisMonth() const { return m_demoValueThisMonth; }
    int tickCount() const { return m_tickCount; }
    int streakSeconds() const { return m_streakSeconds; }
    const AdServerHealth &backendHealth() const { return m_backendHealth; }
    const std::shared_ptr<AdServer> &server() const { return m_server; }

    std::function<bool()> turnInFlightProvider = [] { return false; };
    std::function<bool()> hudVisibleProvider = [] { return false; };
    // Show Ads: while it answers false nothing is served, rendered, recorded or reported.
    std::function<bool()> adsShownProvider = [] { return true; };
    std::function<bool()> displayAwakeProvider;
    std::function<bool()> inputRecentProvider;
    std::function<QString()> agentSourceProvider = [] { return QStringLiteral("mock"); };
    // Opens the creative's address on a click; without one nothing opens.
    Desktop *desktop = nullptr;

    // Starts the periodic evaluation unless it is running.
    void start();
    void evaluate(const QDateTime &now);
    void evaluate() { evaluate(m_clock.now()); }
    // The user clicked the slot: opens the address and records a billed click.
    void handleClick(const QDateTime &now);
    // Switches backend: month values rebuilt, slot emptied, streak reset; the tick count is kept.
    void replaceServer(std::shared_ptr<AdServer> server);

    // This month's total if it keeps the pace of the days so far.
    static double projectedMonthly(double earned, const QDateTime &now, const QTimeZone &zone,
                                   const QCalendar &calendar = QCalendar());

Q_SIGNALS:
    void gatesChanged();
    void currentCreativeChanged();
    void earningsThisMonthChanged();
    void demoValueThisMonthChanged();
    void tickCountChanged();
    void streakSecondsChanged();
    void backendHealthChanged();

private:
    MockAdServer *localServer() const;
    void refreshCreative(const QDateTime &now);
    void applyServed(const std::optional<AdCreative> &creative, const QDateTime &now);
    void record(AdEventType type, const AdCreative &creative, const QDateTime &now);
    void postToServer(const QList<AdEvent> &events);
    void refreshMonthValues(const QDateTime &now);

    void setGates(const Gates &gates);
    void setCurrentCreative(const std::optional<AdCreative> &creative);
    void setEarnings(double value);
    void setDemoValue(double value);
    void setTickCount(int value);
    void setStreak(int value);
    void setBackendHealth(AdServerHealth health);

    std::shared_ptr<AdServer> m_server;
    AdLedger &m_ledger;
    Clock &m_clock;
    const std::chrono::milliseconds m_evaluationPeriod;
    QTimeZone m_zone;
    Timer *m_timer = nullptr;
    Gates m_gates;
    std::optional<AdCreative> m_currentCreative;
    double m_earningsThisMonth = 0;
    double m_demoValueThisMonth = 0;
    int m_tickCount = 0;
    int m_streakSeconds = 0;
    AdServerHealth m_backendHealth;
    bool m_renderedImpressionForTurn = false;
};
