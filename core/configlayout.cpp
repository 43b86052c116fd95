#include "configlayout.h"

#include "boardstate.h"
#include "jsonfields.h"

namespace {

const QList<JsonChoice>& doTableNames()
{
    static const QList<JsonChoice> names = {
        { quint32(ConfigLayout::DoTable::None), QStringLiteral("none") },
        { quint32(ConfigLayout::DoTable::Short), QStringLiteral("short") },
        { quint32(ConfigLayout::DoTable::Full), QStringLiteral("full") },
    };
    return names;
}

} // namespace

ConfigLayout ConfigLayout::of(const BoardState& board)
{
    // The same conditions under which the save sequence sends each block.
    ConfigLayout layout;
    const bool diTable = board.hasDiTable();
    layout.diChannels = diTable ? board.diChannelCount() : 0;
    layout.diDebounce = diTable && board.diDebounceSupported();
    layout.diInputModes = diTable && board.diExtendedSupported();
    if (!board.hasDoTable())
        layout.doTable = DoTable::None;
    else
        layout.doTable = board.doDpSupported() ? DoTable::Full : DoTable::Short;
    return layout;
}

bool ConfigLayout::operator==(const ConfigLayout& other) const
{
    return diChannels == other.diChannels && diDebounce == other.diDebounce && diInputModes == other.diInputModes
        && doTable == other.doTable;
}

QString ConfigLayout::describe() const
{
    QString di = diChannels == 0 ? QStringLiteral("no DI table") : QStringLiteral("%1 DI").arg(diChannels);
    if (diChannels > 0) {
        QStringList extras;
        if (diDebounce)
            extras << QStringLiteral("debounce");
        if (diInputModes)
            extras << QStringLiteral("input modes");
        di += extras.isEmpty() ? QStringLiteral(" without debounce or input modes")
                               : QStringLiteral(" with ") + extras.join(QStringLiteral(" and "));
    }
    const QString doText = doTable == DoTable::None  ? QStringLiteral("no DO table")
                         : doTable == DoTable::Full ? QStringLiteral("DO full entries")
                                                    : QStringLiteral("DO short entries");
    return di + QStringLiteral(", ") + doText;
}

QJsonObject ConfigLayout::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("diChannels"), diChannels);
    object.insert(QStringLiteral("diDebounce"), diDebounce);
    object.insert(QStringLiteral("diInputModes"), diInputModes);
    object.insert(QStringLiteral("doTable"), JsonFields::choiceValue(quint32(doTable), doTableNames()));
    return object;
}

bool ConfigLayout::fromJson(const QJsonObject& object, ConfigLayout* layout, QString* error)
{
    JsonFields fields(object, QStringLiteral("layout"));
    ConfigLayout read;
    qint64 channels = 0;
    QString doForm;
    const bool ok = fields.onlyKeys({ QStringLiteral("diChannels"), QStringLiteral("diDebounce"),
                                      QStringLiteral("diInputModes"), QStringLiteral("doTable") })
        && fields.integer(QStringLiteral("diChannels"), 0, 32, &channels)
        && fields.boolean(QStringLiteral("diDebounce"), &read.diDebounce)
        && fields.boolean(QStringLiteral("diInputModes"), &read.diInputModes)
        && fields.text(QStringLiteral("doTable"), &doForm);
    bool known = false;
    for (const JsonChoice& name : doTableNames()) {
        if (ok && name.shown.toString() == doForm) {
            read.doTable = DoTable(name.raw);
            known = true;
        }
    }
    if (ok && !known)
        fields.fail(QStringLiteral("doTable"), QStringLiteral("wants \"none\", \"short\" or \"full\""));
    if (!ok || !known) {
        *error = fields.error();
        return false;
    }
    read.diChannels = int(channels);
    *layout = read;
    return true;
}
