// Filling the port list: the system's serial ports, then any named in
// SPIFFS_MANAGER_PORTS (how a pseudo-terminal, such as the emulator's, is
// reached: the system never lists those). The port chosen is the core's
// choice (PortDiscovery::preferredPortIndex): the bridge's macOS name, else
// the first port named in the variable, else the first with the bridge's USB
// ids, else the first.
#ifndef PORTSCAN_H
#define PORTSCAN_H

#include "core/portdiscovery.h"

class MainWindowUi;

void scanPorts(MainWindowUi &ui);
// The same with the system's ports given, as a test describes them.
void scanPorts(MainWindowUi &ui, const QList<PortDiscovery::SystemPort> &systemPorts);

#endif // PORTSCAN_H
