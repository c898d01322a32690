#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <vector>

struct xcb_connection_t;

// A private X session for tests and benchmarks: Xvfb on a free display (-displayfd), openbox as
// the window manager, and xterms on demand. Everything it starts is torn down by the destructor
// (and killed with the test process if that dies). Nothing is skipped: when a program is missing
// or does not come up, start() returns false and error() says why.
//
//     XSession x;
//     ASSERT_TRUE(x.start()) << x.error().toStdString();
//     const XSession::Client term = x.startXterm({"-geometry", "80x24+100+100"});
//     ASSERT_NE(term.window, 0u) << x.error().toStdString();
class XSession {
public:
    struct Client {
        QProcess *process = nullptr; // owned by the session
        quint32 window = 0;          // the client window the window manager lists; 0 on failure
    };

    XSession();
    ~XSession();
    XSession(const XSession &) = delete;
    XSession &operator=(const XSession &) = delete;

    // Starts Xvfb (1280 × 800 unless told) and openbox, and waits until openbox publishes
    // _NET_SUPPORTED; without a window manager when asked.
    bool start(QSize screen = {1280, 800}, bool withWindowManager = true);
    // Uses a server (and its window manager, if one runs) that runs already: the environment's
    // DISPLAY when the name is empty. The destructor ends only what was started here.
    bool join(const QByteArray &displayName = {});
    QString error() const { return m_error; }

    QByteArray displayName() const { return m_display; } // ":N"
    QProcessEnvironment environment() const;             // this environment with DISPLAY set
    QSize screenSize() const { return m_screen; }

    // Starts an xterm (running "sleep" so no shell is needed) and, with a window manager running,
    // waits until the window manager lists its window.
    Client startXterm(const QStringList &arguments = {});
    // Ends the client and waits until the window manager has dropped its window.
    bool stopClient(Client &client);

    // Runs a program in the session (xdotool, xprop …) and returns its standard output;
    // error() is set when it fails.
    QByteArray run(const QString &program, const QStringList &arguments);

    // The frame the window manager drew around the window (its ancestor below the root),
    // in root coordinates; empty when the window is gone.
    QRect frameGeometry(quint32 window);
    // Asks for a new position and/or size of a client window, as an application would.
    void configure(quint32 window, QRect geometry, bool move, bool resize);
    // The windows the window manager lists (_NET_CLIENT_LIST).
    std::vector<quint32> clientWindows();

    // Starts openbox and waits until it publishes _NET_SUPPORTED (start() does this by default).
    bool startWindowManager();
    void stopWindowManager();
    void stopServer();

private:
    bool connect(const QByteArray &displayName);
    QProcess *spawn(const QString &program, const QStringList &arguments);
    bool waitForWindowManager(std::chrono::milliseconds timeout);
    quint32 windowOfPid(qint64 pid);

    QString m_error;
    QByteArray m_display;
    QSize m_screen;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    std::vector<std::unique_ptr<QProcess>> m_clients;
    xcb_connection_t *m_x = nullptr;
    quint32 m_root = 0;
    bool m_managed = false; // a window manager lists the clients
};
