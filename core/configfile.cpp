#include "configfile.h"

#include "boardinfo.h"
#include "boardstate.h"
#include "jsonfields.h"
#include "valuerules.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdint>
#include <cstring>

namespace {

// Names of the values the window shows by name; anything else stays a number.
const QList<JsonChoice>& flagNames()
{
    static const QList<JsonChoice> names = { { 0, false }, { 1, true } };
    return names;
}
const QList<JsonChoice>& dpRoleNames()
{
    static const QList<JsonChoice> names = { { 0, QStringLiteral("DP_OFF") }, { 1, QStringLiteral("DP_ON") } };
    return names;
}
const QList<JsonChoice>& inputTypeNames()
{
    static const QList<JsonChoice> names = { { 0, QStringLiteral("DC") }, { 1, QStringLiteral("AC") } };
    return names;
}
const QList<JsonChoice>& nominalNames()
{
    static const QList<JsonChoice> names = { { 0, QStringLiteral("24 V") }, { 1, QStringLiteral("220 V") } };
    return names;
}
const QList<JsonChoice>& doModeNames()
{
    static const QList<JsonChoice> names = {
        { 0, QStringLiteral("single") }, { 1, QStringLiteral("group") }, { 2, QStringLiteral("common") }
    };
    return names;
}
const QList<JsonChoice>& dataBitsNames()
{
    static const QList<JsonChoice> names = { { 0, 8 }, { 0x2000, 9 } };
    return names;
}
const QList<JsonChoice>& stopBitsNames()
{
    static const QList<JsonChoice> names = { { 0, 1 }, { 0x2000, 2 } };
    return names;
}
const QList<JsonChoice>& parityNames()
{
    static const QList<JsonChoice> names = {
        { 0, QStringLiteral("None") }, { 0x400, QStringLiteral("Even") }, { 0x600, QStringLiteral("Odd") }
    };
    return names;
}

QString key(const char* name)
{
    return QString::fromLatin1(name);
}

QJsonValue bytesValue(const quint8* bytes, int count)
{
    return JsonFields::hexText(QByteArray(reinterpret_cast<const char*>(bytes), count));
}

bool takeBytes(JsonFields& fields, const char* name, quint8* target, int count)
{
    QByteArray bytes;
    if (!fields.hex(key(name), count, &bytes))
        return false;
    std::memcpy(target, bytes.constData(), size_t(count));
    return true;
}

// ---- DI ----

QJsonObject diToJson(const DiDoConfig& config, int i, const ConfigLayout& layout)
{
    QJsonObject o;
    o.insert(key("channel"), i + 1);
    o.insert(key("address"), JsonFields::rangedValue(config.diEntries[i].objectAddress(), ValueRules::objectAddress));
    o.insert(key("enabled"), JsonFields::choiceValue(config.diEntries[i].enabled, flagNames()));
    if (layout.diDebounce)
        o.insert(key("debounceMs"), JsonFields::rangedValue(quint32(config.diDebounceMs[i]), ValueRules::debounceMs));
    if (layout.diInputModes) {
        o.insert(key("dpPair"), JsonFields::choiceValue(config.diDpPair[i], flagNames()));
        o.insert(key("dpRole"), JsonFields::choiceValue(config.diDpRole[i], dpRoleNames()));
        o.insert(key("inputType"), JsonFields::choiceValue(config.diInputType[i], inputTypeNames()));
        o.insert(key("nominal"), JsonFields::choiceValue(config.diNominal[i], nominalNames()));
    }
    return o;
}

bool diFromJson(const QJsonObject& object, const QString& path, int i, const ConfigLayout& layout,
                DiDoConfig& config, QString* error)
{
    JsonFields f(object, path);
    QStringList keys = { key("channel"), key("address"), key("enabled") };
    if (layout.diDebounce)
        keys << key("debounceMs");
    if (layout.diInputModes)
        keys << key("dpPair") << key("dpRole") << key("inputType") << key("nominal");
    qint64 channel = 0;
    quint32 address = 0;
    bool ok = f.onlyKeys(keys) && f.integer(key("channel"), i + 1, i + 1, &channel)
        && f.ranged(key("address"), ValueRules::objectAddress, 0xFFFFFF, &address)
        && f.choiceField(key("enabled"), flagNames(), &config.diEntries[i].enabled);
    if (ok && layout.diDebounce)
        ok = f.rangedField(key("debounceMs"), ValueRules::debounceMs, &config.diDebounceMs[i]);
    if (ok && layout.diInputModes) {
        // The input modes are read back as 0 or 1, so no other byte could be restored.
        ok = f.choiceField(key("dpPair"), flagNames(), &config.diDpPair[i], 1)
            && f.choiceField(key("dpRole"), dpRoleNames(), &config.diDpRole[i], 1)
            && f.choiceField(key("inputType"), inputTypeNames(), &config.diInputType[i], 1)
            && f.choiceField(key("nominal"), nominalNames(), &config.diNominal[i], 1);
    }
    if (!ok) {
        *error = f.error();
        return false;
    }
    config.diEntries[i].setObjectAddress(address);
    return true;
}

// ---- DO ----

QJsonObject doToJson(const DoEntry& entry, int i, bool full)
{
    QJsonObject o;
    o.insert(key("channel"), i + 1);
    o.insert(key("address"), JsonFields::rangedValue(entry.objectAddress(), ValueRules::objectAddress));
    o.insert(key("enabled"), JsonFields::choiceValue(entry.enabled, flagNames()));
    o.insert(key("mode"), JsonFields::choiceValue(entry.mode, doModeNames()));
    o.insert(key("holdMs"), JsonFields::rangedValue(entry.holdMs, ValueRules::holdMs));
    if (full) {
        o.insert(key("dp"), JsonFields::choiceValue(entry.dp, flagNames()));
        o.insert(key("carried5"), bytesValue(entry.carried5, 3));
        o.insert(key("carried13"), bytesValue(entry.carried13, 3));
    }
    return o;
}

bool doFromJson(const QJsonObject& object, const QString& path, int i, bool full, DoEntry& entry, QString* error)
{
    JsonFields f(object, path);
    QStringList keys = { key("channel"), key("address"), key("enabled"), key("mode"), key("holdMs") };
    if (full)
        keys << key("dp") << key("carried5") << key("carried13");
    qint64 channel = 0;
    quint32 address = 0;
    bool ok = f.onlyKeys(keys) && f.integer(key("channel"), i + 1, i + 1, &channel)
        && f.ranged(key("address"), ValueRules::objectAddress, 0xFFFFFF, &address)
        && f.choiceField(key("enabled"), flagNames(), &entry.enabled)
        && f.choiceField(key("mode"), doModeNames(), &entry.mode)
        && f.rangedField(key("holdMs"), ValueRules::holdMs, &entry.holdMs);
    if (ok && full) {
        ok = f.choiceField(key("dp"), flagNames(), &entry.dp) && takeBytes(f, "carried5", entry.carried5, 3)
            && takeBytes(f, "carried13", entry.carried13, 3);
    }
    if (!ok) {
        *error = f.error();
        return false;
    }
    entry.setObjectAddress(address);
    return true;
}

// ---- RS-485 port settings ----

QJsonObject portToJson(const Rs485PortParams& port, int i)
{
    QJsonObject o;
    o.insert(key("port"), i + 1);
    o.insert(key("baudRate"), JsonFields::rangedValue(port.baudRate, ValueRules::baudRate));
    o.insert(key("dataBits"), JsonFields::choiceValue(port.wordLength, dataBitsNames()));
    o.insert(key("parity"), JsonFields::choiceValue(port.parity, parityNames()));
    o.insert(key("stopBits"), JsonFields::choiceValue(port.stopBits, stopBitsNames()));
    o.insert(key("modbus"), JsonFields::choiceValue(port.modbusEnabled, flagNames()));
    o.insert(key("modbusAddress"), JsonFields::rangedValue(port.modbusAddress, ValueRules::modbusAddress));
    o.insert(key("reserved0"), qint64(port.reserved0));
    o.insert(key("fixedWord"), port.fixedWord);
    o.insert(key("carried21"), bytesValue(&port.carried21, 1));
    o.insert(key("carried25"), bytesValue(port.carried25, 3));
    return o;
}

bool portFromJson(const QJsonObject& object, const QString& path, int i, Rs485PortParams& port, QString* error)
{
    JsonFields f(object, path);
    qint64 number = 0;
    const bool ok = f.onlyKeys({ key("port"), key("baudRate"), key("dataBits"), key("parity"), key("stopBits"),
                                 key("modbus"), key("modbusAddress"), key("reserved0"), key("fixedWord"),
                                 key("carried21"), key("carried25") })
        && f.integer(key("port"), i + 1, i + 1, &number) && f.rangedField(key("baudRate"), ValueRules::baudRate, &port.baudRate)
        && f.choiceField(key("dataBits"), dataBitsNames(), &port.wordLength)
        && f.choiceField(key("parity"), parityNames(), &port.parity)
        && f.choiceField(key("stopBits"), stopBitsNames(), &port.stopBits)
        && f.choiceField(key("modbus"), flagNames(), &port.modbusEnabled)
        && f.rangedField(key("modbusAddress"), ValueRules::modbusAddress, &port.modbusAddress)
        && f.unsignedField(key("reserved0"), &port.reserved0) && f.unsignedField(key("fixedWord"), &port.fixedWord)
        && takeBytes(f, "carried21", &port.carried21, 1) && takeBytes(f, "carried25", port.carried25, 3);
    if (!ok)
        *error = f.error();
    return ok;
}

// ---- Protocol settings ----

QJsonObject protocolToJson(const Iec101Params& p, int i)
{
    QJsonObject o;
    o.insert(key("port"), i + 1);
    o.insert(key("iec101"), JsonFields::choiceValue(p.iec101Enabled, flagNames()));
    // The numbers only mean something, and are only checked, with IEC101 on.
    const auto number = [&p](quint32 value, const ValueRules::Range& range) {
        return p.iec101Enabled != 0 ? JsonFields::rangedValue(value, range) : QJsonValue(qint64(value));
    };
    o.insert(key("linkAddress"), number(p.linkAddress, ValueRules::iec101Address));
    o.insert(key("linkAddressLength"), p.linkAddressLength);
    o.insert(key("originatorAddress"), JsonFields::choiceValue(p.originatorAddress, flagNames()));
    o.insert(key("stationAddressLength"), p.stationAddressLength);
    o.insert(key("objectAddressLength"), p.objectAddressLength);
    o.insert(key("commonAddress"), number(p.commonAddress, ValueRules::iec101Address));
    o.insert(key("clockSyncPeriod"), number(p.clockSyncPeriod, ValueRules::clockSyncPeriod));
    o.insert(key("giTime"), JsonFields::choiceValue(p.giTime, flagNames()));
    o.insert(key("carried14"), bytesValue(p.zero, 10));
    return o;
}

bool protocolFromJson(const QJsonObject& object, const QString& path, int i, Iec101Params& p, QString* error)
{
    JsonFields f(object, path);
    qint64 number = 0;
    bool ok = f.onlyKeys({ key("port"), key("iec101"), key("linkAddress"), key("linkAddressLength"),
                           key("originatorAddress"), key("stationAddressLength"), key("objectAddressLength"),
                           key("commonAddress"), key("clockSyncPeriod"), key("giTime"), key("carried14") })
        && f.integer(key("port"), i + 1, i + 1, &number)
        && f.choiceField(key("iec101"), flagNames(), &p.iec101Enabled);
    const bool on = p.iec101Enabled != 0;
    const ValueRules::Range any { 0, 0xFFFFFFFFLL, false };
    ok = ok && f.rangedField(key("linkAddress"), on ? ValueRules::iec101Address : any, &p.linkAddress)
        && f.unsignedField(key("linkAddressLength"), &p.linkAddressLength)
        && f.choiceField(key("originatorAddress"), flagNames(), &p.originatorAddress)
        && f.unsignedField(key("stationAddressLength"), &p.stationAddressLength)
        && f.unsignedField(key("objectAddressLength"), &p.objectAddressLength)
        && f.rangedField(key("commonAddress"), on ? ValueRules::iec101Address : any, &p.commonAddress)
        && f.rangedField(key("clockSyncPeriod"), on ? ValueRules::clockSyncPeriod : any, &p.clockSyncPeriod)
        && f.choiceField(key("giTime"), flagNames(), &p.giTime) && takeBytes(f, "carried14", p.zero, 10);
    if (!ok)
        *error = f.error();
    return ok;
}

QString boardDescription(bool known, quint16 type)
{
    return known ? QStringLiteral("%1 (type %2)").arg(BoardInfo::boardName(type)).arg(type)
                 : QStringLiteral("a board of unknown type");
}

} // namespace

