#include "commands/format.h"

#include "catalogue/memoryreport.h"
#include "core/commandformat.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

using namespace CommandFormat;

void startFormat(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    ui.statusbar->showMessage(QStringLiteral("formatting , please wait..."), 0);
    if (!confirmedByUser(ui.statusbar, QStringLiteral("Please, confirm to format SPIFFS")))
        return;
    // The link may have gone while the question was open.
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;

    linkState().rxBuffer.clear();
    startOperation(Operation::Erase, formatRequest());
}

void handleFormatReply(MainWindowUi &ui)
{
    if (takeFormatAnswer(linkState().rxBuffer) == FormatAnswer::Formatted) {
        ui.statusbar->showMessage(QStringLiteral("file system ESP32 formatted"), 0);
        requestMemoryReport();
    }
}
