#pragma once

#include "clioptions.h"

#include <QSharedPointer>
#include <QString>

class Connector;

// Creates and opens the transport the options name, as the connection bar's
// connect handlers do: framed TCP or RS-485 with the device address, or bare
// USB COM at 115200 8N1. Every transport keeps its default time-out.
class LinkOpener
{
public:
    // The open transport, or null with `error` set.
    static QSharedPointer<Connector> open(const LinkOptions& options, QString* error);
};
