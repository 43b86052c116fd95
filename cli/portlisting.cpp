#include "portlisting.h"

#include "console.h"
#include "exitcode.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue textOrNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

QStringList PortListing::lines(const QList<SerialPortCatalog::Entry>& entries)
{
    QStringList out;
    for (const SerialPortCatalog::Entry& entry : entries) {
        const SerialPortCatalog::SystemView::Port& port = entry.port;
        QStringList known;
        if (!port.description.isEmpty())
            known << port.description;
        if (!port.manufacturer.isEmpty())
            known << port.manufacturer;
        if (!port.serialNumber.isEmpty())
            known << QStringLiteral("serial %1").arg(port.serialNumber);
        if (!port.vendorId.isEmpty())
            known << QStringLiteral("USB %1:%2").arg(port.vendorId, port.productId);
        out << (known.isEmpty() ? port.systemLocation
                                : QStringLiteral("%1  %2").arg(port.systemLocation, known.join(QStringLiteral(", "))));
        for (const QString& name : entry.byId + entry.symlinks)
            out << QStringLiteral("  ") + name;
    }
    return out;
}

QJsonArray PortListing::json(const QList<SerialPortCatalog::Entry>& entries)
{
    QJsonArray out;
    for (const SerialPortCatalog::Entry& entry : entries) {
        const SerialPortCatalog::SystemView::Port& port = entry.port;
        QJsonObject object;
        object.insert(QStringLiteral("port"), port.systemLocation);
        object.insert(QStringLiteral("name"), port.portName);
        object.insert(QStringLiteral("description"), textOrNull(port.description));
        object.insert(QStringLiteral("manufacturer"), textOrNull(port.manufacturer));
        object.insert(QStringLiteral("serialNumber"), textOrNull(port.serialNumber));
        object.insert(QStringLiteral("vendorId"), textOrNull(port.vendorId));
        object.insert(QStringLiteral("productId"), textOrNull(port.productId));
        object.insert(QStringLiteral("byId"), QJsonArray::fromStringList(entry.byId));
        object.insert(QStringLiteral("symlinks"), QJsonArray::fromStringList(entry.symlinks));
        out.append(object);
    }
    return out;
}

int PortListing::run(bool asJson)
{
    const QList<SerialPortCatalog::Entry> entries = SerialPortCatalog::entries(SerialPortCatalog::currentView());
    if (asJson) {
        Console::out(QString::fromUtf8(QJsonDocument(json(entries)).toJson(QJsonDocument::Compact)));
        return ExitCode::Ok;
    }
    if (entries.isEmpty())
        Console::note(QStringLiteral("no serial ports found"));
    for (const QString& line : lines(entries))
        Console::out(line);
    return ExitCode::Ok;
}
