#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

// A private headless Sway for tests and benchmarks: 1600 × 1000 pixman output, XWayland on, its
// own runtime directory and home. Sway refuses to run as root, so when this process is root the
// compositor and every client run as "nobody" (setpriv); otherwise as this user. Everything it
// starts ends with the destructor (or with this process). start() returns false with error()
// when Sway cannot start here; that is the one reason a test skips.
//
//     SwaySession sway;
//     if (!sway.start()) GTEST_SKIP() << sway.error().toStdString();
//     const qint64 pid = sway.startFoot("agent-term");
class SwaySession {
public:
    SwaySession();
    ~SwaySession();
    SwaySession(const SwaySession &) = delete;
    SwaySession &operator=(const SwaySession &) = delete;

    bool start();
    QString error() const { return m_error; }

    QString socketPath() const { return m_socket; } // SWAYSOCK
    QString home() const { return m_home.path(); }  // the session user's, writable by it
    // The environment Sway gives its clients (WAYLAND_DISPLAY, SWAYSOCK, XDG_RUNTIME_DIR, HOME;
    // DISPLAY once XWayland was asked for).
    QProcessEnvironment clientEnvironment() const;

    // Runs a Sway command (swaymsg); false with error() when Sway refuses it.
    bool command(const QString &command);
    // The view (window) with this app id, X11 class or title in the current tree; empty when absent.
    QJsonObject view(const QString &appId);
    // The view's frame as Sway draws it: rect plus the title bar above it; empty when absent.
    QRect frameOf(const QString &appId);

    // Starts a foot terminal with this app id (running "sleep") as the session's user, waits until
    // Sway lists its window, and returns its pid; 0 with error() on failure.
    qint64 startFoot(const QString &appId, const QStringList &footOptions = {});
    // Starts a program as the session's user in the session's environment (with these additions);
    // owned by the session.
    QProcess *startClient(const QString &program, const QStringList &arguments,
                          const QProcessEnvironment &additions = {});
    // Ends a client and waits until Sway dropped its window.
    bool stopClient(qint64 pid, const QString &appId);
    // XWayland's DISPLAY, starting it if Sway has not yet; empty with error() on failure.
    QString xDisplay();
    // Gives files this process made under home() to the session's user (a no-op unless root).
    bool handOver(const QString &path);
    // Takes a screenshot of the output with grim.
    bool screenshot(const QString &path);

private:
    QStringList asUser(const QString &program, const QStringList &arguments) const;
    QByteArray run(const QString &program, const QStringList &arguments, int timeoutMs = 5000);
    bool waitForSocket();

    QString m_error;
    QTemporaryDir m_home;
    QString m_runtime;
    QString m_socket;
    QString m_display;
    bool m_asNobody = false;
    std::unique_ptr<QProcess> m_sway;
    std::vector<std::unique_ptr<QProcess>> m_clients;
};
