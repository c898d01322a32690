#include "HUD/HUDViewModel.h"

#include "HUD/HUDSettings.h"
#include "Telemetry/MetricsEngine.h"

HUDViewModel::HUDViewModel(HUDState &hudState, HUDSettings &settings, MetricsEngine *metrics,
                           CodexTelemetryHealth *codexHealth, QObject *parent)
    : QObject(parent), m_hudState(hudState), m_settings(settings), m_metrics(metrics)
{
    if (codexHealth) {
        connect(codexHealth, &CodexTelemetryHealth::snapshotChanged, this, &HUDViewModel::setCodexHealth);
        m_health = codexHealth->snapshot();
    }
    if (metrics) {
        connect(metrics, &MetricsEngine::changed, this, &HUDViewModel::refreshFromEngine);
        m_scoped = metrics->scoped();
    }
    for (const auto signal : {&HUDSettings::showAdsChanged, &HUDSettings::showDebugOverlayChanged,
                              &HUDSettings::displayModeChanged, &HUDSettings::targetChanged})
        connect(&settings, signal, this, &HUDViewModel::rebuild);
    for (const auto signal : {&HUDState::expandedChanged, &HUDState::accessibilityNeededChanged})
        connect(&hudState, signal, this, &HUDViewModel::rebuild);
    rebuild();
}

void HUDViewModel::setDashboardWidth(double width)
{
    if (m_dashboardWidth == width)
        return;
    m_dashboardWidth = width;
    Q_EMIT dashboardWidthChanged();
    rebuild();
}

void HUDViewModel::setBarWidth(double width)
{
    if (m_barWidth == width)
        return;
    m_barWidth = width;
    Q_EMIT barMeasuresChanged();
    relayout();
}

void HUDViewModel::setBarContentWidths(const QVariantMap &widths)
{
    if (m_barContentWidths == widths)
        return;
    m_barContentWidths = widths;
    Q_EMIT barMeasuresChanged();
    relayout();
}

void HUDViewModel::setSlotRect(const QRectF &rect)
{
    if (m_slotRect == rect)
        return;
    m_slotRect = rect;
    Q_EMIT slotRectChanged();
}

void HUDViewModel::relayout()
{
    CompactBarLayout::Inputs inputs{m_barWidth, {}};
    for (auto it = m_barContentWidths.begin(); it != m_barContentWidths.end(); ++it) {
        const bool absent = (it.key() == QLatin1String("model") && !m_bar.modelVisible)
            || (it.key() == QLatin1String("slot") && !m_bar.showAds)
            || (it.key() == QLatin1String("limits") && !m_bar.limitsVisible);
        if (!absent)
            inputs.contentWidths.insert(it.key(), it.value().toDouble());
    }
    CompactBarLayout::Layout layout = CompactBarLayout::layout(inputs);
    if (layout == m_barLayout)
        return;
    m_barLayout = std::move(layout);
    Q_EMIT barLayoutChanged();
}

void HUDViewModel::setScoped(const ScopedMetrics &scoped)
{
    m_scoped = scoped;
    rebuild();
}

void HUDViewModel::setSlot(const SlotSnapshot &slot)
{
    if (m_slot == slot)
        return;
    m_slot = slot;
    rebuild();
}

void HUDViewModel::setCodexHealth(const CodexTelemetryHealth::Snapshot &health)
{
    if (m_health == health)
        return;
    m_health = health;
    rebuild();
}

void HUDViewModel::setLocale(const QLocale &locale)
{
    m_locale = locale;
    rebuild();
}

void HUDViewModel::setHistoryLine(const QString &line)
{
    m_historyLine = line;
    rebuild();
}

void HUDViewModel::chooseDisplayMode(const QString &raw) { m_settings.setDisplayMode(DisplayMode::fromRaw(raw)); }

void HUDViewModel::refreshFromEngine()
{
    if (m_metrics)
        setScoped(m_metrics->scoped());
}

void HUDViewModel::rebuild()
{
    CompactBarContent bar = compactBarContent({m_scoped, m_slot, m_settings.displayMode(), m_settings.showAds(),
                                               m_hudState.expanded(), m_hudState.accessibilityNeeded(),
                                               m_settings.targetDisplayName()});
    if (!(bar == m_bar)) {
        m_bar = std::move(bar);
        Q_EMIT barChanged();
        relayout();
    }
    // The dashboard exists only while expanded; a collapsed HUD does not pay for it.
    if (!m_hudState.expanded())
        return;
    DashboardContent dashboard = dashboardContent(
        {m_scoped, m_slot, m_health, m_settings.showDebugOverlay(), m_dashboardWidth, m_locale, {}, m_historyLine});
    if (!(dashboard == m_dashboard)) {
        m_dashboard = std::move(dashboard);
        Q_EMIT dashboardChanged();
    }
}
