#include "virtualboard.h"

#include "commandset.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPair>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QVector>

namespace {

const char* const helpText =
    "OK commands: silent N | corrupt-crc N | junk N | foreign N | drop-after N | split PIECES [PAUSE_MS] | "
    "delay MS | baud RATE | late CODE MS | refuse CODE STATUS | forget CODE | hold CODE MS [NTH] | flash-refuse CODE | "
    "reboot-silent 0|1 | error-code N | "
    "mode main|boot | faults off | state | image FILE | help | quit; @ADDRESS COMMAND for one board of several";

} // namespace

VirtualBoard::VirtualBoard(QObject* parent)
    : QObject(parent)
{
    stations.push_back(std::make_unique<Station>());
}

bool VirtualBoard::addBoard(quint32 address)
{
    if (stationAt(address))
        return false;
    stations.push_back(std::make_unique<Station>());
    stations.back()->address = address;
    return true;
}

VirtualBoard::Station* VirtualBoard::stationAt(quint32 address)
{
    for (const auto& station : stations) {
        if (station->address == address)
            return station.get();
    }
    return nullptr;
}

BoardModel* VirtualBoard::modelAt(quint32 address)
{
    Station* station = stationAt(address);
    return station ? &station->model : nullptr;
}

quint64 VirtualBoard::revisions() const
{
    quint64 sum = 0;
    for (const auto& station : stations)
        sum += station->model.configurationRevision();
    return sum;
}

bool VirtualBoard::useStateFile(const QString& path, QString* error)
{
    QFile file(path);
    const QFileInfo info(path);
    if (info.exists()) {
        // A device or a FIFO would be read without end, or never.
        if (!info.isFile()) {
            *error = QStringLiteral("%1 is not a regular file").arg(path);
            return false;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return false;
        }
        const QByteArray content = file.read(maxStateFileBytes + 1);
        if (content.size() > maxStateFileBytes) {
            *error = QStringLiteral("%1 is larger than %2 bytes, too large for a state file")
                         .arg(path)
                         .arg(maxStateFileBytes);
            return false;
        }
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(content, &parseError);
        if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
            *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, parseError.errorString());
            return false;
        }
        // Several boards keep one entry each; a file of one board has only
        // "configuration", which belongs to the first.
        const QJsonObject root = doc.object();
        QVector<QPair<Station*, QJsonObject>> loaded;
        const QJsonArray entries = root.value(QStringLiteral("boards")).toArray();
        for (const QJsonValue& entry : entries) {
            Station* station = stationAt(quint32(entry.toObject().value(QStringLiteral("address")).toInt(-1)));
            if (station)
                loaded.append({ station, entry.toObject().value(QStringLiteral("configuration")).toObject() });
        }
        if (entries.isEmpty())
            loaded.append({ stations.front().get(), root.value(QStringLiteral("configuration")).toObject() });
        // Nothing changes unless every entry reads.
        QVector<BoardConfiguration> configs;
        for (const auto& item : loaded) {
            BoardConfiguration config;
            QString why;
            if (!config.fromJson(item.second, &why)) {
                *error = stations.size() > 1
                    ? QStringLiteral("%1: board %2: %3").arg(path).arg(item.first->address).arg(why)
                    : QStringLiteral("%1: %2").arg(path, why);
                return false;
            }
            configs.append(config);
        }
        for (int i = 0; i < loaded.size(); ++i)
            loaded.at(i).first->model.setConfiguration(configs.at(i));
        boardLog.event(QStringLiteral("board"), QStringLiteral("configuration loaded from %1").arg(path));
    }
    // Every change is saved there from now on: a path that cannot take the
    // file is refused now, not found out at the first change.
    statePath = path;
    savedRevision = revisions();
    QString why;
    if (info.exists()) {
        // A save writes a new file beside the old one and renames it.
        QTemporaryFile probe(info.absolutePath() + QStringLiteral("/.quorvel-vboard-XXXXXX"));
        if (!probe.open())
            why = probe.errorString();
    } else {
        why = saveState();
    }
    if (!why.isEmpty()) {
        statePath.clear();
        *error = QStringLiteral("cannot write the state file %1: %2").arg(path, why);
        return false;
    }
    return true;
}

