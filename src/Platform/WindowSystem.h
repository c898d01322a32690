#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

// One running instance of an application: its app id and process id (0 when unknown).
struct RunningApplication {
    QString appId;
    qint64 pid = 0;

    bool operator==(const RunningApplication &other) const = default;
};
Q_DECLARE_METATYPE(RunningApplication)

// Opaque handle of a window, meaningful only to the WindowSystem that produced it.
using WindowHandle = quint64;

// What the window system could read about one window; an absent field could not be read.
struct WindowInfo {
    WindowHandle handle = 0;
    std::optional<QRectF> frame; // outer frame (window manager's decoration included), top-left origin
    std::optional<bool> isMinimized;
    std::optional<QString> title;
};

// An application's windows: its focused one, its main (topmost) one, and every one it lists.
struct ApplicationWindows {
    std::optional<WindowInfo> focused;
    std::optional<WindowInfo> main;
    std::vector<WindowInfo> listed;
};

// What changed about the observed application's windows.
enum class WindowChange { moved, resized, minimized, restored, focusChanged, mainWindowChanged };
Q_DECLARE_METATYPE(WindowChange)

// Other applications' windows, as the desktop exposes them. Everything runs on the main thread.
// Reads that fail give absent values or empty lists; nothing throws.
class WindowSystem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Whether other applications' windows can be seen at all.
    virtual bool hasWindowAccess() const = 0;
    // The desktop interface this reads windows through, as the menu names it ("X11", "Sway IPC").
    virtual QString backendName() const = 0;
    // Without window access: what is missing, in a sentence naming it; empty with access.
    virtual QString accessProblem() const = 0;
    // Running instances with this app id, in the order the desktop lists them.
    virtual QList<RunningApplication> runningApplications(const QString &appId) const = 0;
    virtual ApplicationWindows windows(const RunningApplication &application) const = 0;
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // Height of the primary screen in the window system's coordinates; 0 when there is none.
    virtual double primaryScreenHeight() const = 0;

    // Starts delivering observedWindowChanged for this application (replacing any other);
    // false when it cannot be observed.
    virtual bool observe(const RunningApplication &application) = 0;
    virtual void stopObserving() = 0;

    // Asks the desktop to keep one of this process's own windows (by its native id) at this frame
    // (top-left origin), above other windows, on every workspace and unfocused. False where the
    // window's own geometry requests are honoured and nothing more is needed (X11).
    virtual bool placeOwnWindow(quint64 nativeWindow, const QRectF &frame)
    {
        Q_UNUSED(nativeWindow)
        Q_UNUSED(frame)
        return false;
    }

Q_SIGNALS:
    void applicationLaunched(const RunningApplication &application);
    void applicationTerminated(const RunningApplication &application);
    void applicationActivated(const RunningApplication &application);
    void activeDesktopChanged();
    void observedWindowChanged(WindowChange change);
};
