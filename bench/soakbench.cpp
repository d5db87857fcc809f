#include "soakbench.h"

#include "benchline.h"
#include "benchutil.h"
#include "programdriver.h"
#include "results.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtGui/QPixmapCache>

#include <malloc.h>

using namespace Bench;

namespace {

constexpr int WarmUpCycles = 10;
constexpr int Quarters = 4;

// Bytes malloc has handed out and not had back, mapped blocks included.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

qint64 residentKiB()
{
    return firstMatch(QStringLiteral("/proc/self/status"), QStringLiteral("VmRSS")).section(QLatin1Char(' '), 0, 0).toLongLong();
}

struct Sample
{
    qint64 heap = 0;
    qint64 residentKiB = 0;
};

Sample sample()
{
    return Sample{heapInUse(), residentKiB()};
}

} // namespace

void benchSoak(Results &results, int cycles, QTemporaryDir &work)
{
    cycles = std::max(cycles, WarmUpCycles + Quarters);
    say(QStringLiteral("soak: %1 cycles of upload, download, compare, reconnect; the pixmap cache capped at 1 KiB "
                       "so that the file dialogs' icons do not count")
                .arg(cycles));
    QPixmapCache::setCacheLimit(1);
    EngineOptions options;
    BenchLine line(options);
    if (!line.start()) {
        say(QStringLiteral("soak: cannot open a pseudo-terminal"));
        return;
    }
    ProgramDriver program(line.portName());
    if (!program.connectAndWait()) {
        say(QStringLiteral("soak: the program did not connect"));
        return;
    }
    const QString uploads = work.filePath(QStringLiteral("soak-uploads"));
    const QString downloads = work.filePath(QStringLiteral("soak-downloads"));
    QDir().mkpath(uploads);
    QDir().mkpath(downloads);

    Figure &heap = results.add(QStringLiteral("soak_heap_bytes_per_cycle"),
                               QStringLiteral("heap kept per cycle, by quarter"), QStringLiteral("B"));
    Figure &resident = results.add(QStringLiteral("soak_resident_kib_per_100_cycles"),
                                   QStringLiteral("resident memory kept per 100 cycles, by quarter"),
                                   QStringLiteral("KiB"));
    Figure &trend = results.add(QStringLiteral("soak_heap_last_over_first_quarter"),
                                QStringLiteral("heap kept, last quarter / first"), QStringLiteral("x"));

    const int judged = cycles - WarmUpCycles;
    QVector<Sample> marks;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        const QByteArray content = fileContent(1000 + (cycle % 7) * 900, quint32(cycle));
        const QString name = QStringLiteral("soak-%1.bin").arg(cycle % 3);
        const QString local = QDir(uploads).filePath(name);
        if (!writeFile(local, content) || !program.upload(local, TimeoutMs).ok || !program.waitUntilIdle()
            || !program.selectFile(name) || !program.download(downloads, TimeoutMs).ok) {
            say(QStringLiteral("soak: cycle %1 did not finish (%2)").arg(cycle).arg(program.statusText()));
            return;
        }
        QFile copy(QDir(downloads).filePath(name));
        if (!copy.open(QIODevice::ReadOnly) || copy.readAll() != content) {
            say(QStringLiteral("soak: cycle %1 brought back other bytes").arg(cycle));
            return;
        }
        copy.close();
        if (!program.relist(TimeoutMs).ok) {
            say(QStringLiteral("soak: cycle %1 did not reconnect").arg(cycle));
            return;
        }
        const int done = cycle + 1 - WarmUpCycles;
        if (done >= 0 && done % (judged / Quarters) == 0 && marks.size() <= Quarters)
            marks << sample();
    }

    for (int quarter = 1; quarter < marks.size(); ++quarter) {
        const double perQuarter = judged / Quarters;
        heap.samples.append(double(marks.at(quarter).heap - marks.at(quarter - 1).heap) / perQuarter);
        resident.samples.append(100.0 * double(marks.at(quarter).residentKiB - marks.at(quarter - 1).residentKiB) / perQuarter);
        say(QStringLiteral("  quarter %1: heap %2 bytes (%3 per cycle), resident %4 KiB")
                    .arg(quarter)
                    .arg(marks.at(quarter).heap)
                    .arg(heap.samples.constLast(), 0, 'f', 0)
                    .arg(marks.at(quarter).residentKiB));
    }
    if (heap.samples.size() == Quarters && heap.samples.constFirst() > 0)
        trend.samples.append(heap.samples.constLast() / heap.samples.constFirst());
}
