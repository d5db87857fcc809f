// spiffs-emulator as a user runs it: a separate process whose first line of
// output names the pseudo-terminal to open, stopped by a signal.
#include "clirun.h"
#include "emulatorprogram.h"
#include "slaveline.h"
#include "testfiles.h"
#include "windowdriver.h"
#include "windowharness.h"
#include "windowwaits.h"

#include "app/mainwindow.h"
#include "link/linetrace.h"
#include "link/linkstate.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <cerrno>
#include <csignal>
#include <unistd.h>

using namespace DeviceBytes;

namespace {

constexpr quint32 DefaultCapacity = 1318001;

// A MANIFEST line for content saved as name at path.
QByteArray manifestLine(const QByteArray &name, const QByteArray &path, const QByteArray &content)
{
    return QByteArray::number(content.size()) + ' ' + QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()
            + ' ' + name + ' ' + path + '\n';
}

// The receiver's names as spiffs-cli ls prints them, in its order.
QStringList listed(const QString &port)
{
    const CliTesting::CliRun ls = CliTesting::runCli({QStringLiteral("-p"), port, QStringLiteral("ls")});
    if (ls.exitCode != 0)
        return {QStringLiteral("(ls failed: %1)").arg(QString::fromLocal8Bit(ls.err))};
    return QString::fromUtf8(ls.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The window on one port, connected and disconnected as a user does.
class PortWindow : public WindowDriver
{
public:
    explicit PortWindow(const QString &portName) : m_portName(portName) { openWindow(portName); }
    ~PortWindow() { closeWindow(); }

    // Connect, and what the window shows once the listing is in.
    QStringList connectAndShow()
    {
        ports()->setCurrentText(m_portName);
        button("pushButton_3")->click();
        if (!linkState().portOpen || !waitForIdleLink(20000))
            return {QStringLiteral("(no connection: %1)").arg(statusText())};
        return QStringList{label("totalMemory")->text(), label("availableMemory")->text()} + tableNames() + tableSizes();
    }
    void disconnect() { button("pushButton_3")->click(); }

private:
    QString m_portName;
};

} // namespace

class EmulatorProgramTest : public QObject
{
    Q_OBJECT

private slots:
    void firstLineIsTheLineAndSigtermEndsIt()
    {
        EmulatorProgram emulator;
        QVERIFY(emulator.process().waitForStarted());
        const QString path = emulator.readLine();
        QVERIFY2(path.startsWith(QLatin1String("/dev/pts/")), qPrintable(path));
        SlaveLine line(path);
        QVERIFY(line.isOpen());
        QVERIFY(line.write(frame('M')));
        QCOMPARE(line.read(8), be32(DefaultCapacity) + be32(0));
        QVERIFY(line.write(frame('L')));
        QCOMPARE(line.read(4), be32(0));

        QVERIFY(emulator.stop(SIGTERM));
        QCOMPARE(emulator.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(emulator.process().exitCode(), 0);
    }

    void sigintEndsItToo()
    {
        EmulatorProgram emulator;
        QVERIFY(!emulator.readLine().isEmpty());
        QVERIFY(emulator.stop(SIGINT));
        QCOMPARE(emulator.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(emulator.process().exitCode(), 0);
    }

    void lineStaysUpBetweenOpens()
    {
        EmulatorProgram emulator;
        const QString path = emulator.readLine();
        for (int i = 0; i < 3; ++i) {
            SlaveLine line(path);
            QVERIFY(line.write(frame('M')));
            QCOMPARE(line.read(8).size(), 8);
        }
        QVERIFY(emulator.stop(SIGTERM));
        QCOMPARE(emulator.process().exitCode(), 0);
    }

    void folderAndCapacity()
    {
        QTemporaryDir dir;
        QFile seed(dir.filePath(QStringLiteral("a.txt")));
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("seed");
        seed.close();

        EmulatorProgram emulator({QStringLiteral("--dir"), dir.path(), QStringLiteral("--capacity"), QStringLiteral("4096")});
        SlaveLine line(emulator.readLine());
        QVERIFY(line.write(frame('M')));
        QCOMPARE(line.read(8), be32(4096) + be32(512));
        QVERIFY(line.write(uploadStartFrame("/dir/b.txt", 5)));
        QCOMPARE(line.read(1), QByteArray("A"));
        QVERIFY(line.write(frame('U', QByteArray(1, 5) + "hello")));
        QCOMPARE(line.read(1), QByteArray("A"));
        QVERIFY(line.write(frame('u')));
        QCOMPARE(line.read(1), QByteArray("u"));
        QVERIFY(emulator.stop(SIGTERM));
        QCOMPARE(emulator.process().exitCode(), 0);

        QFile stored(dir.filePath(QStringLiteral("dir%2Fb.txt")));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), QByteArray("hello"));
    }

    void openedFilesAreLogged()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("song.mp3")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        EmulatorProgram emulator({QStringLiteral("--dir"), dir.path()});
        SlaveLine line(emulator.readLine());
        QVERIFY(line.write(frame('X', pathField("/song.mp3"))));
        QCOMPARE(line.read(1), QByteArray("X"));
        QVERIFY(line.write(frame('X', pathField("/other.mp3"))));
        QCOMPARE(line.read(1), QByteArray("x"));
        QVERIFY(emulator.stop(SIGTERM));
        const QByteArray errors = emulator.errors();
        QVERIFY2(errors.contains("opened /song.mp3"), errors.constData());
        QVERIFY(!errors.contains("other.mp3"));
    }

    void hangUpThenPluggedInAgain()
    {
        EmulatorProgram emulator({QStringLiteral("--hangup-after"), QStringLiteral("3")});
        const QString first = emulator.readLine();
        SlaveLine line(first);
        QVERIFY(line.write(frame('M')));
        QCOMPARE(line.read(8), be32(DefaultCapacity).left(3));
        QVERIFY(line.hungUp());

        const QString second = emulator.readLine();
        QVERIFY(second.startsWith(QLatin1String("/dev/pts/")));
        QVERIFY(second != first);
        SlaveLine again(second);
        QVERIFY(again.write(frame('M')));
        QCOMPARE(again.read(8), be32(DefaultCapacity) + be32(0));
        QVERIFY(emulator.stop(SIGTERM));
        QCOMPARE(emulator.process().exitCode(), 0);
    }

    void replaysATrace()
    {
        QTemporaryDir dir;
        QFile trace(dir.filePath(QStringLiteral("connect.trace")));
        QVERIFY(trace.open(QIODevice::WriteOnly));
        trace.write("# spiffs-cli trace 1\n"
                    "# port /dev/ttyUSB0, 115200 8N1\n"
                    "       0 < OPEN     12  65 74 73 20 4a 75 6e 20 20 38 20 32              |ets Jun  8 2|\n"
                    "  300512 > MEMORY   17  4b 2d 57 61 6e 64 65 72 65 72 5f 5f 5f 5f 5f 5f  |K-Wanderer______|\n"
                    "                        4d                                               |M|\n"
                    "  304391 < MEMORY    8  00 14 1c 71 00 00 05 00                          |...q....|\n");
        trace.close();

        EmulatorProgram emulator({QStringLiteral("--replay"), trace.fileName()});
        SlaveLine line(emulator.readLine());
        QVERIFY(line.isOpen());
        QCOMPARE(line.read(12), QByteArray("ets Jun  8 2"));
        QVERIFY(line.write(frame('L')));
        QTRY_VERIFY(emulator.errors().contains("request not in the trace"));
        QVERIFY(line.write(frame('M')));
        QCOMPARE(line.read(8), QByteArray::fromHex("00141c7100000500"));
        QVERIFY(emulator.stop(SIGTERM));
        QCOMPARE(emulator.process().exitCode(), 0);
    }

    // A trace the window wrote over two Connects, the receiver changed in
    // between: played back, each Connect shows what it showed then, and one
    // more shows the last again, which the log says.
    void windowTraceOfTwoConnectsReplays()
    {
        CliTesting::StoreFolder store;
        QTemporaryDir folder;
        const QString trace = folder.filePath(QStringLiteral("window.trace"));
        const QString added = writeLocalFile(folder, QStringLiteral("added.txt"), "new on the receiver");
        QStringList first;
        QStringList second;
        {
            EmulatorProgram receiver({QStringLiteral("--dir"), store.dir.path(), QStringLiteral("--boot-on-open")});
            QVERIFY(!receiver.port().isEmpty());
            qputenv(TraceVariable, QFile::encodeName(trace));
            PortWindow window(receiver.port());
            qunsetenv(TraceVariable);
            first = window.connectAndShow();
            QVERIFY2(first.contains(QStringLiteral("presets/sw.txt")), qPrintable(first.join(QLatin1Char(' '))));
            window.disconnect();
            const CliTesting::CliRun put = CliTesting::runCli({QStringLiteral("-p"), receiver.port(), QStringLiteral("put"), added});
            QVERIFY2(put.exitCode == 0, put.err.constData());
            second = window.connectAndShow();
            QVERIFY2(second.contains(QStringLiteral("added.txt")), qPrintable(second.join(QLatin1Char(' '))));
        }
        QCOMPARE(readLocalFile(trace).count("\n# port "), 2);

        EmulatorProgram replay({QStringLiteral("--replay"), trace});
        QVERIFY2(!replay.port().isEmpty(), replay.errors().constData());
        PortWindow again(replay.port());
        for (const QStringList &shown : {first, second, second}) {
            QCOMPARE(again.connectAndShow(), shown);
            QCOMPARE(again.statusText(), QString());
            again.disconnect();
        }
        QTRY_VERIFY2(replay.errors().contains("line opened 3 times; the trace records 2 connections: playing the last"),
                     replay.errors().constData());
        QVERIFY(!replay.errors().contains("not in the trace"));
    }

    // spiffs-cli's backup of a receiver, served as the store: the same
    // files under the same names in the same order, nothing else of the
    // folder; uploads and removals written through so that restore takes
    // the folder afterwards and gives back what the emulator held.
    void backupServesAsTheStore()
    {
        CliTesting::StoreFolder store;
        QTemporaryDir folder;
        const QString backup = folder.filePath(QStringLiteral("backup"));
        QStringList original;
        {
            EmulatorProgram receiver({QStringLiteral("--dir"), store.dir.path()});
            original = listed(receiver.port());
            const CliTesting::CliRun made = CliTesting::runCli({QStringLiteral("-p"), receiver.port(), QStringLiteral("backup"), backup});
            QVERIFY2(made.exitCode == 0, made.err.constData());
        }
        QVERIFY(QDir(backup).mkpath(QStringLiteral(".spiffs-backup-incoming")));
        QVERIFY(!writeLocalFile(folder, QStringLiteral("backup/.spiffs-backup-incoming/a.txt"), "half").isEmpty());
        QVERIFY(!writeLocalFile(folder, QStringLiteral("backup/kept.txt"), "an earlier backup's").isEmpty());
        const QString replaced = writeLocalFile(folder, QStringLiteral("sw.txt"), "9400 kHz");
        const QString added = writeLocalFile(folder, QStringLiteral("manifest.txt"), "a receiver file");
        QStringList changed;
        {
            EmulatorProgram served({QStringLiteral("--dir"), backup});
            QCOMPARE(listed(served.port()), original);
            QTRY_VERIFY2(served.errors().contains("1 file of the folder that the MANIFEST does not list: not served"), served.errors().constData());
            for (const QStringList &change : {QStringList{"rm", "a.txt"}, QStringList{"put", replaced + ":presets/sw.txt"},
                                              QStringList{"put", added + ":MANIFEST"}}) {
                const CliTesting::CliRun run = CliTesting::runCli(QStringList{"-p", served.port()} + change);
                QVERIFY2(run.exitCode == 0, run.err.constData());
            }
            changed = listed(served.port());
        }
        QVERIFY(!changed.contains(QStringLiteral("a.txt")));
        QCOMPARE(changed.mid(changed.size() - 2), (QStringList{"presets/sw.txt", "MANIFEST"}));
        QCOMPARE(readLocalFile(backup + QStringLiteral("/presets/sw.txt")), QByteArray("9400 kHz"));
        QCOMPARE(readLocalFile(backup + QStringLiteral("/kept.txt")), QByteArray("an earlier backup's"));
        QVERIFY(!QFile::exists(backup + QStringLiteral("/a.txt")));

        EmulatorProgram fresh;
        const CliTesting::CliRun restore = CliTesting::runCli({QStringLiteral("-p"), fresh.port(), QStringLiteral("restore"), backup});
        QVERIFY2(restore.exitCode == 0, restore.err.constData());
        QCOMPARE(listed(fresh.port()), changed);
        const CliTesting::CliRun cat = CliTesting::runCli({QStringLiteral("-p"), fresh.port(), QStringLiteral("cat"), QStringLiteral("MANIFEST")});
        QCOMPARE(cat.out, QByteArray("a receiver file"));
    }

    // A line the emulator cannot serve is said at start and kept in the
    // MANIFEST as it was through every change; the others are served.
    void backupLinesNotServed_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("file"); // made in the folder, or a link when content is empty
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("a file restore leaves out") << QByteArray("! 40 - 0123456789012345678901234567890123456789 -")
                                                   << QString() << QByteArray() << QByteArray("1 file the MANIFEST marks as not restorable");
        QTest::newRow("a missing file") << manifestLine("gone.txt", "gone.txt", "was here").trimmed() << QString()
                                        << QByteArray() << QByteArray("skipped gone.txt (MANIFEST line 4): gone.txt is missing");
        QTest::newRow("a missing file with a %1") << manifestLine("5%1.txt", "5%1.txt", "gone").trimmed() << QString()
                                                  << QByteArray() << QByteArray("skipped 5%1.txt (MANIFEST line 4): 5%1.txt is missing");
        QTest::newRow("a file changed since") << manifestLine("b.txt", "b.txt", "before").trimmed() << "b.txt"
                                              << QByteArray("after!") << QByteArray("b.txt differs from the MANIFEST");
        QTest::newRow("a link") << manifestLine("l.txt", "l.txt", "outside").trimmed() << "l.txt" << QByteArray()
                                << QByteArray("skipped l.txt (MANIFEST line 4): l.txt is a link");
        QTest::newRow("a folder that is a link") << manifestLine("d/x.txt", "d/x.txt", "outside").trimmed() << "d"
                                                 << QByteArray() << QByteArray("d/x.txt leads out of the folder");
    }
    void backupLinesNotServed()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, said);
        QTemporaryDir folder;
        QTemporaryDir outside;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("a.txt"), "alpha").isEmpty());
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("presets")));
        QVERIFY(!writeLocalFile(folder, QStringLiteral("presets/sw.txt"), "7200 kHz").isEmpty());
        QVERIFY(!writeLocalFile(outside, QStringLiteral("l.txt"), "outside").isEmpty());
        QVERIFY(!writeLocalFile(outside, QStringLiteral("x.txt"), "outside").isEmpty());
        if (!file.isEmpty() && !content.isEmpty())
            QVERIFY(!writeLocalFile(folder, file, content).isEmpty());
        else if (!file.isEmpty())
            QVERIFY(QFile::link(outside.filePath(file == QLatin1String("d") ? QString() : file), folder.filePath(file)));
        const QByteArray manifest = "spiffs-backup 1 2026-05-01T09:30:00Z 1318001 2048\n" + manifestLine("a.txt", "a.txt", "alpha")
                + manifestLine("presets/sw.txt", "presets/sw.txt", "7200 kHz") + line + '\n';
        QVERIFY(!writeLocalFile(folder, QStringLiteral("MANIFEST"), manifest).isEmpty());
        const QString added = writeLocalFile(outside, QStringLiteral("new.txt"), "new");

        EmulatorProgram served({QStringLiteral("--dir"), folder.path()});
        QCOMPARE(listed(served.port()), (QStringList{"a.txt", "presets/sw.txt"}));
        QTRY_VERIFY2(served.errors().contains(said), served.errors().constData());
        const CliTesting::CliRun put = CliTesting::runCli({QStringLiteral("-p"), served.port(), QStringLiteral("put"), added});
        QVERIFY2(put.exitCode == 0, put.err.constData());

        const QByteArrayList written = readLocalFile(folder.filePath(QStringLiteral("MANIFEST"))).split('\n');
        QCOMPARE(written.size(), 6);
        QVERIFY(written.at(0).startsWith("spiffs-backup 1 "));
        QCOMPARE(written.mid(1), (QByteArrayList{manifestLine("a.txt", "a.txt", "alpha").trimmed(),
                                                  manifestLine("presets/sw.txt", "presets/sw.txt", "7200 kHz").trimmed(),
                                                  manifestLine("new.txt", "new.txt", "new").trimmed(), line, ""}));
        QCOMPARE(readLocalFile(outside.filePath(QStringLiteral("l.txt"))), QByteArray("outside"));
    }

    // A MANIFEST that cannot be trusted is refused at start, with its line.
    void untrustedBackupIsRefused_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("a path out of the folder") << manifestLine("a.txt", "../a.txt", "alpha")
                                                  << QByteArray("MANIFEST, line 3: the path leaves the folder");
        QTest::newRow("a name twice") << manifestLine("x.txt", "x.txt", "alpha") << QByteArray("MANIFEST, line 3: the name is given twice");
        QTest::newRow("a bad escape") << manifestLine("a\\q", "y.txt", "alpha") << QByteArray("MANIFEST, line 3: a bad escape");
    }
    void untrustedBackupIsRefused()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, said);
        QTemporaryDir folder;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("x.txt"), "alpha").isEmpty());
        const QByteArray manifest = "spiffs-backup 1 2026-05-01T09:30:00Z 1318001 2048\n" + manifestLine("x.txt", "x.txt", "alpha") + line;
        QVERIFY(!writeLocalFile(folder, QStringLiteral("MANIFEST"), manifest).isEmpty());
        EmulatorProgram emulator({QStringLiteral("--dir"), folder.path()});
        QVERIFY(emulator.process().waitForFinished(10000));
        QCOMPARE(emulator.process().exitCode(), 1);
        QVERIFY(emulator.process().readAllStandardOutput().isEmpty());
        QVERIFY2(emulator.errors().contains(said), emulator.errors().constData());
    }

    void malformedTraceIsRefused()
    {
        QTemporaryDir dir;
        QFile trace(dir.filePath(QStringLiteral("bad.trace")));
        QVERIFY(trace.open(QIODevice::WriteOnly));
        trace.write("# spiffs-cli trace 1\n\n     512 > MEMORY   17  4b 2d\n");
        trace.close();
        EmulatorProgram emulator({QStringLiteral("--replay"), trace.fileName()});
        QVERIFY(emulator.process().waitForFinished(10000));
        QCOMPARE(emulator.process().exitCode(), 2);
        QVERIFY(emulator.process().readAllStandardOutput().isEmpty());
        const QByteArray errors = emulator.errors();
        QVERIFY2(errors.contains("bad.trace, line 3:"), errors.constData());
    }

    void helpDocumentsEveryOption()
    {
        EmulatorProgram emulator({QStringLiteral("--help")});
        QVERIFY(emulator.process().waitForFinished(10000));
        QCOMPARE(emulator.process().exitCode(), 0);
        const QByteArray help = emulator.process().readAllStandardOutput();
        for (const char *option : {"--dir", "--capacity", "--baud", "--write-delay-us", "--split", "--gap-ms",
                                   "--silent", "--garbage", "--hangup-after", "--boot-on-open", "--corrupt",
                                   "--replay", "--verbose", "--version"})
            QVERIFY2(help.contains(option), option);

        EmulatorProgram version({QStringLiteral("--version")});
        QVERIFY(version.process().waitForFinished(10000));
        QCOMPARE(version.process().exitCode(), 0);
        QCOMPARE(version.process().readAllStandardOutput(), QByteArray("spiffs-emulator 1.0.0\n"));
    }

    void badArgumentsAreRefused()
    {
        EmulatorProgram emulator({QStringLiteral("--split"), QStringLiteral("0")});
        QVERIFY(emulator.process().waitForFinished(10000));
        QCOMPARE(emulator.process().exitCode(), 2);
        QVERIFY(emulator.process().readAllStandardOutput().isEmpty());
        QVERIFY(emulator.errors().contains("--split"));
    }

    void missingFolderIsRefused()
    {
        QTemporaryDir dir;
        EmulatorProgram emulator({QStringLiteral("--dir"), dir.filePath(QStringLiteral("missing"))});
        QVERIFY(emulator.process().waitForFinished(10000));
        QCOMPARE(emulator.process().exitCode(), 1);
        QVERIFY(emulator.process().readAllStandardOutput().isEmpty());
        QVERIFY(emulator.errors().contains("no such folder"));
    }
};

QTEST_MAIN(EmulatorProgramTest)
#include "tst_emulatorprogram.moc"
