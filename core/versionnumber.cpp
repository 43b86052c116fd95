#include "versionnumber.h"

#include <QStringList>

#include <limits>

namespace {

// A part is one or more ASCII digits; toInt alone would also take signs,
// blanks and other scripts' digits.
std::optional<int> parsePart(const QString& part)
{
    if (part.isEmpty())
        return std::nullopt;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const int value = part.toInt(&ok, 10);
    if (!ok)
        return std::nullopt; // too large for an int
    return value;
}

} // namespace

std::optional<int> parseVersionNumber(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    const auto major = parsePart(parts.at(0));
    const auto minor = parsePart(parts.at(1));
    const auto patch = parsePart(parts.at(2));
    if (!major || !minor || !patch)
        return std::nullopt;
    const qint64 number = qint64(*major) * 1000 + qint64(*minor) * 100 + qint64(*patch);
    if (number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}
