#include "Platform/Sway/SwayWindowSystem.h"

#include "Platform/Sway/SwayIpcClient.h"
#include "Platform/Sway/SwayTree.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <map>

namespace {

constexpr int connectTimeoutMs = 1000;
constexpr int firstTreeTimeoutMs = 2000;
constexpr std::size_t focusHistoryLimit = 64;
// Sway clamps every floating window to at least 75 × 50 by default (floating_minimum_size,
// a global setting); the HUD's bars are 44 and 36 high, so the minimum height must allow them.
constexpr int smallestOwnWindowHeight = 36;

bool isHidden(const SwayView &view) { return !view.visible || view.inScratchpad; }

WindowInfo infoOf(const SwayView &view) { return {quint64(view.conId), view.frame, isHidden(view), view.title}; }

std::vector<RunningApplication> applicationsOf(const std::optional<SwayLayout> &layout)
{
    std::vector<RunningApplication> list;
    if (!layout)
        return list;
    for (const SwayView &view : layout->views) {
        if (!view.application.appId.isEmpty()
            && std::find(list.begin(), list.end(), view.application) == list.end())
            list.push_back(view.application);
    }
    return list;
}

const SwayView *focusedView(const std::optional<SwayLayout> &layout)
{
    if (!layout)
        return nullptr;
    const auto it = std::find_if(layout->views.begin(), layout->views.end(),
                                 [](const SwayView &view) { return view.focused; });
    return it == layout->views.end() ? nullptr : &*it;
}

// Every command's reply is a list of results; false when one failed.
bool commandSucceeded(const QByteArray &reply)
{
    const QJsonArray results = QJsonDocument::fromJson(reply).array();
    return !results.isEmpty() && std::all_of(results.begin(), results.end(), [](const QJsonValue &result) {
        return result.toObject().value(u"success").toBool();
    });
}

QString placementCommand(quint64 x11Window, const QRectF &frame)
{
    return QStringLiteral("[id=%1] floating enable, sticky enable, border none, "
                          "move absolute position %2 px %3 px, resize set width %4 px height %5 px")
        .arg(x11Window)
        .arg(qRound(frame.x()))
        .arg(qRound(frame.y()))
        .arg(qRound(frame.width()))
        .arg(qRound(frame.height()));
}

} // namespace

struct SwayWindowSystem::Impl {
    // Where and how an observed application's windows were at the last read.
    struct Seen {
        QRectF frame;
        bool hidden = false;
        bool operator==(const Seen &) const = default;
    };

    SwayWindowSystem *q;
    SwayIpcClient ipc;
    bool ownWindowsOnXWayland;
    qint64 ownPid = QCoreApplication::applicationPid();
    QString problem;
    bool access = false;

    std::optional<SwayLayout> layout;
    QByteArray lastTree;
    bool treeInFlight = false;
    bool treeWanted = false;
    bool desktopChanged = false;
    std::vector<qint64> focusHistory; // con ids, most recently focused first

    std::optional<RunningApplication> observed;
    std::map<qint64, Seen> observedViews;
    Timer *geometryPoll = nullptr;
    std::map<quint64, QRectF> ownFrames; // where this process's windows should be, by X11 id

    void start(const QString &socketPath)
    {
        if (socketPath.isEmpty()) {
            problem = QStringLiteral("SWAYSOCK is not set, so Sway's IPC socket is unknown.");
            return;
        }
        if (!ipc.connectTo(socketPath, connectTimeoutMs)) {
            problem = QStringLiteral("Sway's IPC socket %1 does not answer (%2).").arg(socketPath, ipc.errorString());
            return;
        }
        ipc.onEvent = [this](quint32 type, const QByteArray &) { onEvent(type); };
        ipc.onDisconnected = [this] { lose(); };
        const std::optional<QByteArray> tree = ipc.ask(I3Ipc::getTree, {}, firstTreeTimeoutMs);
        if (!tree || !parseSwayTree(*tree)) {
            problem = QStringLiteral("Sway's IPC socket %1 sent no window tree.").arg(socketPath);
            return;
        }
        access = true;
        apply(*tree, false);
        ipc.send(I3Ipc::subscribe, R"(["window","workspace","shutdown"])", [this](const QByteArray &reply) {
            if (!QJsonDocument::fromJson(reply).object().value(u"success").toBool())
                lose(QStringLiteral("Sway refused to report window events."));
        });
        if (ownWindowsOnXWayland)
            prepareForOwnWindows();
    }

