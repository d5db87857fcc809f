// The memory report: the device's capacity and bytes in use, shown in the
// gauge and the two space labels. Every change to the device's files ends
// with one, and it hands on to the file listing.
#ifndef MEMORYREPORT_H
#define MEMORYREPORT_H

class MainWindowUi;

void requestMemoryReport();

// The MEMORY branch of the reply handler. A report that cannot be the
// receiver's (CatalogueFormat::memoryReportProblem) ends the operation with
// "ESP32: bad memory report" and empty figures, and asks for no listing.
void handleMemoryReply(MainWindowUi &ui);

#endif // MEMORYREPORT_H
