#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "valuerules.h"

// One readable name of a raw value ("Even" for 0x400, true for 1).
struct JsonChoice
{
    quint32 raw;
    QJsonValue shown;
};

// Reads one JSON object field by field, strictly: every field must be there
// with the right type and range, no unknown field is allowed (a misspelt key
// must not be dropped silently), and the first problem is reported with the
// field's path ("di[3].address: ..."). The static members write the same forms.
class JsonFields
{
public:
    JsonFields(const QJsonObject& object, const QString& path);

    // Fails on any key not in `allowed`.
    bool onlyKeys(const QStringList& allowed);
    bool has(const QString& key) const { return object.contains(key); }

    bool integer(const QString& key, qint64 low, qint64 high, qint64* value);
    // A value shown by its name when it has one, else as {"raw": N} (0..rawMax).
    bool choice(const QString& key, const QList<JsonChoice>& choices, quint32 rawMax, quint32* raw);
    // A number someone may have typed: a plain number must be in `range`; a
    // value the board held outside it comes as {"raw": N} (0..rawMax) and
    // passes unchanged.
    bool ranged(const QString& key, const ValueRules::Range& range, quint32 rawMax, quint32* value);
    // Lower- or upper-case hex digits, exactly `length` bytes.
    bool hex(const QString& key, int length, QByteArray* bytes);
    // A text, or null when `nullable` (then `isNull` tells).
    bool text(const QString& key, QString* value, bool nullable = false, bool* isNull = nullptr);
    bool boolean(const QString& key, bool* value);
    bool child(const QString& key, QJsonObject* value);
    // An array of exactly `length` objects.
    bool objects(const QString& key, int length, QList<QJsonObject>* values);

    // Typed shorthands for the unsigned record fields.
    template <typename T>
    bool unsignedField(const QString& key, T* value)
    {
        qint64 v = 0;
        if (!integer(key, 0, qint64(T(~T(0))), &v))
            return false;
        *value = T(v);
        return true;
    }
    // `rawMax` below the type's top where the board cannot keep every byte
    // value (a flag it reads back as 0 or 1).
    template <typename T>
    bool choiceField(const QString& key, const QList<JsonChoice>& choices, T* value, quint32 rawMax = quint32(T(~T(0))))
    {
        quint32 raw = 0;
        if (!choice(key, choices, rawMax, &raw))
            return false;
        *value = T(raw);
        return true;
    }
    template <typename T>
    bool rangedField(const QString& key, const ValueRules::Range& range, T* value)
    {
        quint32 v = 0;
        if (!ranged(key, range, quint32(T(~T(0))), &v))
            return false;
        *value = T(v);
        return true;
    }

    // The path of an element of an array under this object: "di[3]".
    QString pathOf(const QString& key, int index = -1) const;
    const QString& error() const { return problem; }
    bool fail(const QString& key, const QString& why);

    static QJsonValue choiceValue(quint32 raw, const QList<JsonChoice>& choices);
    // A plain number inside `range`, {"raw": N} outside it.
    static QJsonValue rangedValue(quint32 value, const ValueRules::Range& range);
    // Whether a key appears twice in one object of a well-formed JSON text,
    // and the first such key. The parser keeps only one of the two, so a file
    // holding both is ambiguous.
    static bool duplicatedKey(const QByteArray& json, QString* key);
    // A whole number as digits (never 1.67772e+07), anything else as it is.
    static QString numberText(double value);
    static QString hexText(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex()); }

private:
    QJsonObject object;
    QString path;
    QString problem;
};
