#include "App/Shell/MenuChoices.h"
#include "App/Shell/StatusMenuModel.h"

#include <gtest/gtest.h>

namespace {

StatusMenuState baseState()
{
    StatusMenuState state;
    state.windowAccessGranted = true;
    state.windowBackend = QStringLiteral("X11");
    state.targetBundleID = QStringLiteral("XTerm");
    state.targetDisplayName = QStringLiteral("XTerm");
    state.dockEdge = DockEdge::below;
    state.displayMode = DisplayMode::pinned(DisplayAgent::codex);
    state.adBackendMode = AdBackendMode::remoteREST;
    state.backendHealthMessage = QStringLiteral("Remote ok");
    state.backendQueuedEvents = 12;
    state.codexHealthWord = QStringLiteral("Ready");
    state.codexHealthDetail = QStringLiteral("last event 3s ago");
    return state;
}

QStringList titles(const QList<MenuRow> &rows)
{
    QStringList out;
    for (const MenuRow &row : rows)
        out << (row.kind == MenuRow::Kind::separator ? QStringLiteral("---") : row.title);
    return out;
}

const MenuRow &rowTitled(const QList<MenuRow> &rows, const QString &prefix)
{
    for (const MenuRow &row : rows) {
        if (row.title.startsWith(prefix))
            return row;
    }
    throw std::runtime_error("no row " + prefix.toStdString());
}

TEST(StatusMenuModel, RowsInOrderWithTitlesActionsAndChecks)
{
    StatusMenuState state = baseState();
    state.hudVisible = true;
    state.useMockData = true;
    state.codexConfigInstalled = true;
    const QList<MenuRow> rows = statusMenuRows(state);
    EXPECT_EQ(titles(rows),
              (QStringList{"Accessibility (X11): granted ✓", "---", "Show HUD", "Expand Dashboard", "Target App (XTerm)",
                           "Dock Edge (Below)", "Display (Pin Codex)", "---", "Show Ads", "Ad Backend (Remote REST)",
                           "Export Ad Pilot Report…", "Mock Data", "Gate Debug Overlay", "---",
                           "Codex Health: Ready — last event 3s ago", "Codex Telemetry: configured ✓",
                           "Revert Codex Config", "Set Up Claude Code…", "Edit Pricing Table…", "Start at Login", "---", "Quit Corvane"}));
    EXPECT_EQ(rows[0].action, MenuAction::none);
    EXPECT_TRUE(rows[2].checked);
    EXPECT_FALSE(rows[3].checked);
    EXPECT_TRUE(rowTitled(rows, "Show Ads").checked);
    EXPECT_TRUE(rowTitled(rows, "Mock Data").checked);
    EXPECT_EQ(rowTitled(rows, "Codex Health").action, MenuAction::none);
    EXPECT_EQ(rowTitled(rows, "Codex Telemetry").action, MenuAction::setupCodex);
    const MenuRow &quit = rows.back();
    EXPECT_EQ(quit.action, MenuAction::quit);
}

TEST(StatusMenuModel, AccessRowOffersOnboardingWithoutAccess)
{
    StatusMenuState state = baseState();
    state.windowAccessGranted = false;
    state.windowBackend = QStringLiteral("Sway IPC");
    const MenuRow row = statusMenuRows(state).front();
    EXPECT_EQ(row.title, "Accessibility (Sway IPC): not granted — click to fix");
    EXPECT_EQ(row.action, MenuAction::openOnboarding);
}

TEST(StatusMenuModel, GnomeWithoutItsExtensionOffersToInstallIt)
{
    StatusMenuState state = baseState();
    state.windowAccessGranted = false;
    state.windowBackend = QStringLiteral("GNOME Shell extension");
    state.offerShellExtension = true;
    const QList<MenuRow> rows = statusMenuRows(state);
    EXPECT_EQ(rows[0].title, "Accessibility (GNOME Shell extension): not granted — click to fix");
    EXPECT_EQ(rows[1].title, "Install GNOME Shell Extension…");
    EXPECT_EQ(rows[1].action, MenuAction::installShellExtension);
    state.offerShellExtension = false;
    EXPECT_FALSE(titles(statusMenuRows(state)).contains("Install GNOME Shell Extension…"));
}

TEST(StatusMenuModel, RevertRowAndSetupTitleFollowTheConfigFlags)
{
    struct Case {
        bool installed, notify, revertShown;
        const char *setupTitle;
    };
    for (const Case c : {Case{false, false, false, "Set Up Codex Telemetry…"},
                         Case{false, true, true, "Set Up Codex Telemetry…"},
                         Case{true, false, true, "Codex Telemetry: configured ✓"}}) {
        StatusMenuState state = baseState();
        state.codexConfigInstalled = c.installed;
        state.codexNotifyInstalled = c.notify;
        const QStringList shown = titles(statusMenuRows(state));
        EXPECT_EQ(shown.contains("Revert Codex Config"), c.revertShown) << c.installed << c.notify;
        EXPECT_TRUE(shown.contains(c.setupTitle));
    }
}

TEST(StatusMenuModel, TargetSubmenuMarksOnlyTheMatchingPreset)
{
    StatusMenuState state = baseState();
    QList<MenuRow> targets = rowTitled(statusMenuRows(state), "Target App").children;
    ASSERT_GE(targets.size(), 5);
    EXPECT_EQ(targets[0].title, "Codex");
    EXPECT_EQ(targets[0].represented, "com.openai.codex");
    int marked = 0;
    for (const MenuRow &row : targets)
        marked += row.checked ? 1 : 0;
    EXPECT_EQ(marked, 1);
    EXPECT_EQ(targets.back().title, "Custom Bundle ID…");
    EXPECT_EQ(targets.back().action, MenuAction::pickCustomTarget);

    state.targetBundleID = state.targetDisplayName = QStringLiteral("org.example.custom");
    const QList<MenuRow> rows = statusMenuRows(state);
    EXPECT_EQ(rowTitled(rows, "Target App").title, "Target App (org.example.custom)");
    for (const MenuRow &row : rowTitled(rows, "Target App").children)
        EXPECT_FALSE(row.checked) << row.title.toStdString();
}

// "Terminal" and "Visual Studio Code" have a macOS and a Linux id: one row each, checked by either.
TEST(StatusMenuModel, TargetSubmenuListsEachNameOnce)
{
    StatusMenuState state = baseState();
    const auto targetsFor = [&](const char *appId) {
        state.targetBundleID = QLatin1String(appId);
        return rowTitled(statusMenuRows(state), "Target App").children;
    };
    const QList<MenuRow> targets = targetsFor("XTerm");
    QStringList titles;
    for (const MenuRow &row : targets)
        titles << row.title;
    EXPECT_EQ(titles.removeDuplicates(), 0) << titles.join(", ").toStdString();
    EXPECT_EQ(titles.mid(0, 4), (QStringList{"Codex", "Terminal", "iTerm2", "Visual Studio Code"}));
    EXPECT_EQ(rowTitled(targets, "Terminal").represented, "org.gnome.Terminal");
    EXPECT_EQ(rowTitled(targets, "Visual Studio Code").represented, "Code");
    for (const char *appId : {"com.apple.Terminal", "org.gnome.Terminal"})
        EXPECT_TRUE(rowTitled(targetsFor(appId), "Terminal").checked) << appId;
    for (const char *appId : {"com.microsoft.VSCode", "Code"})
        EXPECT_TRUE(rowTitled(targetsFor(appId), "Visual Studio Code").checked) << appId;
}

TEST(StatusMenuModel, EdgeDisplayAndBackendSubmenus)
{
    const QList<MenuRow> rows = statusMenuRows(baseState());
    const QList<MenuRow> edges = rowTitled(rows, "Dock Edge").children;
    EXPECT_EQ(titles(edges), (QStringList{"Above", "Below", "Left", "Right"}));
    EXPECT_EQ(edges[1].represented, "below");
    EXPECT_TRUE(edges[1].checked);
    EXPECT_FALSE(edges[0].checked);

    const QList<MenuRow> modes = rowTitled(rows, "Display").children;
    EXPECT_EQ(titles(modes), (QStringList{"All Agents", "Follow Focused App", "Pin Claude Code", "Pin Codex", "Pin Mock"}));
    QStringList represented;
    for (const MenuRow &row : modes)
        represented << row.represented;
    EXPECT_EQ(represented, (QStringList{"aggregate", "follow", "pin:claudeCode", "pin:codex", "pin:mock"}));
    EXPECT_TRUE(modes[3].checked);

    const QList<MenuRow> backend = rowTitled(rows, "Ad Backend").children;
    EXPECT_EQ(titles(backend),
              (QStringList{"Local Mock", "Remote REST", "---", "Configure Remote Ads…", "Status: Remote ok · queued 12"}));
    EXPECT_FALSE(backend[0].checked);
    EXPECT_TRUE(backend[1].checked);
    EXPECT_EQ(backend[4].action, MenuAction::none);

    StatusMenuState local = baseState();
    local.adBackendMode = AdBackendMode::localMock;
    EXPECT_EQ(rowTitled(statusMenuRows(local), "Ad Backend").title, "Ad Backend (Local Mock)");
}

TEST(MenuChoices, ChoicesChangeSettingsAndUnknownTextsChangeNothing)
{
    MemorySettingsStore store;
    AppSettings settings(store);
    EXPECT_TRUE(applySettingsChoice(settings, MenuAction::pickEdge, "left"));
    EXPECT_EQ(settings.dockEdge(), DockEdge::left);
    EXPECT_EQ(store.value("dockEdge").toString(), "left");
    applySettingsChoice(settings, MenuAction::pickEdge, "Top");
    EXPECT_EQ(settings.dockEdge(), DockEdge::left);

    applySettingsChoice(settings, MenuAction::pickAdBackend, "localMock");
    EXPECT_EQ(settings.adBackendMode(), AdBackendMode::localMock);
    applySettingsChoice(settings, MenuAction::pickAdBackend, "remote");
    EXPECT_EQ(settings.adBackendMode(), AdBackendMode::localMock);

    applySettingsChoice(settings, MenuAction::pickDisplayMode, "pin:mock");
    EXPECT_EQ(settings.displayMode(), DisplayMode::pinned(DisplayAgent::mock));
    applySettingsChoice(settings, MenuAction::pickTarget, "XTerm");
    EXPECT_EQ(store.value("targetBundleID").toString(), "XTerm");

    const bool ads = settings.showAds();
    applySettingsChoice(settings, MenuAction::toggleAds, {});
    EXPECT_EQ(settings.showAds(), !ads);
    applySettingsChoice(settings, MenuAction::toggleMock, {});
    EXPECT_TRUE(settings.useMockData());
    applySettingsChoice(settings, MenuAction::toggleDebugOverlay, {});
    EXPECT_TRUE(settings.showDebugOverlay());

    EXPECT_FALSE(applySettingsChoice(settings, MenuAction::setupCodex, {}));
}

} // namespace
