#include "console.h"

#include <cstdio>

namespace {

// Board texts (versions, names) reach these lines: a control character in
// one must not recolour, retitle or rewrite the terminal, so every one but the
// line break and the tab is shown as \xNN. JSON output holds none (the
// writer escapes them), so it passes unchanged.
QString printable(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n') && c != QLatin1Char('\t'))
            out += QStringLiteral("\\x") + QString::number(c.unicode(), 16).rightJustified(2, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

void printLine(FILE* stream, const QString& text)
{
    QString line = printable(text);
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

std::function<void(const QString&)>& outSink()
{
    static std::function<void(const QString&)> sink;
    return sink;
}

} // namespace

void Console::out(const QString& text)
{
    if (outSink()) {
        QString line = text;
        while (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        outSink()(line);
        return;
    }
    printLine(stdout, text);
}

void Console::setOutSink(const std::function<void(const QString&)>& sink)
{
    outSink() = sink;
}

void Console::err(const QString& text)
{
    printLine(stderr, text);
}

void Console::note(const QString& text)
{
    printLine(stderr, QStringLiteral("quorvel-cli: ") + text);
}

bool Console::raw(const QByteArray& bytes)
{
    const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    return std::fflush(stdout) == 0 && ok;
}
