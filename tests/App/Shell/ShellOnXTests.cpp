#include "MenuSearch.h"

#include "App/Shell/OnboardingTexts.h"
#include "App/Shell/OnboardingWindow.h"
#include "App/Shell/StatusMenu.h"
#include "Platform/X11/QtWindowVisibility.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QPushButton>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "support/XScreenshot.h"
#include "support/XSession.h"

namespace {

using namespace std::chrono_literals;

// Colours in the image: a blank or failed grab has one or two.
int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

// The drawing half, run as a child process with DISPLAY on the test's X server.
TEST(ShellOnX, ChildDrawsTheMenuAndTheOnboardingWindow)
{
    const QString dir = qEnvironmentVariable("CORVANE_X_SHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "runs only as the child of ShellOnX.MenuAndOnboardingOnARealXServer";
    StatusMenuState state;
    state.targetBundleID = state.targetDisplayName = "XTerm";
    state.hudVisible = true;
    state.displayMode = DisplayMode::followFocus();
    state.backendHealthMessage = "Local campaigns";
    state.codexHealthWord = "Ready";
    state.codexHealthDetail = "telemetry 12s ago";
    state.codexConfigInstalled = true;
    StatusMenu menu([&] { return state; }, [](MenuAction, const QString &) {});
    menu.popup(QPoint(40, 30));
    TestSupport::spin(600ms);
    ASSERT_TRUE(menu.menu()->isVisible());
    QAction *display = findAction(*menu.menu(), "Display (", TitleMatch::prefix);
    ASSERT_TRUE(display && display->menu());
    menu.menu()->setActiveAction(display);
    display->menu()->popup(menu.menu()->geometry().topRight() + QPoint(0, menu.menu()->actionGeometry(display).top()));
    TestSupport::spin(600ms);
    EXPECT_TRUE(XScreenshot::save(qgetenv("DISPLAY"), dir + "/menu.png", QRect(0, 0, 900, 620)));
    menu.menu()->hide();

    // As a Sway session shows it when Corvane was started outside the session.
    OnboardingWindow onboarding(
        OnboardingTexts::body(DesktopFamily::sway, QStringLiteral("SWAYSOCK is not set, so Sway's IPC socket is unknown.")),
        [] { return false; }, [] {});
    onboarding.present();
    TestSupport::spin(800ms);
    const QRect frame = onboarding.frameGeometry();
    EXPECT_TRUE(XScreenshot::save(qgetenv("DISPLAY"), dir + "/onboarding.png", frame.adjusted(-8, -8, 8, 8)));

    // As GNOME on Wayland shows it before the Shell extension is installed: the install button and
    // the command to enable it.
    int installs = 0;
    OnboardingWindow gnome(OnboardingTexts::body(DesktopFamily::gnome,
                                                 QStringLiteral("The Corvane GNOME Shell extension is not installed.")),
                           [] { return false; }, [] {},
                           OnboardingFix{OnboardingTexts::installExtensionButton(), [&] {
                                             ++installs;
                                             return QStringLiteral("The extension is installed.");
                                         }});
    gnome.present();
    TestSupport::spin(800ms);
    auto *install = gnome.findChild<QPushButton *>();
    ASSERT_TRUE(install && install->text().contains("Install Extension"));
    install->click();
    EXPECT_EQ(installs, 1);
    TestSupport::spin(300ms);
    EXPECT_TRUE(XScreenshot::save(qgetenv("DISPLAY"), dir + "/onboarding-gnome.png",
                                  gnome.frameGeometry().adjusted(-8, -8, 8, 8)));
    gnome.hide();

    // The visibility the sponsored slot's HUD gate reads, for a window of our own.
    ASSERT_NE(onboarding.windowHandle(), nullptr);
    EXPECT_TRUE(isOwnWindowVisible(*onboarding.windowHandle()));
    onboarding.hide();
    EXPECT_TRUE(TestSupport::waitUntil([&] { return !isOwnWindowVisible(*onboarding.windowHandle()); }));
}

TEST(ShellOnX, MenuAndOnboardingOnARealXServer)
{
    if (!qEnvironmentVariableIsEmpty("CORVANE_X_SHOT_DIR"))
        GTEST_SKIP() << "the child run draws only";
    XSession x;
    ASSERT_TRUE(x.start()) << x.error().toStdString();
    const QString dir = TestSupport::artifactsDir();
    QDir().mkpath(dir);
    QFile::remove(dir + "/menu.png");
    QFile::remove(dir + "/onboarding.png");
    QFile::remove(dir + "/onboarding-gnome.png");
    QProcessEnvironment env = x.environment();
    env.insert("CORVANE_X_SHOT_DIR", dir);
    env.remove("QT_QPA_PLATFORM");
    const TestSupport::ChildRun child =
        TestSupport::runTestInChild("ShellOnX.ChildDrawsTheMenuAndTheOnboardingWindow", env);
    ASSERT_TRUE(child.passed()) << child.output.toStdString();
    for (const char *name : {"menu.png", "onboarding.png", "onboarding-gnome.png"}) {
        const QImage shot(dir + "/" + name);
        ASSERT_FALSE(shot.isNull()) << name;
        EXPECT_GT(distinctColours(shot), 8) << name << " looks blank";
    }
}

} // namespace
