#include "settingsstore.h"

const char* const SettingsStore::organisation = "Ombrek";

SettingsStore::SettingsStore(const QString& applicationName)
    : settings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(organisation), applicationName)
{
}

QString SettingsStore::foldKey(const QString& key)
{
    return key.toLower();
}

QVariant SettingsStore::value(const QString& key, const QVariant& defaultValue) const
{
    return settings.value(foldKey(key), defaultValue);
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    settings.setValue(foldKey(key), value);
}

bool SettingsStore::contains(const QString& key) const
{
    return settings.contains(foldKey(key));
}

void SettingsStore::remove(const QString& key)
{
    settings.remove(foldKey(key));
}

void SettingsStore::sync()
{
    settings.sync();
}

QSettings::Status SettingsStore::status() const
{
    return settings.status();
}
