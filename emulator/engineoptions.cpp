#include "engineoptions.h"

#include <QtCore/QCommandLineParser>

namespace {

bool readNumber(const QString &text, qint64 minimum, qint64 maximum, qint64 *value)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok);
    if (!ok || number < minimum || number > maximum)
        return false;
    *value = number;
    return true;
}

} // namespace

ParsedArguments parseEmulatorArguments(const QStringList &arguments)
{
    ParsedArguments parsed;
    EngineOptions &options = parsed.options;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Plays an ESP32 SI473X receiver on a pseudo-terminal, for spiffs-manager.\n"
            "Prints the pseudo-terminal's path on the first line of standard output and\n"
            "serves until SIGINT or SIGTERM. After --hangup-after has closed the line, a\n"
            "new pseudo-terminal is opened and its path printed on the next line."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Prints the version."));
    const QCommandLineOption dir(QStringLiteral("dir"),
                                 QStringLiteral("Keeps the files in <folder>: loaded at start, written through. "
                                                "A spiffs-cli backup (a folder with its MANIFEST) serves the files "
                                                "its MANIFEST lists and stays a backup. Without it the store "
                                                "lives in memory and starts empty."),
                                 QStringLiteral("folder"));
    const QCommandLineOption capacity(
            QStringLiteral("capacity"),
            QStringLiteral("Total size of the file system in bytes (default %1). Space is counted in %2-byte "
                           "pages: one for each file's header, one per started %2 bytes of content.")
                    .arg(DeviceStore::DefaultCapacity)
                    .arg(SpiffsLayout::PageSize),
            QStringLiteral("bytes"));
    const QCommandLineOption spareBlocks(
            QStringLiteral("spare-blocks"),
            QStringLiteral("Reports a total <n> blocks of 4096 bytes smaller than the file system, as SPIFFS keeps "
                           "two blocks spare, while files may still fill them: a nearly full store then reports "
                           "more used than its total, as a full receiver does (default 0)."),
            QStringLiteral("n"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Paces bytes in both directions at <rate> bits per second, 10 "
                                                 "bits a byte (8N1). Default: no pacing."),
                                  QStringLiteral("rate"));
    const QCommandLineOption writeDelay(QStringLiteral("write-delay-us"),
                                        QStringLiteral("Flash write time: delays the acknowledgement of each "
                                                       "uploaded chunk by <us> microseconds."),
                                        QStringLiteral("us"));
    const QCommandLineOption openDelay(QStringLiteral("open-delay-ms"),
                                       QStringLiteral("Time to open a file: a download's answer starts <ms> "
                                                      "milliseconds after its request."),
                                       QStringLiteral("ms"));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Sends every reply in pieces of <n> bytes, each its own write."),
                                   QStringLiteral("n"));
    const QCommandLineOption gap(QStringLiteral("gap-ms"),
                                 QStringLiteral("Waits <ms> milliseconds between the pieces of a reply (with "
                                                "--split)."),
                                 QStringLiteral("ms"));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Carries out command <letter> but never answers it; may be "
                                                   "given more than once (M L D U u R E X Q)."),
                                    QStringLiteral("letter"));
    const QCommandLineOption garbage(QStringLiteral("garbage"),
                                     QStringLiteral("Sends stray bytes whenever the line has been quiet for a "
                                                    "while between exchanges, never inside a reply."));
    const QCommandLineOption hangUp(QStringLiteral("hangup-after"),
                                    QStringLiteral("Closes the line (a device unplugged) once <n> bytes have been "
                                                   "sent and read by the other side (or a second after they were "
                                                   "sent, when nobody reads)."),
                                    QStringLiteral("n"));
    const QCommandLineOption bootOnOpen(QStringLiteral("boot-on-open"),
                                        QStringLiteral("Restarts whenever a client opens the line, as a receiver whose "
                                                       "USB adapter resets the ESP32 through DTR and RTS: the boot "
                                                       "text goes out, bytes sent before the boot ends are lost."));
    const QCommandLineOption corrupt(QStringLiteral("corrupt"),
                                     QStringLiteral("Stores every upload of file <name> with one byte flipped (the "
                                                    "one at half its size), and logs it; may be given more than "
                                                    "once."),
                                     QStringLiteral("name"));
    const QCommandLineOption replay(QStringLiteral("replay"),
                                    QStringLiteral("Plays back the receiver recorded in <trace> (spiffs-cli --trace, "
                                                   "SPIFFS_TRACE): each recorded request is answered as it was, "
                                                   "the bytes read after the port opened go out when a client "
                                                   "opens the line; each opening plays the next connection "
                                                   "(\"# port\" comment) of the trace, after the last the last "
                                                   "again. Takes no other option but --verbose."),
                                    QStringLiteral("trace"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Logs every command and its answer on standard error, not only "
                                                    "the files opened by X."));
    parser.addOptions({help, version, dir, capacity, spareBlocks, baud, writeDelay, openDelay, split, gap, silent, garbage, hangUp, bootOnOpen, corrupt,
                       replay, verbose});
    parsed.helpText = parser.helpText();

    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(help)) {
        parsed.helpRequested = true;
        return parsed;
    }
    if (parser.isSet(version)) {
        parsed.versionRequested = true;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return parsed;
    }

    qint64 number = 0;
    const auto numberOption = [&](const QCommandLineOption &option, qint64 minimum, qint64 maximum) {
        if (!readNumber(parser.value(option), minimum, maximum, &number)) {
            parsed.error = QStringLiteral("--%1 takes a whole number from %2 to %3")
                                   .arg(option.names().constLast())
                                   .arg(minimum)
                                   .arg(maximum);
            return false;
        }
        return true;
    };

    if (parser.isSet(dir))
        options.folder = parser.value(dir);
    if (parser.isSet(capacity)) {
        if (!numberOption(capacity, 0, 0xFFFFFFFFLL))
            return parsed;
        options.capacity = quint32(number);
    }
    if (parser.isSet(spareBlocks)) {
        if (!numberOption(spareBlocks, 0, options.capacity / 4096))
            return parsed;
        options.spareBlocks = quint32(number);
    }
    if (parser.isSet(baud)) {
        if (!numberOption(baud, 1, 100000000))
            return parsed;
        options.baud = qint32(number);
    }
    if (parser.isSet(openDelay)) {
        if (!numberOption(openDelay, 0, 60000))
            return parsed;
        options.openDelayMs = int(number);
    }
    if (parser.isSet(writeDelay)) {
        if (!numberOption(writeDelay, 0, 60000000))
            return parsed;
        options.writeDelayUs = number;
    }
    if (parser.isSet(split)) {
        if (!numberOption(split, 1, 1 << 30))
            return parsed;
        options.splitBytes = int(number);
    }
    if (parser.isSet(gap)) {
        if (!numberOption(gap, 0, 60000))
            return parsed;
        options.gapMs = int(number);
    }
    for (const QString &letter : parser.values(silent)) {
        if (letter.size() != 1 || !QByteArray("MLDUuREXQ").contains(letter.at(0).toLatin1())) {
            parsed.error = QStringLiteral("--silent takes one command letter: M L D U u R E X Q");
            return parsed;
        }
        options.silentLetters.append(letter.at(0).toLatin1());
    }
    options.garbage = parser.isSet(garbage);
    if (parser.isSet(hangUp)) {
        if (!numberOption(hangUp, 0, 0x7FFFFFFFFFFFLL))
            return parsed;
        options.hangUpAfter = number;
    }
    options.bootOnOpen = parser.isSet(bootOnOpen);
    for (QString name : parser.values(corrupt)) {
        if (name.startsWith(QLatin1Char('/')))
            name.remove(0, 1);
        if (name.isEmpty()) {
            parsed.error = QStringLiteral("--corrupt takes the name of a file");
            return parsed;
        }
        options.corruptNames.append(name.toUtf8());
    }
    options.verbose = parser.isSet(verbose);
    if (parser.isSet(replay)) {
        options.replayTrace = parser.value(replay);
        for (const QCommandLineOption &other : {dir, capacity, spareBlocks, baud, writeDelay, openDelay, split, gap, silent, garbage, hangUp,
                                                bootOnOpen, corrupt}) {
            if (parser.isSet(other)) {
                parsed.error = QStringLiteral("--replay plays the trace as recorded: it takes no --%1")
                                       .arg(other.names().constLast());
                return parsed;
            }
        }
    }
    return parsed;
}
