#pragma once

#include <QString>
#include <QtGlobal>

// Names the command behind each RX/TX dump line ("0x78 версия прошивки") for
// the dump's annotation column. A TX line names its own request code, framed
// or bare; RX lines name the request they answer, the last one sent.
class DumpAnnotator
{
public:
    // The note for one dump line as the transport wrote it ("TX len=.. hex=.."),
    // empty for any other line or a code without a name.
    QString annotate(const QString& line);

private:
    int lastRequest = -1;
};