ConfigFile ConfigFile::fromBoard(const BoardState& board, const DiDoConfig& dido, const Rs485Ports& ports,
                                 const Iec101Ports& protocols)
{
    ConfigFile file;
    file.boardTypeKnown = board.boardTypeKnown;
    file.boardType = board.boardTypeKnown ? board.boardType : 0;
    file.firmwareVersionKnown = board.firmwareVersionKnown;
    file.firmwareVersion = board.firmwareVersionKnown ? board.firmwareVersion : QString();
    file.bootloaderVersion = board.bootloaderVersion;
    file.layout = ConfigLayout::of(board);
    file.dido = dido;
    file.ports = ports;
    file.protocols = protocols;
    return file;
}

QJsonObject ConfigFile::toJson() const
{
    QJsonObject boardObject;
    boardObject.insert(key("type"), boardTypeKnown ? QJsonValue(int(boardType)) : QJsonValue());
    boardObject.insert(key("name"), boardTypeKnown ? BoardInfo::boardName(boardType) : QStringLiteral("UNKNOWN"));
    boardObject.insert(key("firmware"), firmwareVersionKnown ? QJsonValue(firmwareVersion) : QJsonValue());
    boardObject.insert(key("bootloader"), bootloaderVersion);

    QJsonArray di;
    for (int i = 0; i < layout.diChannels; ++i)
        di.append(diToJson(dido, i, layout));
    QJsonArray dos;
    if (layout.doTable != ConfigLayout::DoTable::None) {
        for (int i = 0; i < BoardInfo::MaxDoChannels; ++i)
            dos.append(doToJson(dido.doEntries[i], i, layout.doTable == ConfigLayout::DoTable::Full));
    }
    QJsonArray portArray;
    QJsonArray protocolArray;
    for (int i = 0; i < 2; ++i) {
        portArray.append(portToJson(ports[size_t(i)], i));
        protocolArray.append(protocolToJson(protocols[size_t(i)], i));
    }

    QJsonObject root;
    root.insert(key("format"), key(formatName));
    root.insert(key("version"), formatVersion);
    root.insert(key("board"), boardObject);
    root.insert(key("layout"), layout.toJson());
    root.insert(key("di"), di);
    root.insert(key("do"), dos);
    root.insert(key("rs485"), portArray);
    root.insert(key("iec101"), protocolArray);
    return root;
}

