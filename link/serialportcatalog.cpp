#include "serialportcatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

const char* const SerialPortCatalog::byIdFolder = "/dev/serial/by-id";

namespace {

QString barText(const char* text)
{
    return QCoreApplication::translate("Tessarin", text);
}

QString hexId(bool known, quint16 id)
{
    return known ? QString::number(id, 16).rightJustified(4, QLatin1Char('0')) : QString();
}

// The symlinks of one folder with the nodes they resolve to; /dev also holds
// links to things that are no serial port (stdin, fd, ...), which resolve to
// none of the ports and drop out later.
void addLinks(const QString& folder, QList<SerialPortCatalog::SystemView::Link>* links)
{
    const QFileInfoList found = QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& info : found) {
        if (!info.isSymLink())
            continue;
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            links->append({ info.absoluteFilePath(), target });
    }
}

QString toolTipOf(const SerialPortCatalog::SystemView::Port& port)
{
    QStringList lines;
    if (!port.description.isEmpty())
        lines << port.description;
    if (!port.manufacturer.isEmpty())
        lines << barText("Производитель: %1").arg(port.manufacturer);
    if (!port.serialNumber.isEmpty())
        lines << barText("Серийный номер: %1").arg(port.serialNumber);
    if (!port.vendorId.isEmpty())
        lines << QStringLiteral("USB %1:%2").arg(port.vendorId, port.productId);
    lines << port.systemLocation;
    return lines.join(QLatin1Char('\n'));
}

} // namespace

SerialPortCatalog::SystemView SerialPortCatalog::currentView()
{
    SystemView view;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : ports) {
        view.ports.append({ info.portName(), info.systemLocation(), info.description(), info.manufacturer(),
                            info.serialNumber(), hexId(info.hasVendorIdentifier(), info.vendorIdentifier()),
                            hexId(info.hasProductIdentifier(), info.productIdentifier()) });
    }
    addLinks(QLatin1String(byIdFolder), &view.links);
    addLinks(QStringLiteral("/dev"), &view.links);
    return view;
}

QList<SerialPortCatalog::Entry> SerialPortCatalog::entries(const SystemView& view)
{
    const QString byIdPrefix = QLatin1String(byIdFolder) + QLatin1Char('/');
    QList<Entry> result;
    for (const SystemView::Port& port : view.ports) {
        Entry entry;
        entry.port = port;
        for (const SystemView::Link& link : view.links) {
            if (link.target == port.systemLocation && link.path != port.systemLocation)
                (link.path.startsWith(byIdPrefix) ? entry.byId : entry.symlinks).append(link.path);
        }
        entry.byId.sort();
        entry.byId.removeDuplicates();
        entry.symlinks.sort();
        entry.symlinks.removeDuplicates();
        result.append(entry);
    }
    return result;
}

QList<SerialPortCatalog::Choice> SerialPortCatalog::choices(const QList<Entry>& entries)
{
    QList<Choice> result;
    for (const Entry& entry : entries)
        result.append({ entry.port.portName, toolTipOf(entry.port) });
    for (const Entry& entry : entries) {
        const QString toolTip = barText("Другое имя порта %1").arg(entry.port.portName) + QLatin1Char('\n')
            + toolTipOf(entry.port);
        for (const QString& name : entry.byId + entry.symlinks)
            result.append({ name, toolTip });
    }
    return result;
}

QString SerialPortCatalog::device(const QString& portName)
{
    if (!portName.startsWith(QLatin1Char('/')))
        return portName;
    const QFileInfo info(portName);
    if (!info.isSymLink())
        return portName;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? portName : target;
}
