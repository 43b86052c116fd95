#include "faultinjector.h"

#include "framecodec.h"

#include <algorithm>

namespace {

bool toInt(const QString& text, int min, int max, int* value)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < min || v > max)
        return false;
    *value = v;
    return true;
}

} // namespace

bool FaultInjector::takeSilence()
{
    if (silent <= 0)
        return false;
    --silent;
    return true;
}

int FaultInjector::takeLateness(quint8 code)
{
    if (lateCode != int(code))
        return 0;
    lateCode = -1;
    return lateMs;
}

int FaultInjector::takeHold(quint8 code)
{
    if (holdCode != int(code))
        return -1;
    if (holdSkip > 0) {
        --holdSkip;
        return -1;
    }
    holdCode = -1;
    return holdMs;
}

bool FaultInjector::refusal(quint8 code, quint32* status) const
{
    if (refuseCode != int(code))
        return false;
    *status = refuseStatus;
    return true;
}

QByteArray FaultInjector::junkBytes()
{
    // Pieces of a start mark but never a whole one, so a reader must resync.
    static const char bytes[] = { 0x00, 0x11, char(0xFE), 0x45, 0x22, char(0xFF), 0x54, 0x33, char(0xFE) };
    return QByteArray(bytes, int(sizeof bytes));
}

QByteArray FaultInjector::foreignPayload()
{
    static const char bytes[] = { char(0xC8), char(0xEE), char(0xEE), char(0xEE), char(0xEE) };
    return QByteArray(bytes, int(sizeof bytes));
}

ReplyPlan FaultInjector::plan(const QByteArray& reply, bool framed, quint32 address, int requestBytes,
                              int extraDelayMs)
{
    QByteArray body = framed ? FrameCodec::pack(address, reply) : reply;
    if (corruptCrc > 0 && !body.isEmpty()) {
        --corruptCrc;
        // Framed: the low CRC byte sits right after the payload.
        const int at = framed ? FrameCodec::headerSize + std::min(reply.size(), FrameCodec::maxPayload)
                              : body.size() - 1;
        body[at] = char(body.at(at) ^ 0xFF);
    }

    QByteArray line;
    if (junk > 0) {
        --junk;
        line.append(junkBytes());
    }
    if (foreign > 0 && framed) {
        --foreign;
        line.append(FrameCodec::pack((address + 1) & 0xFFu, foreignPayload()));
    }
    line.append(body);

    ReplyPlan result;
    result.baud = baud;
    // The request's own line time is paced with the reply, to the microsecond.
    result.leadBytes = baud > 0 ? requestBytes : 0;
    const int firstPause = delayMs + extraDelayMs;

    if (dropAfter >= 0) {
        line.truncate(std::min(dropAfter, int(line.size())));
        result.hangUp = true;
        dropAfter = -1;
    }

    const int pieces = std::max(1, std::min(splitPieces, int(line.size())));
    const int base = line.size() / pieces;
    const int extra = line.size() % pieces;
    int at = 0;
    for (int i = 0; i < pieces; ++i) {
        const int size = base + (i < extra ? 1 : 0);
        ReplyPlan::Piece piece;
        piece.pauseBeforeMs = i == 0 ? firstPause : splitPauseMs;
        piece.bytes = line.mid(at, size);
        at += size;
        result.pieces.append(piece);
    }
    return result;
}

QStringList FaultInjector::knobNames()
{
    return { QStringLiteral("silent"), QStringLiteral("corrupt-crc"), QStringLiteral("junk"),
             QStringLiteral("foreign"), QStringLiteral("drop-after"), QStringLiteral("split"),
             QStringLiteral("delay"), QStringLiteral("baud"), QStringLiteral("late"), QStringLiteral("refuse"),
             QStringLiteral("forget"), QStringLiteral("hold") };
}

