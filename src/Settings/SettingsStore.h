#pragma once

#include <QHash>
#include <QSettings>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

class QFileSystemWatcher;
class QTimer;

// Where user preferences are kept: QSettings in the application, memory in tests.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // An invalid QVariant when the key is absent.
    virtual QVariant value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
    // From now on calls `edited`, on this thread, after someone else changed the stored values
    // (they are read anew first). A store nobody else can edit never calls it.
    virtual void watchForEdits(std::function<void()> edited) { (void)edited; }
};

// $XDG_CONFIG_HOME/Corvane/Corvane.conf
class QSettingsStore final : public SettingsStore {
public:
    QSettingsStore();
    // A given INI file instead (tests).
    explicit QSettingsStore(const QString &iniFile);
    ~QSettingsStore() override;

    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;
    // Watches the file and its folder (an editor may replace the file rather than write it).
    void watchForEdits(std::function<void()> edited) override;

    // How long edits settle before the file is read again: an editor's save is several events.
    static constexpr int settleMs = 200;

private:
    void rewatch();

    mutable QSettings m_settings;
    std::unique_ptr<QFileSystemWatcher> m_watcher;
    std::unique_ptr<QTimer> m_settle;
};

class MemorySettingsStore final : public SettingsStore {
public:
    QVariant value(const QString &key) const override { return m_values.value(key); }
    void setValue(const QString &key, const QVariant &value) override { m_values.insert(key, value); }

private:
    QHash<QString, QVariant> m_values;
};