QString VirtualBoard::saveState()
{
    if (statePath.isEmpty())
        return QString();
    QJsonObject root;
    root.insert(QStringLiteral("configuration"), model().configuration().toJson());
    if (stations.size() > 1) {
        QJsonArray entries;
        for (const auto& station : stations) {
            QJsonObject entry;
            entry.insert(QStringLiteral("address"), qint64(station->address));
            entry.insert(QStringLiteral("configuration"), station->model.configuration().toJson());
            entries.append(entry);
        }
        root.insert(QStringLiteral("boards"), entries);
    }
    QSaveFile file(statePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit()) {
        boardLog.event(QStringLiteral("board"),
                       QStringLiteral("could not save the configuration to %1: %2").arg(statePath, file.errorString()));
        return file.errorString();
    }
    savedRevision = revisions();
    return QString();
}

ReplyPlan VirtualBoard::serve(quint32 deviceAddress, const QByteArray& request, bool framed, int lineBytes,
                              const QString& linkPeer)
{
    Station* station = stationAt(deviceAddress);
    if (!station)
        return ReplyPlan();
    BoardModel& board = station->model;
    const QString peer = stations.size() > 1 ? QStringLiteral("%1 @%2").arg(linkPeer).arg(deviceAddress) : linkPeer;
    if (injector.takeSilence()) {
        boardLog.request(peer, request, QStringLiteral("ignored on purpose (%1 more to ignore)").arg(injector.silent));
        return ReplyPlan();
    }
    const quint8 code = request.isEmpty() ? 0 : quint8(request.at(0));
    quint32 refusal = 0;
    const bool refused = !request.isEmpty() && injector.refusal(code, &refusal);
    const bool forgotten = !refused && !request.isEmpty() && injector.forgets(code);
    std::optional<QByteArray> reply;
    if (forgotten) {
        reply = QByteArray(1, char(Command::ReplyAck));
    } else if (refused) {
        QByteArray status(1, char(0xC8));
        for (int shift = 0; shift < 32; shift += 8)
            status.append(char((refusal >> shift) & 0xFFu));
        reply = status;
    } else {
        reply = board.handle(request);
    }
    boardLog.request(peer, request, refused     ? QStringLiteral("refused on purpose")
                                    : forgotten ? QStringLiteral("acknowledged, not carried out on purpose")
                                                : QString());
    if (revisions() != savedRevision)
        saveState();
    if (!reply) {
        boardLog.event(peer, QStringLiteral("no reply: ") + board.lastNote());
        return ReplyPlan();
    }

    QStringList faults;
    if (injector.corruptCrc > 0)
        faults << QStringLiteral("checksum spoiled");
    if (injector.junk > 0)
        faults << QStringLiteral("junk first");
    if (injector.foreign > 0 && framed)
        faults << QStringLiteral("foreign frame first");
    if (injector.dropAfter >= 0)
        faults << QStringLiteral("cut after %1 bytes").arg(injector.dropAfter);
    if (injector.splitPieces > 1)
        faults << QStringLiteral("%1 pieces %2 ms apart").arg(injector.splitPieces).arg(injector.splitPauseMs);
    if (injector.delayMs > 0)
        faults << QStringLiteral("%1 ms late").arg(injector.delayMs);
    if (injector.baud > 0)
        faults << QStringLiteral("at %1 baud").arg(injector.baud);

    const int lateMs = injector.takeLateness(code);
    if (lateMs > 0)
        faults << QStringLiteral("held %1 ms on purpose").arg(lateMs);
    const int holdMs = injector.takeHold(code);
    if (holdMs >= 0)
        faults << QStringLiteral("held until the next request + %1 ms; the link runs one reply behind").arg(holdMs);
    ReplyPlan plan = injector.plan(*reply, framed, deviceAddress, lineBytes, lateMs);
    plan.holdMs = holdMs;
    QString note = board.lastNote();
    if (!faults.isEmpty())
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) + faults.join(QStringLiteral(", "));
    boardLog.reply(peer, quint8(request.at(0)), *reply, note);
    return plan;
}

