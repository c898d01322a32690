#pragma once

#include <QHash>
#include <QSet>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>

class QSocketNotifier;

// Watches a directory tree with inotify and reports, in batches, the files written, created or
// moved into it. Directories that appear later are watched as they appear (and the files already
// in them reported); a root that does not exist yet is waited for through its nearest existing
// ancestor, and waited for again when it is removed. Lives on the thread that created it.
class DirectoryTreeWatcher : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DirectoryTreeWatcher)

public:
    // Changes are collected for `latency` after the first one before a batch is reported.
    explicit DirectoryTreeWatcher(std::chrono::milliseconds latency, QObject *parent = nullptr);
    ~DirectoryTreeWatcher() override;

    // Starts watching root (stopping any earlier watch). False when inotify is unavailable.
    bool watch(const QString &root);
    void unwatch();

    // Whether the root itself is watched (it exists and its watch was added).
    bool isWatchingRoot() const { return m_rootWatched; }

Q_SIGNALS:
    // Paths of regular files, in the order first reported, each once per batch.
    void filesChanged(const QStringList &paths);

private:
    void readEvents();
    void handleEvent(int wd, quint32 mask, const QString &name);
    void armRoot(bool reportExisting);
    void addTree(const QString &directory, bool reportFiles);
    bool addWatch(const QString &directory, quint32 mask);
    void clearWatches();
    void report(const QString &path);
    void flush();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_root;
    bool m_rootWatched = false;
    QHash<int, QString> m_directories; // watch descriptor -> directory
    QTimer m_latency;
    QStringList m_pending;
    QSet<QString> m_pendingSet;
};
