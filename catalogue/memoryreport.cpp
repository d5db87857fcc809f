#include "catalogue/memoryreport.h"

#include "catalogue/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "link/wireformat.h"
#include "ui/mainwindowui.h"

void requestMemoryReport()
{
    startOperation(Operation::Memory, WireFormat::commandFrame(WireFormat::Letter::Memory));
}

void handleMemoryReply(MainWindowUi &ui)
{
    using namespace CatalogueFormat;
    LinkState &link = linkState();
    if (link.rxBuffer.size() < MemoryReplySize)
        return;

    const MemoryFigures figures = decodeMemoryReply(link.rxBuffer);
    link.totalBytes = figures.totalBytes;
    link.usedBytes = figures.usedBytes;

    const GaugeSetting gauge = gaugeSetting(figures);
    ui.memory->setRange(0, gauge.maximum);
    ui.memory->setValue(gauge.value);
    ui.totalMemory->setText(QString::number(figures.totalBytes, 10));
    ui.availableMemory->setText(QString::number(freeBytes(figures), 10));

    link.rxBuffer.clear();
    requestListing();
}
