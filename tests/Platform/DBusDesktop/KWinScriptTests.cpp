// The shipped KWin script run in a JavaScript engine against a stand-in for KWin's scripting API
// (KWin 6 names): what it sends over callDBus and what it does to the HUD's window.
#include "support/TestSupport.h"

#include <QFile>
#include <QJSEngine>

#include <gtest/gtest.h>

namespace {

// workspace, windows with their signals, and a callDBus that records each call; the last
// NextPlacement's callback waits in `answerPlacement`.
const char *const kwinStandIn = R"js(
function Signal() { this.handlers = []; }
Signal.prototype.connect = function (f) { this.handlers.push(f); };
Signal.prototype.fire = function () { const a = arguments; this.handlers.forEach(f => f.apply(null, a)); };
var calls = [];
var answerPlacement = null;
function callDBus(service, path, iface, method, argument, callback) {
    calls.push({service: service, path: path, iface: iface, method: method, argument: JSON.parse(JSON.stringify(argument))});
    if (callback) answerPlacement = callback;
}
function makeWindow(id, resourceClass, pid, caption, frame) {
    return {internalId: {toString: () => id}, resourceClass: resourceClass, desktopFileName: "", pid: pid,
            caption: caption, frameGeometry: frame, minimized: false, normalWindow: true, dialog: false,
            keepAbove: false, onAllDesktops: false, skipTaskbar: false, skipPager: false, skipSwitcher: false,
            frameGeometryChanged: new Signal(), captionChanged: new Signal(), minimizedChanged: new Signal()};
}
var term = makeWindow("t1", "org.kde.konsole", 42, "codex", {x: 950, y: 50, width: 600, height: 500});
var hud = makeWindow("h1", "corvane", 7, "Corvane HUD", {x: 0, y: 0, width: 100, height: 36});
var workspace = {all: [term, hud], windowList() { return this.all; }, activeWindow: term,
                 windowAdded: new Signal(), windowRemoved: new Signal(), windowActivated: new Signal(),
                 virtualScreenSize: {width: 1600, height: 1000}};
)js";

struct KWinScript : ::testing::Test {
    QJSEngine engine;

    void SetUp() override
    {
        QFile script(QStringLiteral(":/corvane/kwin/corvane-dock.js")); // the copy Corvane loads into KWin
        ASSERT_TRUE(script.open(QIODevice::ReadOnly));
        ASSERT_FALSE(engine.evaluate(QString::fromLatin1(kwinStandIn)).isError());
        const QJSValue result = engine.evaluate(QString::fromUtf8(script.readAll()), QStringLiteral("corvane-dock.js"));
        ASSERT_FALSE(result.isError()) << result.toString().toStdString();
    }
    QString run(const QString &code)
    {
        const QJSValue value = engine.evaluate(code);
        return value.isError() ? QStringLiteral("error: ") + value.toString() : value.toString();
    }
    // The calls made so far, one per line: method and argument as JSON.
    QString calls() { return run("calls.map(c => c.method + ' ' + JSON.stringify(c.argument)).join('\\n')"); }
};

} // namespace

TEST_F(KWinScript, GreetsCorvaneWithTheScreenAndEveryWindowThenAsksWhereTheHudGoes)
{
    EXPECT_EQ(run("calls.every(c => c.service === 'dev.corvane.Corvane' && c.path === '/dev/corvane/Corvane/Windows'"
                  " && c.iface === 'dev.corvane.Corvane.Windows1')"),
              "true");
    EXPECT_EQ(calls(),
              "Hello {\"compositor\":\"KWin 6\",\"screenWidth\":1600,\"screenHeight\":1000}\n"
              "WindowAdded {\"x\":950,\"y\":50,\"width\":600,\"height\":500,\"id\":\"t1\",\"appId\":\"org.kde.konsole\","
              "\"pid\":42,\"title\":\"codex\",\"focused\":true,\"minimized\":false}\n"
              "WindowAdded {\"x\":0,\"y\":0,\"width\":100,\"height\":36,\"id\":\"h1\",\"appId\":\"corvane\",\"pid\":7,"
              "\"title\":\"Corvane HUD\",\"focused\":false,\"minimized\":false}\n"
              "NextPlacement {\"seen\":0}");
}

TEST_F(KWinScript, ReportsMovesTitlesMinimisingFocusAndRemoval)
{
    run("calls = []; term.frameGeometry = {x: 420, y: 300, width: 600, height: 500}; term.frameGeometryChanged.fire();"
        "term.caption = 'codex — thinking'; term.captionChanged.fire();"
        "term.minimized = true; term.minimizedChanged.fire();"
        "workspace.windowActivated.fire(null); workspace.windowRemoved.fire(term);");
    EXPECT_EQ(calls(), "WindowChanged {\"x\":420,\"y\":300,\"width\":600,\"height\":500,\"id\":\"t1\"}\n"
                       "WindowChanged {\"id\":\"t1\",\"title\":\"codex — thinking\"}\n"
                       "WindowChanged {\"id\":\"t1\",\"minimized\":true}\n"
                       "Activated \"\"\n"
                       "WindowRemoved \"t1\"");
}

TEST_F(KWinScript, PlacesTheHudAboveOnAllDesktopsAndHandsTheFocusBack)
{
    run("workspace.windowActivated.fire(term); calls = [];"
        "answerPlacement({generation: 1, pid: 7, title: 'Corvane HUD', x: 950, y: 14, width: 600, height: 36});");
    EXPECT_EQ(run("JSON.stringify(hud.frameGeometry)"), "{\"x\":950,\"y\":14,\"width\":600,\"height\":36}");
    EXPECT_EQ(run("[hud.keepAbove, hud.onAllDesktops, hud.skipTaskbar, hud.skipSwitcher].join()"), "true,true,true,true");
    EXPECT_EQ(run("JSON.stringify(term.frameGeometry)"), "{\"x\":950,\"y\":50,\"width\":600,\"height\":500}")
        << "only the window with Corvane's pid and title moves";
    EXPECT_EQ(calls(), "NextPlacement {\"seen\":1}") << "it asks again at once";

    // Something moves the HUD: it goes back where Corvane wants it.
    run("hud.frameGeometry = {x: 5, y: 5, width: 600, height: 36}; hud.frameGeometryChanged.fire();");
    EXPECT_EQ(run("JSON.stringify(hud.frameGeometry)"), "{\"x\":950,\"y\":14,\"width\":600,\"height\":36}");

    run("calls = []; workspace.activeWindow = hud; workspace.windowActivated.fire(hud);");
    EXPECT_EQ(run("workspace.activeWindow === term"), "true");
    EXPECT_EQ(calls(), "") << "the HUD taking the focus is not an activation to report";
}
