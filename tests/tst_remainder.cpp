// The rest of a reply the program stopped reading: the receiver goes on
// sending it, with pauses, and nothing may take it for the next answer. The
// rules and the notes, the settle that drains it on a real port, the
// session, the window and spiffs-cli, against a receiver paced at 115200
// baud that pauses 300 ms inside its replies.
#include "clirun.h"
#include "emulatorharness.h"
#include "emulatorprogram.h"
#include "testfiles.h"
#include "windowharness.h"
#include "windowwaits.h"

#include "core/devicesession.h"
#include "core/receiverline.h"
#include "core/remaindernote.h"
#include "core/tracewriter.h"
#include "link/linkstate.h"
#include "link/operation.h"

#include <QtCore/QBuffer>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <csignal>

using namespace CliTesting;
using namespace DeviceBytes;

namespace {

constexpr int PauseMs = 300; // the longest pause seen inside a reply

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

ReplyRemainder rest(qint64 due, qint64 cutAgoMs, Exchange exchange = Exchange::Download)
{
    return ReplyRemainder{exchange == Exchange::Download ? QByteArray("big.mp3") : QByteArray(), exchange, due,
                          now() - cutAgoMs};
}

// The receiver as it answers at 115200 baud, in pieces with pauses between.
QStringList pausedReceiver()
{
    return {"--baud", "115200", "--split", "2000", "--gap-ms", QString::number(PauseMs)};
}

EngineOptions pausedOptions()
{
    EngineOptions options;
    options.baud = 115200;
    options.splitBytes = 2000;
    options.gapMs = PauseMs;
    return options;
}

} // namespace

