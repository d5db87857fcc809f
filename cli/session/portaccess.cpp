#include "cli/session/portaccess.h"

#include "core/portdiscovery.h"
#include "core/receiverline.h"

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
    case PortAccess::LeftLocked:
        return QStringLiteral("locked by a program that has ended");
    case PortAccess::NotATerminal:
        return QStringLiteral("not a serial port");
    }
    return QString();
}

QString usbIdsText(const PortDescription &port)
{
    if (!port.hasUsbIds)
        return QString();
    return QStringLiteral("%1:%2").arg(port.vendorId, 4, 16, QLatin1Char('0')).arg(port.productId, 4, 16, QLatin1Char('0'));
}

namespace {

// As opening would find it, in the words opening would say it in.
void describeAccess(PortDescription &port)
{
    port.access = checkAccess(port.systemLocation);
    if (port.access != PortAccess::Usable)
        port.reason = PortOpening::accessReason(port.systemLocation, port.access).full;
}

} // namespace

QList<PortDescription> describePorts()
{
    QList<PortDescription> system;
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : available) {
        PortDescription port;
        port.name = info.portName();
        port.systemLocation = info.systemLocation();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        describeAccess(port);
        system << port;
    }
    QList<PortDescription> named;
    const QStringList namedByUser = PortDiscovery::portsNamedByUser();
    for (const QString &name : namedByUser) {
        PortDescription port;
        port.name = name;
        port.systemLocation = ReceiverLine::systemLocation(name);
        port.listedBySystem = false;
        describeAccess(port);
        named << port;
    }
    return arrangeForListing(system, named);
}

QList<PortDescription> arrangeForListing(const QList<PortDescription> &systemPorts,
                                         const QList<PortDescription> &namedByUser)
{
    QList<PortDiscovery::SystemPort> system;
    for (const PortDescription &port : systemPorts) {
        PortDiscovery::SystemPort described;
        described.name = port.name;
        described.hasUsbIds = port.hasUsbIds;
        described.vendorId = port.vendorId;
        described.productId = port.productId;
        described.description = port.description;
        system << described;
    }
    QStringList named;
    for (const PortDescription &port : namedByUser)
        named << port.name;

    const QStringList bridges = PortDiscovery::receiverBridges(system);
    QList<PortDescription> ports = systemPorts + namedByUser;
    for (PortDescription &port : ports) {
        port.receiverBridge = port.listedBySystem ? bridges.contains(port.name)
                                                  : PortDiscovery::isBridgePortName(QFileInfo(port.name).fileName());
    }
    // The window starts on the first port when no rule finds the receiver's;
    // that one is not marked.
    const QStringList usb = PortDiscovery::usbSerialPorts(system);
    const int preferred = PortDiscovery::preferredPortIndex(system, named);
    if (preferred >= 0) {
        PortDescription &port = ports[preferred];
        const bool onlyUsb = bridges.isEmpty() && usb == QStringList{port.name};
        port.preferred = port.receiverBridge || !port.listedBySystem || onlyUsb;
    }
    const auto rank = [](const PortDescription &port) { return port.preferred ? 0 : port.receiverBridge ? 1 : 2; };
    std::stable_sort(ports.begin(), ports.end(),
                     [&rank](const PortDescription &a, const PortDescription &b) { return rank(a) < rank(b); });
    return ports;
}

PortChoice choosePort(const QStringList &candidates, const QStringList &usbPorts, const QStringList &seen,
                      PortOpening::Desktop desktop)
{
    PortChoice choice;
    const QString bridge = QStringLiteral("USB %1:%2")
                                   .arg(PortDiscovery::BridgeVendorId, 4, 16, QLatin1Char('0'))
                                   .arg(PortDiscovery::BridgeProductId, 4, 16, QLatin1Char('0'));
    if (candidates.size() == 1) {
        choice.chosen = candidates.constFirst();
        return choice;
    }
    if (candidates.size() > 1) {
        choice.problem = QStringLiteral("several ports could be the receiver; choose one with -p:");
        choice.ports = candidates;
        for (const QString &candidate : candidates)
            choice.details << QStringLiteral("  ") + candidate;
        return choice;
    }
    const QStringList usb = PortDiscovery::withoutDialInTwins(usbPorts);
    if (usb.size() == 1) {
        choice.chosen = usb.constFirst();
        choice.note = QStringLiteral("using %1, the only USB serial port (none has the receiver's bridge ids, %2)")
                              .arg(usb.constFirst(), bridge);
        return choice;
    }
    if (usb.size() > 1) {
        choice.problem = QStringLiteral("no port has the receiver's bridge ids (%1), and several USB serial ports "
                                        "could be it; choose one with -p:")
                                 .arg(bridge);
        choice.ports = usb;
        for (const QString &name : usb)
            choice.details << QStringLiteral("  ") + name;
        return choice;
    }
    choice.problem = QStringLiteral("no port looks like the receiver's (%1 or %2); name one with -p or SPIFFS_PORT")
                             .arg(bridge, QLatin1String(PortDiscovery::BridgePortName));
    choice.details << (seen.isEmpty() ? QStringLiteral("spiffs-cli: the system lists no serial port: ")
                                                + PortOpening::noPortAdvice(desktop)
                                      : QStringLiteral("spiffs-cli: ports seen: %1").arg(seen.join(QStringLiteral(", "))));
    return choice;
}

PortChoice choosePortAutomatically(const QList<PortDiscovery::SystemPort> &systemPorts, const QStringList &namedByUser)
{
    QStringList seen;
    for (const PortDiscovery::SystemPort &port : systemPorts)
        seen << port.name;
    PortChoice choice = choosePort(PortDiscovery::receiverCandidates(systemPorts, namedByUser),
                                   PortDiscovery::usbSerialPorts(systemPorts), seen);
    // The receiver's own CP210x is taken over boards of other makes; say
    // which were passed over, in case one of them is the receiver.
    QStringList passedOver = PortDiscovery::receiverBridges(systemPorts);
    for (const QString &best : PortDiscovery::bestBridges(systemPorts))
        passedOver.removeAll(best);
    if (choice.chosen && choice.note.isEmpty() && !passedOver.isEmpty()) {
        choice.note = QStringLiteral("using %1, the receiver's CP210x bridge; %2 (another make of ESP32 bridge) "
                                     "left aside: -p names it")
                              .arg(*choice.chosen, passedOver.join(QStringLiteral(", ")));
    }
    return choice;
}
