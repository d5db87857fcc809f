// The memory report: the device's capacity and bytes in use, shown in the
// gauge and the two space labels. Every change to the device's files ends
// with one, and it hands on to the file listing.
#ifndef MEMORYREPORT_H
#define MEMORYREPORT_H

class MainWindowUi;

void requestMemoryReport();

// How long the memory request Connect sends may go unanswered before the
// status bar says "ESP32: no answer" (a port with nothing on it, a receiver
// switched off). The link stays open and a later reply is still handled.
inline constexpr int NoAnswerMs = 3000;

// Connect's memory request, watched for an answer.
void requestFirstMemoryReport(MainWindowUi &ui);

// The MEMORY branch of the reply handler. A report that cannot be the
// receiver's (CatalogueFormat::memoryReportProblem) ends the operation with
// "ESP32: bad memory report" and empty figures, and asks for no listing.
void handleMemoryReply(MainWindowUi &ui);

#endif // MEMORYREPORT_H
