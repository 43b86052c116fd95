#include "dumpannotator.h"

#include "commandset.h"
#include "framecodec.h"

#include <QByteArray>

namespace {

QString noteFor(int code)
{
    const char* name = code >= 0 ? Command::name(quint8(code)) : nullptr;
    if (!name)
        return QString();
    return QStringLiteral("0x%1 %2")
        .arg(QString::number(code, 16).rightJustified(2, QLatin1Char('0')).toUpper(), QString::fromUtf8(name));
}

} // namespace

QString DumpAnnotator::annotate(const QString& line)
{
    const bool tx = line.startsWith(QLatin1String("TX len="));
    if (!tx && !line.startsWith(QLatin1String("RX len=")))
        return QString();
    if (!tx)
        return noteFor(lastRequest);

    const int at = line.indexOf(QLatin1String(" hex="));
    if (at < 0)
        return QString();
    const QByteArray bytes = QByteArray::fromHex(line.mid(at + 5).toLatin1());
    if (bytes.isEmpty())
        return QString();
    // A frame starts with its mark; the request code is the first payload byte.
    const bool framed = FrameCodec::startMarkAt(bytes) == 0;
    if (framed && bytes.size() <= FrameCodec::headerSize)
        return QString();
    lastRequest = quint8(bytes.at(framed ? FrameCodec::headerSize : 0));
    return noteFor(lastRequest);
}
