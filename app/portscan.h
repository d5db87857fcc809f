// Filling the port list: the system's serial ports, then any named in
// SPIFFS_MANAGER_PORTS (how a pseudo-terminal, such as the emulator's, is
// reached: the system never lists those). The receiver's USB bridge is chosen
// when present, else the first port named in the variable, else the first.
#ifndef PORTSCAN_H
#define PORTSCAN_H

#include <QtCore/QString>
#include <QtCore/QStringList>

class MainWindowUi;

inline constexpr char PortsVariable[] = "SPIFFS_MANAGER_PORTS";
inline constexpr char PreferredPortName[] = "cu.SLAB_USBtoUART";

// Names in a SPIFFS_MANAGER_PORTS value, separated as PATH is on this system.
QStringList portsFromEnvironmentValue(const QString &value);

void scanPorts(MainWindowUi &ui);

#endif // PORTSCAN_H
