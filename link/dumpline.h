#pragma once

#include <QByteArray>
#include <QString>

// "TX len=12 hex=fe 45 ff 54 ..." — the line the dump callback receives for
// every chunk a transport sends or takes in.
inline QString dumpLine(const char* direction, const QByteArray& bytes)
{
    return QStringLiteral("%1 len=%2 hex=%3")
        .arg(QLatin1String(direction))
        .arg(bytes.size())
        .arg(QString::fromLatin1(bytes.toHex(' ')));
}
