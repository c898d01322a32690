#pragma once

#include "HUD/HUDPanel.h"
#include "HUD/HUDState.h"
#include "HUD/HUDViewModel.h"
#include "Settings/SettingsTypes.h"
#include "Tracking/TargetWindowState.h"

#include <QObject>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>

class CodexTelemetryHealth;
class HUDSettings;
class MetricsEngine;
class WindowSystem;

// Owns the HUD window and decides, each time the target's state, the expanded flag or the dock
// edge changes, whether it is docked to the target, a waiting or permission pill, or hidden.
// Main thread only.
class HUDWindowController : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HUDWindowController)

public:
    static constexpr double compactHeight = 44;
    static constexpr double expandedHeight = 290;
    static constexpr double minimumDockedWidth = 660;
    static constexpr double sideWidth = 380;
    static constexpr QSizeF waitingPillSize{260, 36};
    static constexpr QSizeF permissionPillSize{320, 36};
    static constexpr QSizeF initialSize{660, 44};
    static constexpr double initialLift = 80;
    // How much of the sponsored slot must be seen for a view to count.
    static constexpr double minimumSeenSlotShare = 0.9;

    enum class Presentation { docked, floating, waiting, permission, hidden };

    using PanelFactory = std::function<std::unique_ptr<HUDPanel>(HUDViewModel &)>;

    // `windows`, `settings`, `metrics` and `codexHealth` must outlive the controller; the last two
    // may be null (the view model's values are then set directly). The factory makes the window
    // (QuickHUDPanel::factory() on screen). Places the panel at its initial frame but does not show it.
    HUDWindowController(WindowSystem &windows, HUDSettings &settings, MetricsEngine *metrics,
                        CodexTelemetryHealth *codexHealth, const PanelFactory &panelFactory,
                        QObject *parent = nullptr);
    ~HUDWindowController() override;

    HUDPanel &panel() { return *m_panel; }
    HUDState &hudState() { return m_hudState; }
    HUDViewModel &viewModel() { return *m_viewModel; }

    const TargetWindowState &lastTarget() const { return m_lastTarget; }
    void setLastTarget(const TargetWindowState &state) { m_lastTarget = state; }
    const std::optional<QRectF> &lastDockableFrame() const { return m_lastDockableFrame; }
    Presentation presentation() const { return m_presentation; }

    // Brings the panel on screen without taking focus.
    void show();
    // Takes the panel off screen; it stays off, wherever the target goes, until show().
    void hide();
    bool isPanelMapped() const { return m_panel->isMapped(); }
    // Mapped and not wholly covered.
    bool isPanelSeen() const { return m_panel->isSeenOnScreen(); }
    // The sponsored slot's HUD-visible gate: the slot's own rectangle is drawn (the bar had room
    // for it and ads are on) and at least 90 % of it is on a monitor and uncovered.
    bool isSlotSeen() const
    {
        const QRectF slot = m_viewModel->slotRect();
        return !slot.isEmpty() && m_panel->seenShare(slot) >= minimumSeenSlotShare;
    }

    // Decides the presentation from lastTarget and the settings and places the panel.
    void applyFrame();

    // The panel's rectangle glued outside one edge of the target (bottom-left origin).
    static QRectF dockedFrame(const QRectF &target, DockEdge edge, bool expanded);

private:
    void dock();
    void showMissing();
    void showPill(const QSizeF &size);
    void orderFrontUnlessHidden();
    void keepOriginWithSize(const QSizeF &size);
    // Through the desktop where it places this process's windows (Sway), else by the panel's own
    // geometry request.
    void placePanel(const QRectF &frame);
    void applyFrameLater();

    WindowSystem &m_windows;
    HUDSettings &m_settings;
    HUDState m_hudState;
    std::unique_ptr<HUDViewModel> m_viewModel;
    std::unique_ptr<HUDPanel> m_panel;
    TargetWindowState m_lastTarget;
    std::optional<QRectF> m_lastDockableFrame;
    Presentation m_presentation = Presentation::docked;
    bool m_hiddenByUser = false;
};
