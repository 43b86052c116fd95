#include "printabletext.h"

namespace {

QString escaped(const QString& text, bool keepLineBreaks)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        // Other_Control is exactly C0, DEL and C1.
        if (c.category() == QChar::Other_Control && !(keepLineBreaks && c == QLatin1Char('\n')))
            out += QStringLiteral("\\u") + QString::number(c.unicode(), 16).rightJustified(4, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

} // namespace

namespace PrintableText {

QString oneLine(const QString& text)
{
    return escaped(text, false);
}

QString lines(const QString& text)
{
    return escaped(text, true);
}

} // namespace PrintableText
