#include "commands/reboot.h"

#include "core/commandformat.h"
#include "core/linesettler.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

namespace {

// Fed by the reply handler, which stays bound and reads the line.
void startBootWatch(MainWindowUi &ui)
{
    LinkState &link = linkState();
    delete link.settler.data();
    link.settler = new LineSettler(nullptr, ui.centralwidget->window());
    QObject::connect(link.settler, &LineSettler::settled, link.settler, [] {
        LinkState &link = linkState();
        link.settler->deleteLater();
        if (link.currentOperation != Operation::Reboot)
            return;
        link.rxBuffer.clear();
        link.currentOperation = Operation::Idle;
        emit link.notifier.exchangeEnded();
    });
    link.settler->start(Exchange::Reboot);
}

} // namespace

void startReboot(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    linkState().rxBuffer.clear();
    startOperation(Operation::Reboot, CommandFormat::rebootRequest());
    ui.statusbar->showMessage(QStringLiteral("ESP32 restarted"), 0);
}

void handleRebootReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    if (!link.settler || !link.settler->isSettling())
        startBootWatch(ui);
    link.settler->takeArrival(link.rxBuffer);
    link.rxBuffer.clear();
}
