#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Runs the built quorvel-cli once and collects what it said:
//
//   const CliProcess::Result r = CliProcess::run({ "--tcp", "127.0.0.1:4001", "info" });
//   QCOMPARE(r.exitCode, 0);
//   QVERIFY2(r.out.contains("VRELL_A"), qPrintable(r.describe()));
class CliProcess
{
public:
    struct Result
    {
        bool finished = false; // exited by itself within the time allowed
        int exitCode = -1;
        QString out;           // standard output, UTF-8
        QString err;           // standard error, UTF-8
        QByteArray rawOut;

        // Everything above in one text, for failure messages.
        QString describe() const;
    };

    // Where the built tool is; empty when the build has none.
    static QString programPath();

    // With `serveEvents` the test's own event loop runs while the tool does
    // (a socket of the test that the tool talks to keeps being served).
    static Result run(const QStringList& arguments, int timeoutMs = 120000, const QByteArray& input = QByteArray(),
                      bool serveEvents = false);
};
