// What spiffs-cli never does unasked: delete an earlier backup's files,
// write through a link out of the folder it was given, or make a folder it
// writes nothing into. The real program against spiffs-emulator, each in a
// process of its own, with real files and links.
#include "clirun.h"
#include "emulatorprogram.h"
#include "testfiles.h"

#include <QtCore/QDir>
#include <QtCore/QDirIterator>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
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
        QCOMPARE(treeOf(backup), saved);
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

    void noFolderWhenNothingIsWritten_data()
    {
        QTest::addColumn<QStringList>("emulator");
        QTest::addColumn<QStringList>("arguments");
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

};

QTEST_GUILESS_MAIN(CliErasingTest)
#include "tst_clierasing.moc"
