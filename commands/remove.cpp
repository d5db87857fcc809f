#include "commands/remove.h"

#include "catalogue/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "catalogue/memoryreport.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "link/wireformat.h"
#include "ui/mainwindowui.h"

void startRemove(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;
    const std::optional<QByteArray> deviceName = deviceNameForCommand(ui);
    if (!deviceName)
        return;
    const QString question = QStringLiteral("Do you want to delete %1?")
                                     .arg(CatalogueFormat::deviceNameText(*deviceName));
    if (!confirmedByUser(question)) {
        ui.statusbar->showMessage(QString(), 0);
        return;
    }
    // The link may have gone while the question was open.
    if (!commandGuardPasses(ui.statusbar, BusyMessage::Plain))
        return;

    linkState().rxBuffer.clear();
    startOperation(Operation::Remove,
                   WireFormat::commandFrame(WireFormat::Letter::Remove,
                                            WireFormat::devicePathField(WireFormat::devicePath(*deviceName))));
}

void handleRemoveReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    if (link.rxBuffer.isEmpty())
        return;
    // The first byte is the answer; whatever came with it is dropped.
    const char answer = link.rxBuffer.at(0);
    link.rxBuffer.clear();
    if (answer == 'R') {
        requestMemoryReport();
        ui.statusbar->showMessage(QStringLiteral("removing complete"), 0);
    } else if (answer == 'r') {
        ui.statusbar->showMessage(QStringLiteral("ESP32: can't remove the file"), 0);
        link.currentOperation = Operation::Idle;
    }
}
