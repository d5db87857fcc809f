#include "app/portscan.h"

#include "ui/mainwindowui.h"

void scanPorts(MainWindowUi &ui)
{
    scanPorts(ui, PortDiscovery::systemPorts());
}

void scanPorts(MainWindowUi &ui, const QList<PortDiscovery::SystemPort> &systemPorts)
{
    QComboBox *ports = ui.comboBox;
    ports->clear();
    for (const PortDiscovery::SystemPort &port : systemPorts)
        ports->addItem(port.name);
    const QStringList namedByUser = PortDiscovery::portsNamedByUser();
    ports->addItems(namedByUser);

    const int preferred = PortDiscovery::preferredPortIndex(systemPorts, namedByUser);
    if (preferred >= 0)
        ports->setCurrentIndex(preferred);
    ui.statusbar->showMessage(QStringLiteral("scan ports complete"), 0);
}
