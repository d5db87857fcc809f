#include "commands/reboot.h"

#include "core/commandformat.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

void startReboot(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    linkState().rxBuffer.clear();
    startOperation(Operation::Reboot, CommandFormat::rebootRequest());
    ui.statusbar->showMessage(QStringLiteral("ESP32 restarted"), 0);
}

void handleRebootReply(MainWindowUi &)
{
    // Later pieces of the boot banner arrive while idle and are dropped.
    LinkState &link = linkState();
    link.rxBuffer.clear();
    link.currentOperation = Operation::Idle;
}
