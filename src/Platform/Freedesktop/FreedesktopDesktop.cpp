#include "Platform/Freedesktop/FreedesktopDesktop.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>

namespace {

constexpr int fileManagerTimeoutMs = 5000;

void openFolders(const FreedesktopDesktop::Opener &opener, const QStringList &paths)
{
    QStringList folders;
    for (const QString &path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    for (const QString &folder : folders)
        opener(QUrl::fromLocalFile(folder));
}

} // namespace

FreedesktopDesktop::FreedesktopDesktop(QDBusConnection bus, Opener opener)
    : m_bus(std::move(bus)), m_opener(std::move(opener))
{
    if (!m_opener)
        m_opener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

bool FreedesktopDesktop::openUrl(const QUrl &url) { return m_opener(url); }

void FreedesktopDesktop::revealFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    if (!m_bus.isConnected()) {
        openFolders(m_opener, paths);
        return;
    }
    QStringList uris;
    for (const QString &path : paths)
        uris.append(QString::fromLatin1(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toEncoded()));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    // Asynchronous, so a missing or slow file manager never blocks the caller.
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, fileManagerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [opener = m_opener, paths](QDBusPendingCallWatcher *finished) {
                         if (finished->isError())
                             openFolders(opener, paths);
                         finished->deleteLater();
                     });
}
