#include "commandline.h"

#include <QtCore/QCommandLineParser>

namespace {

struct CommandHelp
{
    const char *name;
    const char *synopsis;
    const char *summary;
    const char *details;
};

const CommandHelp commands[] = {
    {"ports", "ports", "serial ports; the receiver's bridge first, marked *",
     "Lists the serial ports the system reports, then those named in SPIFFS_MANAGER_PORTS:\n"
     "name and device file, description, manufacturer, USB vendor:product, serial number,\n"
     "whether it looks like the receiver's bridge (a Silicon Labs CP210x, USB 10c4:ea60, or\n"
     "a port named cu.SLAB_USBtoUART), and whether you may open it now.\n"
     "\n"
     "Opening a port can restart an ESP32 board, so on Linux and macOS the check opens\n"
     "nothing: it reads the device file's permissions (\"no permission\", \"missing\").\n"
     "A port another program holds shows as \"busy\" only when a command opens it. On\n"
     "Windows, which keeps no such permissions, the check opens each port and closes it\n"
     "at once.\n"},
    {"df", "df", "total, used and free bytes", "The receiver's memory report: total, used and free bytes of its file system.\n"},
    {"ls", "ls [-l] [PATTERN...]", "file names (-l: with sizes)",
     "Lists the receiver's files in the order it keeps them; -l puts each size first.\n"
     "PATTERNs are matched here against whole names: * any characters (\"/\" too, the\n"
     "receiver's names are flat), ? one character, [abc] [a-z] [!abc] one of a set.\n"
     "Quote them, or the shell matches them against local files.\n"},
    {"get", "get NAME... [-o DIR]", "download files into DIR (default: here)",
     "Downloads each NAME into DIR under the window's local name for it (\"/\" and\n"
     "characters file systems refuse become \"-\": presets/sw.txt is saved as\n"
     "presets-sw.txt). A local file is replaced only by a complete download; after an\n"
     "error, a time-out or Ctrl-C, no partial file is left and an existing one is kept.\n"},
    {"cat", "cat NAME", "download a file to standard output", "Writes the content of NAME to standard output, byte for byte.\n"},
    {"put", "put FILE[:NAME]... [--verify]", "upload files",
     "Uploads each FILE, under NAME when given. Without NAME, the file's name is cleaned\n"
     "as the window does: only A-Z a-z 0-9 _ ' ( ) * + , - . are kept. A NAME given is\n"
     "sent exactly as written, and refused if it holds any other character than those\n"
     "and \"/\". Refused before anything is sent: a name longer than 30 bytes (31 with\n"
     "its leading \"/\"), a name with nothing before its first \".\" or nothing after it,\n"
     "and a file not smaller than the free space. A drive letter (C:\\x.txt) is part of\n"
     "FILE; a FILE that exists as written is never split at a \":\".\n"
     "--verify downloads each file again after the upload and compares it (exit 5 on a\n"
     "difference). Interrupted uploads may leave a partial file under NAME.\n"},
    {"rm", "rm NAME|PATTERN...", "remove files",
     "Removes each NAME, and every file a PATTERN matches (see ls --help). A PATTERN\n"
     "that matches nothing is an error, and then nothing is removed.\n"},
    {"format", "format [--yes]", "erase every file",
     "Erases the receiver's file system. Asks first when standard input is a terminal;\n"
     "otherwise refuses unless --yes is given. Waits at least 120 s for the answer.\n"},
    {"run", "run NAME", "ask the receiver to open a file",
     "Asks the receiver to open NAME (play, show or load it by its type: txt, wav, mp3,\n"
     "mid, bmp, jpg, png, html, htm, ini, wifi). Exit 1 when it does not open it.\n"},
    {"reboot", "reboot", "restart the receiver and wait for it",
     "Restarts the receiver and waits until its boot messages are over.\n"},
    {"verify", "verify FILE[:NAME]", "compare a local file with the receiver's copy",
     "Downloads NAME (by default FILE's cleaned name, as put uses) into memory and\n"
     "compares it with FILE byte for byte: exit 0 when they are the same, 5 when not.\n"},
    {"backup", "backup DIR", "every file into DIR, and DIR/MANIFEST",
     "Lists the receiver once and downloads every file into DIR (made if missing). A \"/\"\n"
     "in a name makes sub-folders, each part made safe as get does: presets/sw.txt is saved\n"
     "as DIR/presets/sw.txt, a:b.txt as DIR/a-b.txt. Names that would share a local path,\n"
     "by case alone too, do not: the later in byte order gets \"~2\" before its type.\n"
     "\n"
     "Downloads go to DIR/.spiffs-backup-incoming first. Only once every file is in is the\n"
     "old MANIFEST removed, each file moved into place, files the old MANIFEST named that\n"
     "the receiver no longer holds removed, and the new MANIFEST written, last. After an\n"
     "error, a time-out or Ctrl-C, DIR keeps the previous backup and its MANIFEST (or none).\n"
     "A file the receiver will not send fails the backup the same way.\n"
     "\n"
     "MANIFEST is text: \"spiffs-backup 1 DATE TOTAL USED\", then a line per file,\n"
     "\"SIZE SHA256 NAME PATH\", NAME and PATH escaped (man spiffs-cli). Checked: each\n"
     "download's byte count against the listing. The protocol carries no checksum: the\n"
     "SHA-256 is of the bytes that arrived, proof that the copy has not changed since, not\n"
     "that the line carried it faithfully.\n"},
    {"restore", "restore DIR [--clean] [--dry-run]", "put a backup back on the receiver",
     "Uploads every file DIR/MANIFEST names, under the exact name it records, in its order.\n"
     "Before anything is sent, every file's size and SHA-256 must match the MANIFEST (exit 1\n"
     "and nothing sent if one does not), and the files must fit. Room is counted in the\n"
     "receiver's 256-byte pages, conservatively: a file is charged a page per 251 bytes\n"
     "begun (SPIFFS keeps 5 bytes of each), an index page, and one more per 96 data pages;\n"
     "a file replaced or removed is credited only a page per 256 bytes begun and one more.\n"
     "--clean first removes the receiver's files that the backup lacks, and counts them.\n"
     "Afterwards one listing must show every name at its size (with --clean, nothing\n"
     "else); a difference is reported, exit 1. Contents are not read back.\n"
     "--dry-run prints what would be sent and removed, the bytes and the time at 115200\n"
     "baud, and sends nothing but the memory and listing requests.\n"},
    {"sync", "sync DIR [--delete] [--dry-run] [--checksum]", "make the receiver hold DIR's files",
     "Uploads the regular files under DIR that the receiver lacks or holds at another size:\n"
     "DIR/a/b.txt is the receiver's a/b.txt. The receiver cannot be asked for a checksum,\n"
     "so a file of the same size counts as unchanged and an edit that keeps the size is\n"
     "missed. --checksum downloads each same-size file and compares it byte for byte,\n"
     "sending it when it differs; that costs the download's time.\n"
     "--delete removes the receiver's files that DIR lacks.\n"
     "Not looked at: MANIFEST at the top of DIR and names starting with \".\". Skipped,\n"
     "listed, and exit 1 at the end: anything but a regular file (links to folders are not\n"
     "followed), and names a receiver cannot take: characters other than\n"
     "A-Z a-z 0-9 _ ' ( ) * + , - . and /, more than 30 bytes, or nothing before the first\n"
     "\".\" or after it. Room is checked as restore does. Removals go first, then uploads;\n"
     "one listing afterwards must show every file of DIR at its size, else exit 1.\n"
     "--dry-run prints the plan, the bytes and the time at 115200 baud, and sends nothing\n"
     "but the memory and listing requests.\n"},
};

const CommandHelp *findCommand(const QString &name)
{
    for (const CommandHelp &command : commands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

const char generalOptions[] =
        "Options:\n"
        "  -p, --port PORT  the serial port, a name or a device path. Without it: $SPIFFS_PORT;\n"
        "                   else the one port that looks like the receiver's bridge (USB\n"
        "                   10c4:ea60 or cu.SLAB_USBtoUART) or is named in $SPIFFS_MANAGER_PORTS\n"
        "                   (separated as PATH is). Opened at 115200 baud, 8N1.\n"
        "  --timeout S      seconds of silence from the receiver before giving up (default 5;\n"
        "                   format waits at least 120; 0 waits for ever)\n"
        "  -q, --quiet      no progress line (drawn only when standard error is a terminal)\n"
        "  --json           ports, df and ls print one JSON document; backup, restore and sync\n"
        "                   a summary of what was sent, removed, skipped and verified\n"
        "  --trace FILE     writes every byte sent and received to FILE as it happens\n"
        "  -h, --help       this help; COMMAND --help for a command's own\n"
        "  --version        the program's version\n";

const char exitCodes[] =
        "Exit status:\n"
        "  0    done\n"
        "  1    the receiver refused or answered wrongly, a local file could not be used, or a\n"
        "       job found a difference, skipped a name or did not fit\n"
        "  2    bad usage\n"
        "  3    port missing, ambiguous or unusable, or the line was lost\n"
        "  4    no answer from the receiver in time\n"
        "  5    verify found a difference\n"
        "  130  interrupted (Ctrl-C)\n";

} // namespace

bool isCommand(const QString &name)
{
    return findCommand(name) != nullptr;
}

QString helpText(const QString &command)
{
    if (const CommandHelp *help = findCommand(command)) {
        return QStringLiteral("Usage: spiffs-cli [OPTIONS] %1\n\n%2\n%3\n%4")
                .arg(QLatin1String(help->synopsis), QLatin1String(help->details), QLatin1String(generalOptions),
                     QLatin1String(exitCodes));
    }
    QString text = QStringLiteral(
            "Usage: spiffs-cli [-p PORT] [--timeout S] [-q] [--json] [--trace FILE] COMMAND [ARGS]\n"
            "\n"
            "Reads and writes the SPIFFS flash of an ESP32 SI473X receiver over its USB serial port.\n"
            "Data goes to standard output, messages to standard error.\n"
            "\n"
            "Commands:\n");
    for (const CommandHelp &help : commands) {
        const QString synopsis = QLatin1String(help.synopsis);
        // A long synopsis has its summary on the next line, in the column.
        const QString gap = synopsis.size() > 30 ? QStringLiteral("\n") + QString(33, QLatin1Char(' ')) : QStringLiteral(" ");
        text += QStringLiteral("  %1%2%3\n").arg(synopsis, -30).arg(gap, QLatin1String(help.summary));
    }
    return text + QLatin1Char('\n') + QLatin1String(generalOptions) + QLatin1Char('\n') + QLatin1String(exitCodes);
}

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const QCommandLineOption port({QStringLiteral("p"), QStringLiteral("port")}, QString(), QStringLiteral("PORT"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("S"));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption trace(QStringLiteral("trace"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption longListing(QStringList{QStringLiteral("l"), QStringLiteral("long")});
    const QCommandLineOption output({QStringLiteral("o"), QStringLiteral("output")}, QString(), QStringLiteral("DIR"));
    const QCommandLineOption verify(QStringLiteral("verify"));
    const QCommandLineOption yes(QStringList{QStringLiteral("y"), QStringLiteral("yes")});
    const QCommandLineOption clean(QStringLiteral("clean"));
    const QCommandLineOption deleteExtra(QStringLiteral("delete"));
    const QCommandLineOption checksum(QStringLiteral("checksum"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    parser.addOptions({port, timeout, quiet, json, trace, help, version, longListing, output, verify, yes, clean,
                       deleteExtra, checksum, dryRun});

    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(help);
    line.version = parser.isSet(version);
    line.arguments = parser.positionalArguments();
    if (!line.arguments.isEmpty())
        line.command = line.arguments.takeFirst();
    if (line.help || line.version)
        return line;
    if (line.command.isEmpty()) {
        line.error = QStringLiteral("no command given");
        return line;
    }
    if (!isCommand(line.command)) {
        line.error = QStringLiteral("unknown command \"%1\"").arg(line.command);
        return line;
    }

    line.port = parser.value(port);
    line.quiet = parser.isSet(quiet);
    line.json = parser.isSet(json);
    line.traceFile = parser.value(trace);
    line.longListing = parser.isSet(longListing);
    line.outputFolder = parser.value(output);
    line.verify = parser.isSet(verify);
    line.yes = parser.isSet(yes);
    line.clean = parser.isSet(clean);
    line.deleteExtra = parser.isSet(deleteExtra);
    line.checksum = parser.isSet(checksum);
    line.dryRun = parser.isSet(dryRun);
    if (parser.isSet(timeout)) {
        bool ok = false;
        line.timeoutSeconds = parser.value(timeout).toDouble(&ok);
        line.timeoutGiven = true;
        if (!ok || line.timeoutSeconds < 0 || line.timeoutSeconds > 86400) {
            line.error = QStringLiteral("--timeout takes seconds, from 0 to 86400");
            return line;
        }
    }

    // A command's own option on another command is a mistake worth naming.
    const struct
    {
        const QCommandLineOption &option;
        const char *commands; // separated by " or "
    } owned[] = {{longListing, "ls"},       {output, "get"},     {verify, "put"},
                 {yes, "format"},           {clean, "restore"},  {deleteExtra, "sync"},
                 {checksum, "sync"},        {dryRun, "restore or sync"}};
    for (const auto &entry : owned) {
        const QString commands = QLatin1String(entry.commands);
        if (parser.isSet(entry.option) && !commands.split(QStringLiteral(" or ")).contains(line.command)) {
            line.error = QStringLiteral("-%1%2 is an option of %3")
                                 .arg(entry.option.names().constLast().size() > 1 ? QStringLiteral("-") : QString(),
                                      entry.option.names().constLast(), commands);
            return line;
        }
    }

    const auto arity = [&](int least, int most) {
        const int count = line.arguments.size();
        if (count < least)
            line.error = QStringLiteral("%1: missing argument (spiffs-cli %1 --help)").arg(line.command);
        else if (most >= 0 && count > most)
            line.error = QStringLiteral("%1: too many arguments (spiffs-cli %1 --help)").arg(line.command);
    };
    const QString &command = line.command;
    if (command == QLatin1String("ports") || command == QLatin1String("df") || command == QLatin1String("format")
        || command == QLatin1String("reboot"))
        arity(0, 0);
    else if (command == QLatin1String("ls"))
        arity(0, -1);
    else if (command == QLatin1String("cat") || command == QLatin1String("run") || command == QLatin1String("verify")
             || command == QLatin1String("backup") || command == QLatin1String("restore")
             || command == QLatin1String("sync"))
        arity(1, 1);
    else
        arity(1, -1);
    return line;
}
