#pragma once

#include <QHash>
#include <QSettings>
#include <QString>
#include <QVariant>

// Where user preferences are kept: QSettings in the application, memory in tests.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // An invalid QVariant when the key is absent.
    virtual QVariant value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
};

// $XDG_CONFIG_HOME/Corvane/Corvane.conf
class QSettingsStore final : public SettingsStore {
public:
    QSettingsStore();
    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;

private:
    mutable QSettings m_settings;
};

class MemorySettingsStore final : public SettingsStore {
public:
    QVariant value(const QString &key) const override { return m_values.value(key); }
    void setValue(const QString &key, const QVariant &value) override { m_values.insert(key, value); }

private:
    QHash<QString, QVariant> m_values;
};
