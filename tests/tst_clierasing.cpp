// What spiffs-cli never does unasked: erase without --yes or a question,
// start a chain with a mistake further on, delete an earlier backup's files,
// write through a link out of the folder it was given, make a folder it
// writes nothing into, or take a name for a pattern when the receiver holds
// a file of that name. The real program against spiffs-emulator, each in a
// process of its own, with real files and links.
#include "clirun.h"
#include "emulatorprogram.h"
#include "testfiles.h"

#include <QtCore/QDir>
#include <QtCore/QRegularExpression>
#include <QtCore/QDirIterator>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

using namespace CliTesting;

namespace {

QStringList withFolder(QStringList arguments, const QString &folder)
{
    for (QString &argument : arguments)
        argument.replace(QLatin1Char('@'), folder);
    return arguments;
}

QStringList sortedFiles(const QString &folder)
{
    QStringList files = folderEntries(folder);
    files.sort();
    return files;
}

// Every file under folder, links not followed, relative to it.
QStringList treeOf(const QString &folder)
{
    QStringList files;
    QDirIterator found(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (found.hasNext())
        files << QDir(folder).relativeFilePath(found.next());
    files.sort();
    return files;
}

} // namespace

class CliErasingTest : public QObject
{
    Q_OBJECT

private slots:
    // Without a terminal to ask on, only --yes erases; what would go is said.
    void erasingNeedsYesWithoutATerminal_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("filesLeft");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("rm of several") << QStringList{"rm", "*.txt", "notes"} << 2 << 5
                                       << QByteArray("rm: 3 files would be removed: a.txt, presets/sw.txt, notes; with no "
                                                     "terminal to ask on, add --yes to go ahead; nothing removed");
        QTest::newRow("rm of several, --yes") << QStringList{"rm", "--yes", "*.txt", "notes"} << 0 << 2
                                              << QByteArray("rm: removed presets/sw.txt");
        QTest::newRow("sync --delete") << QStringList{"sync", "@", "--delete"} << 2 << 5
                                       << QByteArray("4 files from the receiver that @ lacks would be removed: big.bin, "
                                                     "notes, presets/sw.txt, song.mp3");
        QTest::newRow("sync --delete, --yes") << QStringList{"sync", "@", "--delete", "--yes"} << 0 << 1 << QByteArray();
        QTest::newRow("sync --delete, nothing to remove") << QStringList{"sync", "@", "new", "--delete"} << 0 << 6
                                                          << QByteArray();
        QTest::newRow("format") << QStringList{"format"} << 2 << 5 << QByteArray("add --yes to go ahead; nothing erased");
    }
    void erasingNeedsYesWithoutATerminal()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(int, filesLeft);
        QFETCH(QByteArray, said);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("a.txt"), "alpha").isEmpty());
        const CliRun run = runCli(QStringList{"-p", device.port()} + withFolder(arguments, folder.path()));
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY2(run.err.contains(said.replace('@', folder.path().toLocal8Bit())), run.err.constData());
        QCOMPARE(store.files().size(), filesLeft);
    }

    // A mistake anywhere in a chain, found without asking the receiver,
    // runs no part of it: the port is not even opened.
    void chainCheckedWhole_data()
    {
        QTest::addColumn<QStringList>("last");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("kind");
        QTest::newRow("put's NAME") << QStringList{"put", "@/up.txt:b$d.txt"} << 2 << "usage";
        QTest::newRow("a NAME put makes from FILE") << QStringList{"put", "@/ .txt"} << 1 << "local-file";
        QTest::newRow("mv's NEW") << QStringList{"mv", "notes", "x y.txt"} << 2 << "usage";
        QTest::newRow("edit's NAME") << QStringList{"edit", "x y.txt"} << 2 << "usage";
        QTest::newRow("sync's FOLDER") << QStringList{"sync", "@", "x y"} << 2 << "usage";
        QTest::newRow("format without --yes") << QStringList{"format"} << 2 << "unconfirmed";
        QTest::newRow("rm of two names without --yes") << QStringList{"rm", "notes", "/song.mp3"} << 2 << "unconfirmed";
        QTest::newRow("run of a name with no type") << QStringList{"run", "notes"} << 1 << "refused";
    }
    void chainCheckedWhole()
    {
        QFETCH(QStringList, last);
        QFETCH(int, exitCode);
        QFETCH(QString, kind);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("up.txt"), "up").isEmpty());
        const QString trace = folder.filePath(QStringLiteral("trace"));
        const CliRun run = runCli(QStringList{"-p", device.port(), "--json", "--trace", trace, "rm", "a.txt", "+"}
                                  + withFolder(last, folder.path()));
        QVERIFY2(run.exitCode == exitCode, run.err.constData());
        QVERIFY(store.files().contains(QStringLiteral("a.txt")));
        QVERIFY2(!QFileInfo::exists(trace), "the port was opened");
        const QJsonObject document = QJsonDocument::fromJson(run.out).object();
        QCOMPARE(document.value(QStringLiteral("command")).toString(), last.constFirst());
        QCOMPARE(document.value(QStringLiteral("error")).toObject().value(QStringLiteral("kind")).toString(), kind);
    }

    // sync DIR FOLDER fills the receiver's FOLDER, and --delete stays in it.
    void syncIntoAFolder()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir local;
        QVERIFY(!writeLocalFile(local, QStringLiteral("mw.txt"), "531 kHz").isEmpty());
        QVERIFY(QDir(local.path()).mkdir(QStringLiteral("deep")));
        QVERIFY(!writeLocalFile(local, QStringLiteral("deep/lw.txt"), "153").isEmpty());
        const QStringList before = sortedFiles(store.dir.path());

        const CliRun plan = runCli({"-p", device.port(), "sync", local.path(), "/presets/", "--delete", "--dry-run"});
        QVERIFY2(plan.exitCode == 0, plan.err.constData());
        QVERIFY2(plan.out.contains("send             3  presets/deep/lw.txt\n"), plan.out.constData());
        QVERIFY2(plan.out.contains("send             7  presets/mw.txt\n"), plan.out.constData());
        QVERIFY2(plan.out.contains("remove              presets/sw.txt\n"), plan.out.constData());
        QCOMPARE(plan.out.count("remove      "), 1);

        const CliRun unasked = runCli({"-p", device.port(), "sync", local.path(), "presets", "--delete"});
        QCOMPARE(unasked.exitCode, 2);
        QCOMPARE(sortedFiles(store.dir.path()), before);

        const CliRun done = runCli({"-p", device.port(), "sync", local.path(), "presets", "--delete", "--yes"});
        QVERIFY2(done.exitCode == 0, done.err.constData());
        QCOMPARE(sortedFiles(store.dir.path()), (QStringList{"a.txt", "big.bin", "notes", "presets%2Fdeep%2Flw.txt",
                                                             "presets%2Fmw.txt", "song.mp3"}));

        // 26 bytes fit alone, not under presets/.
        QVERIFY(!writeLocalFile(local, QStringLiteral("abcdefghijklmnopqrstuv.txt"), "x").isEmpty());
        const CliRun tooLong = runCli({"-p", device.port(), "sync", local.path(), "presets"});
        QCOMPARE(tooLong.exitCode, 1);
        QVERIFY2(tooLong.err.contains("skipped abcdefghijklmnopqrstuv.txt: as presets/abcdefghijklmnopqrstuv.txt: longer"),
                 tooLong.err.constData());
    }

    // A backup after a format keeps the earlier backup's files; one beside
    // the owner's own files leaves them alone; both restore.
    void backupNeverDeletes()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir work;
        const QString backup = work.filePath(QStringLiteral("backup"));
        QVERIFY(QDir().mkpath(backup));
        QVERIFY(!writeLocalFile(work, QStringLiteral("backup/notes"), "mine, not the receiver's").isEmpty());
        const CliRun first = runCli({"-p", device.port(), "backup", backup});
        QVERIFY2(first.exitCode == 0, first.err.constData());
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("notes"))), QByteArray("mine, not the receiver's"));
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("notes~2"))), QByteArray("n"));
        const QStringList saved = treeOf(backup);

        QCOMPARE(runCli({"-p", device.port(), "format", "--yes"}).exitCode, 0);
        const CliRun second = runCli({"-p", device.port(), "backup", backup});
        QVERIFY2(second.exitCode == 0, second.err.constData());
        QVERIFY2(second.out.contains("; 5 files of earlier backups kept in"), second.out.constData());
        // The first backup's MANIFEST too, under its date.
        QStringList now = treeOf(backup);
        const QStringList keptManifest = now.filter(QRegularExpression(QStringLiteral("^MANIFEST\\.20")));
        QCOMPARE(keptManifest.size(), 1);
        now.removeOne(keptManifest.constFirst());
        QCOMPARE(now, saved);
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("presets/sw.txt"))), QByteArray("7200 kHz"));
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("MANIFEST"))).count('\n'), 1);
    }

    // Nothing goes through a linked sub-folder or a linked staging folder,
    // and what the links lead to is left as it was; the backup restores.
    void backupBesideLinks()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir work;
        QTemporaryDir outside;
        QVERIFY(QDir(outside.path()).mkdir(QStringLiteral("presets")));
        QVERIFY(QDir(outside.path()).mkdir(QStringLiteral("staging")));
        QVERIFY(!writeLocalFile(outside, QStringLiteral("staging/keep.txt"), "keep").isEmpty());
        const QString backup = work.filePath(QStringLiteral("backup"));
        QVERIFY(QDir().mkpath(backup));
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("presets")), QDir(backup).filePath(QStringLiteral("presets"))));
        QVERIFY(QFile::link(outside.filePath(QStringLiteral("staging")),
                            QDir(backup).filePath(QStringLiteral(".spiffs-backup-incoming"))));
        const CliRun saved = runCli({"-p", device.port(), "backup", backup});
        QVERIFY2(saved.exitCode == 0, saved.err.constData());
        QCOMPARE(treeOf(outside.path()), QStringList{"staging/keep.txt"});
        QCOMPARE(readLocalFile(QDir(backup).filePath(QStringLiteral("presets-sw.txt"))), QByteArray("7200 kHz"));

        QTemporaryDir emptied;
        EmulatorProgram fresh({"--dir", emptied.path()});
        const CliRun restored = runCli({"-p", fresh.port(), "restore", backup});
        QVERIFY2(restored.exitCode == 0, restored.err.constData());
        QCOMPARE(sortedFiles(emptied.path()), sortedFiles(store.dir.path()));
    }

    // get -o DIR writes through no link that leads out of DIR or to nothing.
    void getBesideLinks_data()
    {
        QTest::addColumn<QString>("target"); // what DIR/a.txt leads to, in the outside folder
        QTest::addColumn<bool>("exists");
        QTest::newRow("a file outside") << "a.txt" << true;
        QTest::newRow("nothing") << "none.txt" << false;
    }
    void getBesideLinks()
    {
        QFETCH(QString, target);
        QFETCH(bool, exists);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir folder;
        QTemporaryDir outside;
        if (exists)
            QVERIFY(!writeLocalFile(outside, target, "mine").isEmpty());
        QVERIFY(QFile::link(outside.filePath(target), folder.filePath(QStringLiteral("a.txt"))));
        const CliRun run = runCli({"-p", device.port(), "get", "notes", "a.txt", "-o", folder.path()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("nothing written through it"), run.err.constData());
        QCOMPARE(readLocalFile(outside.filePath(target)), exists ? QByteArray("mine") : QByteArray("<missing>"));
        QVERIFY(!QFileInfo::exists(folder.filePath(QStringLiteral("notes"))));
    }

    // The link is made after the check of the folder, while the file is on
    // its way (1.7 s at 115200 baud): get's copy replaces the link, backup
    // finds it when it puts its copies in place; the file outside keeps its
    // bytes either way.
    void linkMadeWhileWriting_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("downloadsSoFar"); // big.bin comes second in a backup
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("get") << QStringList{"get", "big.bin", "-o", "@"} << 1 << QByteArray();
        QTest::newRow("backup") << QStringList{"backup", "@"} << 2 << QByteArray("backup: a link is in the way of ");
    }
    void linkMadeWhileWriting()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, downloadsSoFar);
        QFETCH(QByteArray, err);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path(), "--baud", "115200"});
        QTemporaryDir folder;
        QTemporaryDir outside;
        const QString kept = writeLocalFile(outside, QStringLiteral("kept"), "mine");
        const QString trace = outside.filePath(QStringLiteral("trace"));
        const QString copy = folder.filePath(QStringLiteral("big.bin"));
        QProcess cli;
        cli.setProcessEnvironment(cleanEnvironment());
        cli.start(cliPath(), QStringList{"-p", device.port(), "--trace", trace} + withFolder(arguments, folder.path()));
        QVERIFY(cli.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(readLocalFile(trace).count(" > DOWNLOAD") == downloadsSoFar, 20000);
        QVERIFY(QFile::link(kept, copy));
        QVERIFY(cli.waitForFinished(20000));
        const QByteArray errors = cli.readAllStandardError();
        QCOMPARE(cli.exitCode(), err.isEmpty() ? 0 : 1);
        QVERIFY2(err.isEmpty() ? errors.isEmpty() : errors.startsWith("spiffs-cli: " + err), errors.constData());
        QCOMPARE(readLocalFile(kept), QByteArray("mine"));
        QCOMPARE(QFileInfo(copy).isSymLink(), !err.isEmpty());
        if (err.isEmpty())
            QVERIFY(readLocalFile(copy) == bigContent);
    }

    void noFolderWhenNothingIsWritten_data()
    {
        QTest::addColumn<QStringList>("emulator");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("get, no such file") << QStringList() << QStringList{"get", "none.txt", "-o", "@/new"};
        QTest::newRow("get, no answer") << QStringList{"--silent", "D"}
                                        << QStringList{"--timeout", "0.3", "get", "a.txt", "-o", "@/new/deeper"};
        QTest::newRow("get, no port") << QStringList() << QStringList{"-p", "/dev/spiffs-none", "get", "a.txt", "-o", "@/new"};
        QTest::newRow("backup, no port") << QStringList() << QStringList{"-p", "/dev/spiffs-none", "backup", "@/new"};
        QTest::newRow("backup, the first file unanswered") << QStringList{"--silent", "D"}
                                                           << QStringList{"--timeout", "0.3", "backup", "@/new/deeper"};
        QTest::newRow("backup, cut short after the first file") << QStringList{"--hangup-after", "3000"}
                                                                << QStringList{"backup", "@/new/deeper"};
    }
    void noFolderWhenNothingIsWritten()
    {
        QFETCH(QStringList, emulator);
        QFETCH(QStringList, arguments);
        StoreFolder store;
        EmulatorProgram device(QStringList{"--dir", store.dir.path()} + emulator);
        QTemporaryDir work;
        const QStringList port = arguments.contains(QStringLiteral("-p")) ? QStringList() : QStringList{"-p", device.port()};
        const CliRun run = runCli(port + withFolder(arguments, work.path()));
        QVERIFY(run.exitCode != 0);
        QCOMPARE(folderEntries(work.path()), QStringList());
    }

    // A file named like a pattern is itself, in every command that looks
    // names up.
    void nameBeforePattern_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("local");
        const QStringList all{"a*.txt", "a1.txt", "a[1].txt", "ab.txt"};
        QTest::newRow("ls") << QStringList{"ls", "a*.txt"} << QByteArray("a*.txt\n") << all << QStringList();
        QTest::newRow("cat") << QStringList{"cat", "a[1].txt"} << QByteArray("bracket") << all << QStringList();
        QTest::newRow("get") << QStringList{"get", "a[1].txt", "-o", "@"} << QByteArray() << all << QStringList{"a[1].txt"};
        QTest::newRow("rm") << QStringList{"rm", "/a*.txt"} << QByteArray() << QStringList{"a1.txt", "a[1].txt", "ab.txt"}
                            << QStringList();
        QTest::newRow("verify") << QStringList{"verify", "@/star:a*.txt"} << QByteArray() << all << QStringList{"star"};
        QTest::newRow("mv, a pattern for one file") << QStringList{"mv", "ab*", "b.txt"} << QByteArray()
                                                    << QStringList{"a*.txt", "a1.txt", "a[1].txt", "b.txt"} << QStringList();
    }
    void nameBeforePattern()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, out);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, local);
        QTemporaryDir store;
        const QVector<QPair<QString, QByteArray>> files{
                {"a*.txt", "star"}, {"ab.txt", "ab"}, {"a1.txt", "one"}, {"a[1].txt", "bracket"}};
        for (const auto &file : files)
            QVERIFY(!writeLocalFile(store, file.first, file.second).isEmpty());
        EmulatorProgram device({"--dir", store.path()});
        QTemporaryDir folder;
        if (arguments.constFirst() == QLatin1String("verify"))
            QVERIFY(!writeLocalFile(folder, QStringLiteral("star"), "star").isEmpty());
        const CliRun run = runCli(QStringList{"-p", device.port()} + withFolder(arguments, folder.path()));
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(run.out, out);
        QCOMPARE(sortedFiles(store.path()), stored);
        QCOMPARE(sortedFiles(folder.path()), local);
        if (arguments.constFirst() == QLatin1String("get"))
            QCOMPARE(readLocalFile(folder.filePath(QStringLiteral("a[1].txt"))), QByteArray("bracket"));
    }
};

QTEST_GUILESS_MAIN(CliErasingTest)
#include "tst_clierasing.moc"
