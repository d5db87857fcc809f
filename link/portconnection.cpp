#include "link/portconnection.h"

#include "link/answerwatch.h"
#include "link/linesettle.h"
#include "link/linetrace.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/statusfit.h"
#include "core/catalogueformat.h"
#include "core/linesettler.h"
#include "core/portopening.h"
#include "core/receiverline.h"
#include "core/remaindernote.h"
#include "ui/mainwindowui.h"

#include <QtCore/QDateTime>
#include <QtCore/QDebug>
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

// The receiver goes on sending a file or a list it has begun: what is still
// to come is kept for the next Connect, and left for any other program.
void keepCutReply()
{
    LinkState &link = linkState();
    // Cut while an earlier rest was passing: that rest is still due.
    if (link.settler && link.settler->isSettling() && link.settler->remainder())
        link.remainder = link.settler->remainder();
    else if (link.currentOperation == Operation::Download || link.currentOperation == Operation::List)
        link.remainder = cutRemainder(QDateTime::currentMSecsSinceEpoch());
    else
        return;
    link.remainderPort = link.serialPort.portName();
    // The window itself waits it out from what it keeps; another program
    // needs the note.
    if (const QString problem = RemainderNote::leave(link.remainderPort, *link.remainder); !problem.isEmpty())
        qWarning().noquote() << QStringLiteral("spiffs-manager: cannot leave other programs a note of what the receiver "
                                               "is still sending: %1").arg(problem);
}

enum class Closing { ByUser, LineLost };

void closeLink(MainWindowUi &ui, Closing closing)
{
    LinkState &link = linkState();
    // An unplugged receiver has lost its power: nothing more comes.
    if (closing == Closing::ByUser)
        keepCutReply();
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
    closeLink(ui, Closing::LineLost);
    ui.statusbar->showMessage(QStringLiteral("ESP32: connection lost"), 0);
}

// The reason after the port's name is the short one; the tooltip holds the
// whole, with the next step.
void showOpenFailure(MainWindowUi &ui, const QString &portName, const PortOpening::Reason &reason)
{
    const QString head = QStringLiteral("ESP32: can't use the port");
    const QString name = portName.isEmpty() ? QString() : QLatin1Char(' ') + portName;
    showFitted(ui.statusbar, head, name, QStringLiteral(": ") + reason.brief,
               head + name + QStringLiteral(": ") + reason.full);
}

// While the rest of a cut reply passes: the file's name gives way first.
void showWaiting(MainWindowUi &ui, const QString &text, const QString &name)
{
    const int at = name.isEmpty() ? -1 : int(text.indexOf(name));
    if (at < 0)
        return showFitted(ui.statusbar, text, QString(), QString(), text);
    showFitted(ui.statusbar, text.left(at), name, text.mid(at + name.size()), text);
}

// What this Connect waits out: the later of what a Disconnect here kept and
// a note another program left.
std::optional<ReplyRemainder> takeRemainder(const QString &portName, qint64 nowMs)
{
    LinkState &link = linkState();
    std::optional<ReplyRemainder> rest;
    if (RemainderNote::portKey(link.remainderPort) == RemainderNote::portKey(portName))
        rest = link.remainder;
    link.remainder.reset();
    link.remainderPort.clear();
    const std::optional<ReplyRemainder> noted = RemainderNote::take(portName, nowMs);
    if (noted && (!rest || Remainder::latestEndMs(*noted) > Remainder::latestEndMs(*rest)))
        rest = noted;
    if (rest && Remainder::isStale(*rest, nowMs))
        return std::nullopt;
    return rest;
}

} // namespace

bool togglePortConnection(MainWindowUi &ui, const ReplyTable &replyTable, const std::function<void()> &whenSettled)
{
    LinkState &link = linkState();
    emptyWindowFigures(ui);
    // Connect asks afresh; after a Disconnect, nothing is awaited.
    link.memoryAnswerAwaited = false;

    if (link.portOpen) {
        closeLink(ui, Closing::ByUser);
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
    QPointer<QWidget> window = ui.centralwidget->window();
    link.errorBinding = QObject::connect(
            &port, &QSerialPort::errorOccurred, &port,
            [window, &ui](QSerialPort::SerialPortError error) { onPortError(window, ui, error); },
            Qt::QueuedConnection);
    link.portOpen = true;
    armAnswerWatch(ui, replyTable);

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const std::optional<ReplyRemainder> remainder = takeRemainder(portName, now);
    QString waiting;
    if (remainder) {
        const QString name = CatalogueFormat::deviceNameText(remainder->name);
        showWaiting(ui, QStringLiteral("ESP32: ") + Remainder::waitText(*remainder, name, now), name);
        waiting = ui.statusbar->currentMessage();
    }
    settleThenBind(ui, replyTable, Exchange::Opening, remainder, [&ui, waiting, whenSettled] {
        if (!waiting.isEmpty() && ui.statusbar->currentMessage() == waiting)
            ui.statusbar->showMessage(QString(), 0);
        whenSettled();
    });
    return true;
}
