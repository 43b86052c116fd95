#include "virtualboard.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

const char* const helpText =
    "OK commands: silent N | corrupt-crc N | junk N | foreign N | drop-after N | split PIECES [PAUSE_MS] | "
    "delay MS | baud RATE | late CODE MS | refuse CODE STATUS | flash-refuse CODE | reboot-silent 0|1 | error-code N | mode main|boot | "
    "faults off | state | image FILE | help | quit";

} // namespace

VirtualBoard::VirtualBoard(QObject* parent)
    : QObject(parent)
{
}

bool VirtualBoard::useStateFile(const QString& path, QString* error)
{
    QFile file(path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return false;
        }
        QJsonParseError parseError;
        const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
        if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
            *error = QStringLiteral("%1 is not a JSON object: %2").arg(path, parseError.errorString());
            return false;
        }
        BoardConfiguration config;
        QString why;
        if (!config.fromJson(doc.object().value(QStringLiteral("configuration")).toObject(), &why)) {
            *error = QStringLiteral("%1: %2").arg(path, why);
            return false;
        }
        board.setConfiguration(config);
        boardLog.event(QStringLiteral("board"), QStringLiteral("configuration loaded from %1").arg(path));
    }
    statePath = path;
    savedRevision = board.configurationRevision();
    if (!file.exists())
        saveState();
    return true;
}

void VirtualBoard::saveState()
{
    if (statePath.isEmpty())
        return;
    QJsonObject root;
    root.insert(QStringLiteral("configuration"), board.configuration().toJson());
    QSaveFile file(statePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 || !file.commit()) {
        boardLog.event(QStringLiteral("board"),
                       QStringLiteral("could not save the configuration to %1: %2").arg(statePath, file.errorString()));
        return;
    }
    savedRevision = board.configurationRevision();
}

ReplyPlan VirtualBoard::serve(const QByteArray& request, bool framed, int lineBytes, const QString& peer)
{
    if (injector.takeSilence()) {
        boardLog.request(peer, request, QStringLiteral("ignored on purpose (%1 more to ignore)").arg(injector.silent));
        return ReplyPlan();
    }
    const quint8 code = request.isEmpty() ? 0 : quint8(request.at(0));
    quint32 refusal = 0;
    const bool refused = !request.isEmpty() && injector.refusal(code, &refusal);
    std::optional<QByteArray> reply;
    if (refused) {
        QByteArray status(1, char(0xC8));
        for (int shift = 0; shift < 32; shift += 8)
            status.append(char((refusal >> shift) & 0xFFu));
        reply = status;
    } else {
        reply = board.handle(request);
    }
    boardLog.request(peer, request, refused ? QStringLiteral("refused on purpose") : QString());
    if (board.configurationRevision() != savedRevision)
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
    const ReplyPlan plan = injector.plan(*reply, framed, deviceAddress, lineBytes, lateMs);
    QString note = board.lastNote();
    if (!faults.isEmpty())
        note += (note.isEmpty() ? QString() : QStringLiteral("; ")) + faults.join(QStringLiteral(", "));
    boardLog.reply(peer, quint8(request.at(0)), *reply, note);
    return plan;
}

QJsonObject VirtualBoard::stateJson() const
{
    QJsonObject state = board.stateJson();
    state.insert(QStringLiteral("address"), qint64(deviceAddress));
    state.insert(QStringLiteral("faults"), injector.toJson());
    state.insert(QStringLiteral("stateFile"), statePath);
    return state;
}

QString VirtualBoard::execute(const QString& line)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return QString();
    const QString name = words.first().toLower();
    const QStringList args = words.mid(1);

    QString message;
    if (injector.apply(name, args, &message))
        return message;

    bool ok = false;
    if (name == QLatin1String("state"))
        return QString::fromUtf8(QJsonDocument(stateJson()).toJson(QJsonDocument::Compact));
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
