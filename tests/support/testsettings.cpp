#include "testsettings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace {
QTemporaryDir& privateFolder()
{
    static QTemporaryDir dir;
    return dir;
}
} // namespace

namespace TestSettings {

void isolate()
{
    const QString path = privateFolder().path();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, path + QStringLiteral("/system"));
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, path + QStringLiteral("/system"));
    // The user's data folder too (the operations log), for this process and
    // every program it starts.
    qputenv("XDG_DATA_HOME", QFile::encodeName(path + QStringLiteral("/data")));
    clear();
}

void clear()
{
    QDir dir(privateFolder().path());
    dir.removeRecursively();
    QDir().mkpath(privateFolder().path());
}

QString folder()
{
    return privateFolder().path();
}

} // namespace TestSettings
