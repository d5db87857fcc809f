// Which serial port is the receiver's: shared by the window's port list and
// the command line's choice, so both find the same port. Qt Core and
// SerialPort only.
#ifndef PORTDISCOVERY_H
#define PORTDISCOVERY_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

class QSerialPortInfo;

namespace PortDiscovery {

// Ports the system does not enumerate (a pseudo-terminal such as the
// emulator's) are named in this variable, separated as PATH is.
inline constexpr char PortsVariable[] = "SPIFFS_MANAGER_PORTS";

// The name macOS gives the receiver's USB-to-UART bridge.
inline constexpr char BridgePortName[] = "cu.SLAB_USBtoUART";

// The bridge itself: a Silicon Labs CP210x.
inline constexpr quint16 BridgeVendorId = 0x10C4;
inline constexpr quint16 BridgeProductId = 0xEA60;

// What the rules below look at in a port the system lists. Plain values, so
// a test can describe ports no machine has.
struct SystemPort
{
    QString name;
    bool hasUsbIds = false; // vendor and product both known
    quint16 vendorId = 0;
    quint16 productId = 0;

    static SystemPort from(const QSerialPortInfo &info);
};

// QSerialPortInfo::availablePorts(), in its order.
QList<SystemPort> systemPorts();

// Names in a SPIFFS_MANAGER_PORTS value, separated as PATH is on this system.
QStringList portsFromEnvironmentValue(const QString &value);
// The names in the variable as this process sees it.
QStringList portsNamedByUser();

bool isBridgePortName(const QString &portName);
// By its USB ids or by its name; macOS lists the bridge twice, as the
// call-out "cu." port and the dial-in "tty." one.
bool looksLikeReceiverBridge(const SystemPort &port);
bool looksLikeReceiverBridge(const QSerialPortInfo &info);

// macOS lists every USB serial device twice: the call-out "cu." port, the one
// to open, and the dial-in "tty." one, whose opening waits for a carrier the
// receiver never raises. names without the dial-in twin of a listed
// call-out port, in their order.
QStringList withoutDialInTwins(const QStringList &names);

// The system's ports that look like the bridge, in their order, dial-in
// twins left out.
QStringList receiverBridges(const QList<SystemPort> &systemPorts);

// The ports that may be the receiver: every bridge above, then every port
// named by the user.
QStringList receiverCandidates(const QList<SystemPort> &systemPorts, const QStringList &namedByUser);
QStringList receiverCandidates(const QList<QSerialPortInfo> &systemPorts, const QStringList &namedByUser);

// The port a list of the system's ports followed by the user's starts on,
// as an index into that list: one named exactly BridgePortName; else the
// first the user named; else the first bridge; else the first port. -1 for
// an empty list.
int preferredPortIndex(const QList<SystemPort> &systemPorts, const QStringList &namedByUser);

} // namespace PortDiscovery

#endif // PORTDISCOVERY_H
