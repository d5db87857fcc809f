// The rest of a reply the program stopped reading: the receiver goes on
// sending it, with pauses, and nothing may take it for the next answer. The
// rules and the notes, the settle that drains it on a real port, and the
// session that waits it out before its next request.
#include "clirun.h"
#include "emulatorhost.h"
#include "ptydevice.h"
#include "remaindertesting.h"
#include "testfiles.h"
#include "windowharness.h"

#include "core/devicesession.h"
#include "core/receiverline.h"
#include "core/remaindernote.h"
#include "core/tracewriter.h"
#include "core/wireformat.h"

#include <QtCore/QBuffer>
#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>

#include <sys/stat.h>

using namespace CliTesting;
using namespace DeviceBytes;
using namespace RemainderTesting;

namespace {

// A session on a real port whose far end the test plays.
struct ScriptedSession
{
    ScriptedSession() { port.open(QIODevice::ReadWrite); }
    PtyDevice device;
    QSerialPort port{device.portName()};
    DeviceSession session{&port};
};

} // namespace

class RemainderTest : public QObject
{
    Q_OBJECT

private slots:
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
        // A name is shown as the receiver gave it, placeholders and all.
        QFETCH(QString, text);
        QCOMPARE(Remainder::waitText(remainder, QStringLiteral("50%1 %2.mp3"), remainder.cutAtMs + cutAgoMs),
                 text.replace(QLatin1String("big.mp3"), QLatin1String("50%1 %2.mp3")));
    }

    // Told as it goes: a countdown while the rest may be on the line, then,
    // with the line still busy, that it should be over and how long at most.
    void waitingText_data()
    {
        QTest::addColumn<qint64>("due");
        QTest::addColumn<qint64>("cutAgoMs");
        QTest::addColumn<QString>("text");
        const qint64 second = 11520;
        QTest::newRow("on the line") << 3 * second << qint64(1000) << "the receiver is still sending the rest of big.mp3, about 2 s";
        QTest::newRow("its time over, the line busy")
                << second << qint64(2000)
                << "the rest of big.mp3 should have passed; the line is still busy: waiting for it to fall quiet, at most 16 s more";
        QTest::newRow("of unknown size") << qint64(-1) << qint64(2000) << "the receiver is perhaps still sending the rest of big.mp3";
    }
    void waitingText()
    {
        QFETCH(qint64, due);
        QFETCH(qint64, cutAgoMs);
        const ReplyRemainder remainder = rest(due, cutAgoMs);
        QTEST(Remainder::waitingText(remainder, QStringLiteral("big.mp3"), remainder.cutAtMs, remainder.cutAtMs + cutAgoMs),
              "text");
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
        QTest::newRow("left through a link to the port") << "by-id" << true;
        QTest::newRow("a pipe in its place") << "fifo" << false;
        QTest::newRow("a link in its place") << "link" << false;
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
        // /dev/serial/by-id/ names a port by a link to its device file.
        const QString byId = folder.filePath(QStringLiteral("usb-Silicon_Labs_CP2102-if00-port0"));
        QVERIFY(QFile::link(port, byId));
        QCOMPARE(RemainderNote::leave(kind == QLatin1String("by-id") ? byId : port, remainder, folder.path()), QString());
        const QString notePath = QDir(folder.path()).filePath(QDir(folder.path()).entryList({"remainder-*"}).value(0));
        // What lies in the note's place is never opened: a pipe would hold
        // the reader up, a link take it elsewhere.
        const QString outside = writeLocalFile(folder, QStringLiteral("outside"), "untouched");
        if (kind == QLatin1String("fifo") || kind == QLatin1String("link")) {
            QVERIFY(QFile::remove(notePath));
            QVERIFY(kind == QLatin1String("fifo") ? ::mkfifo(QFile::encodeName(notePath).constData(), 0600) == 0
                                                 : QFile::link(outside, notePath));
        }
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
        QVERIFY(!QFile::exists(notePath) && !QFileInfo(notePath).isSymLink());
        QVERIFY(!RemainderNote::take(port, now(), folder.path()));
        // A note written where a link lies replaces the link.
        if (kind == QLatin1String("link")) {
            QVERIFY(QFile::link(outside, notePath));
            QCOMPARE(RemainderNote::leave(port, remainder, folder.path()), QString());
            QVERIFY(!QFileInfo(notePath).isSymLink());
        }
        QCOMPARE(readLocalFile(outside), QByteArray("untouched"));
    }

    // Without a runtime folder, notes go to a folder of the user's own in
    // their cache, never to the shared temporary folder; a cache that is a
    // link to elsewhere is not used at all.
    void noteFolder_data()
    {
        QTest::addColumn<bool>("cacheIsLink");
        QTest::newRow("the user's cache") << false;
        QTest::newRow("a cache that is a link") << true;
    }
    void noteFolder()
    {
        QFETCH(bool, cacheIsLink);
        QTemporaryDir home;
        const QString cache = home.filePath(QStringLiteral("cache"));
        QVERIFY(cacheIsLink ? QFile::link(home.path(), cache) : QDir().mkdir(cache));
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
        const QString folder = RemainderNote::defaultFolder();
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("XDG_CACHE_HOME", cacheHome);
        if (cacheIsLink) {
            QCOMPARE(folder, QString());
            QVERIFY(!RemainderNote::leave(QStringLiteral("/dev/null"), rest(100, 0), folder).isEmpty());
            return;
        }
        QCOMPARE(folder, cache + QStringLiteral("/spiffs-manager"));
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), QFile::Permissions());
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

    // With the check on (the command line), a reply of known length that
    // comes with bytes nobody asked for is not believed: the line is drained
    // and the request asked again, once; a second such answer fails. A
    // status line long after a reply is only noise between exchanges.
    void cleanLineBeforeAnyAnswer_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<QByteArrayList>("answers"); // each after a request; "" for none
        QTest::addColumn<int>("requests");
        QTest::addColumn<bool>("believed");
        const int memory = int(Exchange::Memory);
        const int download = int(Exchange::Download);
        const QByteArray report = memoryReply(1000, 100);
        const QByteArray file = be32(5) + "hello";
        QTest::newRow("a clean memory report") << memory << QByteArrayList{report} << 1 << true;
        QTest::newRow("figures with bytes behind them") << memory << QByteArrayList{report + QByteArray(20, '\0'), report}
                                                        << 2 << true;
        QTest::newRow("not clean when asked again") << memory << QByteArrayList{report + "x", report + "x"} << 2 << false;
        // What came may be anything's: the capacity is asked again too.
        QTest::newRow("a file with bytes behind it") << download << QByteArrayList{report, file + "junk", report, file}
                                                     << 4 << true;
        QTest::newRow("a clean file") << download << QByteArrayList{report, file} << 2 << true;
    }
    void cleanLineBeforeAnyAnswer()
    {
        QFETCH(int, exchange);
        QFETCH(QByteArrayList, answers);
        QFETCH(int, requests);
        QFETCH(bool, believed);
        ScriptedSession scripted;
        QVERIFY(scripted.port.isOpen());
        PtyDevice &device = scripted.device;
        DeviceSession &session = scripted.session;
        session.setTimeout(3000);
        session.setCleanLineCheck(true);
        const OwnedReply reply(Exchange(exchange) == Exchange::Memory ? session.requestMemoryReport()
                                                                     : session.download("a.txt", 5));
        int asked = 0;
        for (const QByteArray &answer : std::as_const(answers)) {
            const QByteArray request = device.readExactly(17, 5000);
            QVERIFY(request.startsWith(WireFormat::Preamble));
            if (request.endsWith(WireFormat::Letter::Download))
                QCOMPARE(device.readExactly(4 + 6), QByteArray(be32(6) + "/a.txt"));
            ++asked;
            device.send(answer);
        }
        QVERIFY(reply->isFinished() || QSignalSpy(reply.get(), &DeviceReply::finished).wait(5000));
        QCOMPARE(asked, requests);
        QVERIFY(device.staysQuiet());
        QCOMPARE(reply->error() == DeviceReply::NoError, believed);
        if (!believed)
            QCOMPARE(reply->error(), DeviceReply::BadReplyError);
        else if (Exchange(exchange) == Exchange::Memory)
            QCOMPARE(reply->memory().usedBytes, 100u);
        else
            QCOMPARE(reply->content(), QByteArray("hello"));

        // A status line a while after: noise between exchanges, and the
        // next request is answered as usual.
        QTest::qWait(50);
        device.deliver("I (5230) radio: 7200 kHz\r\n");
        const OwnedReply next(session.requestMemoryReport());
        QVERIFY(device.readExactly(17, 5000).startsWith(WireFormat::Preamble));
        device.send(memoryReply(1000, 300));
        QVERIFY(next->isFinished() || QSignalSpy(next.get(), &DeviceReply::finished).wait(5000));
        QCOMPARE(next->error(), DeviceReply::NoError);
        QCOMPARE(next->memory().usedBytes, 300u);
    }

    // What a cut exchange leaves names what was really cut: a listing that
    // first asked for the capacity and got figures no receiver sends left
    // the rest of a memory report, not of a file list.
    void cutShortNamesWhatWasCut()
    {
        ScriptedSession scripted;
        QVERIFY(scripted.port.isOpen());
        PtyDevice &device = scripted.device;
        DeviceSession &session = scripted.session;
        const OwnedReply listing(session.requestListing());
        QVERIFY(device.readExactly(17).endsWith(WireFormat::Letter::Memory));
        device.send(memoryReply(0xFFFFFFFFu, 0));
        QVERIFY(QSignalSpy(listing.get(), &DeviceReply::finished).wait(3000));
        QCOMPARE(listing->error(), DeviceReply::BadReplyError);
        QVERIFY(session.remainder());
        QVERIFY(session.remainder()->exchange == Exchange::Memory);
        QVERIFY(!Remainder::waitText(*session.remainder(), QString(), now()).contains(QStringLiteral("file list")));
    }

    // A download cut before the receiver's size came still knows, from the
    // listing, how much of it is on the way: the size and the file.
    void cutBeforeItsSizeCountsTheListedFile()
    {
        ScriptedSession scripted;
        QVERIFY(scripted.port.isOpen());
        PtyDevice &device = scripted.device;
        DeviceSession &session = scripted.session;
        const OwnedReply memory(session.requestMemoryReport());
        QVERIFY(device.readExactly(17).startsWith(WireFormat::Preamble));
        device.send(memoryReply(100000, 0));
        QVERIFY(QSignalSpy(memory.get(), &DeviceReply::finished).wait(3000));
        const OwnedReply download(session.download("big.wav", 20000));
        QVERIFY(device.readExactly(17 + 4 + 8).startsWith(WireFormat::Preamble));
        device.deliver(QByteArray(1, '\0'));
        session.abort();
        QVERIFY(session.remainder());
        QCOMPARE(session.remainder()->bytesDue, qint64(4 + 20000 - 1));
        QCOMPARE(session.remainder()->name, QByteArray("big.wav"));
    }

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

};

QTEST_GUILESS_MAIN(RemainderTest)
#include "tst_remainder.moc"
