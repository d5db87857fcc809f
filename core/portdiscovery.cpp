#include "core/portdiscovery.h"

#include <QtCore/QDir>
#include <QtSerialPort/QSerialPortInfo>

#include <utility>

namespace PortDiscovery {

SystemPort SystemPort::from(const QSerialPortInfo &info)
{
    SystemPort port;
    port.name = info.portName();
    port.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
    port.vendorId = info.vendorIdentifier();
    port.productId = info.productIdentifier();
    port.description = info.description();
    return port;
}

const KnownBridge *knownBridge(const SystemPort &port)
{
    if (!port.hasUsbIds)
        return nullptr;
    for (const KnownBridge &bridge : KnownBridges) {
        if (bridge.vendorId == port.vendorId && bridge.productId == port.productId)
            return &bridge;
    }
    return nullptr;
}

bool isBluetooth(const SystemPort &port)
{
    return port.name.contains(QLatin1String("Bluetooth"), Qt::CaseInsensitive)
           || port.name.startsWith(QLatin1String("rfcomm"))
           || port.description.contains(QLatin1String("Bluetooth"), Qt::CaseInsensitive);
}

namespace {

bool isDialInTwin(const QString &name, const QStringList &names)
{
    return name.startsWith(QLatin1String("tty.")) && names.contains(QLatin1String("cu.") + name.mid(4));
}

QStringList namesOf(const QList<SystemPort> &ports)
{
    QStringList names;
    for (const SystemPort &port : ports)
        names << port.name;
    return names;
}

} // namespace

QStringList usbSerialPorts(const QList<SystemPort> &systemPorts)
{
    QStringList usb;
    for (const SystemPort &port : systemPorts) {
        if (port.hasUsbIds && !isBluetooth(port))
            usb << port.name;
    }
    return withoutDialInTwins(usb);
}

QList<SystemPort> systemPorts()
{
    QList<SystemPort> ports;
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : available)
        ports << SystemPort::from(info);
    return ports;
}

QStringList portsFromEnvironmentValue(const QString &value)
{
    return value.split(QDir::listSeparator(), Qt::SkipEmptyParts);
}

QStringList portsNamedByUser()
{
    return portsFromEnvironmentValue(qEnvironmentVariable(PortsVariable));
}

bool isBridgePortName(const QString &portName)
{
    return portName == QLatin1String(BridgePortName);
}

bool looksLikeReceiverBridge(const SystemPort &port)
{
    return knownBridge(port) != nullptr || isBridgePortName(port.name);
}

bool isFirstChoiceBridge(const SystemPort &port)
{
    if (port.hasUsbIds && port.vendorId == BridgeVendorId && port.productId == BridgeProductId)
        return true;
    return isBridgePortName(port.name);
}

bool looksLikeReceiverBridge(const QSerialPortInfo &info)
{
    return looksLikeReceiverBridge(SystemPort::from(info));
}

QStringList withoutDialInTwins(const QStringList &names)
{
    QStringList kept;
    for (const QString &name : names) {
        if (!isDialInTwin(name, names))
            kept << name;
    }
    return kept;
}

QStringList receiverBridges(const QList<SystemPort> &systemPorts)
{
    QStringList first;
    QStringList others;
    for (const SystemPort &port : systemPorts) {
        if (isFirstChoiceBridge(port))
            first << port.name;
        else if (looksLikeReceiverBridge(port))
            others << port.name;
    }
    return withoutDialInTwins(first + others);
}

QStringList bestBridges(const QList<SystemPort> &systemPorts)
{
    QList<SystemPort> first;
    for (const SystemPort &port : systemPorts) {
        if (isFirstChoiceBridge(port))
            first << port;
    }
    return receiverBridges(first.isEmpty() ? systemPorts : first);
}

QStringList receiverCandidates(const QList<SystemPort> &systemPorts, const QStringList &namedByUser)
{
    QStringList candidates = bestBridges(systemPorts);
    for (const QString &name : namedByUser) {
        if (!candidates.contains(name))
            candidates << name;
    }
    return candidates;
}

QStringList receiverCandidates(const QList<QSerialPortInfo> &systemPorts, const QStringList &namedByUser)
{
    QList<SystemPort> ports;
    for (const QSerialPortInfo &info : systemPorts)
        ports << SystemPort::from(info);
    return receiverCandidates(ports, namedByUser);
}

int preferredPortIndex(const QList<SystemPort> &systemPorts, const QStringList &namedByUser)
{
    QStringList listed = namesOf(systemPorts);
    listed << namedByUser;

    const int byName = int(listed.indexOf(QString::fromLatin1(BridgePortName)));
    if (byName >= 0)
        return byName;
    // A port the user named on purpose, rather than whatever the system lists.
    if (!namedByUser.isEmpty())
        return int(systemPorts.size());
    // On Linux and Windows the bridge has no telling name (ttyUSB0, COM3),
    // and the first port listed is often one that never answers (ttyS0).
    const QStringList bridges = receiverBridges(systemPorts);
    if (!bridges.isEmpty())
        return int(listed.indexOf(bridges.constFirst()));
    // An ESP32 board of a make not known here, as spiffs-cli takes it.
    const QStringList usb = usbSerialPorts(systemPorts);
    if (usb.size() == 1)
        return int(listed.indexOf(usb.constFirst()));
    const QStringList names = namesOf(systemPorts);
    for (int i = 0; i < systemPorts.size(); ++i) {
        if (!isBluetooth(systemPorts.at(i)) && !isDialInTwin(names.at(i), names))
            return i;
    }
    return listed.isEmpty() ? -1 : 0;
}

} // namespace PortDiscovery
