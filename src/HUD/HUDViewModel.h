#pragma once

#include "HUD/CompactBarContent.h"
#include "HUD/CompactBarLayout.h"
#include "HUD/DashboardContent.h"
#include "HUD/HUDState.h"
#include "HUD/SlotSnapshot.h"

#include <QLocale>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRectF>
#include <QVariantMap>

class HUDSettings;
class MetricsEngine;

// The root of what the HUD's views bind to: the bar's and the dashboard's content, rebuilt from
// the engine's projection, the slot and health snapshots and the settings whenever one changes.
// A change is published only when the content actually differs.
class HUDViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(HUDState *hudState READ hudState CONSTANT)
    Q_PROPERTY(CompactBarContent bar READ bar NOTIFY barChanged)
    Q_PROPERTY(DashboardContent dashboard READ dashboard NOTIFY dashboardChanged)
    Q_PROPERTY(double dashboardWidth READ dashboardWidth WRITE setDashboardWidth NOTIFY dashboardWidthChanged)
    Q_PROPERTY(double barWidth READ barWidth WRITE setBarWidth NOTIFY barMeasuresChanged)
    Q_PROPERTY(QVariantMap barContentWidths READ barContentWidths WRITE setBarContentWidths NOTIFY barMeasuresChanged)
    Q_PROPERTY(QVariantMap barLayout READ barLayoutMap NOTIFY barLayoutChanged)
    Q_PROPERTY(QRectF slotRect READ slotRect WRITE setSlotRect NOTIFY slotRectChanged)

public:
    // `metrics` and `codexHealth` may be null (their values are then set directly); whatever is
    // given must outlive the model.
    HUDViewModel(HUDState &hudState, HUDSettings &settings, MetricsEngine *metrics,
                 CodexTelemetryHealth *codexHealth = nullptr, QObject *parent = nullptr);

    HUDState *hudState() const { return &m_hudState; }
    const CompactBarContent &bar() const { return m_bar; }
    const DashboardContent &dashboard() const { return m_dashboard; }
    double dashboardWidth() const { return m_dashboardWidth; }
    void setDashboardWidth(double width);
    // The bar's width and what its elements' contents need, as the view measures them; from
    // these the bar's layout decides what shows and how wide.
    double barWidth() const { return m_barWidth; }
    void setBarWidth(double width);
    QVariantMap barContentWidths() const { return m_barContentWidths; }
    void setBarContentWidths(const QVariantMap &widths);
    const CompactBarLayout::Layout &barLayout() const { return m_barLayout; }
    QVariantMap barLayoutMap() const { return m_barLayout.toVariantMap(); }
    // Where the sponsored slot is drawn, in the window's coordinates; empty while it is not shown.
    QRectF slotRect() const { return m_slotRect; }
    void setSlotRect(const QRectF &rect);

    void setScoped(const ScopedMetrics &scoped);
    void setSlot(const SlotSnapshot &slot);
    void setCodexHealth(const CodexTelemetryHealth::Snapshot &health);
    void setLocale(const QLocale &locale);
    // The history import's progress for the dashboard; empty once it is done.
    void setHistoryLine(const QString &line);
    const ScopedMetrics &scoped() const { return m_scoped; }

    // Actions of the views.
    Q_INVOKABLE void toggleExpanded() { m_hudState.toggleExpanded(); }
    Q_INVOKABLE void chooseDisplayMode(const QString &raw);
    Q_INVOKABLE void clickSlot() { Q_EMIT slotClicked(); }
    Q_INVOKABLE void requestContextMenu(double globalX, double globalY)
    {
        Q_EMIT contextMenuRequested(QPoint(qRound(globalX), qRound(globalY)));
    }
    Q_INVOKABLE void requestScopeMenu(double globalX, double globalY)
    {
        Q_EMIT scopeMenuRequested(QPoint(qRound(globalX), qRound(globalY)));
    }
    Q_INVOKABLE bool marqueeOverflows(double textWidth, double available) const
    {
        return ::marqueeOverflows(textWidth, available);
    }

Q_SIGNALS:
    void barChanged();
    void dashboardChanged();
    void dashboardWidthChanged();
    void barMeasuresChanged();
    void barLayoutChanged();
    void slotRectChanged();
    // The user clicked a shown creative; the application records the click.
    void slotClicked();
    // A right-click on the HUD, at this screen position.
    void contextMenuRequested(const QPoint &globalPosition);
    // A click on the scope chip: its menu (the entries of bar().scopeMenu) opens there.
    void scopeMenuRequested(const QPoint &globalPosition);

private:
    void refreshFromEngine();
    void rebuild();
    void relayout();

    HUDState &m_hudState;
    HUDSettings &m_settings;
    QPointer<MetricsEngine> m_metrics;
    ScopedMetrics m_scoped;
    SlotSnapshot m_slot;
    CodexTelemetryHealth::Snapshot m_health;
    QLocale m_locale;
    QString m_historyLine;
    double m_dashboardWidth = 0;
    double m_barWidth = 0;
    QVariantMap m_barContentWidths;
    CompactBarLayout::Layout m_barLayout;
    QRectF m_slotRect;
    CompactBarContent m_bar;
    DashboardContent m_dashboard;
};
