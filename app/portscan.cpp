#include "app/portscan.h"

#include "ui/mainwindowui.h"

#include <QtCore/QDir>
#include <QtSerialPort/QSerialPortInfo>

QStringList portsFromEnvironmentValue(const QString &value)
{
    return value.split(QDir::listSeparator(), Qt::SkipEmptyParts);
}

void scanPorts(MainWindowUi &ui)
{
    QComboBox *ports = ui.comboBox;
    ports->clear();
    const QList<QSerialPortInfo> available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : available)
        ports->addItem(info.portName());
    ports->addItems(portsFromEnvironmentValue(qEnvironmentVariable(PortsVariable)));

    const int preferred = ports->findText(QLatin1String(PreferredPortName), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (preferred >= 0)
        ports->setCurrentIndex(preferred);
    ui.statusbar->showMessage(QStringLiteral("scan ports complete"), 0);
}
