#include "App/Shell/StatusMenuModel.h"

#include "Telemetry/DisplayFormat.h"

#include <algorithm>

namespace {

MenuRow item(const QString &title, MenuAction action, bool checked = false, const QString &represented = {})
{
    MenuRow row;
    row.title = title;
    row.action = action;
    row.checked = checked;
    row.represented = represented;
    return row;
}

MenuRow submenu(const QString &title, QList<MenuRow> children)
{
    MenuRow row;
    row.kind = MenuRow::Kind::submenu;
    row.title = title;
    row.children = std::move(children);
    return row;
}

MenuRow accessRow(const StatusMenuState &state)
{
    const QString name = QStringLiteral("Accessibility (") + state.windowBackend + QStringLiteral("): ");
    if (state.windowAccessGranted)
        return item(name + QStringLiteral("granted ✓"), MenuAction::none);
    return item(name + QStringLiteral("not granted — click to fix"), MenuAction::openOnboarding);
}

QList<MenuRow> accessRows(const StatusMenuState &state)
{
    QList<MenuRow> rows{accessRow(state)};
    if (state.offerShellExtension)
        rows << item(QStringLiteral("Install GNOME Shell Extension…"), MenuAction::installShellExtension);
    return rows;
}

MenuRow targetMenu(const StatusMenuState &state)
{
    // A name with a macOS and a Linux id is listed once, where it first appears, and picks the
    // id listed last (the Linux one, which windows here announce); either id checks it.
    QList<MenuRow> children;
    for (const KnownTarget &target : knownTargets) {
        const QString name = QString::fromUtf8(target.name);
        const QString appId = QString::fromUtf8(target.appId);
        const auto listed = std::find_if(children.begin(), children.end(),
                                         [&](const MenuRow &row) { return row.title == name; });
        MenuRow &row = listed != children.end() ? *listed : children.emplace_back(item(name, MenuAction::pickTarget));
        row.represented = appId;
        row.checked = row.checked || appId == state.targetBundleID;
    }
    children << item(QStringLiteral("Custom Bundle ID…"), MenuAction::pickCustomTarget);
    return submenu(QStringLiteral("Target App (") + state.targetDisplayName + QLatin1Char(')'), children);
}

MenuRow edgeMenu(const StatusMenuState &state)
{
    QList<MenuRow> children;
    for (const DockEdge edge : allDockEdges)
        children << item(capitalised(rawValue(edge)), MenuAction::pickEdge, edge == state.dockEdge, rawValue(edge));
    return submenu(QStringLiteral("Dock Edge (") + capitalised(rawValue(state.dockEdge)) + QLatin1Char(')'), children);
}

MenuRow displayMenu(const StatusMenuState &state)
{
    const DisplayMode modes[] = {DisplayMode::aggregate(), DisplayMode::followFocus(),
                                 DisplayMode::pinned(DisplayAgent::claudeCode), DisplayMode::pinned(DisplayAgent::codex),
                                 DisplayMode::pinned(DisplayAgent::mock)};
    QList<MenuRow> children;
    for (const DisplayMode &mode : modes)
        children << item(mode.label(), MenuAction::pickDisplayMode, mode == state.displayMode, mode.rawValue());
    return submenu(QStringLiteral("Display (") + state.displayMode.label() + QLatin1Char(')'), children);
}

MenuRow adBackendMenu(const StatusMenuState &state)
{
    const bool remote = state.adBackendMode == AdBackendMode::remoteREST;
    QList<MenuRow> children{
        item(QStringLiteral("Local Mock"), MenuAction::pickAdBackend, !remote, QStringLiteral("localMock")),
        item(QStringLiteral("Remote REST"), MenuAction::pickAdBackend, remote, QStringLiteral("remoteREST")),
        MenuRow::separator(),
        item(QStringLiteral("Configure Remote Ads…"), MenuAction::configureRemoteAds),
        item(QStringLiteral("Status: ") + state.backendHealthMessage + QStringLiteral(" · queued ")
                 + QString::number(state.backendQueuedEvents),
             MenuAction::none),
    };
    return submenu(QStringLiteral("Ad Backend (") + (remote ? QStringLiteral("Remote REST") : QStringLiteral("Local Mock"))
                       + QLatin1Char(')'),
                   children);
}

} // namespace

