#include "HUD/DashboardContent.h"

#include "HUD/LimitsContent.h"
#include "Telemetry/DisplayFormat.h"

#include <QVariantMap>

#include <algorithm>
#include <numeric>

namespace {

QVariantMap tile(const QString &title, const QString &value, const QString &detail, const QString &tint)
{
    return {{QStringLiteral("title"), title},
            {QStringLiteral("value"), value},
            {QStringLiteral("detail"), detail},
            {QStringLiteral("tint"), tint}};
}

QVariantMap backendTile(const SlotSnapshot &slot)
{
    QString value = QStringLiteral("Local");
    QString tint = QStringLiteral("secondary");
    switch (slot.backendStatus) {
    case SlotSnapshot::BackendStatus::remoteReady: value = QStringLiteral("Remote"), tint = QStringLiteral("green"); break;
    case SlotSnapshot::BackendStatus::remoteFallback: value = QStringLiteral("Fallback"), tint = QStringLiteral("orange"); break;
    case SlotSnapshot::BackendStatus::remoteError: value = QStringLiteral("Error"), tint = QStringLiteral("red"); break;
    case SlotSnapshot::BackendStatus::localMock: break;
    }
    const QString detail = slot.queuedEvents < 1 ? slot.backendMessage
                                                 : QString::number(slot.queuedEvents) + QStringLiteral(" queued events");
    return tile(QStringLiteral("Ad backend"), value, detail, tint);
}

QVariantMap healthTile(const CodexTelemetryHealth::Snapshot &health)
{
    using Status = CodexTelemetryHealth::Status;
    QString value = QStringLiteral("Setup");
    QString tint = QStringLiteral("secondary");
    switch (health.status) {
    case Status::configConflict: value = QStringLiteral("Conflict"), tint = QStringLiteral("red"); break;
    case Status::listenerDown: value = QStringLiteral("Down"), tint = QStringLiteral("red"); break;
    case Status::restartNeeded: value = QStringLiteral("Restart"), tint = QStringLiteral("orange"); break;
    case Status::stale: value = QStringLiteral("Stale"), tint = QStringLiteral("orange"); break;
    case Status::ready: value = QStringLiteral("Ready"), tint = QStringLiteral("green"); break;
    case Status::setupNeeded: break;
    }
    return tile(QStringLiteral("Codex health"), value, health.detail, tint);
}

// The agent's own cost of the session beside the estimate, where it reports one.
QString sessionDetail(const ScopedMetrics &scoped)
{
    if (!scoped.reportedSessionCost)
        return QStringLiteral("cumulative usage");
    return DisplayFormat::money(*scoped.reportedSessionCost) + QStringLiteral(" reported \u00b7 ")
        + DisplayFormat::money(scoped.sessionCost) + QStringLiteral(" est.");
}

// The agent's own share of its context window, where it reports one.
QString contextDetail(const ScopedMetrics &scoped)
{
    if (!scoped.contextUsedPercent || scoped.contextWindow < 1)
        return QStringLiteral("latest request footprint");
    return DisplayFormat::percent(*scoped.contextUsedPercent) + QStringLiteral(" of ")
        + DisplayFormat::tokens(scoped.contextWindow) + QStringLiteral(" window");
}

// A tile and its rank: when the wide layout's one row has no room for all, the highest ranks
// give way first.
struct RankedTile {
    QVariantMap tile;
    double rank;
};

// The ranks of the summary tiles, in their order; the plan limits stand and rank just after the
// context.
constexpr double summaryRanks[] = {0, 1, 3, 4, 6, 9, 7, 8, 5};
constexpr qsizetype limitsPosition = 2;
constexpr double limitsRank = 2;

// How many tiles of the given minimum width fit in one row of the panel.
int tilesPerRow(double panelWidth, double tileWidth)
{
    const double inner = panelWidth - 2 * DashboardContent::padding;
    return std::max(1, static_cast<int>((inner + DashboardContent::tileSpacing) / (tileWidth + DashboardContent::tileSpacing)));
}

// The tiles that fit one row (all of them without a width), in their own order; of equal ranks
// the earlier one stays.
QVariantList fittingRow(const QList<RankedTile> &all, std::optional<double> panelWidth)
{
    QList<qsizetype> byRank(all.size());
    std::iota(byRank.begin(), byRank.end(), 0);
    std::stable_sort(byRank.begin(), byRank.end(), [&](qsizetype a, qsizetype b) { return all[a].rank < all[b].rank; });
    const qsizetype room = panelWidth ? tilesPerRow(*panelWidth, DashboardContent::wideTileWidth) : all.size();
    QList<bool> kept(all.size(), false);
    for (qsizetype i = 0; i < std::min(room, all.size()); ++i)
        kept[byRank[i]] = true;
    QVariantList row;
    for (qsizetype i = 0; i < all.size(); ++i)
        if (kept[i])
            row.append(all[i].tile);
    return row;
}

QVariantList summaryTiles(const DashboardInputs &inputs)
{
    const ScopedMetrics &scoped = inputs.scoped;
    const SlotSnapshot &slot = inputs.slot;
    const QString primary = QStringLiteral("primary");
    const QString est = QStringLiteral(" est.");
    double weekCost = 0;
    qint64 weekTokens = 0;
    for (const DayAgg &day : scoped.daily) {
        weekCost += day.cost;
        weekTokens += day.input + day.output;
    }
    const double todayCost = scoped.daily.isEmpty() ? 0 : scoped.daily.last().cost;
    return {
        tile(QStringLiteral("Session total"), DisplayFormat::tokens(scoped.sessionTotalTokens), sessionDetail(scoped), primary),
        tile(QStringLiteral("Current context"), DisplayFormat::tokens(scoped.contextTokens), contextDetail(scoped), primary),
        tile(QStringLiteral("Metered today"), DisplayFormat::tokens(scoped.todayTokens()), DisplayFormat::money(todayCost) + est,
             primary),
        tile(QStringLiteral("Last 7 days"), DisplayFormat::money(weekCost) + est,
             DisplayFormat::tokens(weekTokens) + QStringLiteral(" metered"), primary),
        tile(QStringLiteral("Payable earned"), QStringLiteral("+") + DisplayFormat::money(slot.earningsThisMonth),
             QStringLiteral("paid campaigns only"), QStringLiteral("green")),
        tile(QStringLiteral("Payable projection"), QStringLiteral("+") + DisplayFormat::money(slot.projectedMonthly),
             QStringLiteral("at current pace"), QStringLiteral("green")),
        tile(QStringLiteral("Demo value"), DisplayFormat::money(slot.demoValueThisMonth), QStringLiteral("not payable"),
             QStringLiteral("orange")),
        backendTile(slot),
        healthTile(inputs.codexHealth),
    };
}

QList<RankedTile> rankedTiles(const DashboardInputs &inputs)
{
    QList<RankedTile> ranked;
    const QVariantList summary = summaryTiles(inputs);
    for (qsizetype i = 0; i < summary.size(); ++i)
        ranked.append({summary[i].toMap(), summaryRanks[i]});
    const QDateTime now = inputs.now.isValid() ? inputs.now : QDateTime::currentDateTimeUtc();
    qsizetype at = limitsPosition;
    for (const QVariant &limits : limitsTiles(inputs.scoped.planLimits, now))
        ranked.insert(at++, {limits.toMap(), limitsRank});
    return ranked;
}

void fillDays(DashboardContent &content, const QList<DayAgg> &daily, const QLocale &locale)
{
    for (const DayAgg &day : daily) {
        const int weekday = day.date.date().dayOfWeek();
        content.days.append(QVariantMap{{QStringLiteral("label"), locale.standaloneDayName(weekday, QLocale::NarrowFormat)},
                                        {QStringLiteral("input"), static_cast<double>(day.input)},
                                        {QStringLiteral("output"), static_cast<double>(day.output)},
                                        {QStringLiteral("cost"), day.cost}});
        content.maxDayTokens = std::max(content.maxDayTokens, static_cast<double>(day.input + day.output));
        content.maxDayCost = std::max(content.maxDayCost, day.cost);
    }
    content.tokenScale = DisplayFormat::tokens(static_cast<qint64>(content.maxDayTokens));
    content.costScale = DisplayFormat::money(content.maxDayCost);
}

void fillTools(DashboardContent &content, const ScopedMetrics &scoped)
{
    content.toolTitle = QStringLiteral("TOOL CALLS \u00b7 ") + QString::number(scoped.toolCallCount);
    const qsizetype limit = content.narrow ? DashboardContent::narrowToolRows : DashboardContent::wideToolRows;
    for (qsizetype i = 0; i < std::min(limit, scoped.toolFeed.size()); ++i) {
        const ToolCallEntry &entry = scoped.toolFeed[i];
        const QString duration = entry.durationMs ? QString::number(*entry.durationMs) + QStringLiteral("ms") : QString();
        content.toolRows.append(QVariantMap{{QStringLiteral("name"), entry.name}, {QStringLiteral("duration"), duration}});
    }
}

void fillSessions(DashboardContent &content, const ScopedMetrics &scoped)
{
    for (qsizetype i = 0; i < std::min<qsizetype>(DashboardContent::sessionRowLimit, scoped.sessions.size()); ++i) {
        const SessionAgg &session = scoped.sessions[i];
        const QString help = QStringLiteral("Session total. Metered API usage: ")
            + DisplayFormat::tokens(session.input + session.output) + QStringLiteral(", cached input: ")
            + DisplayFormat::tokens(session.cached) + QStringLiteral(".");
        content.sessionRows.append(
            QVariantMap{{QStringLiteral("id"), session.sessionId.left(10)},
                        {QStringLiteral("value"), DisplayFormat::tokens(session.sessionTokens) + QStringLiteral(" \u00b7 ")
                                                      + DisplayFormat::money(session.cost)},
                        {QStringLiteral("help"), help}});
    }
}

void fillGates(DashboardContent &content, const SlotSnapshot &slot)
{
    const auto row = [](const QString &text, bool passes) {
        return QVariantMap{{QStringLiteral("text"), text}, {QStringLiteral("passes"), passes}};
    };
    content.gateRows = {row(QStringLiteral("turn in flight"), slot.gates.turnInFlight),
                        row(QStringLiteral("HUD visible"), slot.gates.hudVisible),
                        row(QStringLiteral("display awake"), slot.gates.displayAwake),
                        row(QStringLiteral("input < 60s"), slot.gates.inputRecent)};
    content.streakLine = QStringLiteral("streak ") + QString::number(slot.streakSeconds)
        + QStringLiteral("/5s \u00b7 ticks ") + QString::number(slot.tickCount);
}

} // namespace

DashboardContent dashboardContent(const DashboardInputs &inputs)
{
    DashboardContent content;
    content.narrow = inputs.width < DashboardContent::wideFromWidth;
    content.tiles = fittingRow(rankedTiles(inputs), content.narrow ? std::nullopt : std::optional(inputs.width));
    fillDays(content, inputs.scoped.daily, inputs.locale);
    fillTools(content, inputs.scoped);
    fillSessions(content, inputs.scoped);
    content.showDebugOverlay = inputs.showDebugOverlay;
    fillGates(content, inputs.slot);
    content.historyLine = inputs.historyLine;
    return content;
}
