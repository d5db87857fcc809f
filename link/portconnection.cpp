#include "link/portconnection.h"

#include "link/linetrace.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "core/linesettler.h"
#include "core/portopening.h"
#include "core/receiverline.h"
#include "ui/mainwindowui.h"

#include <QtCore/QPointer>

namespace {

void emptyWindowFigures(MainWindowUi &ui)
{
    ui.statusbar->showMessage(QString(), 0);
    ui.tableWidget->clear();
    ui.memory->setValue(0);
    ui.totalMemory->setText(QStringLiteral("0"));
    ui.availableMemory->setText(QStringLiteral("0"));
}

void closeLink(MainWindowUi &ui)
{
    LinkState &link = linkState();
    ui.pushButton_3->setText(QStringLiteral("connect"));
    QObject::disconnect(link.readyReadBinding);
    QObject::disconnect(link.errorBinding);
    delete link.settler.data();
    delete link.answerWatch.data();
    ui.tableWidget->clear();
    ui.tableWidget->setRowCount(0);
    link.rxBuffer.clear();
    link.serialPort.close();
    link.portOpen = false;
}

// Handled from the event loop, not inside the port's own notification.
void onPortError(QPointer<QWidget> window, MainWindowUi &ui, QSerialPort::SerialPortError error)
{
    if (!ReceiverLine::meansLineLost(error) || !window || !linkState().portOpen)
        return;
    emptyWindowFigures(ui);
    closeLink(ui);
    ui.statusbar->showMessage(QStringLiteral("ESP32: connection lost"), 0);
}

// The reason is long for the status bar of a small window: its tooltip
// holds the whole text while it is shown.
void showOpenFailure(MainWindowUi &ui, const QString &portName, const QString &reason)
{
    static QMetaObject::Connection clearTip;
    QStatusBar *bar = ui.statusbar;
    const QString text = QStringLiteral("ESP32: can't use the port%1: %2")
                                 .arg(portName.isEmpty() ? QString() : QLatin1Char(' ') + portName, reason);
    bar->showMessage(text, 0);
    bar->setToolTip(text);
    QObject::disconnect(clearTip);
    clearTip = QObject::connect(bar, &QStatusBar::messageChanged, bar, [bar, text](const QString &shown) {
        if (shown != text)
            bar->setToolTip(QString());
    });
}

} // namespace

bool togglePortConnection(MainWindowUi &ui, const ReplyTable &replyTable, const std::function<void()> &whenSettled)
{
    LinkState &link = linkState();
    emptyWindowFigures(ui);

    if (link.portOpen) {
        closeLink(ui);
        return false;
    }

    QSerialPort &port = link.serialPort;
    const QString portName = ui.comboBox->currentText();
    port.setPortName(portName);
    ReceiverLine::applySettings(port);
    if (!port.open(QIODevice::ReadWrite)) {
        ui.pushButton_3->setText(QStringLiteral("connect"));
        showOpenFailure(ui, portName, PortOpening::failureReason(port, portName));
        return false;
    }
    traceOpenedPort(port, portName);

    ui.pushButton_3->setText(QStringLiteral("disconnect"));
    port.clear(QSerialPort::AllDirections);
    link.rxBuffer.clear();
    // A listing cut off by an earlier disconnect must not be measured against.
    link.listLength = 0;
    // Busy from the open on: the memory report is what the line waits for.
    link.currentOperation = Operation::Memory;
    // The branches reach the window's widgets; once it is gone they must not run.
    QPointer<QWidget> window = ui.centralwidget->window();
    link.errorBinding = QObject::connect(
            &port, &QSerialPort::errorOccurred, &port,
            [window, &ui](QSerialPort::SerialPortError error) { onPortError(window, ui, error); },
            Qt::QueuedConnection);
    link.portOpen = true;

    // The handler is bound only now, so it never sees what the settle drops;
    // bound before the request goes out, so no reply byte can be missed.
    delete link.settler.data();
    link.settler = new LineSettler(&port, window);
    QObject::connect(link.settler, &LineSettler::settled, link.settler, [window, replyTable, whenSettled] {
        LinkState &link = linkState();
        link.readyReadBinding = QObject::connect(&link.serialPort, &QSerialPort::readyRead, &link.serialPort,
                                                 [window, replyTable] {
                                                     if (window)
                                                         onReadyRead(replyTable);
                                                 });
        emit link.notifier.replyHandlerBound();
        // Its work is done; a disconnect before its turn deletes it sooner.
        link.settler->deleteLater();
        whenSettled();
    });
    link.settler->start();
    return true;
}
