#include "portlock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>

#include <memory>

namespace {

// Where every run looks: the system's lock folder when this user may write
// there, which on Debian is everyone, else the temporary folder.
QString lockFolder()
{
    for (const char* folder : { "/run/lock", "/var/lock" }) {
        const QFileInfo info(QString::fromLatin1(folder));
        if (info.isDir() && info.isWritable())
            return info.absoluteFilePath();
    }
    return QDir::tempPath();
}

QMap<QString, std::shared_ptr<QLockFile>>& heldLocks()
{
    static QMap<QString, std::shared_ptr<QLockFile>> locks;
    return locks;
}

} // namespace

QString PortLock::resolve(const QString& portName)
{
    const QString canonical = QFileInfo(portName).canonicalFilePath();
    return canonical.isEmpty() ? portName : canonical;
}

bool PortLock::acquire(const QString& portName, QString* error)
{
    const QString device = resolve(portName);
    if (heldLocks().contains(device))
        return true;
    QString name = device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString path = lockFolder() + QStringLiteral("/quorvel-cli") + name + QStringLiteral(".lock");
    auto lock = std::make_shared<QLockFile>(path);
    // Only a holder that has ended gives the lock up, however long it runs.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString application;
        lock->getLockInfo(&pid, &host, &application);
        const QString port = device == portName ? portName : QStringLiteral("%1 (%2)").arg(portName, device);
        *error = lock->error() == QLockFile::LockFailedError
            ? QStringLiteral("the port %1 is in use by another process (%2, pid %3): one process per port")
                  .arg(port, application.isEmpty() ? QStringLiteral("?") : application)
                  .arg(pid)
            : QStringLiteral("the port %1 cannot be locked (%2)").arg(port, path);
        return false;
    }
    heldLocks().insert(device, lock);
    return true;
}