    // Mapping a window focuses it; the HUD (Qt's tool windows are X11 utility windows) must not
    // take focus from the terminal it docks to, and must be allowed its own height.
    void prepareForOwnWindows()
    {
        ipc.send(I3Ipc::runCommand,
                 QStringLiteral("no_focus [pid=%1 window_type=utility]; floating_minimum_size 75 x %2")
                     .arg(ownPid)
                     .arg(smallestOwnWindowHeight)
                     .toUtf8());
    }

    void lose(const QString &why = {})
    {
        if (!access)
            return; // the first reason stays (Sway's shutdown comes before its socket closes)
        access = false;
        problem = why.isEmpty() ? QStringLiteral("The connection to Sway was lost (%1).").arg(ipc.errorString()) : why;
        // Nothing can be seen of them any more: a follower drops them rather than wait on a frame.
        const std::vector<RunningApplication> gone = applicationsOf(layout);
        layout.reset();
        lastTree.clear();
        focusHistory.clear();
        observedViews.clear();
        geometryPoll->stop();
        for (const RunningApplication &application : gone)
            Q_EMIT q->applicationTerminated(application);
    }

    void onEvent(quint32 type)
    {
        if (type == I3Ipc::shutdownEvent) {
            lose(QStringLiteral("Sway is shutting down."));
            return;
        }
        desktopChanged = desktopChanged || type == I3Ipc::workspaceEvent;
        requestTree();
    }

    // One read at a time; asks that come meanwhile become one more read after it.
    void requestTree()
    {
        if (!access)
            return;
        if (treeInFlight) {
            treeWanted = true;
            return;
        }
        treeInFlight = true;
        ipc.send(I3Ipc::getTree, {}, [this](const QByteArray &tree) {
            treeInFlight = false;
            apply(tree, true);
            if (std::exchange(treeWanted, false))
                requestTree();
        });
    }

    void apply(const QByteArray &tree, bool announce)
    {
        if (tree != lastTree) {
            std::optional<SwayLayout> parsed = parseSwayTree(tree);
            if (parsed) {
                lastTree = tree;
                std::optional<SwayLayout> before = std::exchange(layout, std::move(parsed));
                announceApplications(before, announce);
                followFocus(before, announce);
                compareObserved();
                placeOwnWindows();
            }
        }
        if (std::exchange(desktopChanged, false) && announce)
            Q_EMIT q->activeDesktopChanged();
    }

    void announceApplications(const std::optional<SwayLayout> &before, bool announce)
    {
        if (!announce)
            return;
        const std::vector<RunningApplication> was = applicationsOf(before);
        const std::vector<RunningApplication> is = applicationsOf(layout);
        for (const RunningApplication &application : was) {
            if (std::find(is.begin(), is.end(), application) == is.end())
                Q_EMIT q->applicationTerminated(application);
        }
        for (const RunningApplication &application : is) {
            if (std::find(was.begin(), was.end(), application) == was.end())
                Q_EMIT q->applicationLaunched(application);
        }
    }

    void followFocus(const std::optional<SwayLayout> &before, bool announce)
    {
        std::erase_if(focusHistory, [this](qint64 id) { return !viewOf(id); });
        const SwayView *now = focusedView(layout);
        const SwayView *was = focusedView(before);
        if (!now || (was && was->conId == now->conId))
            return;
        std::erase(focusHistory, now->conId);
        focusHistory.insert(focusHistory.begin(), now->conId);
        if (focusHistory.size() > focusHistoryLimit)
            focusHistory.pop_back();
        if (!announce)
            return;
        if (!was || was->application != now->application)
            Q_EMIT q->applicationActivated(now->application);
        if (observed && (now->application == *observed || (was && was->application == *observed)))
            Q_EMIT q->observedWindowChanged(WindowChange::focusChanged);
    }

    const SwayView *viewOf(qint64 conId) const
    {
        if (!layout)
            return nullptr;
        const auto it = std::find_if(layout->views.begin(), layout->views.end(),
                                     [conId](const SwayView &view) { return view.conId == conId; });
        return it == layout->views.end() ? nullptr : &*it;
    }

    std::map<qint64, Seen> observedNow() const
    {
        std::map<qint64, Seen> seen;
        if (observed && layout) {
            for (const SwayView &view : layout->views) {
                if (view.application == *observed)
                    seen[view.conId] = {view.frame, isHidden(view)};
            }
        }
        return seen;
    }

