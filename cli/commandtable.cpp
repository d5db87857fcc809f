#include "commandtable.h"

#include "commands.h"

#include <QtCore/QStringList>

const std::vector<ExitStatusSpec> &exitStatusTable()
{
    static const std::vector<ExitStatusSpec> table = {
        {ExitDone, "done"},
        {ExitFailed, "the receiver refused or answered wrongly, a local file could not be used, or a\n"
                     "job found a difference, skipped a name or did not fit"},
        {ExitUsage, "bad usage"},
        {ExitPort, "port missing, ambiguous or unusable, or the line was lost"},
        {ExitNoAnswer, "no answer from the receiver in time"},
        {ExitMismatch, "verify found a difference"},
        {ExitInterrupted, "interrupted (Ctrl-C)"},
    };
    return table;
}

const std::vector<OptionSpec> &optionTable()
{
    static const std::vector<OptionSpec> table = {
        {OptionId::Port, "p", "port", "PORT", ValueKind::Port, true,
         "the serial port, a name or a device path. Without it: $SPIFFS_PORT;\n"
         "else the one port that looks like the receiver's bridge (USB\n"
         "10c4:ea60 or cu.SLAB_USBtoUART) or is named in $SPIFFS_MANAGER_PORTS\n"
         "(separated as PATH is). Opened at 115200 baud, 8N1."},
        {OptionId::Timeout, "", "timeout", "S", ValueKind::Number, true,
         "seconds of silence from the receiver before giving up (default 5;\n"
         "format waits at least 120; 0 waits for ever)"},
        {OptionId::Quiet, "q", "quiet", "", ValueKind::None, true,
         "no progress line (drawn only when standard error is a terminal)"},
        {OptionId::Json, "", "json", "", ValueKind::None, true,
         "ports, df and ls print one JSON document; backup, restore and sync\n"
         "a summary of what was sent, removed, skipped and verified"},
        {OptionId::Trace, "", "trace", "FILE", ValueKind::LocalFile, true,
         "writes every byte sent and received to FILE as it happens"},
        {OptionId::Help, "h", "help", "", ValueKind::None, true, "this help; COMMAND --help for a command's own"},
        {OptionId::Version, "", "version", "", ValueKind::None, true, "the program's version"},
        {OptionId::Long, "l", "long", "", ValueKind::None, false, "with sizes"},
        {OptionId::Output, "o", "output", "DIR", ValueKind::LocalFolder, false, "the folder to download into"},
        {OptionId::Verify, "", "verify", "", ValueKind::None, false, "download each file again and compare"},
        {OptionId::Yes, "y", "yes", "", ValueKind::None, false, "do not ask"},
        {OptionId::Clean, "", "clean", "", ValueKind::None, false, "first remove the files the backup lacks"},
        {OptionId::Delete, "", "delete", "", ValueKind::None, false, "remove the receiver's files that DIR lacks"},
        {OptionId::Checksum, "", "checksum", "", ValueKind::None, false, "compare same-size files byte for byte"},
        {OptionId::DryRun, "", "dry-run", "", ValueKind::None, false, "print the plan and change nothing"},
    };
    return table;
}

const OptionSpec &optionSpec(OptionId id)
{
    const std::vector<OptionSpec> &table = optionTable();
    for (const OptionSpec &option : table) {
        if (option.id == id)
            return option;
    }
    Q_UNREACHABLE();
    return table.front();
}

QString optionDisplayName(const OptionSpec &option)
{
    return QStringLiteral("--") + QLatin1String(option.longName);
}

