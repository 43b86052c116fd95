#include "jsonfields.h"

#include <QJsonDocument>

#include <QSet>

#include <cmath>
#include <limits>

namespace {

QString typeName(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a text");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("nothing");
}

// JSON numbers are doubles: only whole numbers inside the range pass, so that
// 1.5 or 1e300 never turn into some other byte value.
bool wholeNumber(const QJsonValue& value, qint64 low, qint64 high, qint64* out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || std::floor(d) != d || d < double(low) || d > double(high))
        return false;
    *out = qint64(d);
    return true;
}

QString shownText(const QJsonValue& value)
{
    if (value.isString())
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    if (value.isBool())
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return JsonFields::numberText(value.toDouble());
}

QString shownNumber(const QJsonValue& value)
{
    return value.isDouble() ? JsonFields::numberText(value.toDouble()) : typeName(value);
}

} // namespace

QString JsonFields::numberText(double value)
{
    if (std::isfinite(value) && std::floor(value) == value && std::fabs(value) < 1e18)
        return QString::number(qint64(value));
    return QString::number(value, 'g', 17);
}

JsonFields::JsonFields(const QJsonObject& object, const QString& path)
    : object(object)
    , path(path)
{
}

QString JsonFields::pathOf(const QString& key, int index) const
{
    QString p = path.isEmpty() ? key : path + QLatin1Char('.') + key;
    if (index >= 0)
        p += QStringLiteral("[%1]").arg(index);
    return p;
}

bool JsonFields::fail(const QString& key, const QString& why)
{
    if (problem.isEmpty())
        problem = QStringLiteral("%1: %2").arg(key.isEmpty() ? (path.isEmpty() ? QStringLiteral("file") : path) : pathOf(key), why);
    return false;
}

bool JsonFields::onlyKeys(const QStringList& allowed)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!allowed.contains(it.key()))
            return fail(it.key(), QStringLiteral("unknown field"));
    }
    return true;
}

bool JsonFields::integer(const QString& key, qint64 low, qint64 high, qint64* value)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    if (!wholeNumber(object.value(key), low, high, value))
        return fail(key, QStringLiteral("wants a whole number from %1 to %2, got %3")
                             .arg(low)
                             .arg(high)
                             .arg(shownNumber(object.value(key))));
    return true;
}

bool JsonFields::choice(const QString& key, const QList<JsonChoice>& choices, quint32 rawMax, quint32* raw)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    const QJsonValue value = object.value(key);
    if (value.isObject()) {
        const QJsonObject rawObject = value.toObject();
        qint64 number = 0;
        if (rawObject.size() != 1 || !wholeNumber(rawObject.value(QStringLiteral("raw")), 0, rawMax, &number))
            return fail(key, QStringLiteral("wants {\"raw\": N} with N from 0 to %1").arg(rawMax));
        *raw = quint32(number);
        return true;
    }
    QStringList names;
    for (const JsonChoice& c : choices) {
        if (c.shown == value) {
            *raw = c.raw;
            return true;
        }
        names << shownText(c.shown);
    }
    return fail(key, QStringLiteral("wants one of %1 or {\"raw\": N}").arg(names.join(QStringLiteral(", "))));
}

bool JsonFields::ranged(const QString& key, const ValueRules::Range& range, quint32 rawMax, quint32* value)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    const QJsonValue v = object.value(key);
    qint64 number = 0;
    if (v.isObject()) {
        const QJsonObject rawObject = v.toObject();
        if (rawObject.size() != 1 || !wholeNumber(rawObject.value(QStringLiteral("raw")), 0, rawMax, &number))
            return fail(key, QStringLiteral("wants {\"raw\": N} with N from 0 to %1").arg(rawMax));
        *value = quint32(number);
        return true;
    }
    // Nor may a plain number overflow the field.
    const qint64 high = qMin<qint64>(range.high, rawMax);
    if (!wholeNumber(v, std::numeric_limits<qint64>::min() / 2, std::numeric_limits<qint64>::max() / 2, &number)
        || !range.contains(number) || number > high) {
        return fail(key, QStringLiteral("wants a whole number from %1 to %2%3, got %4 (a value kept as the board "
                                        "holds it is written {\"raw\": N})")
                             .arg(range.low)
                             .arg(high)
                             .arg(range.zeroMeansNone ? QStringLiteral(" or 0 for none") : QString())
                             .arg(shownNumber(v)));
    }
    *value = quint32(number);
    return true;
}

