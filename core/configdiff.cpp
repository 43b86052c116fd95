#include "configdiff.h"

#include "configfile.h"

#include <QJsonDocument>
#include <QJsonObject>

QString ConfigDifference::path() const
{
    return QStringLiteral("%1[%2].%3").arg(section).arg(index).arg(field);
}

QString ConfigDifference::valueText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(qint64(value.toDouble()));
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Object:
        if (value.toObject().size() == 1 && value.toObject().contains(QLatin1String("raw")))
            return QStringLiteral("raw %1").arg(qint64(value.toObject().value(QLatin1String("raw")).toDouble()));
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Null:
        return QStringLiteral("null");
    default:
        return QString();
    }
}

QString ConfigDifference::line() const
{
    return QStringLiteral("%1: %2 -> %3").arg(path(), valueText(board), valueText(file));
}

QJsonObject ConfigDifference::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("field"), path());
    o.insert(QStringLiteral("device"), board);
    o.insert(QStringLiteral("file"), file);
    return o;
}

QList<ConfigDifference> ConfigDiff::between(const ConfigFile& board, const ConfigFile& file)
{
    const QJsonObject boardJson = board.toJson();
    const QJsonObject fileJson = file.toJson();
    QList<ConfigDifference> differences;
    for (const char* name : { "di", "do", "rs485", "iec101" }) {
        const QString section = QString::fromLatin1(name);
        const QJsonArray boardEntries = boardJson.value(section).toArray();
        const QJsonArray fileEntries = fileJson.value(section).toArray();
        const int count = qMin(boardEntries.size(), fileEntries.size());
        for (int i = 0; i < count; ++i) {
            const QJsonObject boardEntry = boardEntries.at(i).toObject();
            const QJsonObject fileEntry = fileEntries.at(i).toObject();
            // The keys of the file's entry, in the order the file writes them
            // (QJsonObject sorts them; the order only needs to be stable).
            for (auto it = fileEntry.begin(); it != fileEntry.end(); ++it) {
                const QJsonValue boardValue = boardEntry.value(it.key());
                if (boardValue != it.value())
                    differences.append({ section, i, it.key(), boardValue, it.value() });
            }
        }
    }
    return differences;
}

QJsonArray ConfigDiff::toJson(const QList<ConfigDifference>& differences)
{
    QJsonArray array;
    for (const ConfigDifference& d : differences)
        array.append(d.toJson());
    return array;
}
