// The rest of a download cut short: the window's Connect after a Disconnect
// mid-download, and spiffs-cli's next run after Ctrl-C on cat, against a
// receiver at 115200 baud that pauses 250 ms after every 2 KiB. How long
// each takes to its first request, against the time the rest takes on the
// line, and how long the line had been quiet when the request went out.
#ifndef REMAINDERBENCH_H
#define REMAINDERBENCH_H

#include <QtCore/QString>

class Results;

void benchRemainder(Results &results, int runs, const QString &workFolder);

#endif // REMAINDERBENCH_H