    void compareObserved()
    {
        if (!observed)
            return;
        std::map<qint64, Seen> now = observedNow();
        std::map<qint64, Seen> was = std::exchange(observedViews, now);
        if (now == was)
            return;
        const bool sameWindows = std::equal(now.begin(), now.end(), was.begin(), was.end(),
                                            [](const auto &a, const auto &b) { return a.first == b.first; });
        if (!sameWindows) {
            Q_EMIT q->observedWindowChanged(WindowChange::mainWindowChanged);
            return;
        }
        bool moved = false, resized = false, hiddenChanged = false, hidden = false;
        for (const auto &[id, seen] : now) {
            const Seen &previous = was.at(id);
            moved = moved || seen.frame.topLeft() != previous.frame.topLeft();
            resized = resized || seen.frame.size() != previous.frame.size();
            if (seen.hidden != previous.hidden) {
                hiddenChanged = true;
                hidden = seen.hidden;
            }
        }
        if (hiddenChanged)
            Q_EMIT q->observedWindowChanged(hidden ? WindowChange::minimized : WindowChange::restored);
        if (resized)
            Q_EMIT q->observedWindowChanged(WindowChange::resized);
        else if (moved)
            Q_EMIT q->observedWindowChanged(WindowChange::moved);
    }

    void placeOwnWindows()
    {
        if (!layout)
            return;
        for (const SwayView &view : layout->views) {
            const auto wanted = ownFrames.find(view.x11Window);
            if (view.x11Window != 0 && view.application.pid == ownPid && wanted != ownFrames.end()
                && view.frame != wanted->second)
                place(view.x11Window, wanted->second);
        }
    }

    void place(quint64 x11Window, const QRectF &frame)
    {
        ipc.send(I3Ipc::runCommand, placementCommand(x11Window, frame).toUtf8(), [](const QByteArray &reply) {
            if (!commandSucceeded(reply))
                qWarning("corvane: Sway did not place the HUD: %s", reply.constData());
        });
    }
};

SwayWindowSystem::SwayWindowSystem(const QString &socketPath, bool ownWindowsOnXWayland, const Environment &env,
                                   QObject *parent)
    : WindowSystem(parent), d(std::make_unique<Impl>())
{
    d->q = this;
    d->ownWindowsOnXWayland = ownWindowsOnXWayland;
    d->geometryPoll = env.clock->createTimer(env.delays.swayGeometryPoll, Clock::Repeat::everyInterval, this,
                                             [this] { d->requestTree(); });
    d->start(socketPath);
}

SwayWindowSystem::~SwayWindowSystem()
{
    d->ipc.onEvent = {};
    d->ipc.onDisconnected = {};
}

bool SwayWindowSystem::hasWindowAccess() const { return d->access; }

QString SwayWindowSystem::accessProblem() const { return d->access ? QString() : d->problem; }

QList<RunningApplication> SwayWindowSystem::runningApplications(const QString &appId) const
{
    QList<RunningApplication> found;
    for (const RunningApplication &application : applicationsOf(d->layout)) {
        if (!appId.isEmpty() && application.appId == appId)
            found.append(application);
    }
    return found;
}

ApplicationWindows SwayWindowSystem::windows(const RunningApplication &application) const
{
    ApplicationWindows windows;
    if (!d->layout)
        return windows;
    for (const SwayView &view : d->layout->views) {
        if (view.application == application)
            windows.listed.push_back(infoOf(view));
    }
    for (const qint64 id : d->focusHistory) {
        const SwayView *view = d->viewOf(id);
        if (view && view->application == application) {
            windows.focused = infoOf(*view);
            break;
        }
    }
    // Sway has no stacking order to read; the main window is the first one in sight.
    const auto shown = std::find_if(windows.listed.begin(), windows.listed.end(),
                                    [](const WindowInfo &info) { return !info.isMinimized.value_or(false); });
    if (shown != windows.listed.end())
        windows.main = *shown;
    else if (!windows.listed.empty())
        windows.main = windows.listed.front();
    return windows;
}

std::optional<RunningApplication> SwayWindowSystem::frontmostApplication() const
{
    const SwayView *view = focusedView(d->layout);
    if (!view || view->application.appId.isEmpty())
        return std::nullopt;
    return view->application;
}

double SwayWindowSystem::primaryScreenHeight() const { return d->layout ? d->layout->bounds.height() : 0; }

bool SwayWindowSystem::observe(const RunningApplication &application)
{
    stopObserving();
    if (!d->access)
        return false;
    d->observed = application;
    d->observedViews = d->observedNow();
    d->geometryPoll->start();
    return true;
}

void SwayWindowSystem::stopObserving()
{
    d->geometryPoll->stop();
    d->observed.reset();
    d->observedViews.clear();
}

bool SwayWindowSystem::placeOwnWindow(quint64 nativeWindow, const QRectF &frame)
{
    if (!d->access || !d->ownWindowsOnXWayland || nativeWindow == 0)
        return false;
    d->ownFrames[nativeWindow] = frame;
    d->placeOwnWindows();
    return true;
}
