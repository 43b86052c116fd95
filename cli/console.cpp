#include "console.h"

#include "printabletext.h"

#include <cstdio>

namespace {

QString& outPrefix()
{
    static QString prefix;
    return prefix;
}

void printLine(FILE* stream, const QString& text, const QString& prefix = QString())
{
    QString line = PrintableText::lines(text);
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (!prefix.isEmpty()) {
        line.replace(QLatin1Char('\n'), QStringLiteral("\n") + prefix);
        line.prepend(prefix);
    }
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
    printLine(stdout, text, outPrefix());
}

void Console::setOutPrefix(const QString& prefix)
{
    outPrefix() = PrintableText::oneLine(prefix);
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
