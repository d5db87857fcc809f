#include "commands/execute.h"

#include "catalogue/filelisting.h"
#include "core/commandformat.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

using namespace CommandFormat;

void startExecute(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    const std::optional<QByteArray> deviceName = deviceNameForCommand(ui);
    if (!deviceName)
        return;
    // The device decides which types it opens; a name without one is refused here.
    if (!executable(*deviceName)) {
        refuse(ui.statusbar, QMessageBox::Information, QStringLiteral("unsupported file for execution"));
        return;
    }

    linkState().rxBuffer.clear();
    startOperation(Operation::Execute, executeRequest(*deviceName));
}

void handleExecuteReply(MainWindowUi &ui)
{
    switch (takeExecuteAnswer(linkState().rxBuffer)) {
    case ExecuteAnswer::Opened:
        ui.statusbar->showMessage(QStringLiteral("file opened on ESP32"), 0);
        break;
    case ExecuteAnswer::Unsupported:
        ui.statusbar->showMessage(QStringLiteral("ESP32: file unsupported"), 0);
        break;
    case ExecuteAnswer::Waiting:
    case ExecuteAnswer::Unclear:
        break;
    }
    linkState().currentOperation = Operation::Idle;
}
