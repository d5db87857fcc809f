#include "commands/format.h"

#include "catalogue/memoryreport.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "link/wireformat.h"
#include "ui/mainwindowui.h"

void startFormat(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    ui.statusbar->showMessage(QStringLiteral("formatting , please wait..."), 0);
    if (!confirmedByUser(QStringLiteral("Please, confirm to format SPIFFS"))) {
        ui.statusbar->showMessage(QString(), 0);
        return;
    }
    // The link may have gone while the question was open.
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;

    linkState().rxBuffer.clear();
    startOperation(Operation::Erase, WireFormat::commandFrame(WireFormat::Letter::Erase));
}

void handleFormatReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    if (link.rxBuffer.isEmpty())
        return;
    // The first byte is the answer; whatever came with it is dropped.
    const char answer = link.rxBuffer.at(0);
    link.rxBuffer.clear();
    if (answer == 'E') {
        ui.statusbar->showMessage(QStringLiteral("file system ESP32 formatted"), 0);
        requestMemoryReport();
    }
}
