#include "Settings/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>

QSettingsStore::QSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"), QStringLiteral("Corvane"))
{
}

QSettingsStore::QSettingsStore(const QString &iniFile)
    : m_settings(iniFile, QSettings::IniFormat)
{
}

QSettingsStore::~QSettingsStore() = default;

QVariant QSettingsStore::value(const QString &key) const
{
    return m_settings.value(key);
}

void QSettingsStore::setValue(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, value);
    m_settings.sync(); // a change is stored the moment it is made
}

void QSettingsStore::watchForEdits(std::function<void()> edited)
{
    m_watcher = std::make_unique<QFileSystemWatcher>();
    m_settle = std::make_unique<QTimer>();
    m_settle->setSingleShot(true);
    m_settle->setInterval(settleMs);
    QObject::connect(m_settle.get(), &QTimer::timeout, m_settle.get(), [this, edited = std::move(edited)] {
        rewatch();
        m_settings.sync(); // reads the file anew: our own last write is in it already
        edited();
    });
    const auto settle = [this] { m_settle->start(); };
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, m_settle.get(), settle);
    QObject::connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, m_settle.get(), settle);
    QDir().mkpath(QFileInfo(m_settings.fileName()).absolutePath()); // so that a new file is seen
    rewatch();
}

// The file may not exist yet, or may have been replaced (a new inode is not watched).
void QSettingsStore::rewatch()
{
    const QFileInfo file(m_settings.fileName());
    if (!m_watcher->directories().contains(file.absolutePath()))
        m_watcher->addPath(file.absolutePath());
    if (file.exists() && !m_watcher->files().contains(file.absoluteFilePath()))
        m_watcher->addPath(file.absoluteFilePath());
}
