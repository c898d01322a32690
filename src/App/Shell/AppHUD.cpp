#include "App/Shell/AppHUD.h"

#include "Ads/ImpressionEngine.h"
#include "App/Shell/SponsoredSlot.h"
#include "HUD/Quick/QuickHUDPanel.h"

#include <QPointer>

namespace {

SlotSnapshot::BackendStatus backendStatusOf(AdServerHealth::Status status)
{
    using Status = AdServerHealth::Status;
    using Shown = SlotSnapshot::BackendStatus;
    switch (status) {
    case Status::localMock: return Shown::localMock;
    case Status::remoteReady: return Shown::remoteReady;
    case Status::remoteFallback: return Shown::remoteFallback;
    case Status::remoteError: break;
    }
    return Shown::remoteError;
}

} // namespace

AppHUD::AppHUD(AppSettings &settings, WindowSystem &windows, MetricsEngine &metrics,
               CodexTelemetryHealth &codexHealth, SponsoredSlot &slot,
               const HUDWindowController::PanelFactory &panelFactory, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_slot(slot)
    , m_controller(windows, m_settings, &metrics, &codexHealth, panelFactory ? panelFactory : QuickHUDPanel::factory())
    , m_scopeMenu([this](const QString &mode) { m_controller.viewModel().chooseDisplayMode(mode); })
{
    ImpressionEngine &engine = slot.impressions();
    slot.setHUDVisibleProvider([self = QPointer(this)] { return self && self->m_controller.isSlotSeen(); });
    for (const auto signal : {&ImpressionEngine::gatesChanged, &ImpressionEngine::currentCreativeChanged,
                              &ImpressionEngine::earningsThisMonthChanged, &ImpressionEngine::demoValueThisMonthChanged,
                              &ImpressionEngine::tickCountChanged, &ImpressionEngine::streakSecondsChanged,
                              &ImpressionEngine::backendHealthChanged})
        connect(&engine, signal, this, &AppHUD::copySlotState);
    connect(&m_controller.viewModel(), &HUDViewModel::slotClicked, this,
            [this] { m_slot.impressions().handleClick(QDateTime::currentDateTime()); });
    connect(&m_controller.viewModel(), &HUDViewModel::contextMenuRequested, this, &AppHUD::contextMenuRequested);
    connect(&m_controller.viewModel(), &HUDViewModel::scopeMenuRequested, this, [this](const QPoint &at) {
        m_scopeMenu.popup(m_controller.viewModel().bar().scopeMenu, at);
    });
    copySlotState();
}

AppHUD::~AppHUD()
{
    m_slot.setHUDVisibleProvider([] { return false; });
}

HUDHooks AppHUD::hooks()
{
    HUDWindowController &hud = m_controller;
    HUDHooks hooks;
    hooks.isVisible = [&hud] { return hud.isPanelMapped(); };
    hooks.toggle = [&hud] {
        if (hud.isPanelMapped())
            hud.hide();
        else
            hud.show();
    };
    hooks.isExpanded = [&hud] { return hud.hudState().expanded(); };
    hooks.toggleExpanded = [&hud] { hud.hudState().toggleExpanded(); };
    hooks.showTarget = [&hud](const TargetWindowState &state) {
        hud.setLastTarget(state);
        hud.applyFrame();
    };
    return hooks;
}

SlotSnapshot AppHUD::snapshotOf(const ImpressionEngine &engine, const QDateTime &now)
{
    SlotSnapshot snapshot;
    if (const auto &creative = engine.currentCreative())
        snapshot.currentCreative = SlotSnapshot::Creative{creative->id, creative->creativeText, creative->iconAsset};
    const ImpressionEngine::Gates &gates = engine.gates();
    snapshot.gates = {gates.turnInFlight, gates.hudVisible, gates.displayAwake, gates.inputRecent};
    snapshot.streakSeconds = engine.streakSeconds();
    snapshot.tickCount = engine.tickCount();
    snapshot.earningsThisMonth = engine.earningsThisMonth();
    snapshot.demoValueThisMonth = engine.demoValueThisMonth();
    snapshot.projectedMonthly =
        ImpressionEngine::projectedMonthly(engine.earningsThisMonth(), now, QTimeZone::systemTimeZone());
    const AdServerHealth &health = engine.backendHealth();
    snapshot.backendStatus = backendStatusOf(health.status);
    snapshot.backendMessage = health.message;
    snapshot.queuedEvents = health.queuedEvents;
    return snapshot;
}

void AppHUD::copySlotState()
{
    m_controller.viewModel().setSlot(snapshotOf(m_slot.impressions(), QDateTime::currentDateTime()));
}
