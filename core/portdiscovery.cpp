#include "core/portdiscovery.h"

#include <QtCore/QDir>
#include <QtSerialPort/QSerialPortInfo>

#include <utility>

namespace PortDiscovery {

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

bool looksLikeReceiverBridge(const QSerialPortInfo &info)
{
    if (info.hasVendorIdentifier() && info.hasProductIdentifier() && info.vendorIdentifier() == BridgeVendorId
        && info.productIdentifier() == BridgeProductId)
        return true;
    return isBridgePortName(info.portName());
}

QStringList receiverCandidates(const QList<QSerialPortInfo> &systemPorts, const QStringList &namedByUser)
{
    QStringList bridges;
    for (const QSerialPortInfo &info : systemPorts) {
        if (looksLikeReceiverBridge(info))
            bridges << info.portName();
    }
    QStringList candidates;
    for (const QString &name : std::as_const(bridges)) {
        const bool dialInTwin = name.startsWith(QLatin1String("tty."))
                                && bridges.contains(QLatin1String("cu.") + name.mid(4));
        if (!dialInTwin)
            candidates << name;
    }
    for (const QString &name : namedByUser) {
        if (!candidates.contains(name))
            candidates << name;
    }
    return candidates;
}

} // namespace PortDiscovery
