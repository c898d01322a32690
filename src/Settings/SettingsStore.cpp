#include "Settings/SettingsStore.h"

QSettingsStore::QSettingsStore()
    : m_settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"), QStringLiteral("Corvane"))
{
}

QVariant QSettingsStore::value(const QString &key) const
{
    return m_settings.value(key);
}

void QSettingsStore::setValue(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, value);
    m_settings.sync(); // a change is stored the moment it is made
}
