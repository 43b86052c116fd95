#include "portopenfailure.h"

#include <QCoreApplication>
#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

QString barText(const char* text)
{
    return QCoreApplication::translate("Tessarin", text);
}

// Where QSerialPort looks for a port: a bare name lives under /dev.
QString devicePath(const QString& portName)
{
    if (portName.startsWith(QLatin1Char('/')) || portName.startsWith(QLatin1String("./"))
        || portName.startsWith(QLatin1String("../")))
        return portName;
    return QStringLiteral("/dev/") + portName;
}

} // namespace

PortOpenFailure::Facts PortOpenFailure::gather(const QString& portName, QSerialPort::SerialPortError error,
                                               const QString& systemText)
{
    Facts facts;
    facts.error = error;
    facts.systemText = systemText;
#ifdef Q_OS_UNIX
    if (!portName.isEmpty()) {
        const QByteArray path = QFile::encodeName(devicePath(portName));
        facts.accessDenied = ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES;
        struct stat node;
        if (::stat(path.constData(), &node) == 0) {
            if (const group* owner = ::getgrgid(node.st_gid))
                facts.deviceGroup = QString::fromLocal8Bit(owner->gr_name);
        }
    }
#else
    Q_UNUSED(portName);
#endif
    return facts;
}

PortOpenFailure::Kind PortOpenFailure::classify(const Facts& facts)
{
    if (facts.error == QSerialPort::NoError && facts.systemText.isEmpty())
        return Kind::Unknown;
    // QSerialPort says "permission" both for a node this user may not open
    // and for a device another program holds (its lock file, or the kernel's
    // "busy"); only the node's own rights tell them apart.
    if (facts.error == QSerialPort::PermissionError)
        return facts.accessDenied ? Kind::NoAccess : Kind::InUse;
    return Kind::Other;
}

QString PortOpenFailure::explain(const Facts& facts)
{
    const Kind kind = classify(facts);
    if (kind == Kind::Unknown)
        return QString();
    QString text;
    if (!facts.systemText.isEmpty())
        text += QLatin1Char('\n') + barText("Причина: %1").arg(facts.systemText);
    if (kind == Kind::NoAccess) {
        // Serial nodes belong to "dialout" on Debian; another system's group
        // is named as the node says.
        const QString group = facts.deviceGroup.isEmpty() || facts.deviceGroup == QLatin1String("root")
            ? QStringLiteral("dialout")
            : facts.deviceGroup;
        text += QLatin1Char('\n')
            + barText("Нет прав на порт: добавьте пользователя в группу %1 (sudo usermod -aG %1 $USER) "
                      "и войдите в систему заново.")
                  .arg(group);
    } else if (kind == Kind::InUse) {
        text += QLatin1Char('\n')
            + barText("Порт занят другой программой (например, ModemManager): закройте её и подключитесь снова.");
    }
    return text;
}

QString PortOpenFailure::explain(const QString& portName, QSerialPort::SerialPortError error, const QString& systemText)
{
    return explain(gather(portName, error, systemText));
}
