#include "Ads/AdPilotReportSummary.h"

#include "Ads/AdJson.h"

#include <QJsonArray>
#include <QJsonValue>

namespace AdPilotReport {

namespace {

QJsonValue time(const QDateTime &value)
{
    return AdJson::isoSeconds(value);
}

// Reads the fields of one object; any missing or mistyped field makes the whole read fail.
class Reader {
public:
    explicit Reader(const QJsonObject &object) : m_object(object) {}

    bool ok() const { return m_ok; }

    QString text(const char *key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        m_ok = m_ok && value.isString();
        return value.toString();
    }
    double number(const char *key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        m_ok = m_ok && value.isDouble();
        return value.toDouble();
    }
    qint64 integer(const char *key)
    {
        const double value = number(key);
        m_ok = m_ok && value == static_cast<double>(static_cast<qint64>(value));
        return static_cast<qint64>(value);
    }
    QDateTime date(const char *key)
    {
        const std::optional<QDateTime> value = AdJson::parseIsoSeconds(text(key));
        m_ok = m_ok && value.has_value();
        return value.value_or(QDateTime());
    }
    std::optional<QDateTime> optionalDate(const char *key)
    {
        if (!m_object.contains(QLatin1String(key)))
            return std::nullopt;
        return date(key);
    }
    QJsonArray array(const char *key)
    {
        const QJsonValue value = m_object.value(QLatin1String(key));
        m_ok = m_ok && value.isArray();
        return value.toArray();
    }
    QStringList texts(const char *key)
    {
        QStringList result;
        for (const QJsonValue &value : array(key)) {
            m_ok = m_ok && value.isString();
            result.append(value.toString());
        }
        return result;
    }
    template <typename Row, typename Read>
    QList<Row> rows(const char *key, Read read)
    {
        QList<Row> result;
        for (const QJsonValue &value : array(key)) {
            Reader row(value.toObject());
            m_ok = m_ok && value.isObject();
            result.append(read(row));
            m_ok = m_ok && row.ok();
        }
        return result;
    }

private:
    QJsonObject m_object;
    bool m_ok = true;
};

QJsonObject toJson(const CampaignSummary &row)
{
    return {{QStringLiteral("campaignId"), row.campaignId},
            {QStringLiteral("name"), row.name},
            {QStringLiteral("bidPer1000Imps"), row.bidPer1000Imps},
            {QStringLiteral("renderedImpressions"), row.renderedImpressions},
            {QStringLiteral("billableViewTicks"), row.billableViewTicks},
            {QStringLiteral("clicks"), row.clicks},
            {QStringLiteral("grossSpend"), row.grossSpend},
            {QStringLiteral("developerShare"), row.developerShare},
            {QStringLiteral("companyShare"), row.companyShare}};
}

QJsonObject toJson(const AgentSourceSummary &row)
{
    return {{QStringLiteral("agentSource"), row.agentSource},
            {QStringLiteral("renderedImpressions"), row.renderedImpressions},
            {QStringLiteral("billableViewTicks"), row.billableViewTicks},
            {QStringLiteral("clicks"), row.clicks},
            {QStringLiteral("grossSpend"), row.grossSpend}};
}

QJsonObject toJson(const TelemetrySummary &row)
{
    QJsonObject object{{QStringLiteral("source"), row.source},
                       {QStringLiteral("sessions"), row.sessions},
                       {QStringLiteral("tokenRows"), row.tokenRows},
                       {QStringLiteral("toolCalls"), row.toolCalls},
                       {QStringLiteral("inputTokens"), row.inputTokens},
                       {QStringLiteral("outputTokens"), row.outputTokens},
                       {QStringLiteral("cachedTokens"), row.cachedTokens},
                       {QStringLiteral("activeTurnSeconds"), row.activeTurnSeconds}};
    if (row.firstActivity)
        object.insert(QStringLiteral("firstActivity"), time(*row.firstActivity));
    if (row.lastActivity)
        object.insert(QStringLiteral("lastActivity"), time(*row.lastActivity));
    return object;
}

template <typename Row>
QJsonArray arrayOf(const QList<Row> &rows)
{
    QJsonArray array;
    for (const Row &row : rows)
        array.append(toJson(row));
    return array;
}

} // namespace

QJsonObject Summary::toJson() const
{
    return {{QStringLiteral("generatedAt"), time(generatedAt)},
            {QStringLiteral("since"), time(since)},
            {QStringLiteral("until"), time(until)},
            {QStringLiteral("ledgerSource"), ledgerSource},
            {QStringLiteral("telemetrySource"), telemetrySource},
            {QStringLiteral("queuedRemoteEvents"), queuedRemoteEvents},
            {QStringLiteral("excludedDemoEvents"), excludedDemoEvents},
            {QStringLiteral("excludedDemoSpend"), excludedDemoSpend},
            {QStringLiteral("renderedImpressions"), renderedImpressions},
            {QStringLiteral("billableViewTicks"), billableViewTicks},
            {QStringLiteral("clicks"), clicks},
            {QStringLiteral("grossSpend"), grossSpend},
            {QStringLiteral("developerShare"), developerShare},
            {QStringLiteral("companyShare"), companyShare},
            {QStringLiteral("campaigns"), arrayOf(campaigns)},
            {QStringLiteral("agentSources"), arrayOf(agentSources)},
            {QStringLiteral("telemetry"), arrayOf(telemetry)},
            {QStringLiteral("privacyBoundary"), QJsonArray::fromStringList(privacyBoundary)},
            {QStringLiteral("caveats"), QJsonArray::fromStringList(caveats)}};
}

std::optional<Summary> Summary::fromJson(const QJsonObject &object)
{
    Reader in(object);
    Summary s;
    s.generatedAt = in.date("generatedAt");
    s.since = in.date("since");
    s.until = in.date("until");
    s.ledgerSource = in.text("ledgerSource");
    s.telemetrySource = in.text("telemetrySource");
    s.queuedRemoteEvents = in.integer("queuedRemoteEvents");
    s.excludedDemoEvents = in.integer("excludedDemoEvents");
    s.excludedDemoSpend = in.number("excludedDemoSpend");
    s.renderedImpressions = in.integer("renderedImpressions");
    s.billableViewTicks = in.integer("billableViewTicks");
    s.clicks = in.integer("clicks");
    s.grossSpend = in.number("grossSpend");
    s.developerShare = in.number("developerShare");
    s.companyShare = in.number("companyShare");
    s.campaigns = in.rows<CampaignSummary>("campaigns", [](Reader &r) {
        return CampaignSummary{r.text("campaignId"),       r.text("name"),     r.number("bidPer1000Imps"),
                               r.integer("renderedImpressions"), r.integer("billableViewTicks"),
                               r.integer("clicks"),       r.number("grossSpend"), r.number("developerShare"),
                               r.number("companyShare")};
    });
    s.agentSources = in.rows<AgentSourceSummary>("agentSources", [](Reader &r) {
        return AgentSourceSummary{r.text("agentSource"), r.integer("renderedImpressions"),
                                  r.integer("billableViewTicks"), r.integer("clicks"), r.number("grossSpend")};
    });
    s.telemetry = in.rows<TelemetrySummary>("telemetry", [](Reader &r) {
        return TelemetrySummary{r.text("source"),          r.integer("sessions"),     r.integer("tokenRows"),
                                r.integer("toolCalls"),    r.integer("inputTokens"),  r.integer("outputTokens"),
                                r.integer("cachedTokens"), r.number("activeTurnSeconds"),
                                r.optionalDate("firstActivity"), r.optionalDate("lastActivity")};
    });
    s.privacyBoundary = in.texts("privacyBoundary");
    s.caveats = in.texts("caveats");
    if (!in.ok())
        return std::nullopt;
    return s;
}

} // namespace AdPilotReport
