#include "catalogue/memoryreport.h"

#include "core/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

using namespace CatalogueFormat;

void requestMemoryReport()
{
    startOperation(Operation::Memory, memoryRequest());
}

void handleMemoryReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    const std::optional<MemoryFigures> figures = takeMemoryReply(link.rxBuffer);
    if (!figures)
        return;
    link.totalBytes = figures->totalBytes;
    link.usedBytes = figures->usedBytes;

    const GaugeSetting gauge = gaugeSetting(*figures);
    ui.memory->setRange(0, gauge.maximum);
    ui.memory->setValue(gauge.value);
    ui.totalMemory->setText(QString::number(figures->totalBytes, 10));
    ui.availableMemory->setText(QString::number(freeBytes(*figures), 10));
    requestListing();
}
