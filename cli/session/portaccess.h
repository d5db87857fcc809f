// What the command line knows about serial ports: the list `ports` prints,
// and the port a command uses when none is named. Whether this user may open
// a port, and why opening one failed, are the core's (PortOpening), shared
// with the window.
#ifndef PORTACCESS_H
#define PORTACCESS_H

#include "core/portdiscovery.h"
#include "core/portopening.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtSerialPort/QSerialPort>

#include <optional>


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
    // The receiver's port the window starts on, and spiffs-cli's choice
    // when it is the only candidate.
    bool preferred = false;
    bool listedBySystem = true; // else named in SPIFFS_MANAGER_PORTS
    PortAccess access = PortAccess::Usable;
    QString reason; // why it would not open, as opening says it; empty when it would
};

QString accessText(PortAccess access);
// "10c4:ea60", or empty without USB ids.
QString usbIdsText(const PortDescription &port);

// The system's ports, then those named in SPIFFS_MANAGER_PORTS, arranged as
// below.
QList<PortDescription> describePorts();
// The bridges marked (a macOS dial-in twin is not one) and the receiver's
// port the window starts on marked preferred; listed preferred first, then
// the other bridges, then the rest, each in the order given.
QList<PortDescription> arrangeForListing(const QList<PortDescription> &systemPorts,
                                         const QList<PortDescription> &namedByUser);

// The port a command uses when none is named: the one that may be the
// receiver (its bridge, the CP210x before other makes, or named in
// SPIFFS_MANAGER_PORTS); when none is, the only USB serial port, said on
// standard error.
struct PortChoice
{
    std::optional<QString> chosen;
    QString note;        // why chosen, when it is not plainly the receiver
    QString problem;     // why none was chosen
    QStringList details; // the candidates, or the ports seen: a line each
    QStringList ports;   // the candidates a choice was needed between
};
PortChoice choosePort(const QStringList &candidates, const QStringList &usbPorts, const QStringList &seen,
                      PortOpening::Desktop desktop = PortOpening::thisDesktop());
PortChoice choosePortAutomatically(const QList<PortDiscovery::SystemPort> &systemPorts, const QStringList &namedByUser);

#endif // PORTACCESS_H