QString capitalised(const QString &raw)
{
    if (raw.isEmpty())
        return raw;
    return raw.left(1).toUpper() + raw.mid(1);
}

QList<MenuRow> statusMenuRows(const StatusMenuState &state)
{
    QList<MenuRow> rows;
    rows << accessRows(state) << MenuRow::separator();
    rows << item(QStringLiteral("Show HUD"), MenuAction::toggleHUD, state.hudVisible);
    rows << item(QStringLiteral("Expand Dashboard"), MenuAction::toggleExpandedDashboard, state.dashboardExpanded);
    rows << targetMenu(state) << edgeMenu(state) << displayMenu(state) << MenuRow::separator();
    rows << item(QStringLiteral("Show Ads"), MenuAction::toggleAds, state.showAds);
    rows << adBackendMenu(state);
    rows << item(QStringLiteral("Export Ad Pilot Report…"), MenuAction::exportAdPilotReport);
    rows << item(QStringLiteral("Mock Data"), MenuAction::toggleMock, state.useMockData);
    rows << item(QStringLiteral("Gate Debug Overlay"), MenuAction::toggleDebugOverlay, state.showDebugOverlay);
    rows << MenuRow::separator();
    for (const QString &line : state.limitsLines)
        rows << item(line, MenuAction::none);
    rows << item(QStringLiteral("Codex Health: ") + state.codexHealthWord + QStringLiteral(" — ") + state.codexHealthDetail,
                 MenuAction::none);
    if (!state.storeProblem.isEmpty())
        rows << item(QStringLiteral("Event Store: ") + state.storeProblem, MenuAction::none);
    rows << item(state.codexConfigInstalled ? QStringLiteral("Codex Telemetry: configured ✓")
                                            : QStringLiteral("Set Up Codex Telemetry…"),
                 MenuAction::setupCodex);
    if (state.codexConfigInstalled || state.codexNotifyInstalled)
        rows << item(QStringLiteral("Revert Codex Config"), MenuAction::revertCodex);
    rows << item(QStringLiteral("Set Up Claude Code…"), MenuAction::setupClaude);
    if (state.claudeInstalled)
        rows << item(QStringLiteral("Revert Claude Code Settings"), MenuAction::revertClaude);
    rows << item(QStringLiteral("Edit Pricing Table…"), MenuAction::openPricing);
    // Linux has no login-items panel per application, so the menu manages the XDG autostart entry.
    rows << item(QStringLiteral("Start at Login"), MenuAction::toggleStartAtLogin, state.startAtLogin);
    rows << MenuRow::separator();
    // No Ctrl+Q beside it: the HUD never takes keyboard focus and the application has no other
    // window, so the shortcut could only be a global grab taking Ctrl+Q from the agent's terminal.
    rows << item(QStringLiteral("Quit Corvane"), MenuAction::quit);
    return rows;
}

QString codexHealthWord(CodexTelemetryHealth::Status status)
{
    using Status = CodexTelemetryHealth::Status;
    switch (status) {
    case Status::setupNeeded: return QStringLiteral("Setup");
    case Status::configConflict: return QStringLiteral("Conflict");
    case Status::listenerDown: return QStringLiteral("Down");
    case Status::restartNeeded: return QStringLiteral("Restart");
    case Status::stale: return QStringLiteral("Stale");
    case Status::ready: break;
    }
    return QStringLiteral("Ready");
}

QStringList limitsMenuLines(const QList<AgentPlanLimits> &agents, const QDateTime &now)
{
    QStringList lines;
    for (const AgentPlanLimits &agent : agents) {
        const PlanLimits current = agent.shown.at(now);
        QStringList parts;
        if (current.reached())
            parts << DisplayFormat::limitLabel(current, now);
        else if (current.primary)
            parts << DisplayFormat::windowLabel(*current.primary, QStringLiteral("5h"), now);
        if (current.secondary)
            parts << DisplayFormat::windowLabel(*current.secondary, QStringLiteral("7d"), now);
        if (!parts.isEmpty())
            lines << DisplayFormat::agentName(agent.agent) + QStringLiteral(" limits: ") + parts.join(QStringLiteral(" \u00b7 "));
    }
    return lines;
}
