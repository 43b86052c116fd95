// The configuration file reader on what a hand, an editor or a disk can make
// of a saved file: arbitrary bytes, and a real saved file with any value
// anywhere swapped for another, a key dropped or a key doubled. A file is
// refused with a reason or taken; a taken file written out reads back to
// the very same file. The capped read of the input takes exactly what fits.

#include "boardstate.h"
#include "configblocks.h"
#include "configfile.h"
#include "fuzzcheck.h"
#include "inputfile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

BoardState boardFrom(FuzzedDataProvider& in)
{
    BoardState board;
    board.modeKnown = true;
    board.boardTypeKnown = in.ConsumeBool();
    board.boardType = in.ConsumeIntegralInRange<quint16>(0, 6);
    board.firmwareVersionKnown = in.ConsumeBool();
    board.firmwareVersion = QStringLiteral("%1.%2.%3")
                                .arg(in.ConsumeIntegralInRange<int>(0, 2))
                                .arg(in.ConsumeIntegralInRange<int>(0, 9))
                                .arg(in.ConsumeIntegralInRange<int>(0, 9));
    return board;
}

QJsonValue valueFrom(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return QJsonValue(in.ConsumeIntegral<qint64>());
    case 1:
        return QJsonValue(in.ConsumeIntegralInRange<int>(-2, 70000));
    case 2:
        return QJsonValue(in.ConsumeFloatingPoint<double>());
    case 3:
        return QJsonValue(in.ConsumeBool());
    case 4:
        return QJsonValue(QString::fromStdString(in.ConsumeRandomLengthString(40)));
    case 5:
        return QJsonObject { { QStringLiteral("raw"), QJsonValue(in.ConsumeIntegral<qint64>()) } };
    case 6:
        return QJsonArray { QJsonValue(in.ConsumeIntegral<int>()) };
    default:
        return QJsonValue();
    }
}

// Walks down to a value picked by the input and replaces, drops or doubles it.
QJsonValue mutate(const QJsonValue& value, FuzzedDataProvider& in, int depth)
{
    if (depth > 6 || in.remaining_bytes() == 0)
        return valueFrom(in);
    if (value.isObject()) {
        QJsonObject object = value.toObject();
        if (object.isEmpty())
            return valueFrom(in);
        const QString key = object.keys().at(in.ConsumeIntegralInRange<int>(0, object.size() - 1));
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            object.remove(key);
            break;
        case 1:
            object.insert(QString::fromStdString(in.ConsumeRandomLengthString(12)), valueFrom(in));
            break;
        default:
            object.insert(key, mutate(object.value(key), in, depth + 1));
        }
        return object;
    }
    if (value.isArray()) {
        QJsonArray array = value.toArray();
        if (array.isEmpty() || in.ConsumeBool()) {
            array.append(valueFrom(in));
            return array;
        }
        const int at = in.ConsumeIntegralInRange<int>(0, array.size() - 1);
        if (in.ConsumeBool())
            array.removeAt(at);
        else
            array[at] = mutate(array.at(at), in, depth + 1);
        return array;
    }
    return valueFrom(in);
}

void checkReader(const QByteArray& bytes, const BoardState& board)
{
    QString error;
    const std::optional<ConfigFile> file = ConfigFile::fromBytes(bytes, &error);
    if (!file) {
        FUZZ_CHECK(!error.isEmpty());
        return;
    }
    // Both answers are text the user reads; neither may crash on any file.
    file->mismatch(board);
    file->note(board);
    const QByteArray written = file->toBytes();
    QString again;
    const std::optional<ConfigFile> reread = ConfigFile::fromBytes(written, &again);
    FUZZ_CHECK(reread.has_value());
    FUZZ_CHECK(reread->toBytes() == written);
}

void checkCappedRead(const QByteArray& bytes, qint64 limit)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QByteArray got;
    QString error;
    bool tooLarge = false;
    const bool ok = InputFile::readAtMost(buffer, limit, &got, &error, &tooLarge);
    FUZZ_CHECK(ok == (bytes.size() <= limit));
    FUZZ_CHECK(ok ? got == bytes && !tooLarge : tooLarge && got.isEmpty() && !error.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const BoardState board = boardFrom(in);
    const qint64 limit = in.ConsumeIntegralInRange<qint64>(-1, 300000);
    if (in.ConsumeBool()) {
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        const QByteArray raw(bytes.data(), int(bytes.size()));
        checkReader(raw, board);
        checkCappedRead(raw, limit);
        return 0;
    }

    // A file just saved from this board, then edited.
    DiDoConfig dido;
    ConfigBlocks::resetDiDoRecord(dido);
    Rs485Ports ports {};
    Iec101Ports protocols {};
    const ConfigFile saved = ConfigFile::fromBoard(board, dido, ports, protocols);
    // Unedited, a saved file is always taken back, whatever the board.
    QString error;
    FUZZ_CHECK(ConfigFile::fromBytes(saved.toBytes(), &error).has_value());
    QJsonValue document = saved.toJson();
    const int edits = in.ConsumeIntegralInRange<int>(0, 4);
    for (int i = 0; i < edits; ++i)
        document = mutate(document, in, 0);
    QByteArray text = QJsonDocument(document.toObject()).toJson();
    // A key written twice only exists as text.
    if (in.ConsumeBool()) {
        const int at = text.indexOf("\n    \"");
        if (at > 0)
            text.insert(at + 1, text.mid(at + 1, text.indexOf('\n', at + 1) - at));
    }
    checkReader(text, board);
    checkCappedRead(text, limit);
    return 0;
}
