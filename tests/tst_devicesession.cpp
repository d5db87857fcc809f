// DeviceSession over a real QSerialPort on a pseudo-terminal, with the
// emulated receiver served in-process by EmulatorHost.
#include "emulatorhost.h"
#include "ptydevice.h"
#include "replaytrace.h"
#include "testfiles.h"
#include "windowharness.h"

#include "core/devicesession.h"
#include "core/linesettler.h"
#include "core/receiverline.h"
#include "core/tracewriter.h"

#include <QtCore/QBuffer>
#include <QtCore/QDateTime>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <memory>

namespace {

const QByteArray storedContent = patterned(3000, 7);

// A host with "a.txt" stored, and a session on an opened port to it.
struct SessionRig
{
    explicit SessionRig(const EngineOptions &options = EngineOptions()) : host(options)
    {
        host.engine().store().store("a.txt", storedContent);
        if (!host.start())
            return;
        port.setPortName(host.portName());
        port.setBaudRate(115200);
        if (!port.open(QIODevice::ReadWrite))
            return;
        session = std::make_unique<DeviceSession>(&port);
        session->setTimeout(300);
    }

    // Waits for the reply; true when it finished.
    static bool wait(DeviceReply *reply)
    {
        return reply->isFinished() || QSignalSpy(reply, &DeviceReply::finished).wait(10000);
    }

    EmulatorHost host;
    QSerialPort port;
    std::unique_ptr<DeviceSession> session;
};

} // namespace

class DeviceSessionTest : public QObject
{
    Q_OBJECT

private slots:
    // A receiver that falls silent because its adapter was unplugged: its
    // device file is gone, and the silence is a lost line, not a time-out.
    void silenceOfAnUnpluggedReceiver()
    {
        QTemporaryDir folder;
        const QString device = folder.filePath(QStringLiteral("ttyUSB9"));
        QVERIFY(!writeLocalFile(folder, QStringLiteral("ttyUSB9"), "").isEmpty());
        QSerialPort port;
        port.setPortName(device);
        QVERIFY(!ReceiverLine::deviceGone(port));
        QVERIFY(QFile::remove(device));
        QVERIFY(ReceiverLine::deviceGone(port));

        PtyDevice line;
        QSerialPort open;
        open.setPortName(line.portName());
        ReceiverLine::applySettings(open);
        QVERIFY(open.open(QIODevice::ReadWrite));
        QVERIFY(!ReceiverLine::deviceGone(open));
    }

    void exchange_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("silentLetters");
        QTest::addColumn<int>("error");

