#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Text out of the tool, always UTF-8 whatever the locale, one message per line:
// the window's texts end with "\n" and are printed without a blank line after.
// Every control character but the line break is shown escaped (PrintableText);
// a text from a board is made one line where it is put into a message.
class Console
{
public:
    // Results: standard output, or the sink while one is set (a list of
    // boards gathers each board's results into its JSON object).
    static void out(const QString& text);
    static void setOutSink(const std::function<void(const QString&)>& sink);
    // Put before every line of standard output while set (a list of boards
    // says which board each line is about).
    static void setOutPrefix(const QString& prefix);
    // Progress, diagnostics and failures: standard error.
    static void err(const QString& text);
    // The tool's own diagnostics, prefixed with "quorvel-cli: ".
    static void note(const QString& text);
    // Bytes to standard output as they are (a configuration file sent to "-").
    static bool raw(const QByteArray& bytes);
};