class RemainderTest : public QObject
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

    // ---- the rules ----------------------------------------------------------

    void waitText_data()
    {
        QTest::addColumn<qint64>("due");
        QTest::addColumn<qint64>("cutAgoMs");
        QTest::addColumn<int>("exchange");
        QTest::addColumn<QString>("text");
        const int download = int(Exchange::Download);
        QTest::newRow("14 s on the line") << qint64(14 * 11520) << qint64(0) << download
                                          << "still sending the rest of big.mp3, about 14 s";
        QTest::newRow("4 s of it gone") << qint64(14 * 11520) << qint64(4000) << download
                                        << "still sending the rest of big.mp3, about 10 s";
        QTest::newRow("its wire time over, pauses left") << qint64(1000) << qint64(5000) << download
                                                         << "still sending the rest of big.mp3, about 1 s";
        QTest::newRow("the file list") << qint64(11520) << qint64(0) << int(Exchange::Listing)
                                       << "still sending the rest of the file list, about 1 s";
        QTest::newRow("cut before its size") << qint64(-1) << qint64(0) << download
                                             << "perhaps still sending the rest of big.mp3";
    }
    void waitText()
    {
        QFETCH(qint64, due);
        QFETCH(qint64, cutAgoMs);
        QFETCH(int, exchange);
        const ReplyRemainder remainder = rest(due, cutAgoMs, Exchange(exchange));
        QTEST(Remainder::waitText(remainder, QStringLiteral("big.mp3"), remainder.cutAtMs + cutAgoMs), "text");
    }

    // A rest is waited for as long as its bytes and the pauses between them
    // may take, and the settle's bound after; then it is past.
    void staleness_data()
    {
        QTest::addColumn<qint64>("due");
        QTest::addColumn<qint64>("cutAgoMs");
        QTest::addColumn<bool>("stale");
        const qint64 second = 11520; // 1 s on the line, 8 s with pauses
        QTest::newRow("a second's bytes, 17 s ago") << second << qint64(17900) << false;
        QTest::newRow("a second's bytes, 18 s ago") << second << qint64(18000) << true;
        QTest::newRow("of unknown size, 9 s ago") << qint64(-1) << qint64(9000) << false;
        QTest::newRow("of unknown size, 10 s ago") << qint64(-1) << qint64(10000) << true;
    }
    void staleness()
    {
        QFETCH(qint64, due);
        QFETCH(qint64, cutAgoMs);
        const ReplyRemainder remainder = rest(due, cutAgoMs);
        QTEST(Remainder::isStale(remainder, remainder.cutAtMs + cutAgoMs), "stale");
    }

    // A note is taken once, and only by the port and the device it was left
    // for, in its time; anything else in its place is no note.
    void notes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("taken");
        QTest::newRow("left and taken") << "good" << true;
        QTest::newRow("another port's") << "port" << false;
        QTest::newRow("a device plugged in since") << "device" << false;
        QTest::newRow("its time passed") << "stale" << false;
        QTest::newRow("from a clock set back") << "future" << false;
        QTest::newRow("a size no receiver sends") << "size" << false;
        QTest::newRow("not a note") << "garbage" << false;
    }
    void notes()
    {
        QFETCH(QString, kind);
        QFETCH(bool, taken);
        QTemporaryDir folder;
        const QString port = writeLocalFile(folder, QStringLiteral("ttyUSB0"), "");
        ReplyRemainder remainder = rest(kind == QLatin1String("size") ? qint64(1) << 31 : 20000, 0);
        if (kind == QLatin1String("stale"))
            remainder.cutAtMs -= 3600 * 1000;
        if (kind == QLatin1String("future"))
            remainder.cutAtMs += 60 * 1000;
        QVERIFY(RemainderNote::leave(port, remainder, folder.path()));
        const QString notePath = QDir(folder.path()).filePath(QDir(folder.path()).entryList({"remainder-*"}).value(0));
        if (kind == QLatin1String("port") || kind == QLatin1String("device") || kind == QLatin1String("garbage")) {
            QFile note(notePath);
            QVERIFY(note.open(QIODevice::WriteOnly | QIODevice::Truncate));
            const qint64 stamp = RemainderNote::deviceStamp(port);
            note.write(kind == QLatin1String("port")     ? RemainderNote::encode(port + QLatin1Char('1'), stamp, remainder)
                       : kind == QLatin1String("device") ? RemainderNote::encode(port, stamp - 1, remainder)
                                                         : QByteArray("{\"bytesDue\": \"12\""));
        }
        const std::optional<ReplyRemainder> read = RemainderNote::take(port, now(), folder.path());
        QCOMPARE(bool(read), taken);
        if (taken) {
            QCOMPARE(read->name, remainder.name);
            QVERIFY(read->exchange == remainder.exchange);
            QCOMPARE(read->bytesDue, remainder.bytesDue);
            QCOMPARE(read->cutAtMs, remainder.cutAtMs);
        }
        // Read once, then gone, whatever it held.
        QVERIFY(!QFile::exists(notePath));
        QVERIFY(!RemainderNote::take(port, now(), folder.path()));
    }

    // ---- the settle that drains it -----------------------------------------

    // Pieces of the rest arrive PauseMs apart; the line is not settled in
    // any pause, only once the rest has passed.
    void settleDrainsTheRest_data()
    {
        QTest::addColumn<qint64>("due");
        QTest::addColumn<qint64>("cutAgoMs");
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<bool>("draining");
        const QByteArray k(1000, 'x');
        QTest::newRow("counted to the end") << qint64(3000) << qint64(0) << QByteArrayList{k, k, k} << true;
        QTest::newRow("part lost while the port was closed") << qint64(3000) << qint64(0) << QByteArrayList{k, k}
                                                            << true;
        QTest::newRow("cut before its size") << qint64(-1) << qint64(0) << QByteArrayList{k, k} << true;
        QTest::newRow("the board restarted") << qint64(3000) << qint64(0)
                                             << QByteArrayList{"ets Jun  8 2016 00:22:57\r\n", "rst:0x1"} << true;
        QTest::newRow("its time passed") << qint64(3000) << qint64(3600 * 1000) << QByteArrayList{} << false;
    }
    void settleDrainsTheRest()
    {
        QFETCH(qint64, due);
        QFETCH(qint64, cutAgoMs);
        QFETCH(QByteArrayList, pieces);
        QFETCH(bool, draining);
        PtyDevice device;
        QSerialPort port(device.portName());
        QVERIFY(port.open(QIODevice::ReadWrite));
        LineSettler settler(&port);
        QSignalSpy settled(&settler, &LineSettler::settled);
        settler.start(Exchange::Opening, rest(due, cutAgoMs));
        QCOMPARE(bool(settler.remainder()), draining);
        qint64 sent = 0;
        for (const QByteArray &piece : pieces) {
            QVERIFY(!settled.wait(PauseMs));
            device.deliver(piece);
            sent += piece.size();
        }
        QVERIFY(settled.wait(LineSettler::SettleLimitMs));
        QCOMPARE(settler.droppedBytes(), sent);
        device.deliver("answer");
        QCOMPARE(port.readAll(), QByteArray("answer"));
    }

    // ---- the session --------------------------------------------------------

    // A download cut short, however: the next request goes out only once
    // the rest has passed, and is answered with the receiver's figures. The
    // trace shows the rest dropped between the two, whole.
    void sessionDrainsBeforeItsNextRequest_data()
    {
        QTest::addColumn<bool>("timeout");
        QTest::newRow("a time-out in a pause") << true;
        QTest::newRow("aborted") << false;
    }
    void sessionDrainsBeforeItsNextRequest()
    {
        QFETCH(bool, timeout);
        EmulatorHost host(pausedOptions());
        const QByteArray content = patterned(12000, 3);
        QVERIFY(host.engine().store().store("big.mp3", content));
        QVERIFY(host.start());
        QSerialPort port(host.portName());
        ReceiverLine::applySettings(port);
        QVERIFY(port.open(QIODevice::ReadWrite));
        QBuffer traceText;
        traceText.open(QIODevice::WriteOnly);
        TraceWriter trace(&traceText);
        trace.follow(&port);
        DeviceSession session(&port);
        session.setTimeout(timeout ? PauseMs / 2 : 0);

        DeviceReply *download = session.download("big.mp3");
        if (!timeout) {
            QObject::connect(download, &DeviceReply::progress, &session, [&session](qint64 done) {
                if (done > 0)
                    session.abort();
            });
        }
        QVERIFY(QSignalSpy(download, &DeviceReply::finished).wait(10000));
        QCOMPARE(download->error(), timeout ? DeviceReply::TimeoutError : DeviceReply::AbortedError);
        QVERIFY(session.remainder());
        QCOMPARE(session.remainder()->bytesDue, content.size() - download->bytesDone());

        session.setTimeout(5000);
        DeviceReply *memory = session.requestMemoryReport();
        QVERIFY(QSignalSpy(memory, &DeviceReply::finished).wait(20000));
        QCOMPARE(memory->error(), DeviceReply::NoError);
        QCOMPARE(memory->memory().totalBytes, host.engine().store().capacity());
        QCOMPARE(memory->memory().usedBytes, host.engine().store().usedBytes());
        QVERIFY(!session.remainder());

        const QByteArray text = traceText.data();
        QCOMPARE(traced(text, '<', "DOWNLOAD") + traced(text, '<', "IDLE"), be32(quint32(content.size())) + content);
        QCOMPARE(traced(text, '>', "MEMORY"), CatalogueFormat::memoryRequest() + CatalogueFormat::memoryRequest());
        QVERIFY(text.lastIndexOf(" < IDLE ") < text.lastIndexOf(" > MEMORY "));
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

    // A note whose time has passed costs nothing: no wait, no word.
    void cliIgnoresAStaleNote()
    {
        StoreFolder store;
        EmulatorProgram device({"--dir", store.dir.path()});
        QCOMPARE(RemainderNote::defaultFolder(), m_runtime.filePath(QStringLiteral("spiffs-manager")));
        QVERIFY(RemainderNote::leave(device.port(), rest(20000, 3600 * 1000)));
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

QTEST_MAIN(RemainderTest)
#include "tst_remainder.moc"
