// How spiffs-cli ends, whatever happens: one JSON document for every
// outcome, the exit status its failure table gives, signals and a closed
// pipe that leave the port free for the next program, a lost line seen at
// once every time, cat's bytes out while they arrive, and the messages that
// say what to do next. The real program against spiffs-emulator, each in a
// process of its own.
#include "clirun.h"
#include "emulatorprogram.h"
#include "testfiles.h"

#include "core/portlock.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

#include <csignal>

using namespace CliTesting;

namespace {

QJsonObject onlyDocument(const QByteArray &out)
{
    const QList<QByteArray> lines = out.trimmed().split('\n');
    if (lines.size() != 1)
        return QJsonObject{{QStringLiteral("lines"), int(lines.size())}};
    return QJsonDocument::fromJson(lines.constFirst()).object();
}

} // namespace

class CliOutcomesTest : public QObject
{
    Q_OBJECT

private slots:
    void oneDocumentForEveryOutcome_data()
    {
        QTest::addColumn<QStringList>("emulator");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("kind"); // empty: success, error null
        QTest::addColumn<QStringList>("fields"); // the command's own, present either way
        const auto row = [](const char *tag, const QStringList &emulator, const QStringList &arguments, int exitCode,
                            const char *kind, const QStringList &fields) {
            QTest::newRow(tag) << emulator << arguments << exitCode << QString::fromLatin1(kind) << fields;
        };
        row("df", {}, {"df"}, 0, "", {"free"});
        row("get, no such file", {}, {"get", "none.txt"}, 1, "no-such-file", {"done"});
        row("get", {}, {"get", "a.txt", "-o", "@"}, 0, "", {"done"});
        row("put, no such local file", {}, {"put", "/nonexistent/x.txt"}, 1, "local-file", {});
        row("put, a folder", {}, {"put", "@"}, 1, "local-file", {});
        row("put, a typed name the receiver refuses", {}, {"put", "@/up.txt:a b.txt"}, 2, "usage", {});
        row("put", {}, {"put", "@/up.txt", "--verify"}, 0, "", {"done"});
        row("rm", {}, {"rm", "notes"}, 0, "", {"done"});
        row("verify, a difference", {}, {"verify", "@/up.txt:a.txt"}, 5, "mismatch", {"identical"});
        row("format", {}, {"format", "--yes"}, 0, "", {"erased"});
        row("run, refused", {}, {"run", "big.bin"}, 1, "refused", {"name"});
        row("run, no such file", {}, {"run", "nothere.txt"}, 1, "no-such-file", {"name"});
        row("reboot", {}, {"reboot"}, 0, "", {"restarted"});
        row("no answer", {"--silent", "M"}, {"--timeout", "0.3", "df"}, 4, "no-answer", {});
        row("a memory report no flash holds", {"--capacity", "4000000000"}, {"df"}, 1, "bad-reply", {});
        row("ls on such a report", {"--capacity", "16777217"}, {"ls"}, 1, "bad-reply", {});
        row("line lost", {"--hangup-after", "3000"}, {"get", "big.bin", "-o", "@"}, 3, "line-lost", {"done"});
        row("no such port", {}, {"-p", "/dev/spiffs-no-such-port", "df"}, 3, "port", {});
        row("bad usage", {}, {"ls", "--yes"}, 2, "usage", {});
        row("an unknown command", {}, {"frob"}, 2, "usage", {});
        row("an unknown option", {}, {"ls", "--bogus"}, 2, "usage", {});
        row("a + with no command before it", {}, {"+", "ls"}, 2, "usage", {});
        row("format, no terminal, no --yes", {}, {"format"}, 2, "unconfirmed", {});
        row("rm of several, no terminal, no --yes", {}, {"rm", "*.txt", "notes"}, 2, "unconfirmed", {"wouldRemove", "done"});
        row("mv, no such file", {}, {"mv", "none.txt", "b.txt"}, 1, "no-such-file", {"old", "new", "done"});
        row("mv, a name the receiver refuses", {}, {"mv", "a.txt", "a b.txt"}, 2, "usage", {"old", "new"});
        row("edit, a name the receiver refuses", {}, {"edit", "a b.txt"}, 2, "usage", {"name", "changed"});
        row("a job", {}, {"backup", "@/backup"}, 0, "", {"received", "kept"});
        // A job's fields however it ends, before the port opens too.
        row("a job, no such port", {}, {"-p", "/dev/spiffs-no-such-port", "backup", "@/backup"}, 3, "port",
            {"received", "kept"});
        row("ports never opens the port", {}, {"-p", "/dev/spiffs-no-such-port", "ports"}, 0, "", {"ports"});
    }
    void oneDocumentForEveryOutcome()
    {
        QFETCH(QStringList, emulator);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, kind);
        QFETCH(QStringList, fields);
        StoreFolder store;
        EmulatorProgram device(QStringList{"--dir", store.dir.path()} + emulator);
        QTemporaryDir local;
        QVERIFY(!writeLocalFile(local, QStringLiteral("up.txt"), "not alpha").isEmpty());
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), local.path());
        const QStringList port = arguments.contains(QStringLiteral("-p")) ? QStringList() : QStringList{"-p", device.port()};
        const CliRun run = runCli(port + QStringList{"--json"} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        const QJsonObject document = onlyDocument(run.out);
        QVERIFY2(!document.contains(QStringLiteral("lines")), run.out.constData());
        QCOMPARE(document.value(QStringLiteral("exitStatus")).toInt(-1), exitCode);
        QVERIFY(document.contains(QStringLiteral("command")));
        if (kind.isEmpty()) {
            QVERIFY(document.value(QStringLiteral("error")).isNull());
        } else {
            const QJsonObject error = document.value(QStringLiteral("error")).toObject();
            QCOMPARE(error.value(QStringLiteral("kind")).toString(), kind);
            // The message is the one said on standard error.
            QVERIFY(run.err.contains(error.value(QStringLiteral("message")).toString().toUtf8()));
        }
        for (const QString &field : std::as_const(fields))
            QVERIFY2(document.contains(field), run.out.constData());
    }

    // 1 is for what cannot be used, 2 for bad usage only.
    void localProblemsAreNotUsage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("said");
        QTest::newRow("put, missing") << QStringList{"put", "@/missing.txt"} << QByteArray("no such file");
        QTest::newRow("put, a folder") << QStringList{"put", "@"} << QByteArray("spiffs-cli sync");
        QTest::newRow("put, not a regular file") << QStringList{"put", "/dev/null"} << QByteArray("not a regular file");
        QTest::newRow("verify, missing") << QStringList{"verify", "@/missing.txt"} << QByteArray("no such file");
        QTest::newRow("get -o a file") << QStringList{"get", "a.txt", "-o", "@/file.txt"} << QByteArray("is not a folder");
        QTest::newRow("sync, missing") << QStringList{"sync", "@/missing"} << QByteArray("no such folder");
        QTest::newRow("restore, missing") << QStringList{"restore", "@/missing"} << QByteArray("no such folder");
        QTest::newRow("restore, no MANIFEST") << QStringList{"restore", "@"} << QByteArray("cannot read");
        QTest::newRow("a trace that cannot be written") << QStringList{"--trace", "@/missing/trace", "df"}
                                                        << QByteArray("cannot write the trace");
    }
    void localProblemsAreNotUsage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, said);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QTemporaryDir local;
        QVERIFY(!writeLocalFile(local, QStringLiteral("file.txt"), "f").isEmpty());
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), local.path());
        const CliRun run = runCli(QStringList{"-p", device.port()} + arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(said), run.err.constData());
    }

    // SIGTERM is handled as Ctrl-C is, and a reader that goes away ends cat
    // quietly: either way the port's lock goes with the program, and the
    // next one may open the port at once.
    void endingsLeaveThePortFree_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("SIGTERM") << "SIGTERM";
        QTest::newRow("SIGHUP") << "SIGHUP";
        QTest::newRow("SIGINT") << "SIGINT";
        QTest::newRow("a closed pipe") << "pipe";
    }
    void endingsLeaveThePortFree()
    {
        QFETCH(QString, ending);
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path(), "--baud", "115200"});
        QProcess cli;
        cli.setProcessEnvironment(cleanEnvironment());
        QProcess reader;
        if (ending == QLatin1String("pipe")) {
            cli.setStandardOutputProcess(&reader);
            reader.start(QStringLiteral("head"), {QStringLiteral("-c1")});
            QVERIFY(reader.waitForStarted());
        }
        cli.start(cliPath(), {"-p", device.port(), "cat", "big.bin"});
        QVERIFY(cli.waitForStarted());
        const QString lock = PortLocks::lockPath(device.port());
        if (ending != QLatin1String("pipe")) {
            QTest::qWait(800); // well into the 1.7 s the file takes at 115200 baud
            QVERIFY(QFile::exists(lock));
            const int signal = ending == QLatin1String("SIGTERM") ? SIGTERM : ending == QLatin1String("SIGHUP") ? SIGHUP : SIGINT;
            QCOMPARE(::kill(pid_t(cli.processId()), signal), 0);
        }
        QVERIFY(cli.waitForFinished(20000));
        // Removed by the program itself, not cleared later as an ended one's.
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
        const QByteArray errors = cli.readAllStandardError();
        if (ending == QLatin1String("pipe")) {
            QVERIFY(reader.waitForFinished(5000));
            QCOMPARE(reader.readAllStandardOutput(), bigContent.left(1));
            QCOMPARE(cli.exitCode(), 0);
            QVERIFY2(errors.isEmpty(), errors.constData());
        } else if (ending == QLatin1String("SIGINT")) {
            QCOMPARE(cli.exitCode(), 130);
            QVERIFY2(errors.contains("interrupted"), errors.constData());
        } else {
            QCOMPARE(cli.exitCode(), 143);
            QVERIFY2(errors.contains("terminated"), errors.constData());
        }
        const CliRun next = runCli({"-p", device.port(), "ls", "a.txt"});
        QVERIFY2(next.exitCode == 0, next.err.constData());
        QCOMPARE(next.out, QByteArray("a.txt\n"));
    }

    // A hang-up in the middle of a job is seen when it happens, not when the
    // time-out runs out: every time, wherever in the transfer it falls.
    void lostLineSeenAtOnce_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("firstCut");
        QTest::newRow("cat") << "cat" << 1000;
        QTest::newRow("put") << "put" << 40;
        QTest::newRow("backup") << "backup" << 4000;
    }
    void lostLineSeenAtOnce()
    {
        QFETCH(QString, command);
        QFETCH(int, firstCut);
        QTemporaryDir local;
        const QString upload = writeLocalFile(local, QStringLiteral("up.bin"), patterned(6000, 4));
        for (int attempt = 0; attempt < 12; ++attempt) {
            StoreFolder store;
            const int cut = firstCut + attempt * firstCut / 4;
            EmulatorProgram device({"--dir", store.dir.path(), "--hangup-after", QString::number(cut)});
            QStringList arguments{"-p", device.port(), "--timeout", "10", command};
            if (command == QLatin1String("cat"))
                arguments << "big.bin";
            else if (command == QLatin1String("put"))
                arguments << upload;
            else
                arguments << local.filePath(QStringLiteral("backup-%1").arg(attempt));
            QElapsedTimer clock;
            clock.start();
            const CliRun run = runCli(arguments);
            QVERIFY2(run.exitCode == 3, qPrintable(QStringLiteral("attempt %1, cut %2: exit %3 after %4 ms: %5")
                                                           .arg(attempt)
                                                           .arg(cut)
                                                           .arg(run.exitCode)
                                                           .arg(clock.elapsed())
                                                           .arg(QString::fromLocal8Bit(run.err))));
            QVERIFY2(clock.elapsed() < 8000, qPrintable(QStringLiteral("seen after %1 ms").arg(clock.elapsed())));
        }
    }

    // At 115200 baud the file takes 1.7 s; its first bytes reach the reader
    // long before that.
    void catStreamsAsItArrives()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path(), "--baud", "115200"});
        QProcess cli;
        cli.setProcessEnvironment(cleanEnvironment());
        cli.start(cliPath(), {"-p", device.port(), "cat", "big.bin"});
        QVERIFY(cli.waitForStarted());
        QVERIFY(cli.waitForReadyRead(10000));
        QByteArray out = cli.readAllStandardOutput();
        QCOMPARE(cli.state(), QProcess::Running);
        QVERIFY(out.size() < bigContent.size());
        QVERIFY(cli.waitForFinished(20000));
        out += cli.readAllStandardOutput();
        QCOMPARE(cli.exitCode(), 0);
        QVERIFY(out == bigContent);
    }

    void messagesLeadOn_data()
    {
        QTest::addColumn<QStringList>("emulator");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("portFromEnvironment");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArrayList>("said");
        QTest::newRow("silence from the first request") << QStringList{"--silent", "M"} << QStringList{"--timeout", "0.3", "df"}
                                                        << false << 4
                                                        << QByteArrayList{"spiffs-cli ports", "another program", "--trace"};
        QTest::newRow("a port from SPIFFS_PORT") << QStringList{"--silent", "M"} << QStringList{"--timeout", "0.3", "ls"} << true
                                                 << 4 << QByteArrayList{"(from SPIFFS_PORT)"};
        QTest::newRow("verify") << QStringList() << QStringList{"verify", "@/a.txt"} << false << 0
                                << QByteArrayList{"are identical"};
        QTest::newRow("put --verify") << QStringList() << QStringList{"put", "@/a.txt:copy.txt", "--verify"} << false << 0
                                      << QByteArrayList{"copy.txt verified"};
        QTest::newRow("format") << QStringList() << QStringList{"format", "--yes"} << false << 0 << QByteArrayList{"erased"};
        QTest::newRow("a name cleaned") << QStringList() << QStringList{"put", "@/my file.txt"} << false << 0
                                        << QByteArrayList{"stored as myfile.txt"};
        QTest::newRow("a name flattened") << QStringList() << QStringList{"get", "presets/sw.txt", "-o", "@"} << false << 0
                                          << QByteArrayList{"saved as presets-sw.txt"};
        QTest::newRow("a mistyped command") << QStringList() << QStringList{"lst"} << false << 2
                                            << QByteArrayList{"did you mean \"ls\"?"};
        QTest::newRow("rm says what it removed") << QStringList() << QStringList{"put", "@/a.txt:x.txt", "+", "rm", "x.txt"}
                                                 << false << 0 << QByteArrayList{"rm: removed x.txt"};
        QTest::newRow("run, a file the receiver lacks") << QStringList() << QStringList{"run", "nothere.txt"} << false << 1
                                                        << QByteArrayList{"run: no such file: nothere.txt"};
        QTest::newRow("mv, the removal unanswered") << QStringList{"--silent", "R"}
                                                    << QStringList{"--timeout", "0.3", "mv", "a.txt", "b.txt"} << false << 4
                                                    << QByteArrayList{"b.txt is in place and checked; a.txt may or may not "
                                                                      "still be there"};
        QTest::newRow("rm of several, no terminal") << QStringList() << QStringList{"rm", "a.txt", "notes"} << false << 2
                                                    << QByteArrayList{"2 files would be removed: a.txt, notes", "add --yes",
                                                                      "nothing removed"};
    }
    void messagesLeadOn()
    {
        QFETCH(QStringList, emulator);
        QFETCH(QStringList, arguments);
        QFETCH(bool, portFromEnvironment);
        QFETCH(int, exitCode);
        QFETCH(QByteArrayList, said);
        StoreFolder store;
        EmulatorProgram device(QStringList{"--dir", store.dir.path()} + emulator);
        QTemporaryDir local;
        QVERIFY(!writeLocalFile(local, QStringLiteral("a.txt"), "alpha").isEmpty());
        QVERIFY(!writeLocalFile(local, QStringLiteral("my file.txt"), "m").isEmpty());
        for (QString &argument : arguments)
            argument.replace(QLatin1Char('@'), local.path());
        QProcessEnvironment environment = cleanEnvironment();
        if (portFromEnvironment)
            environment.insert(QStringLiteral("SPIFFS_PORT"), device.port());
        else
            arguments = QStringList{"-p", device.port()} + arguments;
        const CliRun run = runCli(arguments, environment);
        QCOMPARE(run.exitCode, exitCode);
        for (const QByteArray &text : std::as_const(said))
            QVERIFY2(run.err.contains(text), run.err.constData());

        // -q keeps a success quiet; failures are still said.
        const CliRun quiet = runCli(QStringList{"-q"} + arguments, environment);
        QVERIFY2(exitCode != 0 || quiet.err.isEmpty(), quiet.err.constData());
    }

    void usageWithoutACommand()
    {
        const CliRun run = runCli({});
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.err.startsWith("Usage: spiffs-cli"));
        QVERIFY(run.out.isEmpty());
    }

    void humanReadableSizes()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        const CliRun list = runCli({"-p", device.port(), "ls", "-lh", "big.bin", "a.txt"});
        QCOMPARE(list.exitCode, 0);
        QCOMPARE(list.out, QByteArray("       5 B  a.txt\n  19.5 KiB  big.bin\n"));
        const CliRun figures = runCli({"-p", device.port(), "df", "-h"});
        QCOMPARE(figures.exitCode, 0);
        QCOMPARE(figures.out.split('\n').value(0), QByteArray("total     1.3 MiB"));
    }
};

QTEST_MAIN(CliOutcomesTest)
#include "tst_clioutcomes.moc"
