// The window's first minute with a receiver: a board that restarts when its
// port opens, a port where nothing answers, and a trace of the line written
// with SPIFFS_TRACE and played back by spiffs-emulator --replay.
#include "emulatorharness.h"
#include "emulatorprogram.h"
#include "replaytrace.h"
#include "testfiles.h"
#include "windowharness.h"
#include "windowwaits.h"

#include "app/mainwindow.h"
#include "app/portscan.h"
#include "core/exchange.h"
#include "core/linesettler.h"
#include "link/linetrace.h"
#include "link/linkstate.h"
#include "link/operation.h"

#include <QtCore/QDir>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTableWidget>

using namespace DeviceBytes;

namespace {

const QString NoAnswer = QStringLiteral("ESP32: no answer");

// The window on a port of spiffs-emulator run as a process.
class PortWindow : public WindowDriver
{
public:
    explicit PortWindow(const QString &portName) : m_portName(portName) { openWindow(portName); }
    ~PortWindow() { closeWindow(); }

    bool connectAndWait()
    {
        ports()->setCurrentText(m_portName);
        button("pushButton_3")->click();
        return linkState().portOpen && waitForIdleLink(20000);
    }

    // What the window shows of the receiver.
    QStringList shown() const
    {
        return QStringList{label("totalMemory")->text(), label("availableMemory")->text()} + tableNames()
               + tableSizes();
    }

private:
    QString m_portName;
};

// The bytes of a trace's records in one direction under one label, joined.
QByteArray traced(const QByteArray &trace, char direction, const QByteArray &label)
{
    QByteArray bytes;
    bool inRecord = false;
    for (const QByteArray &line : trace.split('\n')) {
        if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        const QByteArrayList words = line.simplified().split(' ');
        const bool head = words.size() >= 4 && words.at(1).size() == 1 && (words.at(1) == "<" || words.at(1) == ">");
        if (head)
            inRecord = words.at(1).at(0) == direction && words.at(2) == label;
        if (!inRecord)
            continue;
        // The hex sits between the count (or the indent) and the "|" column.
        const QByteArray hex = line.left(line.indexOf('|')).mid(head ? line.indexOf(words.at(3), 9) + words.at(3).size() : 0);
        bytes += QByteArray::fromHex(hex.simplified().replace(' ', ""));
    }
    return bytes;
}

QByteArrayList commentLines(const QByteArray &trace)
{
    QByteArrayList comments;
    for (const QByteArray &line : trace.split('\n')) {
        if (line.startsWith('#'))
            comments << line;
    }
    return comments;
}

QString clickConnect(WindowHarness &harness)
{
    harness.ports()->setCurrentText(harness.device.portName());
    harness.button("pushButton_3")->click();
    return harness.button("pushButton_3")->text();
}

} // namespace

class FirstContactTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        qunsetenv(TraceVariable);
    }

    // ---- a board that restarts when the port opens ----------------------

    void bootOnOpenShowsTheReceiver()
    {
        EngineOptions options;
        options.bootOnOpen = true;
        EmulatorHarness harness(options);
        QVERIFY(harness.isValid());
        QVERIFY(harness.store().store("station.ini", patterned(300, 1)));
        QVERIFY(harness.store().store("presets/sw.txt", patterned(1200, 2)));
        const QStringList expected{QString::number(harness.store().capacity()),
                                   QString::number(harness.store().capacity() - harness.store().usedBytes()),
                                   QStringLiteral("station.ini"), QStringLiteral("presets/sw.txt"),
                                   QStringLiteral("300"), QStringLiteral("1200")};
        const int used = int(harness.store().usedBytes());
        const auto shown = [&harness] {
            return QStringList{harness.label("totalMemory")->text(), harness.label("availableMemory")->text()}
                   + harness.tableNames() + harness.tableSizes();
        };
        // A receiver boots on its own clock: on the test's thread, a stall of
        // the machine longer than the opening's quiet spell would hold the
        // boot back until the window had already asked.
        harness.runHostOnOwnThread();

        for (int connect = 0; connect < 2; ++connect) {
            harness.clickConnect();
            // While the boot text comes: connected, and busy as while a
            // memory report is awaited.
            QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("disconnect"));
            QCOMPARE(linkState().currentOperation, Operation::Memory);
            harness.answerer->clear();
            harness.button("pushButton")->click();
            harness.button("pushButton_4")->click();
            QCOMPARE(harness.answerer->boxes.size(), 2);
            QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("device is busy now: MEMORY"));
            QCOMPARE(harness.answerer->boxes.at(1).text, QStringLiteral("device is busy now"));

            QVERIFY(harness.waitUntilIdle());
            QCOMPARE(shown(), expected);
            QCOMPARE(harness.gauge()->value(), used);
            QCOMPARE(harness.statusText(), QString());

            // A reboot restarts it once more; the window stays right.
            harness.button("pushButton_8")->click();
            QVERIFY(harness.waitUntilIdle());
            QCOMPARE(shown(), expected);
            harness.button("pushButton_3")->click(); // disconnect
            QVERIFY(!linkState().portOpen);
        }
    }

    // What arrives before the request is dropped, whatever it is and however
    // it is cut; the request waits for the quiet spell its bytes call for.
    void connectDropsWhatComesFirst_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("quietMs");
        QTest::newRow("noise") << QByteArrayList{QByteArray("\x00\x14\x1c\x71\x00\x00", 6), "zz"}
                               << LineSettler::OpeningQuietMs;
        QTest::newRow("boot text in bursts") << QByteArrayList{"ets Jun  8 2016 00:22:57\r\n", "rst:0xc (SW_CPU_RESET)\r\n",
                                                               "load:0x3fff0030,len:1184\r\n"}
                                             << LineSettler::BootQuietMs;
        QTest::newRow("a marker cut in two") << QByteArrayList{QByteArray("\x00\x00\x10\x00ro", 6), "m er", "ror: rs", "t:0x1"}
                                             << LineSettler::BootQuietMs;
        QTest::newRow("a memory reply's worth") << QByteArrayList{memoryReply(999, 1)} << LineSettler::OpeningQuietMs;
    }
    void connectDropsWhatComesFirst()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, quietMs);
        WindowHarness harness;
        QCOMPARE(clickConnect(harness), QStringLiteral("disconnect"));
        for (const QByteArray &piece : pieces) {
            harness.device.deliver(piece);
            QTest::qWait(20);
        }
        QVERIFY(linkState().rxBuffer.isEmpty());
        // Not before the line has been quiet for the spell...
        QVERIFY(harness.device.staysQuiet(quietMs / 2));
        // ...then the request, and the reply counts from there.
        QCOMPARE(harness.device.readExactly(17), frame('M'));
        QVERIFY(linkState().rxBuffer.isEmpty());
        QVERIFY(harness.answerMemory(4096, 1024));
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("4096"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("3072"));
        harness.device.deliver(listingReply({{"a.txt", 5}}));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
        QCOMPARE(harness.statusText(), QString());
    }

    void disconnectWhileSettlingSendsNothing()
    {
        WindowHarness harness;
        QCOMPARE(clickConnect(harness), QStringLiteral("disconnect"));
        harness.device.deliver("ets Jun  8 2016");
        harness.button("pushButton_3")->click();
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("connect"));
        QVERIFY(!linkState().portOpen);
        QVERIFY(harness.device.staysQuiet(LineSettler::BootQuietMs * 2));
        QCOMPARE(harness.statusText(), QString());

        // The next Connect starts afresh.
        QVERIFY(harness.connectWithFiles({{"b.txt", 7}}, 4096, 1024));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("b.txt")});
    }

    // ---- a port where nothing answers --------------------------------------

    // Connect's memory request unanswered: the window says so and frees the
    // buttons at once. A memory request needs nothing drained, and until
    // another request goes out whatever comes is its answer: a receiver slow
    // to start is shown once it answers, and the message goes.
    void silentPortSaysNoAnswer_data()
    {
        QTest::addColumn<int>("early"); // bytes of the memory reply that do come in time
        QTest::addColumn<bool>("askedBetween"); // a Reboot goes out before the late reply
        QTest::newRow("nothing") << 0 << false;
        QTest::newRow("part of the reply") << 3 << false;
        QTest::newRow("another request since") << 3 << true;
    }
    void silentPortSaysNoAnswer()
    {
        QFETCH(int, early);
        QFETCH(bool, askedBetween);
        WindowHarness harness;
        linkState().answerLimitMs = 600;
        QVERIFY(harness.connectToDevice());
        const QByteArray reply = memoryReply(4096, 1024);
        harness.device.deliver(reply.left(early));
        QTest::qWait(linkState().answerLimitMs / 2);
        QCOMPARE(harness.statusText(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(harness.statusText(), NoAnswer, linkState().answerLimitMs * 2);

        // Still connected, and free.
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("disconnect"));
        QVERIFY(linkState().portOpen);
        QCOMPARE(linkState().currentOperation, Operation::Idle);
        if (askedBetween) {
            harness.button("pushButton_8")->click();
            QCOMPARE(harness.device.readExactly(17), frame('Q'));
        }

        // The answer, late.
        harness.device.deliver(reply.mid(early));
        if (askedBetween) {
            // Not the memory report's any more: the reboot's sign of life.
            QVERIFY(waitForIdleLink(5000));
            QVERIFY(harness.device.staysQuiet());
            QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
            QCOMPARE(harness.statusText(), QStringLiteral("ESP32 restarted"));
        } else {
            QCOMPARE(harness.device.readExactly(17), frame('L'));
            QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("3072"));
            QCOMPARE(harness.statusText(), QString());
            harness.device.deliver(listingReply({{"a.txt", 5}}));
            QVERIFY(waitForIdleLink(3000));
            QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
        }
        QVERIFY(linkState().rxBuffer.isEmpty());

        // A Disconnect and a Connect start afresh.
        harness.button("pushButton_3")->click();
        QVERIFY(harness.connectWithFiles({{"b.txt", 5}}, 8192, 1024));
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("8192"));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("b.txt")});
    }

    // After "no answer" the buttons are free as soon as it shows: the
    // silence that ended the exchange counts toward the quiet spell of the
    // drain that follows, which is longer than this watch.
    void aClickRightAfterNoAnswerWorks_data()
    {
        QTest::addColumn<QByteArray>("sent"); // what comes of the download before the silence
        QTest::newRow("nothing") << QByteArray();
        QTest::newRow("part of the file") << be32(5) + "ab";
    }
    void aClickRightAfterNoAnswerWorks()
    {
        QFETCH(QByteArray, sent);
        WindowHarness harness;
        linkState().answerLimitMs = Remainder::ReplyPauseMs + 200;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}, 4096, 1024));
        QTemporaryDir folder;
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        QCOMPARE(harness.device.readExactly(27), frame('D', pathField("/a.txt")));
        harness.device.deliver(sent);
        QTRY_COMPARE_WITH_TIMEOUT(harness.statusText(), NoAnswer, linkState().answerLimitMs * 3);
        harness.button("pushButton_7")->click();
        QCOMPARE(harness.answerer->boxes.size(), 0);
        QCOMPARE(harness.device.readExactly(27), frame('X', pathField("/a.txt")));
    }

    // Only an exchange that meets silence is ended, and only once it has.
    void noAnswerOnlyForTheSilentExchange_data()
    {
        QTest::addColumn<QString>("course");
        QTest::newRow("answered in time") << "answered";
        QTest::newRow("disconnected while waiting") << "disconnected";
        QTest::newRow("a later request unanswered") << "later";
    }
    void noAnswerOnlyForTheSilentExchange()
    {
        QFETCH(QString, course);
        WindowHarness harness;
        linkState().answerLimitMs = 600;
        if (course == QLatin1String("disconnected")) {
            QVERIFY(harness.connectToDevice());
            harness.button("pushButton_3")->click();
        } else {
            QVERIFY(harness.connectWithFiles({{"a.txt", 5}}, 4096, 1024));
        }
        if (course == QLatin1String("later")) {
            QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
            harness.button("pushButton_7")->click(); // Execute, never answered
            QCOMPARE(harness.device.readExactly(17 + 4 + 6), frame('X', pathField("/a.txt")));
            // Once the silence has run out: said, and the register free
            // again after the drain.
            QTRY_COMPARE_WITH_TIMEOUT(harness.statusText(), NoAnswer, 3000);
            QVERIFY(waitForIdleLink(5000));
            QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
            return;
        }
        QTest::qWait(linkState().answerLimitMs + 500);
        QCOMPARE(harness.statusText(), QString());
    }

    // ---- a trace of the line ------------------------------------------------

    // The register's words are the trace's words for the same exchanges.
    void registerWordsAreTheExchangeNames_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<int>("exchange");
        QTest::newRow("MEMORY") << Operation::Memory << int(Exchange::Memory);
        QTest::newRow("LIST") << Operation::List << int(Exchange::Listing);
        QTest::newRow("DOWNLOAD") << Operation::Download << int(Exchange::Download);
        QTest::newRow("UPLOAD") << Operation::Upload << int(Exchange::Upload);
        QTest::newRow("REMOVE") << Operation::Remove << int(Exchange::Remove);
        QTest::newRow("ERASE") << Operation::Erase << int(Exchange::Format);
        QTest::newRow("EXECUTE") << Operation::Execute << int(Exchange::Execute);
        QTest::newRow("REBOOT") << Operation::Reboot << int(Exchange::Reboot);
    }
    void registerWordsAreTheExchangeNames()
    {
        QFETCH(QString, word);
        QFETCH(int, exchange);
        QCOMPARE(exchangeName(Exchange(exchange)), word);
        QVERIFY(exchangeNamed(word) == Exchange(exchange));
        QVERIFY(!exchangeNamed(word.toLower()));
        QVERIFY(!exchangeNamed(QLatin1Char(' ') + word));
    }

    // Every byte each way, under the name of what it belongs to; a second
    // Connect names its port again and starts the clock again.
    void windowTraceRecordsTheLine()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("window.trace"));
        qputenv(TraceVariable, QFile::encodeName(path));
        WindowHarness harness;
        QCOMPARE(clickConnect(harness), QStringLiteral("disconnect"));
        harness.device.deliver("ets Jun  8 2016 00:22:57\r\n");
        QCOMPARE(harness.device.readExactly(17), frame('M'));
        QVERIFY(harness.answerMemory(4096, 1024));
        harness.device.deliver(listingReply({{"a.txt", 5}}).left(6));
        harness.device.deliver(listingReply({{"a.txt", 5}}).mid(6));
        QVERIFY(waitForIdleLink(3000));
        harness.device.deliver("stray");
        harness.button("pushButton_8")->click();
        QCOMPARE(harness.device.readExactly(17), frame('Q'));
        harness.device.deliver("rst:0xc");
        harness.button("pushButton_3")->click(); // disconnect
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(100, 1));
        harness.device.deliver(listingReply({}));

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray trace = file.readAll();
        const QByteArrayList comments = commentLines(trace);
        QCOMPARE(comments.size(), 5);
        QCOMPARE(comments.at(0), QByteArray("# spiffs-cli trace 1"));
        QVERIFY(comments.at(1).startsWith("# spiffs-manager " SPIFFS_VERSION ", 20"));
        QVERIFY(comments.at(2).startsWith("# command: spiffs-manager"));
        const QByteArray portComment = "# port " + harness.device.portName().toUtf8() + " ("
                                       + harness.device.portName().toUtf8() + "), 115200 baud 8N1, no flow control";
        QCOMPARE(comments.at(3), portComment);
        QCOMPARE(comments.at(4), portComment);

        QCOMPARE(traced(trace, '<', "OPEN"), QByteArray("ets Jun  8 2016 00:22:57\r\n"));
        QCOMPARE(traced(trace, '>', "MEMORY"), frame('M') + frame('M'));
        QCOMPARE(traced(trace, '<', "MEMORY"), memoryReply(4096, 1024) + memoryReply(100, 1));
        QCOMPARE(traced(trace, '>', "LIST"), frame('L') + frame('L'));
        QCOMPARE(traced(trace, '<', "LIST"), listingReply({{"a.txt", 5}}) + listingReply({}));
        QCOMPARE(trace.count(" < LIST "), 3); // one record per arrival
        QCOMPARE(traced(trace, '<', "IDLE"), QByteArray("stray"));
        QCOMPARE(traced(trace, '>', "REBOOT"), frame('Q'));
        QCOMPARE(traced(trace, '<', "REBOOT"), QByteArray("rst:0xc"));

        // The second part's clock starts again at its port.
        const int second = trace.indexOf(portComment, trace.indexOf(portComment) + 1);
        const QByteArray firstRecordAfter = trace.mid(second).split('\n').at(1);
        const QByteArray lastRecordBefore = trace.left(second).trimmed().split('\n').constLast();
        QVERIFY(firstRecordAfter.simplified().split(' ').at(0).toLongLong()
                < lastRecordBefore.simplified().split(' ').at(0).toLongLong());
    }

    // A trace from the window, against a receiver that restarts on open,
    // played back: the window shows the same. Its requests are the command
    // line's, byte for byte, and so is its port comment.
    void windowTraceReplays()
    {
        QTemporaryDir store;
        QVERIFY(QFile::copy(QStringLiteral(SOURCE_DIR "/examples/sample-store/station.ini"),
                            store.filePath(QStringLiteral("station.ini"))));
        QVERIFY(QFile::copy(QStringLiteral(SOURCE_DIR "/examples/sample-store/presets%2Fshortwave.txt"),
                            store.filePath(QStringLiteral("presets%2Fshortwave.txt"))));
        QTemporaryDir folder;
        const QString windowTrace = folder.filePath(QStringLiteral("window.trace"));
        const QString cliTrace = folder.filePath(QStringLiteral("cli.trace"));

        EmulatorProgram receiver({QStringLiteral("--dir"), store.path(), QStringLiteral("--boot-on-open")});
        QVERIFY(!receiver.port().isEmpty());
        QStringList recorded;
        {
            qputenv(TraceVariable, QFile::encodeName(windowTrace));
            PortWindow window(receiver.port());
            QVERIFY(window.connectAndWait());
            recorded = window.shown();
            QCOMPARE(window.tableNames(),
                     (QStringList{QStringLiteral("presets/shortwave.txt"), QStringLiteral("station.ini")}));
            QCOMPARE(window.statusText(), QString());
        }
        qunsetenv(TraceVariable);

        QProcess cli;
        cli.start(QStringLiteral(CLI_PATH), {QStringLiteral("-p"), receiver.port(), QStringLiteral("--trace"), cliTrace,
                                             QStringLiteral("ls")});
        QVERIFY(cli.waitForFinished(30000));
        QCOMPARE(cli.exitCode(), 0);

        const QByteArray fromWindow = readLocalFile(windowTrace);
        const QByteArray fromCli = readLocalFile(cliTrace);
        QVERIFY(traced(fromWindow, '<', "OPEN").contains("rst:"));
        for (const QByteArray &label : {QByteArray("MEMORY"), QByteArray("LIST")}) {
            QCOMPARE(traced(fromWindow, '>', label), traced(fromCli, '>', label));
            QCOMPARE(traced(fromWindow, '<', label), traced(fromCli, '<', label));
        }
        QCOMPARE(commentLines(fromWindow).at(0), commentLines(fromCli).at(0));
        QCOMPARE(commentLines(fromWindow).at(3), commentLines(fromCli).at(3));

        ReplayTrace parsed;
        QString error;
        QVERIFY2(ReplayTrace::parse(fromWindow, &parsed, &error), qPrintable(error));
        QCOMPARE(parsed.connections.size(), 1);
        QCOMPARE(parsed.connections.constFirst().exchanges.size(), 2);
        QVERIFY(!parsed.connections.constFirst().opening.isEmpty());

        EmulatorProgram replay({QStringLiteral("--replay"), windowTrace});
        QVERIFY(!replay.port().isEmpty());
        PortWindow again(replay.port());
        QVERIFY(again.connectAndWait());
        QCOMPARE(again.shown(), recorded);
        QCOMPARE(again.statusText(), QString());
        QVERIFY(!replay.errors().contains("not in the trace"));
    }

    void unwritableTraceLeavesTheWindowAlone()
    {
        qputenv(TraceVariable, "/nonexistent/folder/trace");
        WindowHarness harness;
        QCOMPARE(harness.statusText(), QStringLiteral("scan ports complete"));
        QVERIFY(!linkState().trace);
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}));
    }
};

QTEST_MAIN(FirstContactTest)
#include "tst_firstcontact.moc"
