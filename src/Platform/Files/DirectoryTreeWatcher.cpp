#include "Platform/Files/DirectoryTreeWatcher.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSocketNotifier>

#include <utility>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr quint32 treeMask = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;
constexpr quint32 rootMask = treeMask | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr quint32 ancestorMask = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

} // namespace

DirectoryTreeWatcher::DirectoryTreeWatcher(std::chrono::milliseconds latency, QObject *parent)
    : QObject(parent)
    , m_latency(this)
{
    m_latency.setSingleShot(true);
    m_latency.setInterval(latency);
    connect(&m_latency, &QTimer::timeout, this, &DirectoryTreeWatcher::flush);
}

DirectoryTreeWatcher::~DirectoryTreeWatcher() { unwatch(); }

bool DirectoryTreeWatcher::watch(const QString &root)
{
    unwatch();
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return false;
    m_root = QDir::cleanPath(QDir(root).absolutePath());
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DirectoryTreeWatcher::readEvents);
    armRoot(false); // the files already there are not news
    return true;
}

void DirectoryTreeWatcher::unwatch()
{
    m_latency.stop();
    m_pending.clear();
    m_pendingSet.clear();
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_directories.clear();
    m_rootWatched = false;
}

void DirectoryTreeWatcher::armRoot(bool reportExisting)
{
    clearWatches();
    if (QFileInfo(m_root).isDir() && addWatch(m_root, rootMask)) {
        m_rootWatched = true;
        addTree(m_root, reportExisting);
        return;
    }
    // Wait for the next missing component to appear below the nearest existing ancestor.
    QString ancestor = m_root;
    do {
        ancestor = QFileInfo(ancestor).path();
    } while (!QFileInfo(ancestor).isDir() && ancestor != QLatin1String("/"));
    addWatch(ancestor, ancestorMask);
    // A component made between the look and the watch sends no event: look once more (each
    // round starts deeper, so this ends).
    const QString rest = m_root.mid(ancestor.size() + (ancestor.endsWith(QLatin1Char('/')) ? 0 : 1));
    if (QFileInfo(QDir(ancestor).filePath(rest.section(QLatin1Char('/'), 0, 0))).isDir())
        armRoot(reportExisting);
}

void DirectoryTreeWatcher::addTree(const QString &directory, bool reportFiles)
{
    if (directory != m_root && !addWatch(directory, treeMask | IN_DONT_FOLLOW))
        return;
    // Entries made before the watch existed would otherwise go unnoticed.
    const auto filters = QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks;
    QDirIterator it(directory, filters);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isDir())
            addTree(info.filePath(), reportFiles);
        else if (reportFiles && info.isFile())
            report(info.filePath());
    }
}

bool DirectoryTreeWatcher::addWatch(const QString &directory, quint32 mask)
{
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(directory).constData(), mask);
    if (wd < 0)
        return false; // gone already, or out of watches: that part of the tree stays unwatched
    m_directories.insert(wd, directory);
    return true;
}

void DirectoryTreeWatcher::clearWatches()
{
    for (auto it = m_directories.cbegin(); it != m_directories.cend(); ++it)
        inotify_rm_watch(m_fd, it.key());
    m_directories.clear();
    m_rootWatched = false;
}

void DirectoryTreeWatcher::readEvents()
{
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            return; // EAGAIN: drained
        for (ssize_t offset = 0; offset < length;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + offset);
            const QString name = event->len ? QFile::decodeName(event->name) : QString();
            handleEvent(event->wd, event->mask, name);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (m_fd < 0)
                return;
        }
    }
}

void DirectoryTreeWatcher::handleEvent(int wd, quint32 mask, const QString &name)
{
    if (mask & IN_Q_OVERFLOW) {
        addTree(m_root, true); // events were lost: look at everything again
        return;
    }
    const auto found = m_directories.constFind(wd);
    if (found == m_directories.cend())
        return;
    const QString directory = found.value();
    if (!m_rootWatched) {
        armRoot(true); // something appeared on the way to the root
        return;
    }
    if (directory == m_root && (mask & (IN_DELETE_SELF | IN_MOVE_SELF))) {
        armRoot(true); // the root went away: wait for it again
        return;
    }
    if (mask & IN_IGNORED) {
        m_directories.remove(wd);
        return;
    }
    if (name.isEmpty())
        return;
    const QString path = directory + QLatin1Char('/') + name;
    if (mask & IN_ISDIR) {
        if (mask & (IN_CREATE | IN_MOVED_TO))
            addTree(path, true);
        return;
    }
    report(path);
}

void DirectoryTreeWatcher::report(const QString &path)
{
    if (!m_pendingSet.contains(path)) {
        m_pendingSet.insert(path);
        m_pending.append(path);
    }
    if (!m_latency.isActive())
        m_latency.start();
}

void DirectoryTreeWatcher::flush()
{
    const QStringList batch = std::exchange(m_pending, {});
    m_pendingSet.clear();
    if (!batch.isEmpty())
        Q_EMIT filesChanged(batch);
}
