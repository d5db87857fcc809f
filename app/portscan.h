// Filling the port list: the system's serial ports, then any named in
// SPIFFS_MANAGER_PORTS (how a pseudo-terminal, such as the emulator's, is
// reached: the system never lists those). The receiver's USB bridge is chosen
// when present, else the first port named in the variable, else the first.
#ifndef PORTSCAN_H
#define PORTSCAN_H

#include "core/portdiscovery.h"

class MainWindowUi;

using PortDiscovery::PortsVariable;
inline constexpr const char *PreferredPortName = PortDiscovery::BridgePortName;
using PortDiscovery::portsFromEnvironmentValue;

void scanPorts(MainWindowUi &ui);

#endif // PORTSCAN_H
