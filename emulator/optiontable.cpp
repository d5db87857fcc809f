#include "optiontable.h"

#include "devicestore.h"

#include <QtCore/QRegularExpression>

#include <type_traits>

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

QString wholeNumber(qint64 minimum, qint64 maximum)
{
    return QStringLiteral("a whole number from %1 to %2").arg(minimum).arg(maximum);
}

// The last value given, a whole number from Minimum to Maximum, into Member.
template <auto Member, qint64 Minimum, qint64 Maximum>
QString storeNumber(const QStringList &values, EngineOptions &options)
{
    qint64 number = 0;
    if (!readNumber(values.constLast(), Minimum, Maximum, &number))
        return wholeNumber(Minimum, Maximum);
    options.*Member = std::remove_reference_t<decltype(options.*Member)>(number);
    return QString();
}

template <auto Member>
QString storeFlag(const QStringList &, EngineOptions &options)
{
    options.*Member = true;
    return QString();
}

template <auto Member>
QString storeText(const QStringList &values, EngineOptions &options)
{
    options.*Member = values.constLast();
    return QString();
}

// No more blocks than the file system has: --capacity's row comes first.
QString storeSpareBlocks(const QStringList &values, EngineOptions &options)
{
    qint64 number = 0;
    if (!readNumber(values.constLast(), 0, options.capacity / 4096, &number))
        return wholeNumber(0, options.capacity / 4096);
    options.spareBlocks = quint32(number);
    return QString();
}

QString storeSilent(const QStringList &values, EngineOptions &options)
{
    for (const QString &letter : values) {
        if (letter.size() != 1 || !QByteArray("MLDUuREXQ").contains(letter.at(0).toLatin1()))
            return QStringLiteral("one command letter: M L D U u R E X Q");
        options.silentLetters.append(letter.at(0).toLatin1());
    }
    return QString();
}

QString storeCorrupt(const QStringList &values, EngineOptions &options)
{
    for (QString name : values) {
        if (name.startsWith(QLatin1Char('/')))
            name.remove(0, 1);
        if (name.isEmpty())
            return QStringLiteral("the name of a file");
        options.corruptNames.append(name.toUtf8());
    }
    return QString();
}

// Hyphens of the options named in text as troff's minus signs.
QString optionsAsMinus(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[a-z][a-z-]*"));
    QString troff;
    int at = 0;
    for (auto match = option.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        troff += text.mid(at, found.capturedStart() - at);
        troff += QString(found.captured()).replace(QLatin1Char('-'), QStringLiteral("\\-"));
        at = found.capturedEnd();
    }
    return troff + text.mid(at);
}

// The option's names in bold and its value in italics, as a tag.
QString manualTag(const EmulatorOptionRow &row)
{
    const QString longName = QStringLiteral("--%1").arg(QLatin1String(row.longName)).replace(QLatin1Char('-'), QStringLiteral("\\-"));
    const QString value = QString::fromLatin1(row.valueName).toUpper();
    if (!*row.shortName)
        return value.isEmpty() ? QStringLiteral(".B %1\n").arg(longName) : QStringLiteral(".BI %1 \" %2\"\n").arg(longName, value);
    const QString names = QStringLiteral(".BR \\-%1 \", \" %2").arg(QLatin1String(row.shortName), longName);
    return value.isEmpty() ? names + QLatin1Char('\n') : names + QStringLiteral(" \" \\fI%1\\fR\"\n").arg(value);
}

} // namespace

QString emulatorDescription()
{
    return QStringLiteral(
            "Plays an ESP32 SI473X receiver on a pseudo-terminal, for spiffs-manager.\n"
            "Prints the pseudo-terminal's path on the first line of standard output and\n"
            "serves until SIGINT or SIGTERM. After --hangup-after has closed the line, a\n"
            "new pseudo-terminal is opened and its path printed on the next line.");
}

