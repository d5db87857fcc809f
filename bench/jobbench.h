// spiffs-cli's whole-receiver jobs as processes against spiffs-emulator
// --baud 115200: a backup against the wire time of the downloads it makes,
// a restore against the stop-and-wait bounds of the uploads it makes, for
// the sample store and for 50 files of 1 to 8 KiB.
#ifndef JOBBENCH_H
#define JOBBENCH_H

#include <QtCore/QString>

class Results;

void benchJobs(Results &results, int runs, const QString &workFolder);

#endif // JOBBENCH_H