bool FaultInjector::apply(const QString& name, const QStringList& args, QString* message)
{
    const auto fail = [message](const QString& usage) {
        *message = QStringLiteral("ERROR usage: ") + usage;
        return true;
    };
    const auto done = [message](const QString& text) {
        *message = QStringLiteral("OK ") + text;
        return true;
    };
    constexpr int big = 1000000000;

    int* counted = nullptr;
    if (name == QLatin1String("silent"))
        counted = &silent;
    else if (name == QLatin1String("corrupt-crc"))
        counted = &corruptCrc;
    else if (name == QLatin1String("junk"))
        counted = &junk;
    else if (name == QLatin1String("foreign"))
        counted = &foreign;
    if (counted) {
        int n = 0;
        if (args.size() != 1 || !toInt(args.at(0), 0, big, &n))
            return fail(name + QStringLiteral(" N (N >= 0)"));
        *counted = n;
        return done(QStringLiteral("%1 %2").arg(name).arg(n));
    }
    if (name == QLatin1String("drop-after")) {
        int n = 0;
        if (args.size() != 1 || !toInt(args.at(0), -1, big, &n))
            return fail(QStringLiteral("drop-after N (bytes of the next reply, -1 off)"));
        dropAfter = n;
        return done(QStringLiteral("drop-after %1").arg(n));
    }
    if (name == QLatin1String("split")) {
        int pieces = 0;
        int pause = 0;
        if (args.isEmpty() || args.size() > 2 || !toInt(args.at(0), 0, 255, &pieces)
            || (args.size() == 2 && !toInt(args.at(1), 0, 600000, &pause)))
            return fail(QStringLiteral("split PIECES [PAUSE_MS] (0 or 1 piece: off)"));
        splitPieces = std::max(1, pieces);
        splitPauseMs = splitPieces > 1 ? pause : 0;
        return done(QStringLiteral("split %1 %2").arg(splitPieces).arg(splitPauseMs));
    }
    if (name == QLatin1String("delay")) {
        int ms = 0;
        if (args.size() != 1 || !toInt(args.at(0), 0, 600000, &ms))
            return fail(QStringLiteral("delay MS (0 off)"));
        delayMs = ms;
        return done(QStringLiteral("delay %1").arg(ms));
    }
    if (name == QLatin1String("baud")) {
        int rate = 0;
        if (args.size() != 1 || !toInt(args.at(0), 0, 100000000, &rate) || (rate > 0 && rate < 50))
            return fail(QStringLiteral("baud RATE (50 or more, 0 off)"));
        baud = rate;
        return done(QStringLiteral("baud %1").arg(rate));
    }
    if (name == QLatin1String("late") || name == QLatin1String("refuse")) {
        const bool late = name == QLatin1String("late");
        bool codeOk = false;
        bool valueOk = false;
        const int code = args.value(0).toInt(&codeOk, 0);
        const qint64 value = args.value(1).toLongLong(&valueOk, 0);
        if (args.size() != 2 || !codeOk || code < 0 || code > 255 || !valueOk || value < 0
            || value > (late ? 600000 : 0xFFFFFFFFLL))
            return fail(late ? QStringLiteral("late CODE MS") : QStringLiteral("refuse CODE STATUS"));
        (late ? lateCode : refuseCode) = code;
        if (late)
            lateMs = int(value);
        else
            refuseStatus = quint32(value);
        return done(QStringLiteral("%1 0x%2 %3").arg(name).arg(code, 2, 16, QLatin1Char('0')).arg(value));
    }
    if (name == QLatin1String("forget")) {
        bool ok = false;
        const int code = args.value(0).toInt(&ok, 0);
        if (args.size() != 1 || !ok || code < 0 || code > 255)
            return fail(QStringLiteral("forget CODE"));
        forgetCode = code;
        return done(QStringLiteral("forget 0x%1").arg(code, 2, 16, QLatin1Char('0')));
    }
    if (name == QLatin1String("hold")) {
        bool codeOk = false;
        const int code = args.value(0).toInt(&codeOk, 0);
        int ms = 0;
        int nth = 1;
        if (args.size() < 2 || args.size() > 3 || !codeOk || code < 0 || code > 255
            || !toInt(args.at(1), 0, 600000, &ms) || (args.size() == 3 && !toInt(args.at(2), 1, big, &nth)))
            return fail(QStringLiteral("hold CODE MS [NTH] (NTH >= 1)"));
        holdCode = code;
        holdMs = ms;
        holdSkip = nth - 1;
        return done(QStringLiteral("hold 0x%1 %2 %3").arg(code, 2, 16, QLatin1Char('0')).arg(ms).arg(nth));
    }
    return false;
}

void FaultInjector::clear()
{
    *this = FaultInjector();
}

QJsonObject FaultInjector::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("silent"), silent);
    o.insert(QStringLiteral("corruptCrc"), corruptCrc);
    o.insert(QStringLiteral("junk"), junk);
    o.insert(QStringLiteral("foreign"), foreign);
    o.insert(QStringLiteral("dropAfter"), dropAfter);
    o.insert(QStringLiteral("splitPieces"), splitPieces);
    o.insert(QStringLiteral("splitPauseMs"), splitPauseMs);
    o.insert(QStringLiteral("delayMs"), delayMs);
    o.insert(QStringLiteral("baud"), baud);
    o.insert(QStringLiteral("lateCode"), lateCode);
    o.insert(QStringLiteral("lateMs"), lateMs);
    o.insert(QStringLiteral("refuseCode"), refuseCode);
    o.insert(QStringLiteral("refuseStatus"), qint64(refuseStatus));
    o.insert(QStringLiteral("forgetCode"), forgetCode);
    o.insert(QStringLiteral("holdCode"), holdCode);
    o.insert(QStringLiteral("holdMs"), holdMs);
    o.insert(QStringLiteral("holdSkip"), holdSkip);
    return o;
}
