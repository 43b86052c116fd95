#pragma once

#include "tessarin_export.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The transport through which every exchange with the board travels. Callers
// pass bare payloads; any framing is added and removed inside the transport.
class TESSARIN_EXPORT Connector
{
public:
    using DumpCallback = std::function<void(const QString&)>;

    Connector();
    Connector(const Connector& other);
    Connector& operator=(const Connector& other);
    virtual ~Connector();

    virtual void setDevID(unsigned char id) = 0;
    // Bytes handed to the line, or -1 on failure.
    virtual int write(const QByteArray& data) = 0;
    // The reply payload, or empty on time-out or failure.
    virtual QByteArray read() = 0;

    int getTimeout() const;
    void setTimeout(int ms);

    void setDumpCallback(const DumpCallback& cb);
    void clearDumpCallback();

protected:
    void emitDump(const QString& line) const;

private:
    int timeout;
    DumpCallback dumpCallback;
};
