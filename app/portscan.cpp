#include "app/portscan.h"

#include "ui/mainwindowui.h"

#include <QtSerialPort/QSerialPortInfo>

void scanPorts(MainWindowUi &ui)
{
    QComboBox *ports = ui.comboBox;
    ports->clear();
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : available)
        ports->addItem(info.portName());
    const int firstNamedByUser = ports->count();
    const QStringList namedByUser = PortDiscovery::portsNamedByUser();
    ports->addItems(namedByUser);

    // The receiver's own bridge first; else a port the user named on purpose
    // rather than whatever the system lists first.
    const int preferred = ports->findText(QLatin1String(PreferredPortName), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (preferred >= 0)
        ports->setCurrentIndex(preferred);
    else if (!namedByUser.isEmpty())
        ports->setCurrentIndex(firstNamedByUser);
    ui.statusbar->showMessage(QStringLiteral("scan ports complete"), 0);
}
