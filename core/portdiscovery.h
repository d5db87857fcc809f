// Which serial port is the receiver's: shared by the window's port list and
// the command line's choice, so both find the same port. Qt Core and
// SerialPort only.
#ifndef PORTDISCOVERY_H
#define PORTDISCOVERY_H

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

// Names in a SPIFFS_MANAGER_PORTS value, separated as PATH is on this system.
QStringList portsFromEnvironmentValue(const QString &value);
// The names in the variable as this process sees it.
QStringList portsNamedByUser();

bool isBridgePortName(const QString &portName);
// By its USB ids or by its name; macOS lists the bridge twice, as the
// call-out "cu." port and the dial-in "tty." one.
bool looksLikeReceiverBridge(const QSerialPortInfo &info);

// The ports that may be the receiver: every system port that looks like its
// bridge, then every port named by the user. The dial-in twin of a listed
// call-out port is left out, as opening it would wait for a carrier.
QStringList receiverCandidates(const QList<QSerialPortInfo> &systemPorts, const QStringList &namedByUser);

} // namespace PortDiscovery

#endif // PORTDISCOVERY_H
