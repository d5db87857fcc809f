#include "commands/remove.h"

#include "core/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "catalogue/memoryreport.h"
#include "core/commandformat.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

using namespace CommandFormat;

void startRemove(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    const std::optional<QByteArray> deviceName = deviceNameForCommand(ui);
    if (!deviceName)
        return;
    const QString question = QStringLiteral("Do you want to delete %1?")
                                     .arg(CatalogueFormat::deviceNameText(*deviceName));
    if (!confirmedByUser(ui.statusbar, question))
        return;
    // The link may have gone while the question was open.
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;

    linkState().rxBuffer.clear();
    startOperation(Operation::Remove, removeRequest(*deviceName));
}

void handleRemoveReply(MainWindowUi &ui)
{
    switch (takeRemoveAnswer(linkState().rxBuffer)) {
    case RemoveAnswer::Removed:
        requestMemoryReport();
        ui.statusbar->showMessage(QStringLiteral("removing complete"), 0);
        break;
    case RemoveAnswer::Refused:
        ui.statusbar->showMessage(QStringLiteral("ESP32: can't remove the file"), 0);
        linkState().currentOperation = Operation::Idle;
        break;
    case RemoveAnswer::Waiting:
    case RemoveAnswer::Ignored:
        break;
    }
}
