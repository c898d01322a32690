#include "App/Shell/AlertDialog.h"
#include "App/Shell/StatusMenu.h"
#include "MenuSearch.h"

#include <QAction>
#include <QKeySequence>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

// Menus and dialogs are built for real, on Qt's offscreen platform (no display needed).
// (except in the child run that draws on a real X server).
[[maybe_unused]] const bool offscreen = [] {
    if (qEnvironmentVariableIsEmpty("CORVANE_X_SHOT_DIR"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();

TEST(StatusMenu, RebuiltFromTheStateOnEveryOpening)
{
    int reads = 0;
    StatusMenuState state;
    state.windowAccessGranted = true;
    state.windowBackend = QStringLiteral("X11");
    state.hudVisible = true;
    state.targetBundleID = state.targetDisplayName = QStringLiteral("XTerm");
    std::vector<std::pair<MenuAction, QString>> chosen;
    StatusMenu menu([&] { ++reads; return state; },
                    [&](MenuAction action, const QString &represented) { chosen.emplace_back(action, represented); });

    Q_EMIT menu.menu()->aboutToShow();
    EXPECT_EQ(reads, 1);
    QAction *access = menu.menu()->actions().front();
    EXPECT_EQ(access->text(), "Accessibility (X11): granted ✓");
    EXPECT_FALSE(access->isEnabled());
    EXPECT_TRUE(findAction(*menu.menu(), "Show HUD")->isChecked());
    QAction *quit = menu.menu()->actions().back();
    EXPECT_EQ(quit->text(), "Quit Corvane");
    EXPECT_TRUE(quit->shortcut().isEmpty()); // the application never has keyboard focus to take it

    QAction *edges = findAction(*menu.menu(), "Dock Edge (Above)");
    ASSERT_TRUE(edges && edges->menu());
    findAction(*edges->menu(), "Right")->trigger();
    TestSupport::spin(std::chrono::milliseconds(20));
    ASSERT_EQ(chosen.size(), 1u);
    EXPECT_EQ(chosen[0], std::make_pair(MenuAction::pickEdge, QStringLiteral("right")));

    state.hudVisible = false;
    state.dockEdge = DockEdge::right;
    Q_EMIT menu.menu()->aboutToShow();
    EXPECT_EQ(reads, 2);
    EXPECT_FALSE(findAction(*menu.menu(), "Show HUD")->isChecked());
    EXPECT_NE(findAction(*menu.menu(), "Dock Edge (Right)"), nullptr);
    EXPECT_EQ(findAction(*menu.menu(), "Dock Edge (Above)"), nullptr);
}

TEST(AlertDialog, ButtonsInTheGivenOrderAnswerTheirIndex)
{
    AlertDialog dialog(DialogTexts::customTarget());
    QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]->text(), "Attach");
    EXPECT_TRUE(buttons[0]->isDefault());
    EXPECT_EQ(buttons[1]->text(), "Cancel");
    QTimer::singleShot(0, buttons[1], &QPushButton::click);
    EXPECT_EQ(dialog.run(), 1);
    QTimer::singleShot(0, &dialog, &QDialog::reject);
    EXPECT_EQ(dialog.run(), -1);
}

// What a button or menu item draws: "&&" as "&", a lone "&" not at all (it marks the mnemonic).
QString drawnText(const QString &text)
{
    QString drawn;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        drawn += text[i];
    }
    return drawn;
}

TEST(AlertDialog, ButtonTextsAreDrawnAsWritten)
{
    const struct {
        AlertText text;
        QStringList buttons;
    } cases[] = {
        {DialogTexts::codexSetupQuestion(), {"Back Up & Write Config", "Cancel"}},
        {DialogTexts::remoteAds(), {"Save & Use Remote", "Cancel"}},
        {DialogTexts::customTarget(), {"Attach", "Cancel"}},
    };
    for (const auto &c : cases) {
        AlertDialog dialog(c.text);
        QStringList drawn;
        for (const QPushButton *button : dialog.findChildren<QPushButton *>()) {
            drawn << drawnText(button->text());
            EXPECT_TRUE(QKeySequence::mnemonic(button->text()).isEmpty()) << button->text().toStdString();
        }
        EXPECT_EQ(drawn, c.buttons);
    }
}

TEST(StatusMenu, TitlesWithAnAmpersandAreDrawnAsWritten)
{
    StatusMenuState state;
    state.targetBundleID = state.targetDisplayName = QStringLiteral("R&D Shell");
    StatusMenu menu([&] { return state; }, [](MenuAction, const QString &) {});
    Q_EMIT menu.menu()->aboutToShow();
    const auto titles = menu.menu()->actions();
    const bool drawnWhole = std::any_of(titles.begin(), titles.end(), [](const QAction *action) {
        return drawnText(action->text()) == "Target App (R&D Shell)";
    });
    EXPECT_TRUE(drawnWhole);
}

} // namespace
