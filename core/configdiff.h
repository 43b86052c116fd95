#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

class ConfigFile;

// One value that differs between a board and a saved configuration, named by
// its place in the file ("di[3].address") so the window can find the cell and
// a script can find the field.
struct ConfigDifference
{
    QString section;  // "di", "do", "rs485" or "iec101"
    int index = 0;    // entry in the section, from 0
    QString field;    // key of the entry ("address")
    QJsonValue board; // as the board holds it, in the file's notation
    QJsonValue file;  // as the file holds it

    QString path() const;
    // "di[3].address: 12 -> 15"
    QString line() const;
    QJsonObject toJson() const;

    // A value as one short text: numbers and names as they are, {"raw": N} as "raw N".
    static QString valueText(const QJsonValue& value);
};

// The field-by-field comparison behind config-diff and the window's
// comparison. Both sides are compared in the file's own notation, so a value
// differs exactly when the saved file would send another byte; the block
// layout must be the same on both sides (ConfigFile::mismatch says when not).
namespace ConfigDiff {

QList<ConfigDifference> between(const ConfigFile& board, const ConfigFile& file);
QJsonArray toJson(const QList<ConfigDifference>& differences);

} // namespace ConfigDiff
