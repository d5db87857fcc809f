// spiffs-cli as a user runs it: the real program in its own process, against
// spiffs-emulator in another, on a pseudo-terminal, with real files.
#include "clirun.h"
#include "emulatorprogram.h"
#include "testfiles.h"
#include "windowharness.h"

#include "core/portlock.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QMap>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QScopeGuard>
#include <QtCore/QSet>
#include <QtCore/QStandardPaths>
#include <QtCore/QSysInfo>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace CliTesting;
using namespace DeviceBytes;

namespace {

// Every host file of a store folder and its content.
QMap<QString, QByteArray> storeContents(const QString &folder)
{
    QMap<QString, QByteArray> contents;
    for (const QString &name : folderEntries(folder))
        contents.insert(name, readLocalFile(QDir(folder).filePath(name)));
    return contents;
}

struct BackupFile
{
    QByteArray name;
    QString path;
    QByteArray content;
};

// A backup folder written by hand, as the MANIFEST format is documented.
void writeBackup(const QString &folder, const QVector<BackupFile> &files)
{
    QByteArray manifest = "spiffs-backup 1 2026-01-01T00:00:00Z 1318001 0\n";
    for (const BackupFile &file : files) {
        QDir(folder).mkpath(QFileInfo(file.path).path());
        QFile local(QDir(folder).filePath(file.path));
        QVERIFY(local.open(QIODevice::WriteOnly) && local.write(file.content) == file.content.size());
        manifest += QByteArray::number(file.content.size()) + ' '
                    + QCryptographicHash::hash(file.content, QCryptographicHash::Sha256).toHex() + ' ' + file.name + ' '
                    + file.path.toUtf8() + '\n';
    }
    QFile out(QDir(folder).filePath(QStringLiteral("MANIFEST")));
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(manifest) == manifest.size());
}

} // namespace

namespace {

// The entry of `ports --json` for one port.
QJsonObject listedPort(const QByteArray &document, const QString &name)
{
    const QJsonArray ports = QJsonDocument::fromJson(document).object().value(QStringLiteral("ports")).toArray();
    for (const QJsonValue &port : ports) {
        if (port.toObject().value(QStringLiteral("name")).toString() == name)
            return port.toObject();
    }
    return QJsonObject();
}

} // namespace

class CliTest : public QObject
{
    Q_OBJECT

private slots:
    void command_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");