const std::vector<CommandSpec> &commandTable()
{
    static const std::vector<CommandSpec> table = {
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
     "at once.\n",
     0, 0, optionBits({}), ValueKind::None, runPorts},
    {"df", "df", "total, used and free bytes", "The receiver's memory report: total, used and free bytes of its file system.\n",
     0, 0, optionBits({}), ValueKind::None, runDf},
    {"ls", "ls [-l] [PATTERN...]", "file names (-l: with sizes)",
     "Lists the receiver's files in the order it keeps them; -l puts each size first.\n"
     "PATTERNs are matched here against whole names: * any characters (\"/\" too, the\n"
     "receiver's names are flat), ? one character, [abc] [a-z] [!abc] one of a set.\n"
     "Quote them, or the shell matches them against local files.\n",
     0, -1, optionBits({OptionId::Long}), ValueKind::None, runLs},
    {"get", "get NAME... [-o DIR]", "download files into DIR (default: here)",
     "Downloads each NAME into DIR under the window's local name for it (\"/\" and\n"
     "characters file systems refuse become \"-\": presets/sw.txt is saved as\n"
     "presets-sw.txt). A local file is replaced only by a complete download; after an\n"
     "error, a time-out or Ctrl-C, no partial file is left and an existing one is kept.\n",
     1, -1, optionBits({OptionId::Output}), ValueKind::None, runGet},
    {"cat", "cat NAME", "download a file to standard output", "Writes the content of NAME to standard output, byte for byte.\n",
     1, 1, optionBits({}), ValueKind::None, runCat},
    {"put", "put FILE[:NAME]... [--verify]", "upload files",
     "Uploads each FILE, under NAME when given. Without NAME, the file's name is cleaned\n"
     "as the window does: only A-Z a-z 0-9 _ ' ( ) * + , - . are kept. A NAME given is\n"
     "sent exactly as written, and refused if it holds any other character than those\n"
     "and \"/\". Refused before anything is sent: a name longer than 30 bytes (31 with\n"
     "its leading \"/\"), a name with nothing before its first \".\" or nothing after it,\n"
     "and a file not smaller than the free space. A drive letter (C:\\x.txt) is part of\n"
     "FILE; a FILE that exists as written is never split at a \":\".\n"
     "--verify downloads each file again after the upload and compares it (exit 5 on a\n"
     "difference). Interrupted uploads may leave a partial file under NAME.\n",
     1, -1, optionBits({OptionId::Verify}), ValueKind::LocalFile, runPut},
    {"rm", "rm NAME|PATTERN...", "remove files",
     "Removes each NAME, and every file a PATTERN matches (see ls --help). A PATTERN\n"
     "that matches nothing is an error, and then nothing is removed.\n",
     1, -1, optionBits({}), ValueKind::None, runRm},
    {"format", "format [--yes]", "erase every file",
     "Erases the receiver's file system. Asks first when standard input is a terminal;\n"
     "otherwise refuses unless --yes is given. Waits at least 120 s for the answer.\n",
     0, 0, optionBits({OptionId::Yes}), ValueKind::None, runFormat},
    {"run", "run NAME", "ask the receiver to open a file",
     "Asks the receiver to open NAME (play, show or load it by its type: txt, wav, mp3,\n"
     "mid, bmp, jpg, png, html, htm, ini, wifi). Exit 1 when it does not open it.\n",
     1, 1, optionBits({}), ValueKind::None, runRun},
    {"reboot", "reboot", "restart the receiver and wait for it",
     "Restarts the receiver and waits until its boot messages are over.\n",
     0, 0, optionBits({}), ValueKind::None, runReboot},
    {"verify", "verify FILE[:NAME]", "compare a local file with the receiver's copy",
     "Downloads NAME (by default FILE's cleaned name, as put uses) into memory and\n"
     "compares it with FILE byte for byte: exit 0 when they are the same, 5 when not.\n",
     1, 1, optionBits({}), ValueKind::LocalFile, runVerify},
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
     "that the line carried it faithfully.\n",
     1, 1, optionBits({}), ValueKind::LocalFolder, runBackup},
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
     "baud, and sends nothing but the memory and listing requests.\n",
     1, 1, optionBits({OptionId::Clean, OptionId::DryRun}), ValueKind::LocalFolder, runRestore},
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
     "but the memory and listing requests.\n",
     1, 1, optionBits({OptionId::Delete, OptionId::DryRun, OptionId::Checksum}), ValueKind::LocalFolder, runSync},
    };
    return table;
}

const CommandSpec *findCommand(const QString &name)
{
    for (const CommandSpec &command : commandTable()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

QString commandsOwning(OptionId option)
{
    QStringList names;
    for (const CommandSpec &command : commandTable()) {
        if (command.owns(option))
            names << QLatin1String(command.name);
    }
    return names.join(QStringLiteral(" or "));
}