QJsonObject VirtualBoard::stateJson() const
{
    QJsonObject state = stations.front()->model.stateJson();
    state.insert(QStringLiteral("address"), qint64(stations.front()->address));
    if (stations.size() > 1) {
        QJsonArray boards;
        for (const auto& station : stations) {
            QJsonObject one = station->model.stateJson();
            one.remove(QStringLiteral("configuration"));
            one.insert(QStringLiteral("address"), qint64(station->address));
            boards.append(one);
        }
        state.insert(QStringLiteral("boards"), boards);
    }
    state.insert(QStringLiteral("faults"), injector.toJson());
    state.insert(QStringLiteral("stateFile"), statePath);
    return state;
}

QString VirtualBoard::execute(const QString& text)
{
    const QString line = text.trimmed();
    if (!line.startsWith(QLatin1Char('@')))
        return executeOn(*stations.front(), line);
    bool ok = false;
    const quint32 at = line.section(QLatin1Char(' '), 0, 0).mid(1).toUInt(&ok);
    Station* station = ok ? stationAt(at) : nullptr;
    if (!station)
        return QStringLiteral("ERROR no board at \"%1\"").arg(line.section(QLatin1Char(' '), 0, 0));
    return executeOn(*station, line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty));
}

QString VirtualBoard::executeOn(Station& station, const QString& line)
{
    BoardModel& board = station.model;
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return QString();
    const QString name = words.first().toLower();
    const QStringList args = words.mid(1);

    QString message;
    if (injector.apply(name, args, &message))
        return message;

    bool ok = false;
    if (name == QLatin1String("state")) {
        QJsonObject state = stateJson();
        if (&station != stations.front().get()) {
            state = board.stateJson();
            state.insert(QStringLiteral("address"), qint64(station.address));
            state.insert(QStringLiteral("faults"), injector.toJson());
        }
        return QString::fromUtf8(QJsonDocument(state).toJson(QJsonDocument::Compact));
    }
    if (name == QLatin1String("flash-refuse")) {
        const quint32 code = args.size() == 1 ? args.at(0).toUInt(&ok, 0) : 0;
        if (!ok)
            return QStringLiteral("ERROR usage: flash-refuse CODE (0 off)");
        board.setFlashRefusal(code);
        return QStringLiteral("OK flash-refuse %1").arg(code);
    }
    if (name == QLatin1String("reboot-silent")) {
        const int on = args.size() == 1 ? args.at(0).toInt(&ok) : -1;
        if (!ok || (on != 0 && on != 1))
            return QStringLiteral("ERROR usage: reboot-silent 0|1");
        board.setRebootSilent(on == 1);
        return QStringLiteral("OK reboot-silent %1").arg(on);
    }
    if (name == QLatin1String("error-code")) {
        const qint32 code = args.size() == 1 ? args.at(0).toInt(&ok, 0) : 0;
        if (!ok)
            return QStringLiteral("ERROR usage: error-code N");
        board.setErrorCode(code);
        return QStringLiteral("OK error-code %1").arg(code);
    }
    if (name == QLatin1String("mode")) {
        const QString which = args.value(0).toLower();
        if (args.size() != 1 || (which != QLatin1String("main") && which != QLatin1String("boot")))
            return QStringLiteral("ERROR usage: mode main|boot");
        board.setMode(which == QLatin1String("boot") ? 1 : 0);
        return QStringLiteral("OK mode %1").arg(which);
    }
    if (name == QLatin1String("faults")) {
        if (args.size() != 1 || args.at(0).toLower() != QLatin1String("off"))
            return QStringLiteral("ERROR usage: faults off");
        injector.clear();
        board.setFlashRefusal(0);
        board.setRebootSilent(false);
        return QStringLiteral("OK faults off");
    }
    if (name == QLatin1String("image")) {
        if (args.isEmpty())
            return QStringLiteral("ERROR usage: image FILE");
        const QByteArray image = board.latestImage();
        if (image.isEmpty())
            return QStringLiteral("ERROR no complete image");
        const QString path = line.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size() || !file.commit())
            return QStringLiteral("ERROR cannot write %1: %2").arg(path, file.errorString());
        return QStringLiteral("OK image %1 bytes").arg(image.size());
    }
    if (name == QLatin1String("help"))
        return QString::fromLatin1(helpText);
    if (name == QLatin1String("quit")) {
        emit quitRequested();
        return QStringLiteral("OK quit");
    }
    return QStringLiteral("ERROR unknown command \"%1\" (try help)").arg(name);
}
