// The rest of a cut download in the programs: the window's Connect after a
// Disconnect in the middle of a download or a listing, and spiffs-cli's next
// run after every way a run can stop early, against a receiver paced at
// 115200 baud that pauses 300 ms inside its replies.
#include "clirun.h"
#include "emulatorharness.h"
#include "emulatorprogram.h"
#include "remaindertesting.h"
#include "testfiles.h"
#include "windowharness.h"
#include "windowwaits.h"

#include "core/remaindernote.h"
#include "link/linkstate.h"
#include "link/operation.h"

#include <QtCore/QDir>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <csignal>

using namespace CliTesting;
using namespace DeviceBytes;
using namespace RemainderTesting;

class RemainderCutTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Notes go where this test can see them, and nowhere else.
        QVERIFY(m_runtime.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }

    void init()
    {
        QDir notes(RemainderNote::defaultFolder());
        for (const QString &note : notes.entryList({"remainder-*"}))
            QVERIFY(notes.remove(note));
    }

    // ---- the window ---------------------------------------------------------

    // Disconnect in the middle of a download or a listing, Connect at once:
    // the rest passes first, said in the status bar, and the window then
    // shows the receiver as it is.
    void windowConnectWaitsOutTheRest_data()
    {
        QTest::addColumn<bool>("listing");
        QTest::addColumn<bool>("twice"); // Disconnect and Connect again while the rest passes
        QTest::newRow("a download") << false << false;
        QTest::newRow("a listing") << true << false;
        QTest::newRow("a download, cut again while it passes") << false << true;
    }
    void windowConnectWaitsOutTheRest()
    {
        QFETCH(bool, listing);
        QFETCH(bool, twice);
        EmulatorHarness harness(pausedOptions());
        QVERIFY(harness.store().store("big.mp3", patterned(12000, 4)));
        for (int i = 0; listing && i < 200; ++i)
            QVERIFY(harness.store().store(QStringLiteral("presets/station-%1.txt").arg(i).toLatin1(), "f"));
        QTemporaryDir folder;
        if (listing) {
            harness.clickConnect();
            QVERIFY(EmulatorHarness::waitFor([] { return linkState().listLength > 0; }));
        } else {
            QVERIFY(harness.connectAndWait(20000));
            QVERIFY(harness.selectFile(QStringLiteral("big.mp3")));
            harness.answerer->queueFileAnswer(folder.path());
            harness.button("pushButton")->click();
            QVERIFY(EmulatorHarness::waitFor([&harness] { return harness.statusText().startsWith("downloaded "); }));
        }
        harness.button("pushButton_3")->click();
        harness.clickConnect();
        if (twice) {
            harness.button("pushButton_3")->click();
            harness.clickConnect();
        }
        QVERIFY2(harness.statusText().startsWith(listing ? "ESP32: still sending the rest of the file list, about "
                                                         : "ESP32: still sending the rest of big.mp3, about "),
                 qPrintable(harness.statusText()));
        QCOMPARE(linkState().currentOperation, Operation::Memory);

        QVERIFY(harness.waitUntilIdle(30000));
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(harness.label("totalMemory")->text(), QString::number(harness.store().capacity()));
        QCOMPARE(harness.label("availableMemory")->text(),
                 QString::number(harness.store().capacity() - harness.store().usedBytes()));
        QCOMPARE(harness.tableNames().size(), listing ? 201 : 1);
        QCOMPARE(folderEntries(folder.path()), QStringList());
    }

    // Byte for byte: after a Disconnect mid-download, Connect writes
    // nothing while the rest comes, and then exactly the memory request.
    void windowSendsNothingUntilTheRestHasPassed()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"big.mp3", 20000}}));
        QTemporaryDir folder;
        QVERIFY(harness.selectFile(QStringLiteral("big.mp3")));
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        QCOMPARE(harness.device.readExactly(17 + 4 + 8), frame('D', pathField("/big.mp3")));
        const QByteArray content = patterned(20000, 5);
        harness.device.deliver(be32(20000) + content.left(3000));
        QTRY_COMPARE(harness.statusText(), QStringLiteral("downloaded 15%"));
        harness.button("pushButton_3")->click();

        harness.ports()->setCurrentText(harness.device.portName());
        harness.button("pushButton_3")->click();
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: still sending the rest of big.mp3, about 2 s"));
        for (int at = 3000; at < content.size(); at += 4250) {
            QVERIFY(harness.device.staysQuiet(PauseMs));
            harness.device.deliver(content.mid(at, 4250));
        }
        QCOMPARE(harness.device.readExactly(17, 5000), frame('M'));
        QVERIFY(linkState().rxBuffer.isEmpty());
        QVERIFY(harness.answerMemory(1000000, 20000));
        harness.device.deliver(listingReply({{"big.mp3", 20000}}));
        QVERIFY(waitForIdleLink(3000));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("980000"));
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(folderEntries(folder.path()), QStringList());
    }

    // ---- spiffs-cli ---------------------------------------------------------

    // Every way a download ends early leaves the rest to the next run, which
    // waits it out, says so, and answers right.
    void cliNextRunWaitsOutTheRest_data()
    {
        QTest::addColumn<QString>("cut");
        QTest::addColumn<QStringList>("next");
        QTest::newRow("Ctrl-C, then df") << "SIGINT" << QStringList{"df"};
        QTest::newRow("SIGTERM, then ls -l") << "SIGTERM" << QStringList{"ls", "-l"};
        QTest::newRow("SIGHUP, then put") << "SIGHUP" << QStringList{"put", "@/up.txt"};
        QTest::newRow("a reader gone (cat | head), then df") << "pipe" << QStringList{"df"};
        QTest::newRow("a time-out, then ls -l") << "timeout" << QStringList{"ls", "-l"};
    }
    void cliNextRunWaitsOutTheRest()
    {
        QFETCH(QString, cut);
        QFETCH(QStringList, next);
        StoreFolder store;
        EmulatorProgram device(QStringList{"--dir", store.dir.path()} + pausedReceiver());
        const QProcessEnvironment environment = cliEnvironment();
        QTemporaryDir local;
        writeLocalFile(local, QStringLiteral("up.txt"), "uploaded");
        for (QString &argument : next)
            argument.replace(QLatin1Char('@'), local.path());
        const CliRun before = runCli({"-p", device.port(), "df"}, environment);
        QCOMPARE(before.exitCode, 0);

        QProcess cli;
        QProcess reader;
        cli.setProcessEnvironment(environment);
        if (cut == QLatin1String("pipe")) {
            cli.setStandardOutputProcess(&reader);
            reader.start(QStringLiteral("head"), {QStringLiteral("-c1")});
            QVERIFY(reader.waitForStarted());
        }
        const QStringList command = cut == QLatin1String("timeout")
                                            ? QStringList{"--timeout", "0.15", "get", "big.bin", "-o", local.path()}
                                            : QStringList{"cat", "big.bin"};
        cli.start(cliPath(), QStringList{"-p", device.port()} + command);
        QVERIFY(cli.waitForStarted());
        if (cut.startsWith(QLatin1String("SIG"))) {
            QVERIFY(cli.waitForReadyRead(10000));
            const int signal = cut == QLatin1String("SIGINT") ? SIGINT : cut == QLatin1String("SIGTERM") ? SIGTERM : SIGHUP;
            QCOMPARE(::kill(pid_t(cli.processId()), signal), 0);
        }
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(cli.exitCode(), cut == QLatin1String("SIGINT")    ? 130
                                 : cut.startsWith(QLatin1String("SIG")) ? 143
                                 : cut == QLatin1String("timeout")      ? 4
                                                                        : 0);
        QCOMPARE(notesLeft(), 1);

        const CliRun run = runCli(QStringList{"-p", device.port()} + next, environment);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY2(run.err.startsWith("spiffs-cli: the receiver is still sending the rest of big.bin, about "),
                 run.err.constData());
        if (next.first() == QLatin1String("df"))
            QCOMPARE(run.out, before.out);
        else if (next.first() == QLatin1String("ls"))
            QVERIFY2(run.out.contains("     20000  big.bin\n"), run.out.constData());
        else
            QCOMPARE(readLocalFile(store.dir.filePath(QStringLiteral("up.txt"))), QByteArray("uploaded"));
        QCOMPARE(notesLeft(), 0);
        QCOMPARE(folderEntries(local.path()), QStringList{QStringLiteral("up.txt")});
    }

    // Cut before the receiver's size came (a receiver slow to open a large
    // file): the listing's size is the rest, and the next run waits it out
    // rather than read the file as its answer.
    void cliCutBeforeTheSizeCame_data()
    {
        QTest::addColumn<QStringList>("cut");
        QTest::addColumn<QStringList>("next");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("Ctrl-C of cat, then df") << QStringList{"cat", "big.bin"} << QStringList{"df"} << QByteArray("total");
        QTest::newRow("a time-out, then ls -l") << QStringList{"--timeout", "1", "cat", "big.bin"} << QStringList{"ls", "-l"}
                                                << QByteArray("     20000  big.bin\n");
    }
    void cliCutBeforeTheSizeCame()
    {
        QFETCH(QStringList, cut);
        QFETCH(QStringList, next);
        QFETCH(QByteArray, out);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path(), "--open-delay-ms", "1500", "--baud", "115200"});
        const QProcessEnvironment environment = cliEnvironment();
        const CliRun before = runCli({"-p", device.port(), "df"}, environment);
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(cliPath(), QStringList{"-p", device.port()} + cut);
        QVERIFY(cli.waitForStarted());
        if (!cut.contains(QStringLiteral("--timeout"))) {
            QTest::qWait(600);
            QCOMPARE(::kill(pid_t(cli.processId()), SIGINT), 0);
        }
        QVERIFY(cli.waitForFinished(20000));
        QCOMPARE(notesLeft(), 1);

        const CliRun run = runCli(QStringList{"-p", device.port()} + next, environment);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY2(run.err.startsWith("spiffs-cli: the receiver is still sending the rest of big.bin, about "), run.err.constData());
        QVERIFY2(run.out.contains(out), run.out.constData());
        if (next.constFirst() == QLatin1String("df"))
            QCOMPARE(run.out, before.out);
    }

    // Killed outright, a run leaves no note; the next one still never takes
    // the rest of the file for its answer: the bytes that come with the
    // answer show the line was not clean, and it asks again once drained.
    void cliWithoutANoteNeverBelievesTheRest()
    {
        StoreFolder store;
        EmulatorProgram device(QStringList{"--dir", store.dir.path()} + pausedReceiver());
        const QProcessEnvironment environment = cliEnvironment();
        const CliRun before = runCli({"-p", device.port(), "df"}, environment);
        QCOMPARE(before.exitCode, 0);
        QProcess cli;
        cli.setProcessEnvironment(environment);
        cli.start(cliPath(), QStringList{"-p", device.port(), "cat", "big.bin"});
        QVERIFY(cli.waitForReadyRead(10000));
        QCOMPARE(::kill(pid_t(cli.processId()), SIGKILL), 0);
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(notesLeft(), 0);

        const CliRun run = runCli({"-p", device.port(), "df"}, environment);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(run.out, before.out);
    }

    // A note whose time has passed costs nothing: no wait, no word.
    void cliIgnoresAStaleNote()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QCOMPARE(RemainderNote::defaultFolder(), m_runtime.filePath(QStringLiteral("spiffs-manager")));
        QCOMPARE(RemainderNote::leave(device.port(), rest(20000, 3600 * 1000)), QString());
        const CliRun run = runCli({"-p", device.port(), "df"}, cliEnvironment());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.err, QByteArray());
        QCOMPARE(notesLeft(), 0);
    }


private:
    int notesLeft() const { return QDir(RemainderNote::defaultFolder()).entryList({"remainder-*"}).size(); }
    QProcessEnvironment cliEnvironment() const
    {
        QProcessEnvironment environment = cleanEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        return environment;
    }

    QTemporaryDir m_runtime;
};

QTEST_MAIN(RemainderCutTest)
#include "tst_remaindercut.moc"