        QTest::newRow("memory") << "memory" << QByteArray() << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("listing") << "listing" << QByteArray() << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("download") << "download" << QByteArray("a.txt") << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("download refused") << "download" << QByteArray("none.txt") << QByteArray() << int(DeviceReply::RefusedError);
        QTest::newRow("upload") << "upload" << QByteArray("b/c.txt") << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("upload refused") << "upload" << QByteArray("b/no-room.txt") << QByteArray() << int(DeviceReply::RefusedError);
        QTest::newRow("remove") << "remove" << QByteArray("a.txt") << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("remove refused") << "remove" << QByteArray("none.txt") << QByteArray() << int(DeviceReply::RefusedError);
        QTest::newRow("format") << "format" << QByteArray() << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("execute") << "execute" << QByteArray("a.txt") << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("execute refused") << "execute" << QByteArray("a.bin") << QByteArray() << int(DeviceReply::RefusedError);
        QTest::newRow("reboot") << "reboot" << QByteArray() << QByteArray() << int(DeviceReply::NoError);
        QTest::newRow("download silent") << "download" << QByteArray("a.txt") << QByteArray("D") << int(DeviceReply::TimeoutError);
        QTest::newRow("upload end silent") << "upload" << QByteArray("b/c.txt") << QByteArray("u") << int(DeviceReply::TimeoutError);
    }
    void exchange()
    {
        QFETCH(QString, request);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, silentLetters);
        QFETCH(int, error);
        EngineOptions options;
        options.silentLetters = silentLetters;
        SessionRig rig(options);
        QVERIFY(rig.session);
        DeviceSession &session = *rig.session;
        DeviceStore &store = rig.host.engine().store();
        const QByteArray uploaded = name.contains("no-room") ? QByteArray(int(store.capacity()), 'x') : patterned(1000, 3);

        DeviceReply *settled = session.settle();
        QVERIFY(SessionRig::wait(settled));
        QCOMPARE(settled->error(), DeviceReply::NoError);

        DeviceReply *reply = nullptr;
        if (request == QLatin1String("memory"))
            reply = session.requestMemoryReport();
        else if (request == QLatin1String("listing"))
            reply = session.requestListing();
        else if (request == QLatin1String("download"))
            reply = session.download(name);
        else if (request == QLatin1String("upload"))
            reply = session.upload(name, uploaded);
        else if (request == QLatin1String("remove"))
            reply = session.remove(name);
        else if (request == QLatin1String("format"))
            reply = session.format();
        else if (request == QLatin1String("execute"))
            reply = session.execute(name);
        else
            reply = session.reboot();
        QSignalSpy ended(&session, &DeviceSession::exchangeEnded);
        QVERIFY(SessionRig::wait(reply));
        QCOMPARE(int(reply->error()), error);
        QCOMPARE(ended.count(), 1);
        QVERIFY(session.currentExchange() == Exchange::Idle);
        if (error != DeviceReply::NoError)
            return;

        if (request == QLatin1String("memory")) {
            QCOMPARE(reply->memory().totalBytes, store.capacity());
            QCOMPARE(reply->memory().usedBytes, store.usedBytes());
        } else if (request == QLatin1String("listing")) {
            QCOMPARE(reply->entries().size(), 1);
            QCOMPARE(reply->entries().at(0).name, QByteArray("a.txt"));
            QCOMPARE(reply->entries().at(0).size, quint32(storedContent.size()));
        } else if (request == QLatin1String("download")) {
            QVERIFY(reply->content() == storedContent);
            QCOMPARE(reply->bytesDone(), qint64(storedContent.size()));
        } else if (request == QLatin1String("upload")) {
            QVERIFY(store.find(name) && store.find(name)->content == uploaded);
            QCOMPARE(reply->bytesDone(), qint64(uploaded.size()));
        } else if (request == QLatin1String("remove") || request == QLatin1String("format")) {
            QVERIFY(!store.find("a.txt"));
        } else if (request == QLatin1String("execute")) {
            QCOMPARE(rig.host.engine().openedFiles(), QByteArrayList{"/a.txt"});
        } else {
            QVERIFY(reply->bootSeen());
            // Listening again: the next request is answered.
            DeviceReply *memory = session.requestMemoryReport();
            QVERIFY(SessionRig::wait(memory));
            QCOMPARE(memory->error(), DeviceReply::NoError);
        }
    }

    void hangUpFailsTheExchangeAndWhatWaits()
    {
        EngineOptions options;
        options.hangUpAfter = 1000;
        SessionRig rig(options);
        QVERIFY(rig.session);
        DeviceReply *download = rig.session->download("a.txt");
        DeviceReply *waiting = rig.session->requestMemoryReport();
        QVERIFY(SessionRig::wait(download));
        QCOMPARE(download->error(), DeviceReply::LineLostError);
        QVERIFY(download->bytesDone() < download->bytesTotal());
        QVERIFY(waiting->isFinished());
        QCOMPARE(waiting->error(), DeviceReply::LineLostError);
        DeviceReply *later = rig.session->requestMemoryReport();
        QVERIFY(later->isFinished());
        QCOMPARE(later->error(), DeviceReply::LineLostError);
    }

    void abortFailsTheRunningExchange()
    {
        EngineOptions options;
        options.silentLetters = "M";
        SessionRig rig(options);
        QVERIFY(rig.session);
        rig.session->setTimeout(0);
        DeviceReply *reply = rig.session->requestMemoryReport();
        QTimer::singleShot(50, rig.session.get(), &DeviceSession::abort);
        QVERIFY(SessionRig::wait(reply));
        QCOMPARE(reply->error(), DeviceReply::AbortedError);
    }

    void traceRecordLayout_data()
    {
        QTest::addColumn<qint64>("timeUs");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("exchange");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("read") << qint64(0) << false << "OPEN" << QByteArray("ets Jun  8 2")
                              << QByteArray("       0 < OPEN     12  65 74 73 20 4a 75 6e 20 20 38 20 32              |ets Jun  8 2|\n");
        QTest::newRow("two lines") << qint64(512) << true << "MEMORY" << QByteArray("K-Wanderer______M")
                                   << QByteArray("     512 > MEMORY   17  4b 2d 57 61 6e 64 65 72 65 72 5f 5f 5f 5f 5f 5f  |K-Wanderer______|\n"
                                                 "                        4d                                               |M|\n");
        QTest::newRow("unprintable") << qint64(4391) << false << "MEMORY" << QByteArray::fromHex("00141c7100000500")
                                     << QByteArray("    4391 < MEMORY    8  00 14 1c 71 00 00 05 00                          |...q....|\n");
    }
    void traceRecordLayout()
    {
        QFETCH(qint64, timeUs);
        QFETCH(bool, written);
        QFETCH(QString, exchange);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, record);
        const auto direction = written ? TraceWriter::Direction::ToReceiver : TraceWriter::Direction::FromReceiver;
        QCOMPARE(TraceWriter::formatRecord(timeUs, direction, exchange, bytes), record);
    }

    // The comments both programs start a trace with, and the one each
    // opened port adds.
    void traceComments_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("portLine");
        QTest::newRow("command line") << "spiffs-cli" << QStringList{"-p", "/dev/pts/3", "--trace", "t", "ls", "-l"}
                                      << "/dev/pts/3" << QByteArray("# command: spiffs-cli -p /dev/pts/3 --trace t ls -l")
                                      << QByteArray("# port /dev/pts/3 (/dev/pts/3), 115200 baud 8N1, no flow control");
        QTest::newRow("window, no arguments") << "spiffs-manager" << QStringList{} << "ttyUSB0"
                                              << QByteArray("# command: spiffs-manager")
                                              << QByteArray("# port ttyUSB0 (/dev/ttyUSB0), 115200 baud 8N1, no flow control");
        QTest::newRow("an argument with a space") << "spiffs-cli" << QStringList{"get", "a b.txt"} << "cu.SLAB_USBtoUART"
                                                  << QByteArray("# command: spiffs-cli get a b.txt")
                                                  << QByteArray("# port cu.SLAB_USBtoUART (/dev/cu.SLAB_USBtoUART), 115200 baud 8N1, no flow control");
        QTest::newRow("a port named with a %1") << "spiffs-cli" << QStringList{"-p", "/tmp/a%1b", "df"} << "/tmp/a%1b"
                                                << QByteArray("# command: spiffs-cli -p /tmp/a%1b df")
                                                << QByteArray("# port /tmp/a%1b (/tmp/a%1b), 115200 baud 8N1, no flow control");
    }
    void traceComments()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, port);
        QBuffer text;
        text.open(QIODevice::WriteOnly);
        TraceWriter trace(&text);
        trace.writeHeader();
        trace.writeProgramComments(program, QStringLiteral("1.0.0"), arguments);
        trace.startPort(ReceiverLine::description(port));
        const QByteArrayList lines = text.data().split('\n');
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines.at(0), QByteArray("# spiffs-cli trace 1"));
        QVERIFY(lines.at(1).startsWith("# " + program.toUtf8() + " 1.0.0, "));
        QVERIFY(QDateTime::fromString(QString::fromUtf8(lines.at(1).mid(lines.at(1).indexOf(", ") + 2)), Qt::ISODateWithMs).isValid());
        QTEST(lines.at(2), "command");
        QTEST(lines.at(3), "portLine");
        QCOMPARE(lines.at(4), QByteArray());
    }

    // The trace is written by the core and read by the emulator's own
    // parser: the two must agree on every record a session can make.
    void traceReadsBackInTheEmulator_data()
    {
        QTest::addColumn<qint64>("timeUs");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("reply");
        QByteArray everyByte;
        for (int i = 0; i < 256; ++i)
            everyByte += char(i);
        QTest::newRow("a byte each way") << qint64(0) << QByteArray("M") << QByteArray("A");
        QTest::newRow("one full line") << qint64(17) << QByteArray(16, 'x') << patterned(16, 3);
        QTest::newRow("a line and a byte") << qint64(512) << QByteArray(17, 'y') << patterned(17, 4);
        QTest::newRow("a count of three digits") << qint64(4391) << patterned(100, 5) << patterned(999, 6);
        QTest::newRow("every byte value") << qint64(123456789) << everyByte << everyByte + everyByte;
    }
    void traceReadsBackInTheEmulator()
    {
        QFETCH(qint64, timeUs);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, reply);
        const QByteArray text = "# spiffs-cli trace 1\n"
                                + TraceWriter::formatRecord(timeUs, TraceWriter::Direction::ToReceiver,
                                                            QStringLiteral("UPLOAD"), request)
                                + TraceWriter::formatRecord(timeUs + 4430, TraceWriter::Direction::FromReceiver,
                                                            QStringLiteral("UPLOAD"), reply);
        ReplayTrace trace;
        QString error;
        QVERIFY2(ReplayTrace::parse(text, &trace, &error), qPrintable(error));
        QCOMPARE(trace.connections.constFirst().exchanges.size(), 1);
        QCOMPARE(trace.connections.constFirst().exchanges.at(0).label, QByteArray("UPLOAD"));
        QCOMPARE(trace.connections.constFirst().exchanges.at(0).request, request);
        QCOMPARE(trace.connections.constFirst().exchanges.at(0).reply.size(), 1);
        QCOMPARE(trace.connections.constFirst().exchanges.at(0).reply.at(0).offsetUs, qint64(4430));
        QCOMPARE(trace.connections.constFirst().exchanges.at(0).reply.at(0).bytes, reply);
    }

    // The opening settle both front ends use, on a real port whose far end
    // the test plays: what arrives in which pieces, and when the line counts
    // as settled.
    void settlerDropsWhatComesFirst_data()
    {
        QTest::addColumn<QByteArrayList>("pieces"); // each its own arrival, 20 ms apart
        QTest::addColumn<bool>("boot");
        QTest::newRow("nothing") << QByteArrayList{} << false;
        QTest::newRow("noise") << QByteArrayList{QByteArray("\x00\xff", 2), "hello"} << false;
        QTest::newRow("boot text at once") << QByteArrayList{"ets Jun  8 2016 00:22:57\r\n\r\nrst:0xc (SW_CPU_RESET)"} << true;
        QTest::newRow("a marker cut in two") << QByteArrayList{"junk rs", "t:0x1 (POWERON_RESET)"} << true;
        QTest::newRow("a marker cut at its space") << QByteArrayList{"ets", " Jun  8"} << true;
        QTest::newRow("bytes split one by one") << QByteArrayList{"b", "o", "o", "t", ":"} << true;
        QTest::newRow("almost a marker") << QByteArrayList{"rst", "-", "boot", ";ets."} << false;
    }
    void settlerDropsWhatComesFirst()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(bool, boot);
        PtyDevice device;
        QSerialPort port(device.portName());
        QVERIFY(port.open(QIODevice::ReadWrite));
        QBuffer traceText;
        traceText.open(QIODevice::WriteOnly);
        TraceWriter trace(&traceText);
        trace.follow(&port);

        LineSettler settler(&port);
        QSignalSpy settled(&settler, &LineSettler::settled);
        settler.start();
        QVERIFY(settler.isSettling());
        for (const QByteArray &piece : pieces) {
            device.deliver(piece);
            QTest::qWait(20);
        }
        // Boot text holds the line for a longer spell than other bytes do.
        if (boot) {
            QVERIFY(settled.isEmpty());
            QTest::qWait(LineSettler::OpeningQuietMs * 2);
            QVERIFY(settled.isEmpty());
        }
        QVERIFY(settled.wait(LineSettler::BootQuietMs * 3));
        QCOMPARE(settled.count(), 1);
        QVERIFY(!settler.isSettling());
        QCOMPARE(settler.bootSeen(), boot);
        QCOMPARE(port.bytesAvailable(), qint64(0));

        // Each arrival dropped is in the trace as OPEN, and only those.
        int records = 0;
        for (const QByteArray &line : traceText.data().split('\n')) {
            // A record's first line has its direction after the 8-column time.
            if (line.size() < 10 || line.at(9) == ' ')
                continue;
            QVERIFY2(line.mid(8).startsWith(" < OPEN "), line.constData());
            ++records;
        }
        QCOMPARE(records, int(pieces.size()));

        // Once settled it reads no more: what comes next is the caller's.
        device.deliver("answer");
        QCOMPARE(port.readAll(), QByteArray("answer"));
        QCOMPARE(settled.count(), 1);
    }

    void settlerCancelledOrClosedNeverSettles()
    {
        PtyDevice device;
        QSerialPort port(device.portName());
        QVERIFY(port.open(QIODevice::ReadWrite));
        LineSettler settler(&port);
        QSignalSpy settled(&settler, &LineSettler::settled);
        settler.start();
        settler.cancel();
        QVERIFY(!settled.wait(LineSettler::OpeningQuietMs * 3));
        device.deliver("after");
        QCOMPARE(port.readAll(), QByteArray("after"));

        settler.start();
        port.close();
        QVERIFY(!settler.isSettling());
        QVERIFY(!settled.wait(LineSettler::OpeningQuietMs * 3));
    }

    // A receiver that prints for ever still gets its first request: the
    // settle ends at its bound.
    void settlerGivesUpOnAChatteringLine()
    {
        PtyDevice device;
        QSerialPort port(device.portName());
        QVERIFY(port.open(QIODevice::ReadWrite));
        LineSettler settler(&port);
        QSignalSpy settled(&settler, &LineSettler::settled);
        QTimer chatter;
        QObject::connect(&chatter, &QTimer::timeout, [&device] { device.send("I (1234) log line\r\n"); });
        chatter.start(LineSettler::OpeningQuietMs / 5);
        settler.start();
        QTest::qWait(LineSettler::SettleLimitMs / 2);
        QVERIFY(settled.isEmpty());
        QVERIFY(settled.wait(LineSettler::SettleLimitMs));
        chatter.stop();
        QVERIFY(!settler.bootSeen());
    }

    // The writer follows a port, whoever moves its bytes; once it follows
    // none, or is gone, the port is no longer traced.
    void traceFollowsThePort()
    {
        SessionRig rig;
        QVERIFY(rig.session);
        QBuffer traceText;
        traceText.open(QIODevice::WriteOnly);
        {
            TraceWriter trace(&traceText);
            trace.follow(&rig.port);
            QCOMPARE(TraceWriter::followerOf(&rig.port), &trace);
            QVERIFY(SessionRig::wait(rig.session->requestMemoryReport()));
            QCOMPARE(traceText.data().count(" > MEMORY   17  4b 2d 57 61"), 1);
            QCOMPARE(traceText.data().count(" < MEMORY    8  "), 1);

            trace.follow(nullptr);
            QVERIFY(!TraceWriter::followerOf(&rig.port));
            const qint64 before = traceText.size();
            QVERIFY(SessionRig::wait(rig.session->requestMemoryReport()));
            QCOMPARE(traceText.size(), before);
            trace.follow(&rig.port);
        }
        QVERIFY(!TraceWriter::followerOf(&rig.port));
        DeviceReply *after = rig.session->requestMemoryReport();
        QVERIFY(SessionRig::wait(after));
        QCOMPARE(after->error(), DeviceReply::NoError);
    }

    // The line's own write and read: one record each, as formatRecord lays
    // it out; an empty read leaves none; the latest writer to follow a port
    // is the one that records it.
    void lineWritesAndReadsAreRecorded()
    {
        PtyDevice device;
        QSerialPort port(device.portName());
        QVERIFY(port.open(QIODevice::ReadWrite));
        QBuffer first;
        QBuffer second;
        first.open(QIODevice::WriteOnly);
        second.open(QIODevice::WriteOnly);
        TraceWriter firstTrace(&first);
        firstTrace.follow(&port);

        const QByteArray frame = CatalogueFormat::listingRequest();
        QCOMPARE(ReceiverLine::write(port, frame, Exchange::Listing), qint64(frame.size()));
        QVERIFY(port.waitForBytesWritten(1000) || port.bytesToWrite() == 0);
        QCOMPARE(device.readExactly(frame.size()), frame);
        device.deliver(QByteArray::fromHex("0000000c"));
        QCOMPARE(ReceiverLine::readAll(port, Exchange::Listing), QByteArray::fromHex("0000000c"));
        QVERIFY(ReceiverLine::readAll(port, Exchange::Listing).isEmpty());

        const auto withoutTimes = [](QByteArray text) {
            QByteArrayList lines = text.split('\n');
            for (QByteArray &line : lines) {
                if (line.size() > 8 && line.at(8) == ' ' && line.at(7) != ' ')
                    line = "TTTTTTTT" + line.mid(8);
            }
            return lines.join('\n');
        };
        QCOMPARE(withoutTimes(first.data()),
                 withoutTimes(TraceWriter::formatRecord(0, TraceWriter::Direction::ToReceiver, QStringLiteral("LIST"), frame)
                              + TraceWriter::formatRecord(0, TraceWriter::Direction::FromReceiver, QStringLiteral("LIST"),
                                                          QByteArray::fromHex("0000000c"))));

        {
            TraceWriter secondTrace(&second);
            secondTrace.follow(&port);
            QCOMPARE(TraceWriter::followerOf(&port), &secondTrace);
            firstTrace.follow(nullptr); // no longer its port: left alone
            QCOMPARE(TraceWriter::followerOf(&port), &secondTrace);
            QCOMPARE(ReceiverLine::write(port, "x", Exchange::Idle), qint64(1));
            QCOMPARE(device.readExactly(1), QByteArray("x"));
            QCOMPARE(second.data().count(" > IDLE      1  78"), 1);
        }
        QVERIFY(!TraceWriter::followerOf(&port));
        QCOMPARE(first.data().count('\n'), 3);
    }
};

QTEST_GUILESS_MAIN(DeviceSessionTest)
#include "tst_devicesession.moc"