const std::vector<EmulatorOptionRow> &emulatorOptionTable()
{
    static const std::vector<EmulatorOptionRow> table = {
        {"h", "help", "", QStringLiteral("Shows this help."), QStringLiteral("Prints the options and exits."), true, nullptr},
        {"", "version", "", QStringLiteral("Prints the version."), QStringLiteral("Prints its version and exits."), true,
         nullptr},
        {"", "dir", "folder",
         QStringLiteral("Keeps the files in <folder>: loaded at start, written through. A spiffs-cli backup (a folder "
                        "with its MANIFEST) serves the files its MANIFEST lists and stays a backup. Without it the "
                        "store lives in memory and starts empty."),
         QStringLiteral(
                 "Keeps the files in <folder>: loaded at start, every change written through. Uploads, removals and "
                 "formats change the files in it, so give it a copy to keep the original. A \"/\" in a name is "
                 "written `%2F` in the host file name, a \"%\" is written `%25` and a leading \".\" is written `%2E`. "
                 "Without it the store lives in memory and starts empty.\n"
                 "\n"
                 "A folder holding a `MANIFEST` written by `spiffs-cli backup` is served as that backup: the receiver "
                 "holds the files the `MANIFEST` lists, under the exact names and in the order it gives, read from "
                 "the paths it gives. `MANIFEST`, the staging folder *.spiffs-backup-incoming* and any file the "
                 "`MANIFEST` does not list are not the receiver's and are left as they are. An upload writes the "
                 "file at its path (a new name gets a path of its own, flat, as above, clear of every other path), a "
                 "removal or a format deletes the file, and after each change the `MANIFEST` is written afresh, so "
                 "that `spiffs-cli restore` takes the folder and gives back what the emulator held. A line whose "
                 "file is not served (one restore leaves out, one missing, changed since the backup, a link or "
                 "behind one, or without room) is named on standard error at start and kept in the `MANIFEST` as it "
                 "was. A `MANIFEST` that cannot be read (another format, a bad line, a path that leaves the folder, "
                 "a name or path given twice) is refused at start with its line."),
         false, storeText<&EngineOptions::folder>},
        {"", "capacity", "bytes",
         QStringLiteral("Total size of the file system in bytes (default %1). Space is counted in %2-byte pages: one "
                        "for each file's header, one per started %2 bytes of content.")
                 .arg(DeviceStore::DefaultCapacity)
                 .arg(SpiffsLayout::PageSize),
         QStringLiteral("The total size of the file system in bytes (default %1, what a typical 1.5 MB SPIFFS "
                        "partition reports).")
                 .arg(DeviceStore::DefaultCapacity),
         false, storeNumber<&EngineOptions::capacity, 0, 0xFFFFFFFFLL>},
        {"", "spare-blocks", "n",
         QStringLiteral("Reports a total <n> blocks of 4096 bytes smaller than the file system, as SPIFFS keeps two "
                        "blocks spare, while files may still fill them: a nearly full store then reports more used "
                        "than its total, as a full receiver does (default 0)."),
         QString(), false, storeSpareBlocks},
        {"", "baud", "rate",
         QStringLiteral("Paces bytes in both directions at <rate> bits per second, 10 bits a byte (8N1). Default: no "
                        "pacing."),
         QString(), false, storeNumber<&EngineOptions::baud, 1, 100000000>},
        {"", "write-delay-us", "us",
         QStringLiteral("Flash write time: delays the acknowledgement of each uploaded chunk by <us> microseconds."),
         QString(), false, storeNumber<&EngineOptions::writeDelayUs, 0, 60000000>},
        {"", "open-delay-ms", "ms",
         QStringLiteral("Time to open a file: a download's answer starts <ms> milliseconds after its request."),
         QStringLiteral("Time to open a file: a download's answer (its size, then its bytes) starts <ms> "
                        "milliseconds after the request, as a receiver that is slow to open a large file."),
         false, storeNumber<&EngineOptions::openDelayMs, 0, 60000>},
        {"", "split", "n", QStringLiteral("Sends every reply in pieces of <n> bytes, each its own write."), QString(),
         false, storeNumber<&EngineOptions::splitBytes, 1, 1 << 30>},
        {"", "gap-ms", "ms", QStringLiteral("Waits <ms> milliseconds between the pieces of a reply (with --split)."),
         QString(), false, storeNumber<&EngineOptions::gapMs, 0, 60000>},
        {"", "silent", "letter",
         QStringLiteral("Carries out command <letter> but never answers it; may be given more than once (M L D U u "
                        "R E X Q)."),
         QString(), false, storeSilent},
        {"", "garbage", "",
         QStringLiteral("Sends stray bytes whenever the line has been quiet for a while between exchanges, never "
                        "inside a reply."),
         QString(), false, storeFlag<&EngineOptions::garbage>},
        {"", "hangup-after", "n",
         QStringLiteral("Closes the line (a device unplugged) once <n> bytes have been sent and read by the other "
                        "side (or a second after they were sent, when nobody reads)."),
         QStringLiteral("Closes the line (a device unplugged) once <n> bytes have been sent and read by the other "
                        "side (or a second after they were sent, when nobody reads); then opens a new "
                        "pseudo-terminal and prints its path."),
         false, storeNumber<&EngineOptions::hangUpAfter, 0, 0x7FFFFFFFFFFFLL>},
        {"", "boot-on-open", "",
         QStringLiteral("Restarts whenever a client opens the line, as a receiver whose USB adapter resets the ESP32 "
                        "through DTR and RTS: the boot text goes out, bytes sent before the boot ends are lost."),
         QString(), false, storeFlag<&EngineOptions::bootOnOpen>},
        {"", "corrupt", "name",
         QStringLiteral("Stores every upload of file <name> with one byte flipped (the one at half its size), and "
                        "logs it; may be given more than once."),
         QString(), false, storeCorrupt},
        {"", "replay", "trace",
         QStringLiteral("Plays back the receiver recorded in <trace> (spiffs-cli --trace, SPIFFS_TRACE): each "
                        "recorded request is answered as it was, the bytes read after the port opened go out when a "
                        "client opens the line; each opening plays the next connection (\"# port\" comment) of the "
                        "trace, after the last the last again. Takes no other option but --verbose."),
         QStringLiteral(
                 "Plays back the receiver recorded in <trace>, a trace written by `spiffs-cli --trace` or by the "
                 "window with `SPIFFS_TRACE`, instead of a store: each recorded request is answered as it was, and "
                 "the bytes read after the port opened (the boot text) go out whenever a client opens the line. A "
                 "request recorded several times is answered as recorded each time, in order, and after that as the "
                 "last time. Each \"# port\" comment (the window writes one at every Connect) starts a connection of "
                 "its own: the first opening of the line plays the first connection, the next opening the next, and "
                 "once all are played every further opening plays the last again and says so on standard error. "
                 "Bytes that begin no recorded request are logged and dropped. Takes no other option but --verbose. "
                 "A trace that cannot be read is refused at start with the line at fault."),
         true, storeText<&EngineOptions::replayTrace>},
        {"", "verbose", "",
         QStringLiteral("Logs every command and its answer on standard error, not only the files opened by X."),
         QString(), true, storeFlag<&EngineOptions::verbose>},
    };
    return table;
}

