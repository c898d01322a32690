#include "App/Shell/ShellController.h"

#include "App/Core/AutostartEntry.h"
#include "App/Shell/FollowFocus.h"
#include "App/Shell/MenuChoices.h"
#include "App/Shell/MenuDialogs.h"
#include "App/Shell/OnboardingTexts.h"
#include "App/Shell/OnboardingWindow.h"
#include "App/Shell/SponsoredSlot.h"
#include "App/Shell/StatusMenu.h"
#include "App/Modes/ClaudeModes.h"
#include "App/Shell/AlertDialog.h"
#include "Claude/ClaudeSettingsWriter.h"
#include "Codex/CodexConfigWriter.h"
#include "Platform/DBusDesktop/CompositorScripts.h"
#include "Platform/WindowSystem.h"
#include "Telemetry/CodexTelemetryHealth.h"
#include "Telemetry/DisplayFormat.h"
#include "Telemetry/MetricsEngine.h"
#include "Tracking/WindowTracker.h"

#include <QApplication>
#include <QDBusConnection>
#include <QTimer>

ShellController::ShellController(ShellParts parts, HUDHooks hud, QObject *parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_hud(std::move(hud))
    , m_followFocus(std::make_unique<FollowFocus>(m_parts.settings, m_parts.metrics, m_parts.windows, m_parts.ownAppId,
                                                  m_parts.ownPid))
{
}

ShellController::~ShellController() = default;

void ShellController::wireTrackerToHUD()
{
    m_parts.tracker.onChange = [this](const TargetWindowState &state) { m_hud.showTarget(state); };
}

void ShellController::installSettingsSubscriptions()
{
    AppSettings &settings = m_parts.settings;
    // Signals fire only on real changes, so repeats are already dropped.
    connect(&settings, &AppSettings::targetBundleIDChanged, this, [this] {
        QTimer::singleShot(0, this, [this] {
            m_parts.tracker.detach();
            m_parts.tracker.attach();
        });
    });
    connect(&settings, &AppSettings::displayModeChanged, this,
            [this] { QTimer::singleShot(0, this, [this] { m_followFocus->applyDisplayMode(); }); });
    QTimer::singleShot(0, this, [this] { m_followFocus->applyDisplayMode(); });
}

void ShellController::startFollowFocus() { m_followFocus->start(); }

void ShellController::setupStatusItem()
{
    m_menu = std::make_unique<StatusMenu>([this] { return menuState(); },
                                          [this](MenuAction action, const QString &represented) {
                                              handle(action, represented);
                                          });
}

void ShellController::startTrackingOrOnboard()
{
    if (m_parts.windows.hasWindowAccess()) {
        startTracker();
        return;
    }
    TargetWindowState state;
    state.isRunning = !m_parts.windows.runningApplications(m_parts.settings.targetBundleID()).isEmpty();
    state.needsAccessibilityPermission = true;
    m_hud.showTarget(state);
    showOnboarding();
}

void ShellController::startTracker()
{
    if (m_trackerStarted)
        return;
    m_trackerStarted = true;
    m_parts.tracker.start();
}

bool ShellController::hudContextMenuRequested(const QPoint &globalPosition)
{
    if (!m_menu || m_menu->hasTrayIcon())
        return false;
    m_menu->popup(globalPosition);
    return true;
}

StatusMenuState ShellController::menuState() const
{
    if (m_parts.refreshCodexHealth)
        m_parts.refreshCodexHealth();
    const AppSettings &settings = m_parts.settings;
    const CodexConfigWriter::Status config = CodexConfigWriter::status(m_parts.codexPaths.config);
    const auto &health = m_parts.slot.impressions().backendHealth();
    const auto &snapshot = m_parts.codexHealth.snapshot();
    StatusMenuState state;
    state.windowAccessGranted = m_parts.windows.hasWindowAccess();
    state.windowBackend = m_parts.windows.backendName();
    state.offerShellExtension = offersShellExtension();
    state.hudVisible = m_hud.isVisible();
    state.dashboardExpanded = m_hud.isExpanded();
    state.targetBundleID = settings.targetBundleID();
    state.targetDisplayName = settings.targetDisplayName();
    state.dockEdge = settings.dockEdge();
    state.displayMode = settings.displayMode();
    state.showAds = settings.showAds();
    state.adBackendMode = settings.adBackendMode();
    state.backendHealthMessage = health.message;
    state.backendQueuedEvents = int(health.queuedEvents);
    state.useMockData = settings.useMockData();
    state.showDebugOverlay = settings.showDebugOverlay();
    state.codexHealthWord = codexHealthWord(snapshot.status);
    state.codexHealthDetail = snapshot.menuDetail;
    state.storeProblem = m_parts.storeProblem ? m_parts.storeProblem() : QString();
    state.codexConfigInstalled = config.installed;
    state.codexNotifyInstalled = config.notifyInstalled;
    const ClaudeSettingsWriter::Status claude = ClaudeSettingsWriter::status(m_parts.claudeSettingsPath);
    state.claudeInstalled = !claude.hookEvents.isEmpty() || claude.statusLineInstalled;
    state.startAtLogin = AutostartEntry::isEnabled(m_parts.autostartPath);
    state.limitsLines = limitsMenuLines(m_parts.metrics.scoped(MetricsScope::aggregate()).planLimits,
                                        QDateTime::currentDateTimeUtc());
    return state;
}

void ShellController::handle(MenuAction action, const QString &represented)
{
    if (applySettingsChoice(m_parts.settings, action, represented))
        return;
    switch (action) {
    case MenuAction::openOnboarding: showOnboarding(); break;
    case MenuAction::installShellExtension:
        AlertDialog::ask({QStringLiteral("GNOME Shell extension"), installShellExtension(), {QStringLiteral("OK")}});
        break;
    case MenuAction::toggleHUD: m_hud.toggle(); break;
    case MenuAction::toggleExpandedDashboard: m_hud.toggleExpanded(); break;
    case MenuAction::pickCustomTarget: MenuDialogs::pickCustomTarget(m_parts.settings); break;
    case MenuAction::configureRemoteAds: MenuDialogs::configureRemoteAds(m_parts.settings); break;
    case MenuAction::exportAdPilotReport: MenuDialogs::exportAdPilotReport(m_parts.desktop, m_parts.reportFiles); break;
    case MenuAction::setupCodex: CodexSetup::runSetup(m_parts.codexPaths); break;
    case MenuAction::revertCodex: CodexSetup::runRevert(m_parts.codexPaths.config); break;
    case MenuAction::setupClaude:
        if (AlertDialog::ask(ClaudeModes::setupQuestion()) == 0)
            AlertDialog::ask(ClaudeModes::install(m_parts.claudeSettingsPath, m_parts.executablePath,
                                                  QDateTime::currentDateTime()).text);
        break;
    case MenuAction::revertClaude: AlertDialog::ask(ClaudeModes::revert(m_parts.claudeSettingsPath).text); break;
    case MenuAction::openPricing: MenuDialogs::openPricing(m_parts.desktop, m_parts.pricingPath); break;
    case MenuAction::toggleStartAtLogin:
        MenuDialogs::toggleStartAtLogin(m_parts.autostartPath, m_parts.executablePath);
        break;
    case MenuAction::quit: QCoreApplication::quit(); break;
    default: break;
    }
}

void ShellController::showOnboarding()
{
    if (!m_onboarding) {
        QPointer<ShellController> self(this);
        m_onboarding = std::make_unique<OnboardingWindow>(
            OnboardingTexts::body(m_parts.desktopFamily, m_parts.windows.accessProblem()),
            [self] { return self && self->m_parts.windows.hasWindowAccess(); },
            [self] {
                if (self)
                    self->recheckWindowAccess();
            },
            offersShellExtension() ? OnboardingFix{OnboardingTexts::installExtensionButton(),
                                                   [self] { return self ? self->installShellExtension() : QString(); }}
                                   : OnboardingFix{});
    }
    m_onboarding->present();
}

bool ShellController::offersShellExtension() const
{
    return m_parts.desktopFamily == DesktopFamily::gnome && !m_parts.windows.hasWindowAccess();
}

QString ShellController::installShellExtension()
{
    return GnomeShellExtension::install(QDBusConnection::sessionBus()).message;
}

void ShellController::recheckWindowAccess()
{
    if (!m_parts.windows.hasWindowAccess())
        return;
    if (m_onboarding) {
        m_onboarding->close();
        m_onboarding.release()->deleteLater(); // we may be inside its button's handler
    }
    startTracker();
}
