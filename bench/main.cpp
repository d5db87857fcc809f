// spiffs-bench: the program's speed and memory against the emulated receiver
// on a real pseudo-terminal. See docs/performance.md for what each figure
// means and how it is taken.
//
//   spiffs-bench [--runs N] [--only GROUP,...]
//
// Groups: paced (or paced-download, paced-upload), unpaced (or
// unpaced-download, unpaced-upload), listing, startup, memory, cli (or
// cli-get, cli-put, cli-startup, cli-chain, cli-cat, cli-putverify), jobs (backup and
// restore), remainder (the first request after a cut download); all by
// default;
// and soak (memory over many cycles, --soak-cycles), only when named.
#include "affinity.h"
#include "benchclock.h"
#include "benchutil.h"
#include "clibench.h"
#include "jobbench.h"
#include "remainderbench.h"
#include "results.h"
#include "soakbench.h"
#include "windowbench.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTextStream>
#include <QtWidgets/QApplication>

#include <sys/utsname.h>
#include <thread>

using namespace Bench;

namespace {

// ---- the machine -------------------------------------------------------------

QString machineDescription()
{
    utsname system{};
    uname(&system);
    return QStringLiteral("cpu: %1\ncores: %2\nmemory: %3\nkernel: %4 %5\nqt: %6 (built with %7)\ncompiler: %8\n")
            .arg(firstMatch(QStringLiteral("/proc/cpuinfo"), QStringLiteral("model name")))
            .arg(std::thread::hardware_concurrency())
            .arg(firstMatch(QStringLiteral("/proc/meminfo"), QStringLiteral("MemTotal")))
            .arg(QString::fromLocal8Bit(system.sysname), QString::fromLocal8Bit(system.release))
            .arg(QString::fromLatin1(qVersion()), QStringLiteral(QT_VERSION_STR))
            .arg(QStringLiteral("gcc " __VERSION__));
}

// ---- targets ----------------------------------------------------------------------

void judge(Results &results)
{
    const auto atLeast = [&](const QString &name, double bound, const QString &text) {
        if (results.find(name) && !results.find(name)->samples.isEmpty())
            results.judge(name, text, results.median(name) >= bound);
    };
    const auto below = [&](const QString &name, double bound, const QString &text) {
        if (results.find(name) && !results.find(name)->samples.isEmpty())
            results.judge(name, text, results.median(name) < bound);
    };
    atLeast(QStringLiteral("download_paced_64k_efficiency"), 98, QStringLiteral(">= 98 %"));
    atLeast(QStringLiteral("download_paced_256k_efficiency"), 98, QStringLiteral(">= 98 %"));
    atLeast(QStringLiteral("upload_paced_64k_efficiency"), 97, QStringLiteral(">= 97 %"));
    atLeast(QStringLiteral("upload_paced_64k_of_ceiling"), 99, QStringLiteral(">= 99 %"));
    for (const char *size : {"64k", "1m", "4m"})
        atLeast(QStringLiteral("download_%1_of_bare_pty").arg(QLatin1String(size)), 50, QStringLiteral(">= 50 %"));
    atLeast(QStringLiteral("upload_of_bare_ping_pong"), 50, QStringLiteral(">= 50 %"));
    below(QStringLiteral("listing_10000_ms"), 50, QStringLiteral("< 50 ms"));
    if (results.find(QStringLiteral("listing_10000_over_1000")))
        results.judge(QStringLiteral("listing_10000_over_1000"), QStringLiteral("<= 12 x"),
                      results.median(QStringLiteral("listing_10000_over_1000")) <= 12);
    below(QStringLiteral("download_4m_peak_memory"), 12, QStringLiteral("< 12 MiB"));
    atLeast(QStringLiteral("cli_get_64k_efficiency"), 98, QStringLiteral(">= 98 %"));
    atLeast(QStringLiteral("cli_put_64k_of_ceiling"), 99, QStringLiteral(">= 99 %"));
    for (const char *store : {"sample", "50"}) {
        atLeast(QStringLiteral("cli_backup_%1_efficiency").arg(QLatin1String(store)), 95, QStringLiteral(">= 95 %"));
        atLeast(QStringLiteral("cli_restore_%1_efficiency").arg(QLatin1String(store)), 95, QStringLiteral(">= 95 %"));
    }
}

QtMessageHandler standardMessageHandler = nullptr;

// The offscreen platform says so for every window it shows.
void dropPlatformChatter(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    if (standardMessageHandler)
        standardMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    standardMessageHandler = qInstallMessageHandler(dropPlatformChatter);
    QApplication application(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Speed and memory of the program against the emulated receiver."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Measured runs per figure (default 5)."),
                                        QStringLiteral("N"), QStringLiteral("5"));
    const QCommandLineOption onlyOption(QStringLiteral("only"),
                                        QStringLiteral("Comma-separated groups: paced (or paced-download, paced-upload), "
                                                       "unpaced (or unpaced-download, unpaced-upload), listing, "
                                                       "startup, memory, cli (or cli-get, cli-put, cli-startup, cli-chain, cli-cat, cli-putverify), "
                                                       "jobs, "
                                                       "remainder, soak."),
                                        QStringLiteral("GROUPS"));
    const QCommandLineOption soakCyclesOption(QStringLiteral("soak-cycles"),
                                              QStringLiteral("Cycles of the soak group (default 200)."),
                                              QStringLiteral("N"), QStringLiteral("200"));
    const QCommandLineOption childOption(QStringLiteral("memory-child"),
                                         QStringLiteral("Internal: one download measured in this process."));
    const QCommandLineOption noPinOption(QStringLiteral("no-pin"),
                                         QStringLiteral("Let the scheduler place the program's and the device's "
                                                        "sides of an exchange (by default each has a CPU)."));
    parser.addOptions({runsOption, onlyOption, noPinOption, soakCyclesOption, childOption});
    parser.process(application);

