#include "Platform/Freedesktop/FreedesktopDesktop.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TestSupport::waitUntil;

namespace {

// A file manager answering org.freedesktop.FileManager1.ShowItems on a private bus.
class FileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QList<QStringList> shown;

public Q_SLOTS:
    void ShowItems(const QStringList &uris, const QString &) { shown.append(uris); }
};

struct Opened {
    QList<QUrl> urls;
    FreedesktopDesktop::Opener opener()
    {
        return [this](const QUrl &url) {
            urls.append(url);
            return true;
        };
    }
};

} // namespace

TEST_F(PrivateBus, revealAsksTheFileManagerToShowTheFilesSelected)
{
    QDBusConnection managerBus = bus("filemanager");
    FileManager manager;
    ASSERT_TRUE(managerBus.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(managerBus.registerService("org.freedesktop.FileManager1"));

    Opened opened;
    FreedesktopDesktop desktop(bus("desktop"), opened.opener());
    desktop.revealFiles({"/tmp/Reports/a b.md", "/tmp/Reports/a.json"});
    ASSERT_TRUE(waitUntil([&] { return !manager.shown.isEmpty(); }, 5s));
    EXPECT_EQ(manager.shown.front(), (QStringList{"file:///tmp/Reports/a%20b.md", "file:///tmp/Reports/a.json"}));
    TestSupport::spin(100ms);
    EXPECT_TRUE(opened.urls.isEmpty());
}

TEST_F(PrivateBus, withoutAFileManagerRevealOpensTheFoldersOnce)
{
    Opened opened;
    FreedesktopDesktop desktop(bus("desktop"), opened.opener());
    desktop.revealFiles({"/tmp/Reports/a.md", "/tmp/Reports/a.json", "/tmp/other/b.txt"});
    ASSERT_TRUE(waitUntil([&] { return opened.urls.size() == 2; }, 5s));
    EXPECT_EQ(opened.urls, (QList<QUrl>{QUrl("file:///tmp/Reports"), QUrl("file:///tmp/other")}));
}

TEST(FreedesktopDesktop, withoutABusRevealOpensTheFolderAndOpenUrlPassesThrough)
{
    Opened opened;
    FreedesktopDesktop desktop(QDBusConnection(QStringLiteral("never-connected")), opened.opener());
    desktop.revealFiles({"/tmp/Reports/a.md"});
    EXPECT_EQ(opened.urls, (QList<QUrl>{QUrl("file:///tmp/Reports")}));
    EXPECT_TRUE(desktop.openUrl(QUrl("https://example.com/x")));
    EXPECT_EQ(opened.urls.last(), QUrl("https://example.com/x"));
    desktop.revealFiles({});
    EXPECT_EQ(opened.urls.size(), 2);
}

#include "FreedesktopDesktopTests.moc"
