#include "portaccess.h"

#include "core/portdiscovery.h"

#include <QtCore/QFileInfo>
#include <QtSerialPort/QSerialPortInfo>

#include <algorithm>

QString accessText(PortAccess access)
{
    switch (access) {
    case PortAccess::Usable:
        return QStringLiteral("ok");
    case PortAccess::Missing:
        return QStringLiteral("missing");
    case PortAccess::NoPermission:
        return QStringLiteral("no permission");
    case PortAccess::Busy:
        return QStringLiteral("busy");
    }
    return QString();
}

QString usbIdsText(const PortDescription &port)
{
    if (!port.hasUsbIds)
        return QString();
    return QStringLiteral("%1:%2").arg(port.vendorId, 4, 16, QLatin1Char('0')).arg(port.productId, 4, 16, QLatin1Char('0'));
}

QString systemLocationOf(const QString &portName)
{
#ifdef Q_OS_WIN
    if (portName.startsWith(QLatin1String("\\\\.\\")))
        return portName;
    return QStringLiteral("\\\\.\\") + portName;
#else
    // As QSerialPort reads a port name.
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    return QStringLiteral("/dev/") + portName;
#endif
}

PortAccess checkAccess(const QString &portName)
{
#ifdef Q_OS_WIN
    QSerialPort port(portName);
    if (port.open(QIODevice::ReadWrite)) {
        port.close();
        return PortAccess::Usable;
    }
    return port.error() == QSerialPort::DeviceNotFoundError ? PortAccess::Missing : PortAccess::Busy;
#else
    const QFileInfo device(systemLocationOf(portName));
    if (!device.exists())
        return PortAccess::Missing;
    if (!device.isReadable() || !device.isWritable())
        return PortAccess::NoPermission;
    return PortAccess::Usable;
#endif
}

QList<PortDescription> describePorts()
{
    QList<PortDescription> ports;
    const QList<QSerialPortInfo> systemPorts = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : systemPorts) {
        PortDescription port;
        port.name = info.portName();
        port.systemLocation = info.systemLocation();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        port.receiverBridge = PortDiscovery::looksLikeReceiverBridge(info);
        port.access = checkAccess(port.systemLocation);
        ports << port;
    }
    const QStringList namedByUser = PortDiscovery::portsNamedByUser();
    for (const QString &name : namedByUser) {
        PortDescription port;
        port.name = name;
        port.systemLocation = systemLocationOf(name);
        port.listedBySystem = false;
        port.receiverBridge = PortDiscovery::isBridgePortName(QFileInfo(name).fileName());
        port.access = checkAccess(name);
        ports << port;
    }
    std::stable_sort(ports.begin(), ports.end(), [](const PortDescription &a, const PortDescription &b) {
        return a.receiverBridge && !b.receiverBridge;
    });
    return ports;
}

QString openFailureReason(const QSerialPort &port, const QString &portName)
{
    switch (port.error()) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("no such port");
    case QSerialPort::PermissionError:
#ifndef Q_OS_WIN
        // Qt reports a port held by another program as a permission error
        // too; the device file's permissions tell the two apart.
        if (checkAccess(portName) == PortAccess::NoPermission)
            return QStringLiteral("no permission to use it (on Linux, join the group that owns %1, often dialout)")
                    .arg(systemLocationOf(portName));
#endif
        return QStringLiteral("busy: another program is using it");
    case QSerialPort::OpenError:
        return QStringLiteral("busy: it is already open");
    default:
        return port.errorString();
    }
}
