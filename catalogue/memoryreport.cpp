#include "catalogue/memoryreport.h"

#include "core/catalogueformat.h"
#include "catalogue/filelisting.h"
#include "link/answerwatch.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "ui/mainwindowui.h"

using namespace CatalogueFormat;

namespace {

// More used than there is, or more than any flash holds: the figures are not
// the receiver's (most often another reply's bytes read as this one), and
// showing them would put 4294967295 bytes free beside the gauge and let an
// upload be measured against them. So they are refused as a bad file list
// is: no figures, no listing asked on them, and the operation over.
void refuseMemoryReport(MainWindowUi &ui)
{
    LinkState &link = linkState();
    link.totalBytes = 0;
    link.usedBytes = 0;
    ui.memory->setValue(0);
    ui.totalMemory->setText(QStringLiteral("0"));
    ui.availableMemory->setText(QStringLiteral("0"));
    link.currentOperation = Operation::Idle;
    ui.statusbar->showMessage(QStringLiteral("ESP32: bad memory report"), 0);
}

} // namespace

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
    if (!memoryReportProblem(*figures).isEmpty()) {
        refuseMemoryReport(ui);
        return;
    }
    link.totalBytes = figures->totalBytes;
    link.usedBytes = figures->usedBytes;
    // The answer came after all, late.
    if (ui.statusbar->currentMessage() == NoAnswerText)
        ui.statusbar->showMessage(QString(), 0);

    const GaugeSetting gauge = gaugeSetting(*figures);
    ui.memory->setRange(0, gauge.maximum);
    ui.memory->setValue(gauge.value);
    ui.totalMemory->setText(QString::number(figures->totalBytes, 10));
    ui.availableMemory->setText(QString::number(freeBytes(*figures), 10));
    requestListing();
}
