#pragma once

#include "tessarin_export.h"

#include <QSettings>
#include <QString>
#include <QVariant>

// The program and the library keep their settings under organisation "Ombrek"
// and the program's name. Keys match without regard to case (as they do in the
// Windows registry), so every key is folded to lower case before it reaches
// QSettings; "Serial/baudRate" and "serial/baudrate" are one entry.
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
    QSettings settings;
};