QByteArray ConfigFile::toBytes() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Indented);
}

std::optional<ConfigFile> ConfigFile::fromJson(const QJsonObject& object, QString* error)
{
    JsonFields root(object, QString());
    ConfigFile file;
    QString format;
    qint64 version = 0;
    if (!root.onlyKeys({ key("format"), key("version"), key("board"), key("layout"), key("di"), key("do"),
                         key("rs485"), key("iec101") })
        || !root.text(key("format"), &format)) {
        *error = root.error();
        return std::nullopt;
    }
    if (format != QLatin1String(formatName)) {
        *error = QStringLiteral("not a saved board configuration (format \"%1\")").arg(format);
        return std::nullopt;
    }
    if (!root.integer(key("version"), formatVersion, formatVersion, &version)) {
        *error = root.error();
        return std::nullopt;
    }

    QJsonObject boardObject;
    QJsonObject layoutObject;
    if (!root.child(key("board"), &boardObject) || !root.child(key("layout"), &layoutObject)) {
        *error = root.error();
        return std::nullopt;
    }
    JsonFields board(boardObject, key("board"));
    QString name;
    bool firmwareNull = true;
    bool ok = board.onlyKeys({ key("type"), key("name"), key("firmware"), key("bootloader") })
        && board.text(key("name"), &name) && board.text(key("firmware"), &file.firmwareVersion, true, &firmwareNull)
        && board.text(key("bootloader"), &file.bootloaderVersion);
    if (ok) {
        file.boardTypeKnown = !boardObject.value(key("type")).isNull();
        if (!boardObject.contains(key("type")))
            ok = board.fail(key("type"), QStringLiteral("missing (null for a board of unknown type)"));
        else if (file.boardTypeKnown)
            ok = board.unsignedField(key("type"), &file.boardType);
    }
    if (!ok) {
        *error = board.error();
        return std::nullopt;
    }
    file.firmwareVersionKnown = !firmwareNull;
    if (!ConfigLayout::fromJson(layoutObject, &file.layout, error))
        return std::nullopt;

    // Entries the layout does not send keep the factory values, like the
    // window's record before its first read.
    ConfigBlocks::resetDiDoRecord(file.dido);
    QList<QJsonObject> entries;
    if (!root.objects(key("di"), file.layout.diChannels, &entries)) {
        *error = root.error();
        return std::nullopt;
    }
    for (int i = 0; i < entries.size(); ++i) {
        if (!diFromJson(entries.at(i), root.pathOf(key("di"), i), i, file.layout, file.dido, error))
            return std::nullopt;
    }
    const bool doTable = file.layout.doTable != ConfigLayout::DoTable::None;
    if (!root.objects(key("do"), doTable ? BoardInfo::MaxDoChannels : 0, &entries)) {
        *error = root.error();
        return std::nullopt;
    }
    for (int i = 0; i < entries.size(); ++i) {
        if (!doFromJson(entries.at(i), root.pathOf(key("do"), i), i, file.layout.doTable == ConfigLayout::DoTable::Full,
                        file.dido.doEntries[i], error))
            return std::nullopt;
    }
    if (!root.objects(key("rs485"), 2, &entries)) {
        *error = root.error();
        return std::nullopt;
    }
    for (int i = 0; i < 2; ++i) {
        if (!portFromJson(entries.at(i), root.pathOf(key("rs485"), i), i, file.ports[size_t(i)], error))
            return std::nullopt;
    }
    if (!root.objects(key("iec101"), 2, &entries)) {
        *error = root.error();
        return std::nullopt;
    }
    for (int i = 0; i < 2; ++i) {
        if (!protocolFromJson(entries.at(i), root.pathOf(key("iec101"), i), i, file.protocols[size_t(i)], error))
            return std::nullopt;
    }
    return file;
}

