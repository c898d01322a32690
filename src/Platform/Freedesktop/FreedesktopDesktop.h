#pragma once

#include "Platform/Desktop.h"

#include <QDBusConnection>

#include <functional>

// Opens through the desktop's URL handlers and reveals through the file manager's
// org.freedesktop.FileManager1 interface; without one, the files' folders are opened instead.
class FreedesktopDesktop : public Desktop {
public:
    using Opener = std::function<bool(const QUrl &)>;

    // The opener defaults to QDesktopServices::openUrl (which needs a QGuiApplication).
    explicit FreedesktopDesktop(QDBusConnection bus = QDBusConnection::sessionBus(), Opener opener = {});

    bool openUrl(const QUrl &url) override;
    void revealFiles(const QStringList &paths) override;

private:
    QDBusConnection m_bus;
    Opener m_opener;
};
