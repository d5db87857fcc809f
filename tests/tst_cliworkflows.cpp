// What users do with spiffs-cli after the first command: names as they type
// them, patterns and folders, several commands on one opening of the port,
// renaming and editing a file in place, backups with names that cannot go
// back, folders with links leading out of them, questions before erasing,
// and the examples README and the manual give. The real program against
// spiffs-emulator, each in a process of its own.
#include "clirun.h"
#include "emulatorprogram.h"
#include "testfiles.h"
#include "windowharness.h"

#include "core/catalogueformat.h"
#include "core/tracewriter.h"
#include "core/transferformat.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

using namespace CliTesting;
using DeviceBytes::be32;

namespace {

// Every file under folder, relative to it.
QStringList allFiles(const QString &folder)
{
    QStringList files;
    QDirIterator found(folder, QDir::Files, QDirIterator::Subdirectories);
    while (found.hasNext())
        files << QDir(folder).relativeFilePath(found.next());
    files.sort();
    return files;
}

QString withFolder(QString argument, const QString &folder)
{
    return argument.replace(QLatin1Char('@'), folder);
}

// A receiver that lists names a backup cannot give back, recorded as a trace
// for spiffs-emulator --replay: an empty name, one longer than the receiver
// takes (which it will not send either) and one holding a zero byte, beside
// a plain one.
QByteArray receiverWithOddNames()
{
    struct File
    {
        QByteArray name;
        QByteArray content;
        bool sent;
    };
    const QVector<File> files = {{"ok.txt", "fine", true},
                                 {"", "nameless", true},
                                 {QByteArray(40, 'l'), "long", false},
                                 {QByteArray("z\0z.txt", 7), "zero", true}};
    QByteArray listing;
    for (const File &file : files)
        listing += be32(quint32(file.name.size())) + be32(quint32(file.content.size())) + file.name;
    QByteArray trace = "# spiffs-cli trace 1\n";
    qint64 time = 0;
    const auto exchange = [&](const char *name, const QByteArray &request, const QByteArray &reply) {
        trace += TraceWriter::formatRecord(time += 1000, TraceWriter::Direction::ToReceiver, QLatin1String(name), request);
        trace += TraceWriter::formatRecord(time += 1000, TraceWriter::Direction::FromReceiver, QLatin1String(name), reply);
    };
    exchange("MEMORY", CatalogueFormat::memoryRequest(), be32(1318001) + be32(4096));
    exchange("LIST", CatalogueFormat::listingRequest(), be32(quint32(listing.size())) + listing);
    for (const File &file : files) {
        exchange("DOWNLOAD", TransferFormat::downloadRequest(file.name),
                 file.sent ? be32(quint32(file.content.size())) + file.content : QByteArray("d"));
    }
    return trace;
}

// command run with standard input, output and error on a terminal (a
// pseudo-terminal script(1) makes), typing answer.
QByteArray onATerminal(const QStringList &command, const QByteArray &answer, int *exitCode)
{
    QStringList quoted;
    for (QString word : command)
        quoted << QLatin1Char('\'') + word.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
    QProcess script;
    script.setProcessEnvironment(cleanEnvironment());
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("script"), {QStringLiteral("-qec"), quoted.join(QLatin1Char(' ')), QStringLiteral("/dev/null")});
    if (!script.waitForStarted())
        return "script(1) did not start";
    QByteArray screen;
    if (!answer.isEmpty()) {
        // Typed once the question is on the terminal.
        while (!screen.contains("[y/N]") && script.state() == QProcess::Running && script.waitForReadyRead(20000))
            screen += script.readAll();
        script.write(answer);
    }
    if (!script.waitForFinished(20000))
        script.kill();
    *exitCode = script.exitCode();
    return screen + script.readAll();
}

} // namespace

