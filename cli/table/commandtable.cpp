#include "cli/table/commandtable.h"

#include "cli/commands/commands.h"
#include "cli/jobs/jobs.h"

#include <QtCore/QStringList>

const std::vector<CommandRow> &commandTable()
{
    static const std::vector<CommandRow> table = {
        {"ports", "ports", "serial ports; the receiver's bridge first, marked *",
         "Lists the serial ports the system reports, then those named in SPIFFS_MANAGER_PORTS:\n"
         "name and device file, description, manufacturer, USB vendor:product, serial number,\n"
         "whether it looks like the receiver's bridge (a Silicon Labs CP210x, USB 10c4:ea60, or\n"
         "a port named cu.SLAB_USBtoUART; listed first and marked *), and whether you may open\n"
         "it now.\n"
         "\n"
         "Opening a port can restart an ESP32 board, so on Linux and macOS the check opens\n"
         "nothing: it reads the device file's permissions (\"no permission\", \"missing\").\n"
         "A port another program holds shows as \"busy\" only when a command opens it. On\n"
         "Windows, which keeps no such permissions, the check opens each port and closes it\n"
         "at once. With -q, only the device files, one a line, in the same order (the shell\n"
         "completions offer these after -p).\n",
         0, 0, "", ValueKind::None, runPorts, nullptr, -1, false},
        {"df", "df [-h]", "total, used and free bytes",
         "The receiver's memory report: total, used and free bytes of its file system;\n"
         "with -h (--human-readable) in the total's unit, KiB or MiB (1 KiB = 1024 bytes),\n"
         "rounded once, so that used and free add up to the total as shown (a figure too\n"
         "small for that unit is given in its own).\n",
         0, 0, "human-readable", ValueKind::None, runDf, nullptr},
        {"ls", "ls [-l] [-h] [PATTERN|FOLDER...]", "file names (-l: with sizes)",
         "Lists the receiver's files in the order it keeps them; -l puts each size first,\n"
         "-h (with -l) in KiB and MiB. PATTERNs are matched against whole names: * any\n"
         "characters (\"/\" too, the receiver's names are flat), ? one character, [abc] [a-z]\n"
         "[!abc] one of a set. Quote them, or the shell matches them against local files.\n"
         "A FOLDER is a name that some names start with, followed by \"/\": ls presets\n"
         "means ls 'presets/*'. A leading \"/\" is the receiver's own and may be left out.\n"
         "One that stands for no file is an error (exit 1). A name is itself before it is a\n"
         "pattern: when the receiver holds a file named a*.txt, 'a*.txt' stands for that file\n"
         "alone, here and in every command.\n",
         0, -1, "long human-readable", ValueKind::None, runLs, nullptr},
        {"get", "get NAME|PATTERN|FOLDER... [-o DIR]", "download files into DIR (default: here)",
         "Downloads each file into DIR (default: here) under the window's local name for it\n"
         "(\"/\" and characters file systems refuse become \"-\": presets/sw.txt is saved as\n"
         "presets-sw.txt, and says so). Names, patterns and folders as ls takes them; one the\n"
         "receiver does not list is an error before anything is downloaded, as are two names\n"
         "that would be saved under one local name. A local file is replaced only by a\n"
         "complete download; after an error, a time-out or Ctrl-C, no partial file is left and\n"
         "an existing one is kept. Nothing is written through a link in DIR that leads out of\n"
         "it or to nothing (exit 1, nothing got). DIR is made for the first file saved, so a\n"
         "get that saves nothing makes no folder.\n",
         1, -1, "output", ValueKind::None, runGet, nullptr},
        {"cat", "cat NAME|PATTERN", "download a file to standard output",
         "Writes the content of NAME, or of the one file PATTERN matches, to standard output\n"
         "as it arrives, byte for byte: memory holds one arrival, not the file, and cat log.txt\n"
         "| grep X works on a large file. A reader that stops early ends the command quietly\n"
         "(exit 0). With --json the content is in the document instead, base64 in\n"
         "contentBase64.\n",
         1, 1, "", ValueKind::None, runCat, nullptr},
        {"put", "put FILE[:NAME]... [--verify]", "upload files",
         "Uploads each FILE, under NAME when given. Without NAME, the file's name is cleaned\n"
         "as the window does: only A-Z a-z 0-9 _ ' ( ) * + , - . are kept, and a name that\n"
         "changes says so (\"stored as\"). A NAME given is sent exactly as written (a leading\n"
         "\"/\" left out), and refused (exit 2) if it holds any other character than those and\n"
         "\"/\".\n"
         "Refused before anything is sent: a name longer than 30 bytes (31 with its leading\n"
         "\"/\"), a name with nothing before its first \".\" or nothing after it, and files that\n"
         "do not fit, all of them together, their room counted in pages as restore counts it\n"
         "(a file of the same name credited). A folder is refused (sync sends folders), as is\n"
         "anything but a regular file. A drive letter (C:\\x.txt) is part of FILE; a FILE that\n"
         "exists as written is never split at a \":\".\n"
         "--verify downloads each file again after the upload and compares it (exit 5 on a\n"
         "difference; \"verified\" when it matches). Interrupted uploads may leave a partial\n"
         "file under NAME.\n",
         1, -1, "verify", ValueKind::LocalFile, runPut, checkPut},
        {"rm", "rm NAME|PATTERN|FOLDER... [--yes]", "remove files",
         "Removes each NAME, and every file a PATTERN or FOLDER matches (see ls --help). A\n"
         "PATTERN that matches nothing is an error, and then nothing is removed. When more\n"
         "than one file would go, asks first (y or yes) when standard input is a terminal;\n"
         "without one it removes nothing, names what would go and exits 2, unless --yes is\n"
         "given. --yes does not ask. Says each file removed (not with -q).\n",
         1, -1, "yes", ValueKind::None, runRm, checkRm},
        {"mv", "mv OLD NEW [--force]", "rename a file on the receiver",
         "The receiver has no rename: OLD is downloaded, uploaded as NEW, NEW is downloaded\n"
         "again and compared, and only then is OLD removed. On any failure OLD stays, and the\n"
         "message says what is left where (exit 5 when the copy differs; when the removal goes\n"
         "unanswered, OLD may or may not still be there). OLD is a name, or a PATTERN that\n"
         "matches one file; NEW follows put's rules for a NAME and its room. A NEW that exists\n"
         "is refused unless --force.\n",
         2, 2, "force", ValueKind::None, runMv, checkMv},
        {"edit", "edit NAME", "edit a file of the receiver in $VISUAL or $EDITOR",
         "Downloads NAME into a temporary file (an empty one when the receiver has no NAME),\n"
         "runs $VISUAL, else $EDITOR, else vi (Notepad on Windows) on it through the shell\n"
         "(cmd.exe on Windows), and when it was changed, uploads it under the same name and\n"
         "verifies it (room counted as put counts it). When the editor fails or the upload does,\n"
         "or Ctrl-C ends the editor (exit 130), the temporary file is kept and named.\n"
         "NAME may be a PATTERN that matches one file; one that matches none is a new file.\n",
         1, 1, "", ValueKind::None, runEdit, checkEdit},
        {"format", "format [--yes]", "erase every file",
         "Erases the receiver's file system. Asks first when standard input is a terminal (y\n"
         "or yes); otherwise refuses (exit 2, kind unconfirmed) unless --yes is given. Waits at\n"
         "least 120 s for the answer; says \"erased\" when done.\n",
         0, 0, "yes", ValueKind::None, runFormat, checkFormat},
        {"run", "run NAME", "ask the receiver to open a file",
         "Asks the receiver to open NAME (play, show or load it by its type: txt, wav, mp3,\n"
         "mid, bmp, jpg, png, html, htm, ini, wifi). Exit 1 when the receiver holds no NAME\n"
         "(\"no such file\", from its listing) or does not open it.\n",
         1, 1, "", ValueKind::None, runRun, checkRun},
        {"reboot", "reboot", "restart the receiver and wait for it",
         "Restarts the receiver and waits until its boot messages are over.\n",
         0, 0, "", ValueKind::None, runReboot, nullptr},
        {"verify", "verify FILE[:NAME]", "compare a local file with the receiver's copy",
         "Downloads NAME (by default FILE's cleaned name, as put uses; a PATTERN must match\n"
         "one file) into memory and compares it with FILE byte for byte: exit 0 and \"identical\"\n"
         "when they are the same, 5 when not.\n",
         1, 1, "", ValueKind::LocalFile, runVerify, nullptr},
        {"backup", "backup DIR", "every file into DIR, and DIR/MANIFEST",
         "Lists the receiver once and downloads every file into DIR (made once the first file\n"
         "is in). A \"/\" in a name makes sub-folders, each part made safe as get does:\n"
         "presets/sw.txt is saved as DIR/presets/sw.txt, a:b.txt as DIR/a-b.txt. Names that\n"
         "would share a local path, by case alone too, do not: the later in byte order gets\n"
         "\"~2\" before its type. A file already in DIR is replaced only when it is the last\n"
         "backup's copy of a name the receiver still holds; any other (the user's, a link, the\n"
         "copy of a file the receiver no longer holds) stays, and the new file takes the next\n"
         "free name. Nothing is written through a link: a linked sub-folder is not used.\n"
         "\n"
         "Downloads go to DIR/.spiffs-backup-incoming first; only once every file is in are\n"
         "they moved into place and the new MANIFEST written, last. Nothing is deleted: the\n"
         "files of earlier backups that the receiver no longer holds stay and are counted. When\n"
         "the new MANIFEST would list less than the one before (after a format, say), the one\n"
         "before is kept as MANIFEST.DATE (taken, UTC: MANIFEST.2026-12-08T11-30-00Z), its files\n"
         "are never replaced, and restore --manifest puts it back. After an error, a time-out,\n"
         "Ctrl-C or a file the receiver will not send, DIR is as it was.\n"
         "\n"
         "A name restore could not give back (empty, longer than 30 bytes, or holding a zero\n"
         "byte) is still saved when the receiver sends it, recorded in MANIFEST as not\n"
         "restorable and named on standard error; the backup then exits 1.\n"
         "\n"
         "MANIFEST is text: \"spiffs-backup 1 DATE TOTAL USED\", then a line per file,\n"
         "\"SIZE SHA256 NAME PATH\", NAME and PATH escaped (man spiffs-cli). Checked: each\n"
         "download's byte count against the listing. The protocol carries no checksum: the\n"
         "SHA-256 is of the bytes that arrived, proof that the copy has not changed since, not\n"
         "that the line carried it faithfully.\n",
         1, 1, "", ValueKind::LocalFolder, runBackup, nullptr},
        {"restore", "restore DIR [--manifest NAME] [--clean] [--dry-run] [--yes]", "put a backup back on the receiver",
         "Uploads every file DIR/MANIFEST names, under the exact name it records, in its order.\n"
         "Before anything is sent, every file's size and SHA-256 must match the MANIFEST, no\n"
         "file may be a link leading out of DIR (exit 1 and nothing sent otherwise), and the\n"
         "files must fit. Room is counted in the receiver's 256-byte pages, conservatively: a\n"
         "file is charged a page per 251 bytes begun (SPIFFS keeps 5 bytes of each), an index\n"
         "page, and one more per 96 data pages; a file replaced or removed is credited only a\n"
         "page per 256 bytes begun and one more. Files recorded as not restorable are named\n"
         "and left out; the others are restored, and the exit status is 1.\n"
         "--clean first removes the receiver's files that the backup lacks (never one it\n"
         "records as not restorable), and counts them; on a terminal it asks first (y or yes);\n"
         "without one it removes and sends nothing, names what would go and exits 2; --yes goes\n"
         "ahead without asking.\n"
         "Afterwards one listing must show every name at its size (with --clean, nothing\n"
         "else); a difference is reported, exit 1. Contents are not read back.\n"
         "--dry-run prints what would be sent and removed, the bytes and the time at 115200\n"
         "baud, and sends nothing but the memory and listing requests.\n"
         "--manifest NAME restores an earlier backup that backup kept in DIR (below) instead.\n"
         "A MANIFEST that lists no file while DIR keeps earlier ones is not restored: they are\n"
         "named, exit 1.\n",
         1, 1, "manifest clean dry-run yes", ValueKind::LocalFolder,
         runRestore, nullptr},
        {"sync", "sync DIR [FOLDER] [--delete] [--dry-run] [--checksum] [--yes]", "make the receiver hold DIR's files",
         "Uploads the regular files under DIR that the receiver lacks or holds at another size\n"
         "into the receiver's FOLDER: sync presets presets sends presets/mw.txt as the\n"
         "receiver's presets/mw.txt. Without FOLDER, DIR's files go to the top: DIR/a/b.txt is\n"
         "the receiver's a/b.txt. The receiver cannot be asked for a checksum, so a file of\n"
         "the same size counts as unchanged and an edit that keeps the size is missed.\n"
         "--checksum downloads each same-size file to compare it, sending it if it differs.\n"
         "--delete removes the receiver's files under FOLDER (without FOLDER: all of them)\n"
         "that DIR lacks, never one outside it. On a terminal it asks first (y or yes);\n"
         "without one it removes and sends nothing, names what would go and exits 2; --yes\n"
         "goes ahead without asking.\n"
         "Not looked at: MANIFEST at the top of DIR and names starting with \".\". Names are\n"
         "cleaned as put cleans them (FOLDER is not). Skipped, listed, and exit 1 at the end:\n"
         "anything but a regular file, a link leading out of DIR, a link to a folder, a name\n"
         "not UTF-8 (for these, --delete keeps what the receiver holds under the cleaned name),\n"
         "and a name still not a receiver's: more than 30 bytes, or nothing before the first\n"
         "\".\" or after it. Room is checked as restore does.\n"
         "Removals go first, then uploads; one listing afterwards must show every file of DIR\n"
         "at its size, else exit 1.\n"
         "--dry-run prints the plan under the receiver's names, the bytes and the time at\n"
         "115200 baud, and sends nothing but the memory and listing requests.\n",
         1, 2, "delete dry-run checksum yes", ValueKind::LocalFolder,
         runSync, checkSync, 1},
    };
    return table;
}

const CommandRow *findCommand(const QString &name)
{
    for (const CommandRow &command : commandTable()) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

bool CommandRow::owns(const OptionRow &option) const
{
    return QString::fromLatin1(options).split(QLatin1Char(' '), Qt::SkipEmptyParts).contains(QLatin1String(option.longName));
}

QString commandsOwning(const OptionRow &option)
{
    QStringList names;
    for (const CommandRow &command : commandTable()) {
        if (command.owns(option))
            names << QLatin1String(command.name);
    }
    const QString last = names.isEmpty() ? QString() : names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last;
}
