#include "console.h"

#include "exitcode.h"
#include "printabletext.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QStringList>

#include <cstdio>

namespace {

QString& outPrefix()
{
    static QString prefix;
    return prefix;
}

QString withoutTrailingBreaks(QString text)
{
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

void printLine(FILE* stream, const QString& text, const QString& prefix = QString())
{
    QString line = withoutTrailingBreaks(PrintableText::lines(text));
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

struct Failure
{
    bool quiet = false;
    QString step;
    QStringList message;
    QJsonObject fields;
    bool reported = false;
};

Failure& failure()
{
    static Failure state;
    return state;
}

const QString notePrefix = QStringLiteral("quorvel-cli: ");

} // namespace

void Console::out(const QString& text)
{
    if (outSink()) {
        outSink()(withoutTrailingBreaks(text));
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
    failure().message << withoutTrailingBreaks(text);
    printLine(stderr, text);
}

void Console::note(const QString& text)
{
    failure().message << withoutTrailingBreaks(text);
    printLine(stderr, notePrefix + text);
}

void Console::progress(const QString& text)
{
    if (!failure().quiet)
        printLine(stderr, text);
}

void Console::remark(const QString& text)
{
    progress(notePrefix + text);
}

void Console::aside(const QString& text)
{
    printLine(stderr, text);
}

void Console::trace(const QString& line)
{
    // The form of the window's RX/TX dump, so the two read alike side by side.
    printLine(stderr, QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QStringLiteral("  ") + line);
}

bool Console::raw(const QByteArray& bytes)
{
    const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    return std::fflush(stdout) == 0 && ok;
}

void Console::setQuiet(bool quiet)
{
    failure().quiet = quiet;
}

bool Console::quiet()
{
    return failure().quiet;
}

void Console::setStep(const QString& step)
{
    failure().step = step;
    failure().message.clear();
}

void Console::setFailureField(const QString& key, const QJsonValue& value)
{
    failure().fields.insert(key, value);
}

QJsonObject Console::takeFailure(int exitCode)
{
    Failure& state = failure();
    QJsonObject object = state.fields;
    object.insert(QStringLiteral("exitCode"), exitCode);
    object.insert(QStringLiteral("step"), state.step);
    object.insert(QStringLiteral("message"), state.message.join(QLatin1Char('\n')));
    resetFailure();
    state.reported = true;
    return object;
}

void Console::printFailure(int exitCode)
{
    if (!ExitCode::isFailure(exitCode) || failure().reported)
        return;
    out(QString::fromUtf8(QJsonDocument(takeFailure(exitCode)).toJson(QJsonDocument::Compact)));
}

void Console::resetFailure()
{
    Failure& state = failure();
    state.step.clear();
    state.message.clear();
    state.fields = QJsonObject();
}
