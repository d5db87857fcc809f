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

// The USB-to-UART bridges ESP32 boards come with. The receiver's own CP210x
// is first; the others are taken only when it is not there. The udev rule
// (packaging/70-spiffs-manager.rules) covers the same ids.
struct KnownBridge
{
    quint16 vendorId;
    quint16 productId;
    const char *chip;
};
inline constexpr KnownBridge KnownBridges[] = {
        {0x10C4, 0xEA60, "Silicon Labs CP210x"},
        {0x10C4, 0xEA70, "Silicon Labs CP2105"},
        {0x1A86, 0x7523, "WCH CH340"},
        {0x1A86, 0x55D4, "WCH CH9102"},
        {0x0403, 0x6001, "FTDI FT232R"},
        {0x0403, 0x6015, "FTDI FT231X"},
        {0x303A, 0x1001, "Espressif USB (ESP32-S2, ESP32-S3)"},
};

// What the rules below look at in a port the system lists. Plain values, so
// a test can describe ports no machine has.
struct SystemPort
{
    QString name;
    bool hasUsbIds = false; // vendor and product both known
    quint16 vendorId = 0;
    quint16 productId = 0;
    QString description; // Windows names a Bluetooth link only here

    static SystemPort from(const QSerialPortInfo &info);
};

// The known bridge with port's ids, or null.
const KnownBridge *knownBridge(const SystemPort &port);
// A serial link over Bluetooth (macOS's Bluetooth-Incoming-Port, Linux's
// rfcomm0, Windows' "Standard Serial over Bluetooth link"): never the
// receiver, which has none.
bool isBluetooth(const SystemPort &port);
// The ports with USB ids, dial-in twins and Bluetooth links left out.
QStringList usbSerialPorts(const QList<SystemPort> &systemPorts);

// QSerialPortInfo::availablePorts(), in its order.
QList<SystemPort> systemPorts();

// Names in a SPIFFS_MANAGER_PORTS value, separated as PATH is on this system.
QStringList portsFromEnvironmentValue(const QString &value);
// The names in the variable as this process sees it.
QStringList portsNamedByUser();

bool isBridgePortName(const QString &portName);
// By its USB ids (any known bridge) or by its name; macOS lists the bridge
// twice, as the call-out "cu." port and the dial-in "tty." one.
bool looksLikeReceiverBridge(const SystemPort &port);
// The receiver's own CP210x, by its ids or its macOS name.
bool isFirstChoiceBridge(const SystemPort &port);
bool looksLikeReceiverBridge(const QSerialPortInfo &info);

// macOS lists every USB serial device twice: the call-out "cu." port, the one
// to open, and the dial-in "tty." one, whose opening waits for a carrier the
// receiver never raises. names without the dial-in twin of a listed
// call-out port, in their order.
QStringList withoutDialInTwins(const QStringList &names);

// The system's ports that look like the bridge, dial-in twins left out:
// the receiver's own CP210x first, then the other known bridges, each in
// the system's order.
QStringList receiverBridges(const QList<SystemPort> &systemPorts);
// Those of them that are the receiver's own CP210x when there is one, else
// all of them.
QStringList bestBridges(const QList<SystemPort> &systemPorts);

// The ports that may be the receiver: the best bridges above, then every
// port named by the user.
QStringList receiverCandidates(const QList<SystemPort> &systemPorts, const QStringList &namedByUser);
QStringList receiverCandidates(const QList<QSerialPortInfo> &systemPorts, const QStringList &namedByUser);

// The port a list of the system's ports followed by the user's starts on,
// as an index into that list: one named exactly BridgePortName; else the
// first the user named; else the first bridge, the CP210x before the
// others; else the only USB serial port; else the first port that is
// neither a Bluetooth link nor a dial-in twin; else the first port. -1 for
// an empty list.
int preferredPortIndex(const QList<SystemPort> &systemPorts, const QStringList &namedByUser);

} // namespace PortDiscovery

#endif // PORTDISCOVERY_H
