#include "commands/execute.h"

#include "catalogue/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "link/wireformat.h"
#include "ui/mainwindowui.h"

void startExecute(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    const std::optional<QByteArray> deviceName = deviceNameForCommand(ui);
    if (!deviceName)
        return;
    // The device decides which types it opens; a name without one is refused here.
    const QByteArray path = WireFormat::devicePath(*deviceName);
    if (CatalogueFormat::fileExtension(CatalogueFormat::deviceNameText(path)).isEmpty()) {
        refuse(ui.statusbar, QMessageBox::Information, QStringLiteral("unsupported file for execution"));
        return;
    }

    linkState().rxBuffer.clear();
    startOperation(Operation::Execute,
                   WireFormat::commandFrame(WireFormat::Letter::Execute, WireFormat::devicePathField(path)));
}

void handleExecuteReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    if (link.rxBuffer.size() == 1) {
        if (link.rxBuffer.at(0) == 'X')
            ui.statusbar->showMessage(QStringLiteral("file opened on ESP32"), 0);
        else if (link.rxBuffer.at(0) == 'x')
            ui.statusbar->showMessage(QStringLiteral("ESP32: file unsupported"), 0);
    }
    // The first arrival ends the request, whatever it holds.
    link.rxBuffer.clear();
    link.currentOperation = Operation::Idle;
}