bool JsonFields::hex(const QString& key, int length, QByteArray* bytes)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    const QJsonValue value = object.value(key);
    const QString text = value.toString();
    bool digitsOnly = value.isString();
    for (const QChar c : text) {
        const bool digit = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
        digitsOnly = digitsOnly && digit;
    }
    if (!digitsOnly || text.size() != 2 * length)
        return fail(key, QStringLiteral("wants %1 hex digits").arg(2 * length));
    *bytes = QByteArray::fromHex(text.toLatin1());
    return true;
}

bool JsonFields::text(const QString& key, QString* value, bool nullable, bool* isNull)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    const QJsonValue v = object.value(key);
    if (nullable && v.isNull()) {
        value->clear();
        if (isNull)
            *isNull = true;
        return true;
    }
    if (!v.isString())
        return fail(key, QStringLiteral("wants a text%1, got %2").arg(nullable ? QStringLiteral(" or null") : QString(), typeName(v)));
    *value = v.toString();
    if (isNull)
        *isNull = false;
    return true;
}

bool JsonFields::boolean(const QString& key, bool* value)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    if (!object.value(key).isBool())
        return fail(key, QStringLiteral("wants true or false, got %1").arg(typeName(object.value(key))));
    *value = object.value(key).toBool();
    return true;
}

bool JsonFields::child(const QString& key, QJsonObject* value)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    if (!object.value(key).isObject())
        return fail(key, QStringLiteral("wants an object, got %1").arg(typeName(object.value(key))));
    *value = object.value(key).toObject();
    return true;
}

bool JsonFields::objects(const QString& key, int length, QList<QJsonObject>* values)
{
    if (!object.contains(key))
        return fail(key, QStringLiteral("missing"));
    if (!object.value(key).isArray())
        return fail(key, QStringLiteral("wants an array, got %1").arg(typeName(object.value(key))));
    const QJsonArray array = object.value(key).toArray();
    if (array.size() != length)
        return fail(key, QStringLiteral("wants %1 entries, has %2").arg(length).arg(array.size()));
    values->clear();
    for (int i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject()) {
            problem = problem.isEmpty() ? QStringLiteral("%1: wants an object").arg(pathOf(key, i)) : problem;
            return false;
        }
        values->append(array.at(i).toObject());
    }
    return true;
}

QJsonValue JsonFields::rangedValue(quint32 value, const ValueRules::Range& range)
{
    if (range.contains(qint64(value)))
        return qint64(value);
    QJsonObject rawObject;
    rawObject.insert(QStringLiteral("raw"), qint64(value));
    return rawObject;
}

bool JsonFields::duplicatedKey(const QByteArray& json, QString* key)
{
    // Only called on text the parser accepted, so a small scanner will do:
    // strings are skipped whole, and a string right after '{' or after ',' at
    // object level is a key.
    struct Level
    {
        bool isObject;
        bool expectKey;
        QSet<QString> keys;
    };
    QList<Level> levels;
    const int size = json.size();
    for (int i = 0; i < size; ++i) {
        const char c = json.at(i);
        if (c == '{') {
            levels.append(Level { true, true, {} });
        } else if (c == '[') {
            levels.append(Level { false, false, {} });
        } else if (c == '}' || c == ']') {
            if (!levels.isEmpty())
                levels.removeLast();
        } else if (c == ',') {
            if (!levels.isEmpty() && levels.last().isObject)
                levels.last().expectKey = true;
        } else if (c == '"') {
            int end = i + 1;
            while (end < size && json.at(end) != '"')
                end += json.at(end) == '\\' ? 2 : 1;
            if (!levels.isEmpty() && levels.last().isObject && levels.last().expectKey) {
                // Let the parser undo any escapes, so "a" and "\u0061" are one key.
                const QByteArray token = json.mid(i, end - i + 1);
                QString name = QString::fromUtf8(token.mid(1, token.size() - 2));
                if (token.contains('\\')) {
                    const QJsonArray decoded = QJsonDocument::fromJson('[' + token + ']').array();
                    name = decoded.isEmpty() ? QString() : decoded.at(0).toString();
                }
                if (levels.last().keys.contains(name)) {
                    *key = name;
                    return true;
                }
                levels.last().keys.insert(name);
                levels.last().expectKey = false;
            }
            i = end;
        }
    }
    return false;
}

QJsonValue JsonFields::choiceValue(quint32 raw, const QList<JsonChoice>& choices)
{
    for (const JsonChoice& c : choices) {
        if (c.raw == raw)
            return c.shown;
    }
    QJsonObject rawObject;
    rawObject.insert(QStringLiteral("raw"), qint64(raw));
    return rawObject;
}
