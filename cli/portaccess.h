// What the command line knows about serial ports: the list `ports` prints,
// whether this user may open a port, and why opening one failed.
//
// Opening a real ESP32 board's port can restart it (its USB adapter drives
// the reset line), so on Unix the check looks at the device file's
// existence and permissions and never opens it. Windows keeps no such
// permissions: there the check opens the port and closes it at once.
#ifndef PORTACCESS_H
#define PORTACCESS_H

#include "core/portdiscovery.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

#include <optional>


enum class PortAccess { Usable, Missing, NoPermission, Busy };

struct PortDescription
{
    QString name;
    QString systemLocation;
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool hasUsbIds = false;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool receiverBridge = false;
    bool listedBySystem = true; // else named in SPIFFS_MANAGER_PORTS
    PortAccess access = PortAccess::Usable;
};

QString accessText(PortAccess access);
// "10c4:ea60", or empty without USB ids.
QString usbIdsText(const PortDescription &port);

PortAccess checkAccess(const QString &portName);

// The system's ports, then those named in SPIFFS_MANAGER_PORTS; ports that
// look like the receiver's bridge first.
QList<PortDescription> describePorts();

// Why port.open() failed for portName, in words a user can act on.
QString openFailureReason(const QSerialPort &port, const QString &portName);
// Without permission to use the device file: who may, and what to do.
QString permissionAdvice(const QString &systemLocation);

// The port a command uses when none is named: the one that may be the
// receiver (its bridge, or named in SPIFFS_MANAGER_PORTS); when none is,
// the only USB serial port, said on standard error.
struct PortChoice
{
    std::optional<QString> chosen;
    QString note;        // why chosen, when it is not plainly the receiver
    QString problem;     // why none was chosen
    QStringList details; // the candidates, or the ports seen: a line each
};
PortChoice choosePort(const QStringList &candidates, const QStringList &usbPorts, const QStringList &seen);
PortChoice choosePortAutomatically(const QList<PortDiscovery::SystemPort> &systemPorts, const QStringList &namedByUser);

#endif // PORTACCESS_H