class CliWorkflowsTest : public QObject
{
    Q_OBJECT

private slots:
    // A leading "/" is the receiver's own; patterns and folders stand for the
    // names the listing holds.
    void namesAsTyped_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("local");  // what the folder holds afterwards
        QTest::addColumn<QStringList>("stored"); // what the receiver holds afterwards
        const QStringList all{"a.txt", "big.bin", "notes", "presets%2Fsw.txt", "song.mp3"};
        QTest::newRow("get /a.txt") << QStringList{"get", "/a.txt", "-o", "@"} << 0 << QStringList{"a.txt"} << all;
        QTest::newRow("get a folder into a new folder") << QStringList{"get", "presets", "-o", "@/new/deeper"} << 0
                                                        << QStringList{"new/deeper/presets-sw.txt"} << all;
        QTest::newRow("get a pattern") << QStringList{"get", "*.mp3", "notes", "-o", "@"} << 0
                                       << QStringList{"notes", "song.mp3"} << all;
        QTest::newRow("get, one name missing, nothing got") << QStringList{"get", "a.txt", "none.txt", "-o", "@"} << 1
                                                            << QStringList() << all;
        QTest::newRow("put to /name") << QStringList{"put", "@/up.txt:/x/up.txt"} << 0 << QStringList{"up.txt"}
                                      << all + QStringList{"x%2Fup.txt"};
        QTest::newRow("rm a folder") << QStringList{"rm", "/presets/"} << 0 << QStringList{"up.txt"}
                                     << QStringList{"a.txt", "big.bin", "notes", "song.mp3"};
        QTest::newRow("rm, one name missing, nothing removed") << QStringList{"rm", "notes", "none.txt"} << 1
                                                               << QStringList{"up.txt"} << all;
        QTest::newRow("cat one match") << QStringList{"cat", "pre*"} << 0 << QStringList{"up.txt"} << all;
        QTest::newRow("cat several") << QStringList{"cat", "*.*"} << 2 << QStringList{"up.txt"} << all;
        QTest::newRow("verify by pattern") << QStringList{"verify", "@/up.txt:a*"} << 5 << QStringList{"up.txt"} << all;
    }
    void namesAsTyped()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, local);
        QFETCH(QStringList, stored);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir folder;
        if (arguments.constFirst() != QLatin1String("get"))
            QVERIFY(!writeLocalFile(folder, QStringLiteral("up.txt"), "up").isEmpty());
        for (QString &argument : arguments)
            argument = withFolder(argument, folder.path());
        const CliRun run = runCli(QStringList{"-p", device.port()} + arguments);
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QCOMPARE(allFiles(folder.path()), local);
        QStringList found = store.files();
        found.sort();
        QCOMPARE(found, stored);
    }

    // Several commands on one opening of the port: a board that restarts
    // when the port opens restarts once; the chain stops at the first
    // failure; --json prints a document a command.
    void chains_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("documents");
        QTest::addColumn<bool>("notesRemoved");
        QTest::newRow("all three") << QStringList{"ls", "+", "get", "a.txt", "-o", "@", "+", "rm", "notes"} << 0 << 3 << true;
        QTest::newRow("stops at the failure") << QStringList{"ls", "+", "get", "none.txt", "-o", "@", "+", "rm", "notes"} << 1
                                              << 2 << false;
    }
    void chains()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, documents);
        QFETCH(bool, notesRemoved);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path(), "--boot-on-open"});
        QTemporaryDir folder;
        for (QString &argument : arguments)
            argument = withFolder(argument, folder.path());
        const QString trace = folder.filePath(QStringLiteral("trace"));
        const CliRun run = runCli(QStringList{"-p", device.port(), "--json", "--trace", trace} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        const QList<QByteArray> lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), documents);
        for (const QByteArray &line : lines)
            QVERIFY(QJsonDocument::fromJson(line).isObject());
        QCOMPARE(QJsonDocument::fromJson(lines.constLast()).object().value(QStringLiteral("exitStatus")).toInt(), exitCode);
        QCOMPARE(store.files().contains(QStringLiteral("notes")), !notesRemoved);
        // One opening, one boot text.
        const QByteArray recorded = readLocalFile(trace);
        QCOMPARE(recorded.count("# port "), 1);
        QCOMPARE(recorded.count("|ets Jun  8"), 1);
    }

    void mv_data()
    {
        QTest::addColumn<QStringList>("emulator");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("said");
        QTest::addColumn<QStringList>("stored");
        QTest::newRow("rename") << QStringList() << QStringList{"a.txt", "/b.txt"} << 0 << QByteArray("a.txt is now b.txt")
                                << QStringList{"b.txt", "notes"};
        QTest::newRow("onto a file") << QStringList() << QStringList{"a.txt", "notes"} << 1 << QByteArray("--force replaces it")
                                     << QStringList{"a.txt", "notes"};
        QTest::newRow("onto a file, --force") << QStringList() << QStringList{"a.txt", "notes", "--force"} << 0 << QByteArray()
                                              << QStringList{"notes"};
        QTest::newRow("the copy differs") << QStringList{"--corrupt", "b.txt"} << QStringList{"a.txt", "b.txt"} << 5
                                          << QByteArray("a.txt is untouched") << QStringList{"a.txt", "b.txt", "notes"};
        QTest::newRow("no such file") << QStringList() << QStringList{"c.txt", "d.txt"} << 1 << QByteArray("no such file")
                                      << QStringList{"a.txt", "notes"};
        QTest::newRow("a name the receiver refuses") << QStringList() << QStringList{"a.txt", "a b.txt"} << 2
                                                     << QByteArray("holds characters") << QStringList{"a.txt", "notes"};
    }
    void mv()
    {
        QFETCH(QStringList, emulator);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, said);
        QFETCH(QStringList, stored);
        QTemporaryDir store;
        QVERIFY(!writeLocalFile(store, QStringLiteral("a.txt"), "alpha").isEmpty());
        QVERIFY(!writeLocalFile(store, QStringLiteral("notes"), "n").isEmpty());
        EmulatorProgram device(QStringList{"--dir", store.path()} + emulator);
        const CliRun run = runCli(QStringList{"-p", device.port(), "mv"} + arguments);
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY2(run.err.contains(said), run.err.constData());
        QStringList found = folderEntries(store.path());
        found.sort();
        QCOMPARE(found, stored);
        if (exitCode == 0)
            QCOMPARE(readLocalFile(QDir(store.path()).filePath(stored.constFirst())), QByteArray("alpha"));
    }

    void edit_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("stored"); // empty: not on the receiver
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("changed") << "sed -i s/alpha/beta/" << "a.txt" << 0 << QByteArray("beta") << QByteArray("written and verified");
        QTest::newRow("unchanged") << "true" << "a.txt" << 0 << QByteArray("alpha") << QByteArray("unchanged; nothing sent");
        QTest::newRow("a new file") << "sh -c 'echo hi > \"$1\"' editor" << "/new.txt" << 0 << QByteArray("hi\n")
                                    << QByteArray("written");
        QTest::newRow("the editor fails") << "false" << "a.txt" << 1 << QByteArray("alpha") << QByteArray("the text is in ");
        QTest::newRow("the upload is refused") << "sh -c 'head -c 2000000 /dev/zero > \"$1\"' editor" << "a.txt" << 1
                                               << QByteArray("alpha") << QByteArray("the edited text is kept in ");
    }
    void edit()
    {
        QFETCH(QString, editor);
        QFETCH(QString, name);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, said);
        QTemporaryDir store;
        QVERIFY(!writeLocalFile(store, QStringLiteral("a.txt"), "alpha").isEmpty());
        EmulatorProgram device({"--dir", store.path()});
        QProcessEnvironment environment = cleanEnvironment();
        environment.remove(QStringLiteral("VISUAL"));
        environment.insert(QStringLiteral("EDITOR"), editor);
        const CliRun run = runCli({"-p", device.port(), "edit", name}, environment);
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY2(run.err.contains(said), run.err.constData());
        QCOMPARE(readLocalFile(QDir(store.path()).filePath(name.mid(name.lastIndexOf(QLatin1Char('/')) + 1))), stored);
        // A failure keeps the text and names it; a success leaves nothing.
        const QRegularExpression kept(QStringLiteral("(/\\S*spiffs-edit-[^/\\s]+/[^\\s)]+)"));
        const QRegularExpressionMatch match = kept.match(QString::fromLocal8Bit(run.err));
        QCOMPARE(match.hasMatch(), exitCode != 0);
        if (match.hasMatch()) {
            QVERIFY(QFileInfo::exists(match.captured(1)));
            QDir(QFileInfo(match.captured(1)).path()).removeRecursively();
        }
    }

    // Ctrl-C reaches the editor and spiffs-cli alike: an editor it ends ends
    // the command (130, the text kept); one that takes it for its own and
    // ends well has the text sent as usual.
    void editorAndCtrlC_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("the editor ends on it") << "kill -INT 0; :" << 130 << QByteArray("alpha")
                                               << QByteArray("edit: interrupted; nothing sent; the text is in ");
        QTest::newRow("the editor takes it") << "trap '' INT; kill -INT 0; sed -i s/alpha/beta/" << 0 << QByteArray("beta")
                                             << QByteArray("written and verified");
    }
    void editorAndCtrlC()
    {
        QFETCH(QString, editor);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, said);
        // In a process group of its own, as a shell starts a command: the
        // editor's Ctrl-C must not reach the test.
        const QString setsid = QStandardPaths::findExecutable(QStringLiteral("setsid"));
        if (setsid.isEmpty())
            QSKIP("setsid (util-linux) is not installed");
        // Long enough that sending it back spans many of the checks for Ctrl-C.
        const QByteArray rest = "\n" + QByteArray(20000, 'x');
        QTemporaryDir store;
        QVERIFY(!writeLocalFile(store, QStringLiteral("a.txt"), "alpha" + rest).isEmpty());
        EmulatorProgram device({"--dir", store.path()});
        QProcessEnvironment environment = cleanEnvironment();
        environment.remove(QStringLiteral("VISUAL"));
        environment.insert(QStringLiteral("EDITOR"), editor);
        const CliRun run = runCli({"-p", device.port(), "edit", "a.txt"}, environment, setsid, {"-w", cliPath()});
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY2(run.err.contains(said), run.err.constData());
        QVERIFY(readLocalFile(QDir(store.path()).filePath(QStringLiteral("a.txt"))) == stored + rest);
        const QRegularExpressionMatch kept =
                QRegularExpression(QStringLiteral("text is in (\\S+)")).match(QString::fromLocal8Bit(run.err));
        if (kept.hasMatch()) {
            QVERIFY(readLocalFile(kept.captured(1)) == "alpha" + rest);
            QDir(QFileInfo(kept.captured(1)).path()).removeRecursively();
        }
    }

    // A backup keeps what it can of names restore cannot give back, records
    // them, names them and fails; restore gives back the rest.
    void backupOfNamesThatCannotGoBack()
    {
        QTemporaryDir work;
        const QString trace = work.filePath(QStringLiteral("receiver.trace"));
        QVERIFY(!writeLocalFile(work, QStringLiteral("receiver.trace"), receiverWithOddNames()).isEmpty());
        const QString backup = work.filePath(QStringLiteral("backup"));
        {
            EmulatorProgram recorded({"--replay", trace});
            const CliRun run = runCli({"-p", recorded.port(), "backup", backup});
            QCOMPARE(run.exitCode, 1);
            QVERIFY2(run.err.contains("not restorable: \"\" (its name is empty; kept as -)"), run.err.constData());
            QVERIFY2(run.err.contains("not restorable: " + QByteArray(40, 'l') + " (its name is longer"), run.err.constData());
            QVERIFY2(run.err.contains("the receiver would not send it"), run.err.constData());
            QVERIFY2(run.err.contains("not restorable: z\\x00z.txt (its name holds a zero byte"), run.err.constData());
            QVERIFY2(run.err.contains("3 files cannot be restored"), run.err.constData());
        }
        const QByteArray manifest = readLocalFile(QDir(backup).filePath(QStringLiteral("MANIFEST")));
        QCOMPARE(manifest.count("\n! "), 3);
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("ok.txt"))), QByteArray("fine"));
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("-"))), QByteArray("nameless"));

        QTemporaryDir store;
        EmulatorProgram device({"--dir", store.path()});
        const CliRun restored = runCli({"-p", device.port(), "restore", backup});
        QCOMPARE(restored.exitCode, 1);
        QVERIFY2(restored.err.contains("3 files of the backup could not be given back"), restored.err.constData());
        QCOMPARE(folderEntries(store.path()), QStringList{"ok.txt"});
    }

    // Nothing outside DIR is read: restore refuses before sending anything,
    // sync skips the link and sends the rest; a link inside DIR is followed.
    void linksLeadingOutOfTheFolder()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir work;
        QTemporaryDir elsewhere;
        const QString backup = work.filePath(QStringLiteral("backup"));
        QCOMPARE(runCli({"-p", device.port(), "backup", backup}).exitCode, 0);
        // The same bytes, so only where they lie gives the link away.
        const QString outside = writeLocalFile(elsewhere, QStringLiteral("notes"), "n");
        QVERIFY(QFile::remove(QDir(backup).filePath(QStringLiteral("notes"))));
        QVERIFY(QFile::link(outside, QDir(backup).filePath(QStringLiteral("notes"))));
        const QString trace = work.filePath(QStringLiteral("trace"));
        const CliRun restore = runCli({"-p", device.port(), "--trace", trace, "restore", backup});
        QCOMPARE(restore.exitCode, 1);
        QVERIFY2(restore.err.contains("is a link leading outside"), restore.err.constData());
        QVERIFY(!readLocalFile(trace).contains("UPLOAD"));

        const QString folder = work.filePath(QStringLiteral("sync"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!writeLocalFile(work, QStringLiteral("sync/kept.txt"), "k").isEmpty());
        QVERIFY(QFile::link(outside, QDir(folder).filePath(QStringLiteral("out.txt"))));
        QVERIFY(QFile::link(QDir(folder).filePath(QStringLiteral("kept.txt")), QDir(folder).filePath(QStringLiteral("in.txt"))));
        const CliRun sync = runCli({"-p", device.port(), "sync", folder});
        QCOMPARE(sync.exitCode, 1);
        QVERIFY2(sync.err.contains("skipped out.txt: a link leading outside"), sync.err.constData());
        QVERIFY(store.files().contains(QStringLiteral("kept.txt")));
        QVERIFY(store.files().contains(QStringLiteral("in.txt")));
        QVERIFY(!store.files().contains(QStringLiteral("out.txt")));
    }

    // A "%1" in a folder's name or in the receiver's names is said as it is,
    // on a terminal, progress lines included; "@" is the local folder.
    void placeholdersSaidAsGiven_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("verify, sizes") << QStringList{"verify", "@/a.txt:x%1.txt"}
                                       << QStringList{"@/a.txt holds 8 bytes, the receiver's x%1.txt holds 1", "x%1.txt     "};
        QTest::newRow("verify, bytes") << QStringList{"verify", "@/same.txt:y%1.txt"}
                                       << QStringList{"@/same.txt and the receiver's y%1.txt differ from byte 0 on"};
        QTest::newRow("cat, a pattern") << QStringList{"cat", "*%1*"}
                                        << QStringList{"cat: *%1* stands for 2 files; cat takes one"};
        QTest::newRow("backup") << QStringList{"backup", "@/new"} << QStringList{"and @/new/MANIFEST in ", "x%1.txt     "};
        QTest::newRow("restore") << QStringList{"restore", "@"} << QStringList{"@/a.txt holds 8 bytes, the MANIFEST says 5"};
    }
    void placeholdersSaidAsGiven()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, said);
        StoreFolder store;
        QVERIFY(!writeLocalFile(store.dir, QStringLiteral("x%251.txt"), "x").isEmpty());
        QVERIFY(!writeLocalFile(store.dir, QStringLiteral("y%251.txt"), "y").isEmpty());
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir work;
        const QString folder = work.filePath(QStringLiteral("50%1 off"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(!writeLocalFile(work, QStringLiteral("50%1 off/a.txt"), "alphabet").isEmpty());
        QVERIFY(!writeLocalFile(work, QStringLiteral("50%1 off/same.txt"), "Y").isEmpty());
        const QByteArray alpha = QCryptographicHash::hash("alpha", QCryptographicHash::Sha256).toHex();
        QVERIFY(!writeLocalFile(work, QStringLiteral("50%1 off/MANIFEST"),
                                "spiffs-backup 1 2026-01-01T00:00:00Z 1318001 0\n5 " + alpha + " a.txt a.txt\n").isEmpty());
        for (QString &argument : arguments)
            argument = withFolder(argument, folder);
        int status = -1;
        const QByteArray screen = onATerminal(QStringList{cliPath(), "-p", device.port()} + arguments, QByteArray(), &status);
        for (const QString &text : std::as_const(said))
            QVERIFY2(screen.contains(withFolder(text, folder).toUtf8()), screen.constData());
    }

    // On a terminal, erasing more than one file asks first; y or yes goes
    // ahead, anything else erases nothing; --yes does not ask.
    void erasingAsksOnATerminal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("filesLeft");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("rm, no") << QStringList{"rm", "*.txt", "notes"} << QByteArray("n\n") << 1 << 5 << QByteArray();
        QTest::newRow("rm, y") << QStringList{"rm", "*.txt", "notes"} << QByteArray("y\n") << 0 << 2 << QByteArray();
        QTest::newRow("rm --yes") << QStringList{"rm", "--yes", "*.txt", "notes"} << QByteArray() << 0 << 2 << QByteArray();
        QTest::newRow("rm of one file does not ask") << QStringList{"rm", "notes"} << QByteArray() << 0 << 4 << QByteArray();
        QTest::newRow("format, yes") << QStringList{"format"} << QByteArray("yes\n") << 0 << 0 << QByteArray();
        QTest::newRow("sync --delete, no") << QStringList{"sync", "@", "--delete"} << QByteArray("no\n") << 1 << 5 << QByteArray();
        QTest::newRow("format, Ctrl-C, --json") << QStringList{"--json", "format"} << QByteArray("\x03") << 130 << 5
                                                << QByteArray("\"kind\":\"interrupted\"");
        QTest::newRow("rm, Ctrl-C, --json") << QStringList{"--json", "rm", "*.txt", "notes"} << QByteArray("\x03") << 130 << 5
                                            << QByteArray("\"kind\":\"interrupted\"");
    }
    void erasingAsksOnATerminal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, answer);
        QFETCH(int, exitCode);
        QFETCH(int, filesLeft);
        QFETCH(QByteArray, said);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("a.txt"), "alpha").isEmpty());
        for (QString &argument : arguments)
            argument = withFolder(argument, folder.path());
        int status = -1;
        const QByteArray screen = onATerminal(QStringList{cliPath(), "-p", device.port()} + arguments, answer, &status);
        QVERIFY2(status == exitCode, screen.constData());
        QCOMPARE(screen.contains("[y/N]"), !answer.isEmpty());
        QCOMPARE(store.files().size(), filesLeft);
        QVERIFY2(screen.contains(said), screen.constData());
    }

    // The examples README and the manual page give, run as written.
    void documentedExamplesRun()
    {
        QStringList examples;
        const QString readme = QString::fromUtf8(readLocalFile(QStringLiteral(SOURCE_DIR "/README.md")));
        const QString section = readme.section(QStringLiteral("\n## The command line\n"), 1).section(QStringLiteral("\n## "), 0, 0);
        for (const QString &line : section.split(QLatin1Char('\n'))) {
            // Examples, not the synopsis and its [OPTIONS].
            if (line.startsWith(QLatin1String("    spiffs-cli ")) && !line.contains(QLatin1String(" [")))
                examples << line.trimmed().section(QStringLiteral("  #"), 0, 0).trimmed();
        }
        const QString manual = QString::fromUtf8(readLocalFile(QStringLiteral(SOURCE_DIR "/docs/man/spiffs-cli.1.in")));
        const QString block = manual.section(QStringLiteral(".SH EXAMPLES\n.nf\n"), 1).section(QStringLiteral(".fi\n"), 0, 0);
        for (QString line : block.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            examples << line.replace(QStringLiteral("\\-"), QStringLiteral("-")).replace(QStringLiteral("\\(aq"), QStringLiteral("'"));
        QVERIFY2(examples.size() >= 10, qPrintable(examples.join(QLatin1Char('\n'))));

        // Each document's examples in order, on a receiver of their own.
        const int fromManual = examples.size() - int(block.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
        const QVector<QStringList> documents{examples.mid(0, fromManual), examples.mid(fromManual)};
        for (const QStringList &document : documents) {
            QTemporaryDir store;
            for (const QString &name : QDir(QStringLiteral(SOURCE_DIR "/examples/sample-store")).entryList(QDir::Files))
                QVERIFY(QFile::copy(QStringLiteral(SOURCE_DIR "/examples/sample-store/") + name, QDir(store.path()).filePath(name)));
            EmulatorProgram device({"--dir", store.path()});
            QTemporaryDir work;
            QVERIFY(QDir(work.path()).mkdir(QStringLiteral("presets")));
            for (const char *file : {"station.ini", "song.mp3", "presets/mw.txt"})
                QVERIFY(!writeLocalFile(work, QString::fromLatin1(file), "example").isEmpty());
            for (const QString &example : document) {
                // As a shell runs it; a port it names is the receiver's,
                // here the emulator's.
                QString command = example;
                command.replace(QRegularExpression(QStringLiteral("^spiffs-cli ")), cliPath() + QLatin1Char(' '));
                command.replace(QRegularExpression(QStringLiteral("-p /dev/\\S+")), QStringLiteral("-p ") + device.port());
                QProcess cli;
                QProcessEnvironment environment = cleanEnvironment();
                environment.insert(QStringLiteral("SPIFFS_PORT"), device.port());
                cli.setProcessEnvironment(environment);
                cli.setWorkingDirectory(work.path());
                cli.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
                cli.closeWriteChannel();
                QVERIFY(cli.waitForFinished(60000));
                QVERIFY2(cli.exitCode() == 0,
                         qPrintable(example + QStringLiteral(": ") + QString::fromLocal8Bit(cli.readAllStandardError())));
            }
        }
    }
};

QTEST_MAIN(CliWorkflowsTest)
#include "tst_cliworkflows.moc"
