#include "HUD/Quick/QuickHUDPanel.h"

#include "HUD/HUDViewModel.h"

#include <QGuiApplication>
#include <QQmlContext>
#include <QQuickWindow>
#include <QScreen>
#include <QSGRendererInterface>

#include "Platform/X11/QtWindowVisibility.h"
#include "Platform/X11/X11WindowHints.h"

QuickHUDPanel::QuickHUDPanel(HUDViewModel &model)
{
    m_view.setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    m_view.setColor(Qt::transparent);
    m_view.setResizeMode(QQuickView::SizeRootObjectToView);
    m_view.setTitle(QStringLiteral("Corvane HUD"));
    m_view.rootContext()->setContextProperty(QStringLiteral("hud"), &model);
    m_view.setSource(QUrl(QStringLiteral("qrc:/corvane/hud/HUDView.qml")));
    m_view.resize(660, 44);
}

void QuickHUDPanel::preferSoftwareRendering()
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

double QuickHUDPanel::screenHeight() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().height() : 0;
}

QRectF QuickHUDPanel::frame() const
{
    const QRect geometry = m_view.geometry();
    return QRectF(geometry.x(), screenHeight() - geometry.y() - geometry.height(), geometry.width(),
                  geometry.height());
}

void QuickHUDPanel::setFrame(const QRectF &frame)
{
    const QRect topLeft(qRound(frame.x()), qRound(screenHeight() - frame.y() - frame.height()), qRound(frame.width()),
                        qRound(frame.height()));
    if (m_view.geometry() != topLeft)
        m_view.setGeometry(topLeft);
}

void QuickHUDPanel::orderFront()
{
    if (!m_view.isVisible())
        m_view.show();
    m_view.raise();
    markSticky();
}

void QuickHUDPanel::orderOut() { m_view.hide(); }

bool QuickHUDPanel::isMapped() const { return m_view.isVisible() && m_view.isExposed(); }

bool QuickHUDPanel::isSeenOnScreen() const { return isMapped() && isOwnWindowVisible(m_view); }

std::optional<QRectF> QuickHUDPanel::mainScreenVisibleFrame() const
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return std::nullopt;
    const QRect area = screen->availableGeometry();
    return QRectF(area.x(), screenHeight() - area.y() - area.height(), area.width(), area.height());
}

void QuickHUDPanel::markSticky()
{
    if (m_stickyMarked)
        return;
    markStickyUtilityWindow(m_view.winId());
    m_stickyMarked = true;
}

HUDWindowController::PanelFactory QuickHUDPanel::factory()
{
    return [](HUDViewModel &model) { return std::make_unique<QuickHUDPanel>(model); };
}
