// The desktop application in a real Sway session: the HUD (through XWayland) docked to a native
// Wayland foot by Sway's IPC, as a user runs them. Compositor, terminal and Corvane run as the
// session's unprivileged user.
#include "support/SwaySession.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

const QString hudTitle = QStringLiteral("Corvane HUD");

quint16 freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

struct AppOnSway : ::testing::Test {
    SwaySession sway;

    void SetUp() override
    {
        if (!sway.start())
            GTEST_SKIP() << "Sway cannot run here: " << sway.error().toStdString();
        ASSERT_FALSE(sway.xDisplay().isEmpty()) << sway.error().toStdString();
    }

    QProcess *startCorvane(const QString &target)
    {
        const QString config = sway.home() + QStringLiteral("/xdg-config/Corvane");
        EXPECT_TRUE(QDir().mkpath(config)) << config.toStdString();
        QFile file(config + QStringLiteral("/Corvane.conf"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
        file.write("[General]\ntargetBundleID=" + target.toUtf8() + "\ndisplayMode=aggregate\n");
        file.close();
        EXPECT_TRUE(sway.handOver(sway.home() + QStringLiteral("/xdg-config"))) << sway.error().toStdString();
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), sway.home() + QStringLiteral("/xdg-config"));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), sway.home() + QStringLiteral("/data"));
        environment.insert(QStringLiteral("CORVANE_OTEL_PORT"), QString::number(freePort()));
        return sway.startClient(TestSupport::corvaneBinary(), {}, environment);
    }

    // Docked above: the bar's left edge on the terminal's, its bottom on the terminal's top.
    bool dockedAbove(const QString &appId)
    {
        const QRect term = sway.frameOf(appId);
        const QRect hud = sway.frameOf(hudTitle);
        return !term.isEmpty() && hud.x() == term.x() && hud.y() + hud.height() == term.y() && hud.height() == 44
            && hud.width() == std::max(660, term.width());
    }

    std::string place(const QString &name)
    {
        const QRect r = sway.frameOf(name);
        return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
    }

    void screenshot(const QString &name)
    {
        const QString path = TestSupport::artifactsDir() + QStringLiteral("/") + name;
        EXPECT_TRUE(sway.screenshot(path)) << sway.error().toStdString();
    }
};

} // namespace

TEST_F(AppOnSway, TheHudDocksToFootAndFollowsItsMovesResizeScratchpadAndExit)
{
    const qint64 foot = sway.startFoot(QStringLiteral("agent-term"));
    ASSERT_NE(foot, 0) << sway.error().toStdString();
    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=agent-term] floating enable, resize set 900 500, "
                                            "move absolute position 300 300")))
        << sway.error().toStdString();
    QProcess *corvane = startCorvane(QStringLiteral("agent-term"));
    ASSERT_TRUE(waitUntil([&] { return !sway.view(hudTitle).isEmpty(); }, 20s)) << "the HUD never mapped";
    EXPECT_TRUE(waitUntil([&] { return dockedAbove(QStringLiteral("agent-term")); }, 5s))
        << "HUD " << place(hudTitle) << " term " << place(QStringLiteral("agent-term"));
    const QJsonObject hud = sway.view(hudTitle);
    EXPECT_EQ(hud.value(u"shell").toString(), QStringLiteral("xwayland"));
    EXPECT_FALSE(hud.value(u"focused").toBool()) << "the HUD took the terminal's focus";
    EXPECT_TRUE(sway.view(QStringLiteral("agent-term")).value(u"focused").toBool());
    screenshot(QStringLiteral("sway-hud-docked.png"));

    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=agent-term] move absolute position 500 420")));
    EXPECT_TRUE(waitUntil([&] { return dockedAbove(QStringLiteral("agent-term")); }, 2s))
        << "HUD " << place(hudTitle) << " term " << place(QStringLiteral("agent-term"));
    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=agent-term] resize set 1000 400")));
    EXPECT_TRUE(waitUntil([&] { return dockedAbove(QStringLiteral("agent-term")); }, 2s))
        << "HUD " << place(hudTitle) << " term " << place(QStringLiteral("agent-term"));
    EXPECT_EQ(sway.frameOf(hudTitle).width(), 1000);
    screenshot(QStringLiteral("sway-hud-moved-resized.png"));

    // In the scratchpad, and once it is gone, nothing is docked: the bar becomes the waiting pill.
    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=agent-term] move scratchpad")));
    EXPECT_TRUE(waitUntil([&] { return sway.frameOf(hudTitle).height() == 36; }, 3s)) << "HUD " << place(hudTitle);
    ASSERT_TRUE(sway.command(QStringLiteral("[app_id=agent-term] scratchpad show")));
    EXPECT_TRUE(waitUntil([&] { return dockedAbove(QStringLiteral("agent-term")); }, 3s))
        << "HUD " << place(hudTitle) << " term " << place(QStringLiteral("agent-term"));

    ASSERT_TRUE(sway.stopClient(foot, QStringLiteral("agent-term")));
    EXPECT_TRUE(waitUntil([&] { return sway.frameOf(hudTitle).height() == 36; }, 3s)) << "HUD " << place(hudTitle);
    screenshot(QStringLiteral("sway-hud-waiting.png"));
    EXPECT_EQ(corvane->state(), QProcess::Running);
}
