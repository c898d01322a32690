#include "HUD/HUDWindowController.h"

#include "HUD/HUDSettings.h"
#include "Platform/WindowSystem.h"

#include <QPointer>

#include <algorithm>

HUDWindowController::HUDWindowController(WindowSystem &windows, HUDSettings &settings, MetricsEngine *metrics,
                                         CodexTelemetryHealth *codexHealth, const PanelFactory &panelFactory,
                                         QObject *parent)
    : QObject(parent), m_windows(windows), m_settings(settings),
      m_viewModel(std::make_unique<HUDViewModel>(m_hudState, settings, metrics, codexHealth))
{
    m_panel = panelFactory(*m_viewModel);
    if (const auto area = m_panel->mainScreenVisibleFrame()) {
        placePanel(QRectF(QPointF(area->center().x() - initialSize.width() / 2, area->top() + initialLift),
                          initialSize));
    }
    // Both subscriptions also deliver the value current now, on a later turn of the loop.
    connect(&m_hudState, &HUDState::expandedChanged, this, &HUDWindowController::applyFrameLater);
    connect(&settings, &HUDSettings::dockEdgeChanged, this, &HUDWindowController::applyFrameLater);
    applyFrameLater();
    applyFrameLater();
}

HUDWindowController::~HUDWindowController() = default;

QRectF HUDWindowController::dockedFrame(const QRectF &target, DockEdge edge, bool expanded)
{
    const double h = expanded ? expandedHeight : compactHeight;
    const double width = std::max(minimumDockedWidth, target.width());
    // QRectF's top() is the smaller y, which in bottom-left coordinates is the bottom edge.
    switch (edge) {
    case DockEdge::above: return QRectF(target.left(), target.bottom(), width, h);
    case DockEdge::below: return QRectF(target.left(), target.top() - h, width, h);
    case DockEdge::left: return QRectF(target.left() - sideWidth, target.bottom() - h, sideWidth, h);
    case DockEdge::right: break;
    }
    return QRectF(target.right(), target.bottom() - h, sideWidth, h);
}

void HUDWindowController::show()
{
    m_hiddenByUser = false;
    m_panel->orderFront();
}

void HUDWindowController::hide()
{
    m_hiddenByUser = true;
    m_panel->orderOut();
}

void HUDWindowController::orderFrontUnlessHidden()
{
    if (!m_hiddenByUser)
        m_panel->orderFront();
}

void HUDWindowController::applyFrame()
{
    const TargetWindowState &s = m_lastTarget;
    const QList<RunningApplication> instances = m_windows.runningApplications(m_settings.targetBundleID());
    const bool running = !instances.isEmpty();
    const bool active = running && m_windows.frontmostApplication() == instances.first();

    if (s.needsAccessibilityPermission) {
        if (!m_windows.hasWindowAccess()) {
            // Nothing to dock to on this desktop: the bar floats where the user drags it.
            m_hudState.setWaitingForTarget(false);
            m_hudState.setAccessibilityNeeded(false);
            m_presentation = Presentation::floating;
            keepOriginWithSize({initialSize.width(), m_hudState.expanded() ? expandedHeight : compactHeight});
            return;
        }
        m_hudState.setAccessibilityNeeded(true);
        m_hudState.setWaitingForTarget(true);
        m_presentation = Presentation::permission;
        showPill(permissionPillSize);
    } else if (running) {
        if (s.isMinimized && !active)
            showMissing();
        else
            dock();
    } else if (s.isRunning && !s.isMinimized) {
        dock();
    } else {
        showMissing();
    }
}

void HUDWindowController::dock()
{
    m_hudState.setWaitingForTarget(false);
    m_hudState.setAccessibilityNeeded(false);
    m_presentation = Presentation::docked;
    if (m_lastTarget.frame)
        m_lastDockableFrame = m_lastTarget.frame;
    if (!m_lastDockableFrame) {
        keepOriginWithSize({minimumDockedWidth, m_hudState.expanded() ? expandedHeight : compactHeight});
        return;
    }
    const QRectF frame = dockedFrame(*m_lastDockableFrame, m_settings.dockEdge(), m_hudState.expanded());
    orderFrontUnlessHidden();
    placePanel(frame);
}

void HUDWindowController::showMissing()
{
    if (m_settings.hideWhenTargetMissing()) {
        m_hudState.setWaitingForTarget(false);
        m_hudState.setAccessibilityNeeded(false);
        m_presentation = Presentation::hidden;
        m_panel->orderOut();
        return;
    }
    m_hudState.setAccessibilityNeeded(false);
    m_hudState.setWaitingForTarget(true);
    m_presentation = Presentation::waiting;
    showPill(waitingPillSize);
}

void HUDWindowController::showPill(const QSizeF &size) { keepOriginWithSize(size); }

void HUDWindowController::keepOriginWithSize(const QSizeF &size)
{
    orderFrontUnlessHidden();
    placePanel(QRectF(m_panel->frame().topLeft(), size));
}

void HUDWindowController::placePanel(const QRectF &frame)
{
    const double screenHeight = m_windows.primaryScreenHeight();
    const QRectF topLeft(frame.x(), screenHeight - frame.y() - frame.height(), frame.width(), frame.height());
    if (screenHeight <= 0 || !m_windows.placeOwnWindow(m_panel->nativeWindow(), topLeft))
        m_panel->setFrame(frame);
}

void HUDWindowController::applyFrameLater()
{
    QMetaObject::invokeMethod(
        this, [self = QPointer(this)] { if (self) self->applyFrame(); }, Qt::QueuedConnection);
}