QString troffText(const QString &text)
{
    static const QRegularExpression token(
            QStringLiteral("<([a-z]+)>|(?<![\\w-])--?[a-z][a-z-]*|\"|`([^`]*)`|\\*([^*]+)\\*|\\\\"));
    QString troff;
    bool quoted = false;
    int at = 0;
    for (auto match = token.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        troff += text.mid(at, found.capturedStart() - at);
        at = found.capturedEnd();
        const QString whole = found.captured();
        if (!found.captured(1).isEmpty())
            troff += QStringLiteral("\\fI%1\\fR").arg(found.captured(1).toUpper());
        else if (whole.startsWith(QLatin1Char('-')))
            troff += QStringLiteral("\\fB%1\\fR").arg(optionsAsMinus(whole));
        else if (whole == QLatin1String("\""))
            troff += (quoted = !quoted) ? QStringLiteral("\\(lq") : QStringLiteral("\\(rq");
        else if (whole.startsWith(QLatin1Char('`')))
            troff += QStringLiteral("\\fB%1\\fR").arg(optionsAsMinus(found.captured(2)));
        else if (whole.startsWith(QLatin1Char('*')))
            troff += QStringLiteral("\\fI%1\\fR").arg(found.captured(3));
        else
            troff += QStringLiteral("\\e");
    }
    troff += text.mid(at);

    QString lines;
    for (const QString &line : troff.split(QLatin1Char('\n'))) {
        if (line.isEmpty())
            lines += QStringLiteral(".IP\n");
        else if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            lines += QStringLiteral("\\&") + line + QLatin1Char('\n');
        else
            lines += line + QLatin1Char('\n');
    }
    return lines;
}

QString manualOptions()
{
    QString section;
    for (const bool printsOnly : {false, true}) {
        for (const EmulatorOptionRow &row : emulatorOptionTable()) {
            if ((row.store == nullptr) == printsOnly)
                section += QStringLiteral(".TP\n") + manualTag(row) + troffText(row.manual.isEmpty() ? row.help : row.manual);
        }
    }
    return section;
}

std::optional<QString> emulatorManualPage(const QString &source)
{
    const QString line = QLatin1String(OptionsMarker) + QLatin1Char('\n');
    if (!source.contains(line))
        return std::nullopt;
    return QString(source).replace(line, manualOptions());
}
