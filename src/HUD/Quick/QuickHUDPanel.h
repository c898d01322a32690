#pragma once

#include "HUD/HUDPanel.h"
#include "HUD/HUDWindowController.h"

#include <QQuickView>

#include <memory>

class HUDViewModel;

// The HUD window: a frameless, translucent, always-on-top tool window that never takes focus,
// sticky on every desktop and kept out of the taskbar and pager, showing HUDView.qml.
class QuickHUDPanel : public HUDPanel {
public:
    explicit QuickHUDPanel(HUDViewModel &model);

    // Makes this window for a HUDWindowController.
    static HUDWindowController::PanelFactory factory();

    // A small bar draws cheaply in software, where a GPU driver (or llvmpipe without a GPU) costs
    // about 90 MiB and four times the CPU. QT_QUICK_BACKEND still decides when it is set. Call
    // before the first panel is made.
    static void preferSoftwareRendering();

    QRectF frame() const override;
    quint64 nativeWindow() override { return m_view.winId(); }
    void setFrame(const QRectF &frame) override;
    void orderFront() override;
    void orderOut() override;
    bool isMapped() const override;
    bool isSeenOnScreen() const override;
    double seenShare(const QRectF &part) const override;
    std::optional<QRectF> mainScreenVisibleFrame() const override;

    QQuickView &view() { return m_view; }

private:
    double screenHeight() const;

    QQuickView m_view;
    bool m_hintsPending = false; // mapped, the window manager's hints not yet asked for again
    // Declared after the view it watches, so it stops watching before the view goes.
    std::unique_ptr<QObject> m_eventTap;
};