        const auto row = [](const char *name, const QStringList &arguments, int exitCode, const QByteArray &out,
                            const QByteArray &err = QByteArray()) {
            QTest::newRow(name) << arguments << exitCode << out << err;
        };
        row("df", {"df"}, 0, "total     1318001\nused        22528\nfree      1295473\n");
        row("ls", {"ls"}, 0, "a.txt\nbig.bin\nnotes\npresets/sw.txt\nsong.mp3\n");
        row("ls -l pattern", {"ls", "-l", "a.*"}, 0, "         5  a.txt\n");
        row("ls star spans /", {"ls", "*sw*"}, 0, "presets/sw.txt\n");
        row("ls sets", {"ls", "[a-n]*", "?o*"}, 0, "a.txt\nbig.bin\nnotes\nsong.mp3\n");
        row("ls no match", {"ls", "a.txt", "x*"}, 1, "a.txt\n", "no file matches x*");
        row("cat", {"cat", "presets/sw.txt"}, 0, "7200 kHz");
        row("cat every byte value", {"cat", "big.bin"}, 0, bigContent);
        row("cat missing", {"cat", "none.txt"}, 1, "", "cat: no such file: none.txt");
        row("run", {"run", "song.mp3"}, 0, "");
        row("run unsupported", {"run", "big.bin"}, 1, "", "does not open");
        row("run missing", {"run", "nothere.txt"}, 1, "", "run: no such file: nothere.txt");
        row("run no type", {"run", "notes"}, 1, "", "has none");
        row("rm missing", {"rm", "none.txt"}, 1, "", "no such file");
        row("reboot", {"reboot"}, 0, "");
        row("unknown command", {"frobnicate"}, 2, "", "unknown command");
        row("option of another command", {"ls", "-o", "x"}, 2, "", "option of get");
        row("no argument", {"get"}, 2, "", "missing argument");
    }
    void command()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        const CliRun run = runCli(QStringList{QStringLiteral("-p"), emulator.port()} + arguments);
        QVERIFY2(run.err.contains(err), run.err.constData());
        QCOMPARE(run.out, out);
        QCOMPARE(run.exitCode, exitCode);
    }

    void jsonDocuments()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        const QJsonObject df = QJsonDocument::fromJson(runCli({"-p", emulator.port(), "--json", "df"}).out).object();
        QCOMPARE(df.value(QStringLiteral("total")).toInt(), 1318001);
        QCOMPARE(df.value(QStringLiteral("used")).toInt() + df.value(QStringLiteral("free")).toInt(), 1318001);

        const QJsonArray files =
                QJsonDocument::fromJson(runCli({"-p", emulator.port(), "ls", "--json", "*.*"}).out).object().value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), 4);
        QCOMPARE(files.at(3).toObject().value(QStringLiteral("name")).toString(), QStringLiteral("song.mp3"));
        QCOMPARE(files.at(1).toObject().value(QStringLiteral("size")).toInt(), bigContent.size());
    }

    void putGetVerify()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        QTemporaryDir local;
        const QString derived = writeLocalFile(local, QStringLiteral("My tune!.mp3"), patterned(700, 1));
        const QString other = writeLocalFile(local, QStringLiteral("other"), patterned(700, 2));
        QVERIFY(QDir(local.path()).mkdir(QStringLiteral("out")));
        const QString out = local.filePath(QStringLiteral("out"));

        const CliRun put = runCli({"-p", emulator.port(), "put", derived, other + ":dir/b.txt", "--verify"});
        QVERIFY2(put.exitCode == 0, put.err.constData());
        QVERIFY(store.files().contains(QStringLiteral("Mytune.mp3")));
        QCOMPARE(readLocalFile(store.dir.filePath(QStringLiteral("dir%2Fb.txt"))), patterned(700, 2));

        QCOMPARE(runCli({"-p", emulator.port(), "get", "dir/b.txt", "Mytune.mp3", "-o", out}).exitCode, 0);
        QStringList saved = folderEntries(out);
        saved.sort();
        QCOMPARE(saved, (QStringList{"Mytune.mp3", "dir-b.txt"}));
        QCOMPARE(readLocalFile(QDir(out).filePath(QStringLiteral("dir-b.txt"))), patterned(700, 2));

        QCOMPARE(runCli({"-p", emulator.port(), "verify", other + ":dir/b.txt"}).exitCode, 0);
        const CliRun differs = runCli({"-p", emulator.port(), "verify", derived + ":dir/b.txt"});
        QCOMPARE(differs.exitCode, 5);
        QVERIFY2(differs.err.contains("differ from byte 0"), differs.err.constData());
    }

    void failedGetKeepsTheLocalFile_data()
    {
        QTest::addColumn<QStringList>("emulatorArguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("silent") << QStringList{"--silent", "D"} << 4 << QByteArray("big.bin: no answer from the receiver in 0.3 s; no byte of it had arrived");
        QTest::newRow("hang-up") << QStringList{"--hangup-after", "2000"} << 3 << QByteArray(" of 20000 bytes had arrived");
    }
    void failedGetKeepsTheLocalFile()
    {
        QFETCH(QStringList, emulatorArguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, err);
        StoreFolder store;
        EmulatorProgram emulator(QStringList{QStringLiteral("--dir"), store.dir.path()} + emulatorArguments);
        QTemporaryDir local;
        writeLocalFile(local, QStringLiteral("big.bin"), "kept");
        const CliRun run = runCli({"-p", emulator.port(), "--timeout", "0.3", "get", "big.bin", "-o", local.path()});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(err), run.err.constData());
        QCOMPARE(folderEntries(local.path()), QStringList{"big.bin"});
        QCOMPARE(readLocalFile(local.filePath(QStringLiteral("big.bin"))), QByteArray("kept"));
    }

    // A full receiver reports its spare blocks as used but not in its total:
    // its figures are shown with nothing free, its files can be listed and
    // saved, and nothing more can be written.
    void fullReceiverStillServes()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path(), QStringLiteral("--capacity"),
                                  QStringLiteral("24576"), QStringLiteral("--spare-blocks"), QStringLiteral("2")});
        const QStringList port{"-p", emulator.port()};
        const CliRun df = runCli(port + QStringList{"df"});
        QCOMPARE(df.exitCode, 0);
        QCOMPARE(df.out, QByteArray("total       16384\nused        22528\nfree            0\n"));
        QTemporaryDir local;
        const CliRun saved = runCli(port + QStringList{"backup", local.path()});
        QVERIFY2(saved.exitCode == 0, saved.err.constData());
        QCOMPARE(readLocalFile(local.filePath(QStringLiteral("big.bin"))), bigContent);
        const CliRun put = runCli(port + QStringList{"put", writeLocalFile(local, QStringLiteral("new.txt"), "x")});
        QCOMPARE(put.exitCode, 1);
        QVERIFY2(put.err.contains("which has 0 free; nothing sent"), put.err.constData());
    }

    // A full disk (a file-size limit stands in for it) fails the command with
    // the cause named, and every copy already in the folder stays as it was.
    void fullDiskCostsNoCopy_data()
    {
        QTest::addColumn<QStringList>("first"); // run before, with no limit
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("err");
        const QStringList get{"get", "a.txt", "big.bin", "-o", "%dir"};
        // The port's lock file needs a few dozen bytes.
        QTest::newRow("get, a copy of a few bytes") << get << QStringList{"get", "a.txt", "-o", "%dir"} << 200
                                                    << QByteArray("get a.txt: cannot write %dir/a.txt: file too large");
        QTest::newRow("get, a copy of many") << get << QStringList{"get", "big.bin", "-o", "%dir"} << 4096
                                             << QByteArray("get big.bin: cannot write %dir/big.bin: file too large");
        QTest::newRow("a second backup") << QStringList{"backup", "%dir"} << QStringList{"backup", "%dir"} << 200
                                         << QByteArray("backup: cannot write %dir/.spiffs-backup-incoming/");
        QTest::newRow("a trace") << QStringList() << QStringList{"--trace", "%dir/df.trace", "df"} << 300
                                 << QByteArray("cannot write the trace %dir/df.trace: file too large; it ends there");
    }
    void fullDiskCostsNoCopy()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, arguments);
        QFETCH(int, limit);
        QFETCH(QByteArray, err);
        StoreFolder store;
        writeLocalFile(store.dir, QStringLiteral("a.txt"), patterned(1000, 3));
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        QTemporaryDir local;
        first.replaceInStrings(QStringLiteral("%dir"), local.path());
        arguments.replaceInStrings(QStringLiteral("%dir"), local.path());
        if (!first.isEmpty())
            QCOMPARE(runCli(QStringList{"-p", emulator.port()} + first).exitCode, 0);
        const QMap<QString, QByteArray> before = storeContents(local.path());

        const CliRun run = runCli(QStringList{"-p", emulator.port()} + arguments, cleanEnvironment(),
                                  QStringLiteral("prlimit"), {QStringLiteral("--fsize=%1").arg(limit), cliPath()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(err.replace("%dir", local.path().toUtf8())), run.err.constData());
        if (!arguments.contains(QStringLiteral("--trace")))
            QVERIFY(storeContents(local.path()) == before);
    }

    // Ctrl-C or a lost line in the middle of a transfer, at the wire's pace.
    void transferCutShort_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("err");
        const QByteArray partial = " bytes had been taken; the receiver may now hold a partial file named up.bin";
        QTest::newRow("get, Ctrl-C") << "get" << QStringList() << 130 << QByteArray("big.bin: interrupted; ");
        QTest::newRow("put, Ctrl-C") << "put" << QStringList() << 130 << partial;
        QTest::newRow("put, hang-up") << "put" << QStringList{"--hangup-after", "300"} << 3 << partial;
    }
    void transferCutShort()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, fault);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, err);
        StoreFolder store;
        EmulatorProgram emulator(QStringList{"--dir", store.dir.path(), "--baud", "115200"} + fault);
        QTemporaryDir local;
        const QString file = writeLocalFile(local, command == QLatin1String("get") ? QStringLiteral("big.bin") : QStringLiteral("up.bin"),
                                            command == QLatin1String("get") ? QByteArray("kept") : patterned(20000, 7));
        const QString trace = local.filePath(QStringLiteral("trace"));
        QProcess cli;
        cli.setProcessEnvironment(cleanEnvironment());
        cli.start(QStringLiteral(CLI_PATH), QStringList{"-p", emulator.port(), "--trace", trace, command}
                                                    + (command == QLatin1String("get") ? QStringList{"big.bin", "-o", local.path()} : QStringList{file}));
        const QByteArray exchange = command == QLatin1String("get") ? "DOWNLOAD" : "UPLOAD";
        QVERIFY(cli.waitForStarted());
        if (fault.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(readLocalFile(trace).contains(" < " + exchange), 10000);
            QCOMPARE(::kill(pid_t(cli.processId()), SIGINT), 0);
        }
        QVERIFY(cli.waitForFinished(20000));
        const QByteArray errors = cli.readAllStandardError();
        QCOMPARE(cli.exitCode(), exitCode);
        QVERIFY2(errors.contains(err), errors.constData());
        QStringList left = folderEntries(local.path());
        QStringList expected{QFileInfo(file).fileName(), "trace"};
        left.sort();
        expected.sort();
        QCOMPARE(left, expected);
        if (command == QLatin1String("get"))
            QCOMPARE(readLocalFile(file), QByteArray("kept"));
    }

    // Two names that read alike (the byte 0xFF, the UTF-8 of "\u00ff"):
    // each is shown so it differs, and each command touches the one typed.
    void lookAlikeNamesTouchOnlyTheOneTyped()
    {
        QTemporaryDir storeFolder;
        writeLocalFile(storeFolder, QStringLiteral("x%FF"), "the byte");
        writeLocalFile(storeFolder, QString::fromUtf8("x\xc3\xbf"), "the letter");
        EmulatorProgram emulator({QStringLiteral("--dir"), storeFolder.path()});
        const QStringList port{"-p", emulator.port()};
        QCOMPARE(runCli(port + QStringList{"ls"}).out, QByteArray("x\\xff\nx\xc3\xbf\n"));
        const QJsonArray files = QJsonDocument::fromJson(runCli(port + QStringList{"--json", "ls"}).out)["files"].toArray();
        QCOMPARE(files.at(0)["name"].toString(), QStringLiteral("x\\xff"));
        QCOMPARE(files.at(0)["nameBytes"].toString(), QStringLiteral("78ff"));
        QVERIFY(!files.at(1).toObject().contains(QStringLiteral("nameBytes")));
        QCOMPARE(runCli(port + QStringList{"cat", "x\\xff"}).out, QByteArray("the byte"));
        QCOMPARE(runCli(port + QStringList{"cat", QString::fromUtf8("x\xc3\xbf")}).out, QByteArray("the letter"));
        const CliRun removed = runCli(port + QStringList{"rm", QString::fromUtf8("x\xc3\xbf")});
        QVERIFY2(removed.err.contains("removed x\xc3\xbf"), removed.err.constData());
        QCOMPARE(folderEntries(storeFolder.path()), QStringList{"x%FF"});
        // Now the letter's name only reads like the byte's: refused.
        const CliRun refused = runCli(port + QStringList{"rm", QString::fromUtf8("x\xc3\xbf")});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains("x\\xff only reads like it"), refused.err.constData());
        QCOMPARE(folderEntries(storeFolder.path()), QStringList{"x%FF"});
    }

    void formatAsksOrNeedsYes()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        const CliRun refused = runCli({"-p", emulator.port(), "format"});
        QCOMPARE(refused.exitCode, 2);
        QVERIFY2(refused.err.contains("--yes"), refused.err.constData());
        QCOMPARE(store.files().size(), 5);
        QCOMPARE(runCli({"-p", emulator.port(), "format", "--yes"}).exitCode, 0);
        QCOMPARE(store.files(), QStringList());
    }

    void removeByPattern()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        const CliRun unmatched = runCli({"-p", emulator.port(), "rm", "notes", "zz*"});
        QCOMPARE(unmatched.exitCode, 1);
        QCOMPARE(store.files().size(), 5);
        QCOMPARE(runCli({"-p", emulator.port(), "rm", "--yes", "presets/*", "*.[bt]*"}).exitCode, 0);
        QCOMPARE(store.files(), (QStringList{"notes", "song.mp3"}));
    }

    void controlCharactersInNamesAreShownEscaped()
    {
        // A receiver's name that would retitle the user's terminal.
        StoreFolder store;
        writeLocalFile(store.dir, QStringLiteral("e%1B]0;x%07.txt"), "e");
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path(), QStringLiteral("--silent"), QStringLiteral("R")});
        const CliRun run = runCli({"-p", emulator.port(), "--timeout", "0.3", "rm", "e*"});
        QCOMPARE(run.exitCode, 4);
        QVERIFY2(run.err.contains("rm e\\x1b]0;x\\x07.txt: "), run.err.constData());
        QVERIFY(!run.err.contains('\x1b'));
    }

    // What cannot be stored as the owner meant is refused before anything
    // is sent: names the receiver cannot take, two files for one name, an
    // empty FOLDER (an unset variable), a NAME mistyped as a pattern, room.
    void refusedBeforeSending_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %file: a file of 4096 bytes; %dir: its folder
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("too long") << QStringList{"put", "%file:abcdefghijklmnopqrstuvwxyz1.txt"} << 2
                                  << QByteArray("longer than the receiver's 30 bytes");
        QTest::newRow("bad characters") << QStringList{"put", "%file:a b.txt"} << 2 << QByteArray("holds characters");
        QTest::newRow("no type") << QStringList{"put", "%file:a."} << 2 << QByteArray("a type after it");
        QTest::newRow("no room") << QStringList{"put", "%file"} << 1
                                 << QByteArray("4096 bytes need up to 4608 bytes of the receiver's room, which has 3584 free; "
                                               "nothing sent");
        QTest::newRow("two files, one name") << QStringList{"put", "%dir/station2.ini", "%dir/station 2.ini"} << 2
                                             << QByteArray("put: %dir/station2.ini and %dir/station 2.ini would both be "
                                                           "stored as station2.ini, the second replacing the first; nothing sent");
        QTest::newRow("sync, two files, one name") << QStringList{"sync", "%dir"} << 1
                                                   << QByteArray("sync: station 2.ini and station2.ini would both be stored "
                                                                 "as station2.ini");
        QTest::newRow("sync into an empty FOLDER") << QStringList{"sync", "%dir", "", "--delete", "--yes"} << 2
                                                   << QByteArray("sync: the receiver's folder \"\" names no folder");
        QTest::newRow("sync into a FOLDER of slashes") << QStringList{"sync", "%dir", "//", "--delete", "--yes"} << 2
                                                       << QByteArray("sync: the receiver's folder \"//\" names no folder");
        QTest::newRow("edit, a pattern that matches nothing") << QStringList{"edit", "statoin*.ini"} << 1
                                                              << QByteArray("edit: no file matches statoin*.ini");
    }
    void refusedBeforeSending()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, err);
        QTemporaryDir store;
        writeLocalFile(store, QStringLiteral("station.ini"), "held");
        EmulatorProgram emulator({"--dir", store.path(), "--capacity", "4096"});
        QTemporaryDir local;
        const QString file = writeLocalFile(local, QStringLiteral("file.bin"), patterned(4096, 3));
        writeLocalFile(local, QStringLiteral("station2.ini"), "one");
        writeLocalFile(local, QStringLiteral("station 2.ini"), "two");
        const QString trace = QDir(QDir::tempPath()).filePath(QStringLiteral("refused-%1.trace").arg(QCoreApplication::applicationPid()));
        arguments.replaceInStrings(QStringLiteral("%file"), file).replaceInStrings(QStringLiteral("%dir"), local.path());
        const CliRun run = runCli(QStringList{"-p", emulator.port(), "--trace", trace} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(err.replace("%dir", local.path().toUtf8())), run.err.constData());
        QVERIFY(!readLocalFile(trace).contains("UPLOAD") && !readLocalFile(trace).contains("REMOVE"));
        QFile::remove(trace);
        QCOMPARE(folderEntries(store.path()), QStringList{"station.ini"});
    }

    // sync names a file as put does: cleaned, and said; the next sync of the
    // same folder finds it there and sends nothing.
    void syncCleansNamesAsPutDoes()
    {
        QTemporaryDir store;
        EmulatorProgram emulator({"--dir", store.path()});
        QTemporaryDir local;
        writeLocalFile(local, QStringLiteral("station 2.ini"), "two");
        const CliRun first = runCli({"-p", emulator.port(), "sync", local.path()});
        QVERIFY2(first.exitCode == 0, first.err.constData());
        QVERIFY2(first.err.contains("sync: station 2.ini is stored as station2.ini"), first.err.constData());
        QCOMPARE(folderEntries(store.path()), QStringList{"station2.ini"});
        const CliRun second = runCli({"-p", emulator.port(), "sync", local.path()});
        QVERIFY2(second.exitCode == 0, second.err.constData());
        QVERIFY2(second.out.contains("sync: sent 0 files, removed 0, 1 unchanged"), second.out.constData());
    }

    // A name that is not UTF-8 is never silently left out nor changed: sync
    // skips it and says so, keeping the receiver's file it would have
    // replaced; an argument that is one is refused.
    void namesThatAreNotUtf8AreSaid()
    {
        QTemporaryDir store;
        writeLocalFile(store, QStringLiteral("a.ini"), "old");
        writeLocalFile(store, QStringLiteral("d%2Fx.ini"), "under");
        EmulatorProgram emulator({"--dir", store.path()});
        QTemporaryDir local;
        writeLocalFile(local, QStringLiteral("b.ini"), "two");
        const QByteArray raw = QFile::encodeName(local.path()) + "/a\xff.ini";
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        ::close(fd);
        QCOMPARE(::mkdir((QFile::encodeName(local.path()) + "/d\xff").constData(), 0755), 0);
        const CliRun sync = runCli({"-p", emulator.port(), "sync", local.path(), "--delete", "--yes"});
        QCOMPARE(sync.exitCode, 1);
        QVERIFY2(sync.err.contains("skipped a\\xff.ini: its name is not UTF-8"), sync.err.constData());
        QCOMPARE(readLocalFile(store.path() + QStringLiteral("/a.ini")), QByteArray("old"));
        QCOMPARE(readLocalFile(store.path() + QStringLiteral("/d%2Fx.ini")), QByteArray("under"));
        QCOMPARE(readLocalFile(store.path() + QStringLiteral("/b.ini")), QByteArray("two"));
        const CliRun put = runCli({"-p", emulator.port(), "put"}, cleanEnvironment(), QStringLiteral("/bin/sh"),
                                  {"-c", R"sh(exec "$0" "$@" "$(printf 'a\377.ini')")sh", cliPath()});
        QCOMPARE(put.exitCode, 2);
        QVERIFY2(put.err.contains("the argument a\\xff.ini is not UTF-8"), put.err.constData());
    }

    // put and restore judge room alike, by the flash's pages, the file of
    // the same name credited; what does not fit is refused before anything
    // is sent.
    void putAndRestoreJudgeRoomAlike_data()
    {
        QTest::addColumn<int>("held"); // the size of the receiver's x.bin; -1: none
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("fits");
        QTest::newRow("room to spare") << -1 << 3000 << true;
        QTest::newRow("free above the size, pages beyond it") << -1 << 3900 << false;
        QTest::newRow("the file replaced frees its pages") << 3000 << 3000 << true;
        QTest::newRow("not even with them") << 1000 << 3900 << false;
    }
    void putAndRestoreJudgeRoomAlike()
    {
        QFETCH(int, held);
        QFETCH(int, size);
        QFETCH(bool, fits);
        const QByteArray content = patterned(size, 8);
        for (const QString &command : {QStringLiteral("put"), QStringLiteral("restore")}) {
            QTemporaryDir store;
            if (held >= 0)
                QVERIFY(!writeLocalFile(store, QStringLiteral("x.bin"), patterned(held, 9)).isEmpty());
            EmulatorProgram emulator({"--dir", store.path(), "--capacity", "4096"});
            QTemporaryDir local;
            const QString trace = local.filePath(QStringLiteral("trace"));
            QStringList arguments{"-p", emulator.port(), "--trace", trace, command};
            if (command == QLatin1String("put")) {
                arguments << writeLocalFile(local, QStringLiteral("x.bin"), content);
            } else {
                writeBackup(local.filePath(QStringLiteral("backup")), {{"x.bin", "x.bin", content}});
                arguments << local.filePath(QStringLiteral("backup"));
            }
            const CliRun run = runCli(arguments);
            const QByteArray said = command.toUtf8() + ": " + run.err;
            QVERIFY2((run.exitCode == 0) == fits, said.constData());
            QVERIFY2(fits || run.err.contains(" of the receiver's room, which has "), said.constData());
            QCOMPARE(readLocalFile(trace).contains(" > UPLOAD"), fits);
            QCOMPARE(readLocalFile(store.filePath(QStringLiteral("x.bin"))) == content, fits);
        }
    }

    void traceHoldsTheBytesOnTheLine()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        QTemporaryDir local;
        const QString trace = local.filePath(QStringLiteral("get.trace"));
        QCOMPARE(runCli({"-p", emulator.port(), "--trace", trace, "get", "big.bin", "-o", local.path()}).exitCode, 0);
        const QByteArray text = readLocalFile(trace);
        QVERIFY(text.startsWith("# spiffs-cli trace 1\n"));
        QCOMPARE(traced(text, '>', "MEMORY"), frame('M'));
        QCOMPARE(traced(text, '<', "MEMORY"), be32(1318001) + be32(22528));
        QCOMPARE(traced(text, '>', "DOWNLOAD"), frame('D', pathField("/big.bin")));
        QVERIFY(traced(text, '<', "DOWNLOAD") == be32(quint32(bigContent.size())) + bigContent);
    }

    void firstRequestSurvivesBootOnOpen()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path(), QStringLiteral("--boot-on-open")});
        QTemporaryDir local;
        const QString trace = local.filePath(QStringLiteral("boot.trace"));
        const CliRun run = runCli({"-p", emulator.port(), "--trace", trace, "ls", "a.*"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(run.out, QByteArray("a.txt\n"));
        QVERIFY(traced(readLocalFile(trace), '<', "OPEN").contains("rst:"));
    }

    void verifyCatchesACorruptedStore()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path(), QStringLiteral("--corrupt"), QStringLiteral("up.bin")});
        QTemporaryDir local;
        const QString file = writeLocalFile(local, QStringLiteral("up.bin"), patterned(300, 4));
        const CliRun put = runCli({"-p", emulator.port(), "put", "--verify", file});
        QCOMPARE(put.exitCode, 5);
        QVERIFY2(put.err.contains("differs"), put.err.constData());
    }

    void replayedTraceAnswersAsRecorded()
    {
        StoreFolder store;
        QTemporaryDir local;
        const QString trace = local.filePath(QStringLiteral("ls.trace"));
        CliRun recorded;
        {
            EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
            recorded = runCli({"-p", emulator.port(), "--trace", trace, "ls", "-l"});
        }
        EmulatorProgram replay({QStringLiteral("--replay"), trace});
        const CliRun replayed = runCli({"-p", replay.port(), "ls", "-l"});
        QVERIFY2(replayed.exitCode == 0, replayed.err.constData());
        QCOMPARE(replayed.out, recorded.out);
    }

    void backupFormatRestoreIsByteIdentical()
    {
        StoreFolder store;
        // Names with "/", UTF-8, a byte that is not, bytes the MANIFEST
        // escapes, and names that would share a local path.
        writeLocalFile(store.dir, QStringLiteral("caf\u00e9.txt"), "caf\xc3\xa9");
        writeLocalFile(store.dir, QStringLiteral("x%FF.bin"), patterned(300, 5));
        writeLocalFile(store.dir, QStringLiteral("s p\\%0A.txt"), "escaped");
        writeLocalFile(store.dir, QStringLiteral("a:b.txt"), "colon");
        writeLocalFile(store.dir, QStringLiteral("a-b.txt"), "dash");
        writeLocalFile(store.dir, QStringLiteral("A.TXT"), "case");
        writeLocalFile(store.dir, QStringLiteral("presets"), "a file where a folder would be");
        const QMap<QString, QByteArray> original = storeContents(store.dir.path());
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        QTemporaryDir backup;

        const CliRun saved = runCli({"-p", emulator.port(), "backup", backup.path()});
        QVERIFY2(saved.exitCode == 0, saved.err.constData());
        QCOMPARE(readLocalFile(backup.filePath(QStringLiteral("presets-sw.txt"))), QByteArray("7200 kHz"));
        QCOMPARE(readLocalFile(backup.filePath(QStringLiteral("a-b~2.txt"))), QByteArray("colon"));
        QCOMPARE(readLocalFile(backup.filePath(QStringLiteral("a~2.txt"))), QByteArray("alpha"));
        const QByteArray manifest = readLocalFile(backup.filePath(QStringLiteral("MANIFEST")));
        QVERIFY2(manifest.contains(" x\\xff.bin x\\xc3\\xbf.bin\n"), manifest.constData());
        QVERIFY2(manifest.contains(" s\\x20p\\\\\\x0a.txt s\\x20p--.txt\n"), manifest.constData());
        QCOMPARE(manifest.count('\n'), original.size() + 1);

        QCOMPARE(runCli({"-p", emulator.port(), "format", "--yes"}).exitCode, 0);
        const CliRun restored = runCli({"-p", emulator.port(), "restore", backup.path()});
        QVERIFY2(restored.exitCode == 0, restored.err.constData());
        QVERIFY(storeContents(store.dir.path()) == original);

        const QString extra = writeLocalFile(backup, QStringLiteral("extra.txt"), "not in the backup");
        QCOMPARE(runCli({"-p", emulator.port(), "put", extra}).exitCode, 0);
        const CliRun clean = runCli({"-p", emulator.port(), "restore", "--clean", "--yes", backup.path()});
        QVERIFY2(clean.exitCode == 0, clean.err.constData());
        QVERIFY(storeContents(store.dir.path()) == original);
    }

    // A routine backup after an accident (a format) keeps the backup before
    // it: restore names it rather than put back nothing, and --manifest
    // puts it back, its copies untouched by the backups since.
    void backupAfterFormatStaysRestorable()
    {
        StoreFolder store;
        const QMap<QString, QByteArray> original = storeContents(store.dir.path());
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        const QStringList port{"-p", emulator.port()};
        QTemporaryDir backup;
        QCOMPARE(runCli(port + QStringList{"backup", backup.path()}).exitCode, 0);
        const QByteArray first = readLocalFile(backup.filePath(QStringLiteral("MANIFEST")));
        QCOMPARE(runCli(port + QStringList{"format", "--yes"}).exitCode, 0);

        const CliRun afterFormat = runCli(port + QStringList{"backup", backup.path()});
        QVERIFY2(afterFormat.exitCode == 0, afterFormat.err.constData());
        QStringList kept = QDir(backup.path()).entryList({QStringLiteral("MANIFEST.*")});
        QCOMPARE(kept.size(), 1);
        QVERIFY2(afterFormat.out.contains("is kept as " + kept.constFirst().toUtf8()), afterFormat.out.constData());
        QCOMPARE(readLocalFile(backup.filePath(kept.constFirst())), first);

        const CliRun refused = runCli(port + QStringList{"restore", backup.path()});
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("lists no file") && refused.err.contains(kept.constFirst().toUtf8() + " (5 files)"),
                 refused.err.constData());
        QCOMPARE(store.files(), QStringList());

        // A file of an old name since: its new copy goes beside the kept one.
        QTemporaryDir elsewhere;
        const QString changed = writeLocalFile(elsewhere, QStringLiteral("a.txt"), "new content");
        QCOMPARE(runCli(port + QStringList{"put", changed}).exitCode, 0);
        QCOMPARE(runCli(port + QStringList{"backup", backup.path()}).exitCode, 0);
        QCOMPARE(readLocalFile(backup.filePath(QStringLiteral("a.txt"))), QByteArray("alpha"));
        QCOMPARE(QDir(backup.path()).entryList({QStringLiteral("MANIFEST.*")}), kept);

        const CliRun restored = runCli(port + QStringList{"restore", backup.path(), "--manifest", kept.constFirst(), "--clean", "--yes"});
        QVERIFY2(restored.exitCode == 0, restored.err.constData());
        QVERIFY(storeContents(store.dir.path()) == original);
    }

    void jobsThatChangeNothing_data()
    {
        QTest::addColumn<QStringList>("emulatorArguments");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("tamper"); // a file's new content, or a MANIFEST line
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output");
        QTest::newRow("restore dry run") << QStringList() << QStringList{"restore", "--clean", "--dry-run"} << QByteArray()
                                         << 0 << QByteArray("remove              big.bin");
        QTest::newRow("sync dry run") << QStringList() << QStringList{"sync", "--delete", "--checksum", "--dry-run"}
                                      << QByteArray() << 0 << QByteArray("compare          5  a.txt");
        QTest::newRow("no room") << QStringList{"--capacity", "4096"} << QStringList{"restore"} << QByteArray() << 1
                                 << QByteArray("free; nothing sent");
        QTest::newRow("tampered") << QStringList() << QStringList{"restore"} << QByteArray("ALPHa") << 1
                                  << QByteArray("a.txt is not the file the MANIFEST names");
        QTest::newRow("path out of the folder")
                << QStringList() << QStringList{"restore"} << QByteArray("1 " + QByteArray(64, 'a') + " e.txt ../e.txt\n")
                << 1 << QByteArray("line 4: the path leaves the folder");
        QTest::newRow("a file missing") << QStringList() << QStringList{"restore"}
                                        << QByteArray("1 " + QByteArray(64, 'a') + " e.txt e.txt\n") << 1
                                        << QByteArray("e.txt is missing");
        QTest::newRow("--clean, no terminal, no --yes")
                << QStringList() << QStringList{"restore", "--clean"} << QByteArray() << 2
                << QByteArray("restore --clean: 4 files from the receiver that the backup lacks would be removed: "
                              "big.bin, notes, presets/sw.txt, song.mp3; with no terminal to ask on, add --yes to go "
                              "ahead; nothing sent or removed");
    }
    void jobsThatChangeNothing()
    {
        QFETCH(QStringList, emulatorArguments);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, tamper);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        StoreFolder store;
        const QMap<QString, QByteArray> before = storeContents(store.dir.path());
        EmulatorProgram emulator(QStringList{QStringLiteral("--dir"), store.dir.path()} + emulatorArguments);
        QTemporaryDir backup;
        writeBackup(backup.path(), {{"a.txt", "a.txt", "ALPHA"}, {"new/x.txt", "new/x.txt", patterned(3000, 6)}});
        if (tamper.endsWith('\n')) {
            QFile manifest(backup.filePath(QStringLiteral("MANIFEST")));
            QVERIFY(manifest.open(QIODevice::Append) && manifest.write(tamper) == tamper.size());
        } else if (!tamper.isEmpty()) {
            writeLocalFile(backup, QStringLiteral("a.txt"), tamper);
        }
        const QString trace = backup.filePath(QStringLiteral("trace"));

        const CliRun run = runCli(QStringList{"-p", emulator.port(), "--trace", trace} + arguments + QStringList{backup.path()});
        QVERIFY2((run.out + run.err).contains(output), (run.out + run.err).constData());
        QCOMPARE(run.exitCode, exitCode);
        const QSet<QByteArray> allowed = {"OPEN", "IDLE", "MEMORY", "LIST"};
        QVERIFY(tracedExchanges(readLocalFile(trace)).subtract(allowed).isEmpty());
        QVERIFY(storeContents(store.dir.path()) == before);
    }

    void interruptedBackupKeepsThePreviousOne_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("silent") << QStringList{"--silent", "D"} << 4;
        QTest::newRow("hang-up") << QStringList{"--hangup-after", "3000"} << 3;
    }
    void interruptedBackupKeepsThePreviousOne()
    {
        QFETCH(QStringList, fault);
        QFETCH(int, exitCode);
        StoreFolder store;
        QTemporaryDir backup;
        {
            EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
            QCOMPARE(runCli({"-p", emulator.port(), "backup", backup.path()}).exitCode, 0);
        }
        const QMap<QString, QByteArray> previous = storeContents(backup.path());
        writeLocalFile(store.dir, QStringLiteral("a.txt"), "changed");
        EmulatorProgram emulator(QStringList{QStringLiteral("--dir"), store.dir.path()} + fault);
        const CliRun run = runCli({"-p", emulator.port(), "--timeout", "0.3", "backup", backup.path()});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY(storeContents(backup.path()) == previous);
        QCOMPARE(readLocalFile(backup.filePath(QStringLiteral("presets/sw.txt"))), QByteArray("7200 kHz"));
    }

    void syncSendsWhatChangedAndDeletes()
    {
        StoreFolder store;
        EmulatorProgram emulator({QStringLiteral("--dir"), store.dir.path()});
        QTemporaryDir local;
        writeLocalFile(local, QStringLiteral("a.txt"), "ALPHA"); // the receiver's size, not its content
        writeLocalFile(local, QStringLiteral("notes"), "n");
        QVERIFY(QDir(local.path()).mkdir(QStringLiteral("dir")));
        writeLocalFile(local, QStringLiteral("dir/b.txt"), patterned(100, 8));
        writeLocalFile(local, QString::fromUtf8("\xc3\xa9.txt"), "x"); // nothing before its type, once cleaned
        writeLocalFile(local, QStringLiteral("MANIFEST"), "not sent");

        const CliRun first = runCli({"-p", emulator.port(), "--json", "sync", "--delete", "--yes", local.path()});
        QCOMPARE(first.exitCode, 1);
        const QJsonObject summary = QJsonDocument::fromJson(first.out).object();
        QCOMPARE(summary.value(QStringLiteral("sent")).toArray().size(), 1);
        QCOMPARE(summary.value(QStringLiteral("skipped")).toArray().at(0).toObject().value(QStringLiteral("name")).toString(),
                 QString::fromUtf8("\xc3\xa9.txt"));
        QCOMPARE(store.files(), (QStringList{"a.txt", "dir%2Fb.txt", "notes"}));
        QCOMPARE(readLocalFile(store.dir.filePath(QStringLiteral("a.txt"))), QByteArray("alpha"));

        QVERIFY(QFile::remove(local.filePath(QString::fromUtf8("\xc3\xa9.txt"))));
        const CliRun careful = runCli({"-p", emulator.port(), "sync", "--checksum", local.path()});
        QVERIFY2(careful.exitCode == 0, careful.err.constData());
        QVERIFY2(careful.out.startsWith("sent             5  a.txt\n"), careful.out.constData());
        QCOMPARE(readLocalFile(store.dir.filePath(QStringLiteral("a.txt"))), QByteArray("ALPHA"));
    }

    void portChoice()
    {
        EmulatorProgram first;
        EmulatorProgram second;
        QProcessEnvironment environment = cleanEnvironment();
        environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), first.port());
        QCOMPARE(runCli({"df"}, environment).exitCode, 0);

        const QJsonArray ports = QJsonDocument::fromJson(runCli({"ports", "--json"}, environment).out).object().value(QStringLiteral("ports")).toArray();
        // The port the window starts on comes first, as the one spiffs-cli takes.
        const QJsonObject named = ports.first().toObject();
        QCOMPARE(named.value(QStringLiteral("name")).toString(), first.port());
        QCOMPARE(named.value(QStringLiteral("preferred")).toBool(), true);
        QCOMPARE(named.value(QStringLiteral("systemLocation")).toString(), first.port());
        QCOMPARE(named.value(QStringLiteral("listedBySystem")).toBool(), false);
        QCOMPARE(named.value(QStringLiteral("receiverBridge")).toBool(), false);
        QCOMPARE(named.value(QStringLiteral("access")).toString(), QStringLiteral("ok"));
        QCOMPARE(named.value(QStringLiteral("canOpen")).toBool(), true);
        // Each field is in the manual's JSON section.
        const QString manual = QString::fromUtf8(readLocalFile(QStringLiteral(SOURCE_DIR "/docs/man/spiffs-cli.1.in")));
        const QString described = manual.section(QStringLiteral("\n.SH JSON\n"), 1).section(QStringLiteral("\n.B ports\n"), 1)
                                          .section(QStringLiteral("\n.TP\n"), 0, 0);
        for (const QString &field : named.keys())
            QVERIFY2(described.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(field))), qPrintable(field));

        environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), first.port() + QDir::listSeparator() + second.port());
        const CliRun ambiguous = runCli({"df"}, environment);
        QCOMPARE(ambiguous.exitCode, 3);
        QVERIFY(ambiguous.err.contains(second.port().toLocal8Bit()));
        // A script is given the ports to choose from in the document.
        const QJsonObject document = QJsonDocument::fromJson(runCli({"--json", "df"}, environment).out).object();
        QCOMPARE(document.value(QStringLiteral("error")).toObject().value(QStringLiteral("kind")).toString(),
                 QStringLiteral("port"));
        QCOMPARE(document.value(QStringLiteral("ports")).toArray(), QJsonArray::fromStringList({first.port(), second.port()}));
        QCOMPARE(runCli({"df"}).exitCode, 3);
        QCOMPARE(runCli({"-p", "/dev/no-such-port", "df"}).exitCode, 3);
    }

    void portWithoutPermission()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to make a port that an unprivileged user may not open");
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("setpriv (util-linux) is not installed");
        EmulatorProgram emulator;
        // Owned by a group other than dialout, as on some distributions.
        const group *owner = ::getgrnam("uucp");
        QVERIFY(owner);
        QCOMPARE(::chown(QFile::encodeName(emulator.port()).constData(), 0, owner->gr_gid), 0);
        QCOMPARE(::chmod(QFile::encodeName(emulator.port()).constData(), 0660), 0);
        QProcessEnvironment environment = cleanEnvironment();
        environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), emulator.port());
        const QStringList asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", CLI_PATH};

        const CliRun ports = runCli({"ports", "--json"}, environment, setpriv, asNobody);
        const QJsonObject named = listedPort(ports.out, emulator.port());
        QCOMPARE(named.value(QStringLiteral("access")).toString(), QStringLiteral("no permission"));
        QCOMPARE(named.value(QStringLiteral("canOpen")).toBool(), false);

        const CliRun df = runCli({"df"}, environment, setpriv, asNobody);
        QCOMPARE(df.exitCode, 3);
        QVERIFY2(df.err.contains("no permission"), df.err.constData());
        QVERIFY2(df.err.contains("belongs to the group uucp; join it"), df.err.constData());
        // A pseudo-terminal is no USB bridge: no udev rule, nothing to unplug.
        for (const char *word : {"udev", "unplug"})
            QVERIFY2(!df.err.contains(word), df.err.constData());
    }

    // A program run as root and killed left its lock file, which the user
    // may not remove: opening and `ports` both say so, and how to remove it.
    void lockLeftBehindIsNamed()
    {
        if (::geteuid() != 0)
            QSKIP("needs root, to leave a lock file that an unprivileged user may not remove");
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            QSKIP("setpriv (util-linux) is not installed");
        EmulatorProgram emulator;
        QCOMPARE(::chmod(QFile::encodeName(emulator.port()).constData(), 0666), 0);
        QProcess ended;
        ended.start(QStringLiteral("true"), QStringList());
        QVERIFY(ended.waitForStarted());
        const qint64 pid = ended.processId();
        QVERIFY(ended.waitForFinished());
        const QString lock = PortLocks::lockPath(emulator.port());
        QVERIFY(!lock.isEmpty());
        {
            QFile file(lock);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::number(pid) + "\nspiffs-cli\n" + QSysInfo::machineHostName().toUtf8() + '\n');
        }
        QCOMPARE(::chmod(QFile::encodeName(lock).constData(), 0644), 0);
        auto removeLock = qScopeGuard([&lock] { QFile::remove(lock); });
        QProcessEnvironment environment = cleanEnvironment();
        environment.insert(QStringLiteral("SPIFFS_MANAGER_PORTS"), emulator.port());
        const QStringList asNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", CLI_PATH};
        const QString says = QStringLiteral("locked by a program that has ended: the lock file %1 names process %2, "
                                            "which no longer runs")
                                     .arg(lock)
                                     .arg(pid);

        const CliRun df = runCli({"df"}, environment, setpriv, asNobody);
        QCOMPARE(df.exitCode, 3);
        QVERIFY2(df.err.contains(says.toLocal8Bit()), df.err.constData());
        QVERIFY2(df.err.contains("sudo rm " + lock.toLocal8Bit()), df.err.constData());

        const CliRun ports = runCli({"ports", "--json"}, environment, setpriv, asNobody);
        const QJsonObject named = listedPort(ports.out, emulator.port());
        QCOMPARE(named.value(QStringLiteral("access")).toString(), QStringLiteral("locked by a program that has ended"));
        QCOMPARE(named.value(QStringLiteral("canOpen")).toBool(), false);
        QVERIFY2(named.value(QStringLiteral("reason")).toString().startsWith(says), ports.out.constData());
        const CliRun listed = runCli({"ports"}, environment, setpriv, asNobody);
        QVERIFY2(listed.out.contains(says.toLocal8Bit()), listed.out.constData());

        // Gone once removed, as the message says.
        removeLock.dismiss();
        QVERIFY(QFile::remove(lock));
        QCOMPARE(runCli({"df"}, environment, setpriv, asNobody).exitCode, 0);
    }
};

QTEST_GUILESS_MAIN(CliTest)
#include "tst_cli.moc"
