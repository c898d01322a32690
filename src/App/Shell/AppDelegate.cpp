#include "App/Shell/AppDelegate.h"

#include "App/Shell/AppHUD.h"
#include "App/Core/AutostartEntry.h"
#include "App/Core/HistoryProgressText.h"
#include "App/Modes/ReportExport.h"
#include "App/Shell/ShellController.h"
#include "App/Shell/SponsoredSlot.h"
#include "App/Shell/WindowBackend.h"
#include "Platform/Freedesktop/FreedesktopDesktop.h"
#include "Platform/X11/X11Display.h"
#include "Platform/X11/X11InputIdle.h"
#include "Platform/WindowSystem.h"
#include "Telemetry/MetricsEngine.h"
#include "Tracking/WindowTracker.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>

namespace {

// The command "Start at Login" runs: the `corvane` that started this shell, else this executable.
QString launchCommand()
{
    return qEnvironmentVariable("CORVANE_COMMAND", QCoreApplication::applicationFilePath());
}

} // namespace

AppDelegate::AppDelegate(SettingsStore &defaults, AppEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_core(defaults, std::move(environment))
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    m_core.launch();
    launchShell();
}

void AppDelegate::launchShell()
{
    const AppEnvironment &env = m_core.environment();
    AppSettings &settings = m_core.settings();
    m_network = std::make_unique<QNetworkAccessManager>();
    // Idle time and display power come from X11 (XWayland under Wayland); without an X server
    // they read as unknown: input recent, display awake. Windows come from the session's backend.
    const auto x = openXcbConnection();
    m_inputIdle = std::make_unique<X11InputIdle>(x);
    m_slot = std::make_unique<SponsoredSlot>(
        settings, *m_core.metrics(),
        SponsoredSlot::Files{env.adLedgerFile(), env.campaignsFile(), {env.remoteAdEventsFile(), env.remoteAdCreativesFile()}},
        m_network.get(), m_inputIdle.get(), env);
    const DesktopSession session = detectDesktopSession(QProcessEnvironment::systemEnvironment());
    m_windows = makeWindowSystem(session, x);
    m_hud = std::make_unique<AppHUD>(settings, *m_windows, *m_core.metrics(), m_core.codexHealth(), *m_slot);
    connect(&m_core, &AppCore::historyImportChanged, m_hud.get(), [this] {
        m_hud->controller().viewModel().setHistoryLine(historyProgressText(m_core.historyImportTotal()));
    });
    m_tracker = std::make_unique<WindowTracker>(*m_windows, [&settings] { return settings.targetBundleID(); }, env);
    m_desktop = std::make_unique<FreedesktopDesktop>();
    m_slot->impressions().desktop = m_desktop.get();

    ShellParts parts{settings,
                     *m_core.metrics(),
                     m_core.codexHealth(),
                     [this] { m_core.refreshCodexHealth(); },
                     *m_slot,
                     *m_windows,
                     *m_tracker,
                     *m_desktop,
                     {env.codexConfigFile(), env.notifyHookScript(), env.notifySocket()},
                     env.claudeSettingsFile(),
                     env.pricingFile(),
                     ReportExport::supportFiles(env),
                     AutostartEntry::path(),
                     launchCommand(),
                     QString::fromLatin1(AutostartEntry::appId),
                     QCoreApplication::applicationPid(),
                     [this] { return m_core.storeProblem(); },
                     session.family};
    m_shell = std::make_unique<ShellController>(std::move(parts), m_hud->hooks());
    connect(m_hud.get(), &AppHUD::contextMenuRequested, m_shell.get(), &ShellController::hudContextMenuRequested);

    m_slot->subscribeToSettings();
    m_shell->wireTrackerToHUD();
    m_shell->installSettingsSubscriptions();
    m_shell->startFollowFocus();
    m_shell->setupStatusItem();
    m_slot->start();
    bringHUDForward();
    m_shell->startTrackingOrOnboard();
}

void AppDelegate::bringHUDForward()
{
    if (m_hud)
        m_hud->controller().show();
}
