// Reports every window to Corvane over D-Bus and keeps Corvane's HUD where Corvane asks.
// Runs on KWin 5.27 and 6: where their names differ, the newer one is tried first.
const service = "dev.corvane.Corvane";
const path = "/dev/corvane/Corvane/Windows";
const iface = "dev.corvane.Corvane.Windows1";

const allWindows = () => (workspace.windowList ? workspace.windowList() : workspace.clientList());
const activeWindow = () => (workspace.windowList ? workspace.activeWindow : workspace.activeClient);
const setActiveWindow = (w) => {
    if (workspace.windowList) workspace.activeWindow = w;
    else workspace.activeClient = w;
};
const onAdded = workspace.windowAdded || workspace.clientAdded;
const onRemoved = workspace.windowRemoved || workspace.clientRemoved;
const onActivated = workspace.windowActivated || workspace.clientActivated;

let placement = null; // the last answer naming a window
let lastOther = null; // the window the HUD hands the focus back to

function send(method, argument) {
    callDBus(service, path, iface, method, argument);
}

function idOf(w) {
    return w ? w.internalId.toString() : "";
}

function frameOf(w) {
    const g = w.frameGeometry;
    return { x: g.x, y: g.y, width: g.width, height: g.height };
}

function isHud(w) {
    return placement !== null && w.pid === placement.pid && w.caption === placement.title;
}

function describe(w) {
    const d = frameOf(w);
    d.id = idOf(w);
    d.appId = String(w.desktopFileName || w.resourceClass || "");
    d.pid = w.pid;
    d.title = w.caption;
    d.focused = w === activeWindow();
    d.minimized = w.minimized;
    return d;
}

function keepHud(w) {
    if (!isHud(w))
        return;
    w.keepAbove = true;
    w.onAllDesktops = true;
    w.skipTaskbar = true;
    w.skipPager = true;
    w.skipSwitcher = true;
    const g = w.frameGeometry;
    if (g.x !== placement.x || g.y !== placement.y || g.width !== placement.width || g.height !== placement.height)
        w.frameGeometry = { x: placement.x, y: placement.y, width: placement.width, height: placement.height };
}

function follow(w) {
    if (!w.normalWindow && !w.dialog)
        return;
    send("WindowAdded", describe(w));
    w.frameGeometryChanged.connect(() => {
        const change = frameOf(w);
        change.id = idOf(w);
        send("WindowChanged", change);
        keepHud(w);
    });
    w.captionChanged.connect(() => send("WindowChanged", { id: idOf(w), title: w.caption }));
    w.minimizedChanged.connect(() => send("WindowChanged", { id: idOf(w), minimized: w.minimized }));
    keepHud(w);
}

function askPlacement(seen) {
    callDBus(service, path, iface, "NextPlacement", { seen: seen }, (answer) => {
        placement = answer.pid ? answer : null;
        if (placement !== null)
            allWindows().forEach(keepHud);
        askPlacement(answer.generation);
    });
}

onAdded.connect(follow);
onRemoved.connect((w) => {
    if (w === lastOther)
        lastOther = null;
    send("WindowRemoved", idOf(w));
});
onActivated.connect((w) => {
    if (w && isHud(w) && lastOther) {
        setActiveWindow(lastOther); // the HUD is never to keep the focus
        return;
    }
    lastOther = w;
    send("Activated", idOf(w));
});

const screen = workspace.virtualScreenSize;
send("Hello", {
    compositor: "KWin " + (workspace.windowList ? "6" : "5"),
    screenWidth: screen.width,
    screenHeight: screen.height,
});
allWindows().forEach(follow);
askPlacement(0);
