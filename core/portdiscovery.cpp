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
    return port;
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
        const bool dialInTwin = name.startsWith(QLatin1String("tty.")) && names.contains(QLatin1String("cu.") + name.mid(4));
        if (!dialInTwin)
            kept << name;
    }
    return kept;
}

QStringList receiverBridges(const QList<SystemPort> &systemPorts)
{
    QStringList bridges;
    for (const SystemPort &port : systemPorts) {
        if (looksLikeReceiverBridge(port))
            bridges << port.name;
    }
    return withoutDialInTwins(bridges);
}

QStringList receiverCandidates(const QList<SystemPort> &systemPorts, const QStringList &namedByUser)
{
    QStringList candidates = receiverBridges(systemPorts);
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
    QStringList listed;
    for (const SystemPort &port : systemPorts)
        listed << port.name;
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
    return listed.isEmpty() ? -1 : 0;
}

} // namespace PortDiscovery