    if (parser.isSet(childOption)) {
        const QStringList arguments = parser.positionalArguments();
        return arguments.size() == 3 ? memoryChild(arguments.at(0), arguments.at(1), arguments.at(2)) : 2;
    }

    const int runs = std::max(1, parser.value(runsOption).toInt());
    const QStringList groups = parser.isSet(onlyOption)
                                       ? parser.value(onlyOption).split(QLatin1Char(','), Qt::SkipEmptyParts)
                                       : QStringList{QStringLiteral("paced"), QStringLiteral("unpaced"),
                                                     QStringLiteral("listing"), QStringLiteral("startup"),
                                                     QStringLiteral("memory"), QStringLiteral("cli"),
                                                     QStringLiteral("jobs"), QStringLiteral("remainder")};
    QTemporaryDir work;
    if (!work.isValid()) {
        say(QStringLiteral("cannot make a temporary folder"));
        return 1;
    }

    Affinity::choose(!parser.isSet(noPinOption));
    const QString machine = machineDescription()
                            + (Affinity::programCpu() < 0
                                       ? QStringLiteral("pinning: none\n")
                                       : QStringLiteral("pinning: program's side on CPU %1, device's side on CPU %2\n")
                                                 .arg(Affinity::programCpu())
                                                 .arg(Affinity::deviceCpu()));
    const QString loadAtStart = loadAverage();
    say(machine + QStringLiteral("load average at start: ") + loadAtStart);

    Results results;
    const qint64 startNs = steadyNs();
    QStringList loads;
    QStringList steals;
    const CpuTicks ticksAtStart = cpuTicks();
    CpuTicks groupTicks = ticksAtStart;
    QString groupName;
    const auto closeGroup = [&] {
        const CpuTicks now = cpuTicks();
        if (!groupName.isEmpty())
            steals << QStringLiteral("%1 %2 %").arg(groupName).arg(stealPercent(groupTicks, now), 0, 'f', 1);
        groupTicks = now;
    };
    const auto group = [&](const QString &name) {
        closeGroup();
        groupName = name;
        loads << QStringLiteral("%1 %2").arg(name, loadAverage());
        return true;
    };
    const bool pacedDownloads = groups.contains(QStringLiteral("paced")) || groups.contains(QStringLiteral("paced-download"));
    const bool pacedUploads = groups.contains(QStringLiteral("paced")) || groups.contains(QStringLiteral("paced-upload"));
    if ((pacedDownloads || pacedUploads) && group(QStringLiteral("paced")))
        benchPaced(results, runs, work, pacedDownloads, pacedUploads);
    const bool unpacedDownloads = groups.contains(QStringLiteral("unpaced")) || groups.contains(QStringLiteral("unpaced-download"));
    const bool unpacedUploads = groups.contains(QStringLiteral("unpaced")) || groups.contains(QStringLiteral("unpaced-upload"));
    if ((unpacedDownloads || unpacedUploads) && group(QStringLiteral("unpaced")))
        benchUnpaced(results, runs, work, unpacedDownloads, unpacedUploads);
    if (groups.contains(QStringLiteral("listing")) && group(QStringLiteral("listing")))
        benchListing(results, runs);
    if (groups.contains(QStringLiteral("startup")) && group(QStringLiteral("startup")))
        benchStartup(results, runs, QStringLiteral(BENCH_LAUNCHER_PATH));
    if (groups.contains(QStringLiteral("memory")) && group(QStringLiteral("memory")))
        benchMemory(results, runs, work, QStringLiteral(EMULATOR_PATH));
    CliBenchGroups cli;
    cli.get = groups.contains(QStringLiteral("cli")) || groups.contains(QStringLiteral("cli-get"));
    cli.put = groups.contains(QStringLiteral("cli")) || groups.contains(QStringLiteral("cli-put"));
    cli.startup = groups.contains(QStringLiteral("cli")) || groups.contains(QStringLiteral("cli-startup"));
    cli.chain = groups.contains(QStringLiteral("cli")) || groups.contains(QStringLiteral("cli-chain"));
    cli.catMemory = groups.contains(QStringLiteral("cli")) || groups.contains(QStringLiteral("cli-cat"));
    cli.putVerifyMemory = groups.contains(QStringLiteral("cli")) || groups.contains(QStringLiteral("cli-putverify"));
    if ((cli.get || cli.put || cli.startup || cli.chain || cli.catMemory || cli.putVerifyMemory) && group(QStringLiteral("cli")))
        benchCli(results, runs, work.path(), cli);
    if (groups.contains(QStringLiteral("jobs")) && group(QStringLiteral("jobs")))
        benchJobs(results, runs, work.path());
    if (groups.contains(QStringLiteral("remainder")) && group(QStringLiteral("remainder")))
        benchRemainder(results, runs, work.path());
    if (groups.contains(QStringLiteral("soak")) && group(QStringLiteral("soak")))
        benchSoak(results, parser.value(soakCyclesOption).toInt(), work);
    closeGroup();
    judge(results);

    QTextStream out(stdout);
    out << '\n' << machine << "load average: " << loadAtStart << " at start, " << loadAverage() << " at end\n"
        << "load average as each group began: " << loads.join(QStringLiteral(", ")) << '\n'
        << "CPU time stolen by the host: " << QString::number(stealPercent(ticksAtStart, cpuTicks()), 'f', 1)
        << " % over the run; by group: " << steals.join(QStringLiteral(", ")) << '\n'
        << "runs: " << runs << " measured per figure; took " << (steadyNs() - startNs) / 1000000000 << " s\n\n"
        << results.report();
    return 0;
}
