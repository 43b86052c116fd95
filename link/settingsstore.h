#pragma once

#include "tessarin_export.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

// The program and the library keep their settings under organisation "Ombrek"
// and the program's name. Keys match without regard to case (as they do in the
// Windows registry): "Serial/baudRate" and "serial/baudrate" are one entry,
// whatever spelling the file holds (one written by hand or by another tool
// may say "LastDeviceID"). A write keeps the spelling already stored, or the
// lower-case one for a new key, and drops any other spelling of the same key.
class TESSARIN_EXPORT SettingsStore
{
public:
    static const char* const organisation;

    explicit SettingsStore(const QString& applicationName);

    QVariant value(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setValue(const QString& key, const QVariant& value);
    bool contains(const QString& key) const;
    void remove(const QString& key);
    void sync();
    QSettings::Status status() const;

    static QString foldKey(const QString& key);

private:
    // Every spelling of `key` the store holds, the one reads and writes use first.
    QStringList spellings(const QString& key) const;

    QSettings settings;
};