std::optional<ConfigFile> ConfigFile::fromBytes(const QByteArray& bytes, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return std::nullopt;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("not a saved board configuration (no JSON object)");
        return std::nullopt;
    }
    QString twice;
    if (JsonFields::duplicatedKey(bytes, &twice)) {
        *error = QStringLiteral("the key \"%1\" appears twice in one object; only one may stay").arg(twice);
        return std::nullopt;
    }
    return fromJson(document.object(), error);
}

QString ConfigFile::mismatch(const BoardState& board) const
{
    const bool sameBoard = boardTypeKnown == board.boardTypeKnown && (!boardTypeKnown || boardType == board.boardType);
    if (!sameBoard) {
        return QStringLiteral("the file was made for %1, this board is %2")
            .arg(boardDescription(boardTypeKnown, boardType), boardDescription(board.boardTypeKnown, board.boardType));
    }
    const ConfigLayout boardLayout = ConfigLayout::of(board);
    if (layout != boardLayout) {
        return QStringLiteral("the file holds %1, this board (firmware %2) exchanges %3")
            .arg(layout.describe(), board.firmwareVersionKnown ? board.firmwareVersion : QStringLiteral("unknown"),
                 boardLayout.describe());
    }
    return QString();
}

QString ConfigFile::note(const BoardState& board) const
{
    const QString fileVersion = firmwareVersionKnown ? firmwareVersion : QStringLiteral("unknown");
    const QString boardVersion = board.firmwareVersionKnown ? board.firmwareVersion : QStringLiteral("unknown");
    if (fileVersion == boardVersion)
        return QString();
    return QStringLiteral("the file was read from firmware %1, this board runs %2 (same block layout)")
        .arg(fileVersion, boardVersion);
}
