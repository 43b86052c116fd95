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

QStringList SettingsStore::spellings(const QString& key) const
{
    const QString folded = foldKey(key);
    QStringList found;
    const QStringList stored = settings.allKeys();
    for (const QString& candidate : stored) {
        if (candidate.compare(key, Qt::CaseInsensitive) != 0)
            continue;
        // The folded spelling, this store's own, wins when there are several.
        if (candidate == folded)
            found.prepend(candidate);
        else
            found.append(candidate);
    }
    return found;
}

QVariant SettingsStore::value(const QString& key, const QVariant& defaultValue) const
{
    const QStringList stored = spellings(key);
    return stored.isEmpty() ? defaultValue : settings.value(stored.first(), defaultValue);
}

void SettingsStore::setValue(const QString& key, const QVariant& value)
{
    QStringList stored = spellings(key);
    const QString target = stored.isEmpty() ? foldKey(key) : stored.takeFirst();
    for (const QString& other : stored)
        settings.remove(other);
    settings.setValue(target, value);
}

bool SettingsStore::contains(const QString& key) const
{
    return !spellings(key).isEmpty();
}

void SettingsStore::remove(const QString& key)
{
    for (const QString& stored : spellings(key))
        settings.remove(stored);
}

void SettingsStore::sync()
{
    settings.sync();
}

QSettings::Status SettingsStore::status() const
{
    return settings.status();
}
