#pragma once

// The compositor's side of the desktop-windows contract, as the KWin script or the Shell
// extension plays it, for tests on a private bus.
#include "Platform/DBusDesktop/CompositorScripts.h"
#include "Platform/DBusDesktop/DesktopWindowsContract.h"
#include "Platform/DBusDesktop/DBusDesktopWindowSystem.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QRectF>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

// The receiver answers on this thread: a blocking wait would stall it, so the loop turns meanwhile.
inline bool finished(const QDBusPendingCall &call)
{
    return TestSupport::waitUntil([&] { return call.isFinished(); });
}

inline QVariantMap window(const QString &id, const QString &appId, qint64 pid, QRectF frame, const QString &title,
                   bool focused = false)
{
    // Scripts send whole numbers as ints: the frame goes as ints here.
    return {{"id", id},
            {"appId", appId},
            {"pid", pid},
            {"x", int(frame.x())},
            {"y", int(frame.y())},
            {"width", int(frame.width())},
            {"height", int(frame.height())},
            {"title", title},
            {"focused", focused},
            {"minimized", false}};
}

// The compositor side: sends the contract's calls from its own connection, in order.
class Compositor : public QObject {
    Q_OBJECT

public:
    explicit Compositor(QDBusConnection bus) : m_bus(std::move(bus)) {}

    QDBusPendingCall call(const QString &method, const QVariant &argument)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(DesktopWindows::service, DesktopWindows::path,
                                                              DesktopWindows::interface, method);
        message << argument;
        return m_bus.asyncCall(message, 30000);
    }
    void hello() { call("Hello", QVariantMap{{"compositor", "fake"}, {"screenWidth", 1600}, {"screenHeight", 1000}}); }
    void sendInitialWindows()
    {
        hello();
        call("WindowAdded", window("a", "foot", 41, {100, 50, 800, 600}, "~: bash", true));
        call("WindowAdded", window("b", "org.kde.konsole", 42, {950, 50, 600, 500}, "codex"));
    }

    QDBusConnection m_bus;
};

// KWin's org.kde.kwin.Scripting: loading records the script; starting it runs the fake side.
class FakeKWinScripting : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")

public:
    explicit FakeKWinScripting(Compositor &compositor) : m_compositor(compositor) {}
    QString loadedPath;
    QByteArray loadedScript;
    QStringList unloaded;
    bool refuse = false;

public Q_SLOTS:
    int loadScript(const QString &path, const QString &name)
    {
        EXPECT_EQ(name, KWinScript::pluginName);
        loadedPath = path;
        loadedScript = TestSupport::readFile(path);
        return refuse ? -1 : 7;
    }
    bool unloadScript(const QString &name)
    {
        unloaded.append(name);
        return false;
    }
    void start()
    {
        QMetaObject::invokeMethod(&m_compositor, [this] { m_compositor.sendInitialWindows(); }, Qt::QueuedConnection);
    }

private:
    Compositor &m_compositor;
};

// A private bus with the compositor's connection, user folders of its own, and KWin on demand.
struct DesktopWindowsTest : PrivateBus {
    std::unique_ptr<Compositor> compositor;
    std::unique_ptr<FakeKWinScripting> kwin;
    QTemporaryDir home;

    void SetUp() override
    {
        PrivateBus::SetUp();
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());
        compositor = std::make_unique<Compositor>(bus("compositor"));
    }

    void serveKWin()
    {
        kwin = std::make_unique<FakeKWinScripting>(*compositor);
        ASSERT_TRUE(compositor->m_bus.registerObject("/Scripting", kwin.get(), QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(compositor->m_bus.registerService("org.kde.KWin"));
    }

    std::unique_ptr<DBusDesktopWindowSystem> startKWinDesktop()
    {
        serveKWin();
        auto windows = std::make_unique<DBusDesktopWindowSystem>(DesktopFamily::kde, bus("corvane"));
        EXPECT_TRUE(TestSupport::waitUntil([&] { return !windows->runningApplications("org.kde.konsole").isEmpty(); }));
        return windows;
    }
};

// The applications of sendInitialWindows().
inline const RunningApplication foot{"foot", 41};
inline const RunningApplication konsole{"org.kde.konsole", 42};
