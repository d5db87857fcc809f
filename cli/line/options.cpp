#include "cli/line/options.h"

#include "cli/line/commandline.h"

#include <QtCore/QStringList>

const std::vector<OptionRow> &optionTable()
{
    static const std::vector<OptionRow> table = {
        {"p", "port", "PORT", ValueKind::Port, true,
         "the serial port, a name or a device path. Without it: $SPIFFS_PORT;\n"
         "else the one port that looks like the receiver's bridge (USB\n"
         "10c4:ea60 or cu.SLAB_USBtoUART) or is named in $SPIFFS_MANAGER_PORTS\n"
         "(separated as PATH is); else the only USB serial port. Opened at\n"
         "115200 baud, 8N1.", nullptr, &CommandLine::port,
         "The receiver's bridge is a Silicon Labs CP210x, USB 10c4:ea60, or a port\n"
         "named cu.SLAB_USBtoUART; when there is none, the bridge of another ESP32\n"
         "board: CP2105 10c4:ea70, CH340 1a86:7523, CH9102 1a86:55d4, FTDI 0403:6001 or\n"
         "0403:6015, the ESP32-S2's or S3's own USB 303a:1001. The only USB serial port,\n"
         "when taken, is named in a note. When there are several, they are listed (with\n"
         "--json, in the document's ports) and the exit status is 3. A port that does not\n"
         "open is named with the reason and what to do: no such port; busy, naming the\n"
         "program that holds it when its lock file does; locked by a program that has\n"
         "ended, naming the lock file and how to remove it; not a serial port; or no\n"
         "permission, with the group that owns the device file and, for the receiver's\n"
         "bridge only, the udev rule (to install, or, when it is installed, to let apply\n"
         "by plugging the receiver in again or logging in again)."},
        {"", "timeout", "S", ValueKind::Number, true,
         "seconds of silence from the receiver before giving up (default 5;\n"
         "format waits at least 120; 0 waits for ever)", nullptr, &CommandLine::timeoutText,
         "The command then names the file and how many bytes had passed. Silence from the\n"
         "very first request also says where to look (the port, another program, a trace).\n"
         "A request that met silence is never sent again; the next one waits until what\n"
         "may still come of the last has passed. A port whose device file has gone\n"
         "meanwhile (an adapter unplugged) ends the command as a lost line, exit 3. A\n"
         "memory report that cannot be the receiver's (more used than the total and its\n"
         "spare blocks, a total beyond 16 MiB) is asked once more, and ends it with exit\n"
         "status 1 if it comes again."},
        {"q", "quiet", "", ValueKind::None, true,
         "no progress line (drawn only when standard error is a terminal) and no\n"
         "notes on success; errors are still said", &CommandLine::quiet, nullptr,
         "The notes are such as \"identical\", \"erased\", \"verified\", \"saved as\" and\n"
         "\"stored as\"."},
        {"", "json", "", ValueKind::None, true,
         "one JSON document on a line for each command, also when it fails:\n"
         "its result, exitStatus, and error (kind and message) or null", &CommandLine::json, nullptr,
         "See JSON."},
        {"", "trace", "FILE", ValueKind::LocalFile, true,
         "writes every byte sent and received to FILE as it happens", nullptr, &CommandLine::traceFile,
         "A line per write (>) or read (<) with the microseconds since the port opened,\n"
         "the exchange (OPEN before the first request, IDLE between two), the byte count,\n"
         "and the bytes in hex and as text. Lines starting with \"#\" are comments.\n"
         "spiffs-emulator --replay FILE answers as the receiver did in it."},
        {"h", "help", "", ValueKind::None, true,
         "this help; COMMAND --help for a command's own (after ls and df, -h\n"
         "means --human-readable)", &CommandLine::help},
        {"", "version", "", ValueKind::None, true, "the program's version", &CommandLine::version},
        {"l", "long", "", ValueKind::None, false, "with sizes", &CommandLine::longListing},
        {"o", "output", "DIR", ValueKind::LocalFolder, false, "the folder to download into", nullptr, &CommandLine::outputFolder},
        {"", "verify", "", ValueKind::None, false, "download each file again and compare", &CommandLine::verify},
        {"y", "yes", "", ValueKind::None, false, "erase without asking", &CommandLine::yes},
        {"", "clean", "", ValueKind::None, false, "first remove the files the backup lacks", &CommandLine::clean},
        {"", "delete", "", ValueKind::None, false, "remove the receiver's files that DIR lacks", &CommandLine::deleteExtra},
        {"", "checksum", "", ValueKind::None, false, "compare same-size files byte for byte", &CommandLine::checksum},
        {"", "dry-run", "", ValueKind::None, false, "print the plan and change nothing", &CommandLine::dryRun},
        {"f", "force", "", ValueKind::None, false, "replace a file that is in the way", &CommandLine::force},
        {"", "human-readable", "", ValueKind::None, false, "sizes in KiB and MiB", &CommandLine::humanReadable},
        {"", "manifest", "NAME", ValueKind::None, false,
         "restore the earlier backup DIR keeps as NAME (MANIFEST.DATE) instead of the newest", nullptr, &CommandLine::manifestName},
    };
    return table;
}

bool OptionRow::is(const char *name) const
{
    return qstrcmp(longName, name) == 0;
}

const OptionRow &optionNamed(const char *name)
{
    const std::vector<OptionRow> &table = optionTable();
    for (const OptionRow &option : table) {
        if (option.is(name))
            return option;
    }
    Q_UNREACHABLE();
    return table.front();
}

QString optionDisplayName(const OptionRow &option)
{
    return QStringLiteral("--") + QLatin1String(option.longName);
}

QStringList optionNames(const OptionRow &option)
{
    QStringList names;
    if (*option.shortName)
        names << QStringLiteral("-") + QLatin1String(option.shortName);
    names << optionDisplayName(option);
    if (option.is("human-readable"))
        names.prepend(QStringLiteral("-h"));
    return names;
}

QString optionSummary(const OptionRow &option)
{
    QString help = QString::fromLatin1(option.help).simplified();
    for (const QLatin1String end : {QLatin1String(". "), QLatin1String("; "), QLatin1String(": ")}) {
        const int at = help.indexOf(end);
        if (at > 0)
            help.truncate(at);
    }
    const int open = help.lastIndexOf(QLatin1Char('('));
    if (open > 0 && help.indexOf(QLatin1Char(')'), open) < 0)
        help = help.left(open).trimmed();
    while (help.endsWith(QLatin1Char(':')) || help.endsWith(QLatin1Char(';')) || help.endsWith(QLatin1Char(',')))
        help.chop(1);
    return help;
}

QStringList usageOptions()
{
    QStringList shown;
    for (const OptionRow &option : optionTable()) {
        if (!option.global || option.flag == &CommandLine::help || option.flag == &CommandLine::version)
            continue;
        QString text = optionNames(option).constFirst();
        if (*option.valueName)
            text += QLatin1Char(' ') + QLatin1String(option.valueName);
        shown << text;
    }
    return shown;
}
