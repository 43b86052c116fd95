#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>

// Text out of the tool, always UTF-8 whatever the locale, one message per line:
// the window's texts end with "\n" and are printed without a blank line after.
// Every control character but the line break is shown escaped (PrintableText);
// a text from a board is made one line where it is put into a message.
//
// Standard error carries three kinds of text: failures (err, note), which
// --quiet keeps and which make the message of a --json failure; progress and
// notes along the way (progress, remark), which --quiet drops; and what is
// kept without being part of a failure's message (aside, trace).
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
    // A failure and what explains it: standard error.
    static void err(const QString& text);
    // The tool's own words on a failure, prefixed with "quorvel-cli: ".
    static void note(const QString& text);
    // Progress, and notes prefixed with "quorvel-cli: ", unless quiet.
    static void progress(const QString& text);
    static void remark(const QString& text);
    // Standard error even when quiet, but no part of a failure's message
    // (a hint, or what was read before a board fell silent).
    static void aside(const QString& text);
    // One --trace line, stamped to the millisecond as the window's dump is.
    static void trace(const QString& line);
    // Bytes to standard output as they are (a configuration file sent to "-").
    static bool raw(const QByteArray& bytes);

    static void setQuiet(bool quiet);
    static bool quiet();

    // The failure of a run, for --json. Naming a step starts its message
    // afresh: what err() and note() print from then on.
    static void setStep(const QString& step);
    // Something beside the message a script can use (the readout, versions).
    static void setFailureField(const QString& key, const QJsonValue& value);
    // {"exitCode":4,"step":"identity","message":"..."} and the fields; the
    // failure is forgotten and counts as reported (a list's board object
    // carries it).
    static QJsonObject takeFailure(int exitCode);
    // The failure as one line on standard output, unless the exit code is no
    // failure or a list has carried its failures already.
    static void printFailure(int exitCode);
    // Forgets step, message and fields (a list's next board).
    static void resetFailure();
};
