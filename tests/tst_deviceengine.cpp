// The emulated receiver's protocol engine on its own: bytes in at a given
// time, bytes out when due. No line, no window: the test owns the clock.
#include "deviceengine.h"
#include "emulatorarguments.h"
#include "optiontable.h"
#include "replayengine.h"
#include "replaytrace.h"
#include "windowharness.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>

using namespace DeviceBytes;

namespace {

constexpr qint64 Ms = 1000;
constexpr quint32 Capacity = DeviceStore::DefaultCapacity;

// Everything the engine sends up to untilUs, the clock jumping to each due time.
QByteArray drain(DeviceEngine &engine, qint64 fromUs = 0, qint64 untilUs = 3600LL * 1000 * Ms)
{
    QByteArray out;
    qint64 now = fromUs;
    for (;;) {
        const qint64 next = engine.nextDueUs();
        if (next == DeviceEngine::NothingDue || next > untilUs)
            break;
        now = std::max(now, next);
        const QByteArray piece = engine.takeDueOutput(now);
        if (piece.isEmpty() && engine.nextDueUs() <= now && !engine.lineClosed())
            break; // would not move on
        out += piece;
        if (engine.lineClosed())
            break;
    }
    return out;
}

struct Piece
{
    qint64 atUs;
    QByteArray bytes;
};

// Each piece the engine hands out and the time it became due.
QVector<Piece> pieces(DeviceEngine &engine, qint64 fromUs = 0)
{
    QVector<Piece> result;
    qint64 now = fromUs;
    for (;;) {
        const qint64 next = engine.nextDueUs();
        if (next == DeviceEngine::NothingDue)
            break;
        now = std::max(now, next);
        const QByteArray bytes = engine.takeDueOutput(now);
        if (bytes.isEmpty())
            break;
        result.append({now, bytes});
    }
    return result;
}

QByteArray exchange(DeviceEngine &engine, const QByteArray &in, qint64 nowUs = 0)
{
    engine.receive(in, nowUs);
    return drain(engine, nowUs);
}

QByteArray startFrame(const QByteArray &path, quint32 size)
{
    return frame('U', be32(quint32(path.size())) + be32(size) + path);
}

QByteArray chunkFrame(const QByteArray &data)
{
    return frame('U', QByteArray(1, char(data.size())) + data);
}

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

QByteArray patterned(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

// An upload as the program sends it, with the answer to each frame.
QByteArray uploadAnswers(DeviceEngine &engine, const QByteArray &path, const QByteArray &content)
{
    QByteArray answers = exchange(engine, startFrame(path, quint32(content.size())));
    for (int at = 0; at < content.size(); at += 32)
        answers += exchange(engine, chunkFrame(content.mid(at, 32)));
    answers += exchange(engine, frame('u'));
    return answers;
}

EngineOptions withCapacity(quint32 capacity)
{
    EngineOptions options;
    options.capacity = capacity;
    return options;
}

// ---- recorded receivers ------------------------------------------------------

const QByteArray TraceHeader = "# spiffs-cli trace 1\n# /dev/ttyUSB0 115200 8N1\n";

// A record as the command line writes it: 16 bytes a line, in hex and as text.
QByteArray record(qint64 timeUs, char direction, const QByteArray &label, const QByteArray &bytes)
{
    QByteArray text = QByteArray::number(timeUs).rightJustified(8) + ' ' + direction + ' ' + label.leftJustified(8)
            + ' ' + QByteArray::number(bytes.size()).rightJustified(3) + "  ";
    for (int at = 0; at == 0 || at < bytes.size(); at += 16) {
        const QByteArray part = bytes.mid(at, 16);
        QByteArray shown = part;
        for (char &c : shown)
            c = c >= 0x20 && c < 0x7F ? c : '.';
        if (at > 0)
            text += QByteArray(34, ' ');
        text += part.toHex(' ').leftJustified(48) + "  |" + shown + "|\n";
    }
    return text;
}

QString shown(const QByteArray &bytes)
{
    const bool printable = std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    return printable ? QString::fromLatin1(bytes) : QStringLiteral("0x") + QString::fromLatin1(bytes.toHex());
}

// The trace's openings and exchanges in one line, to compare at a glance;
// connections after the first each start with "| port@LINE".
QString describe(const ReplayTrace &trace)
{
    QStringList parts;
    for (const ReplayTrace::Connection &connection : trace.connections) {
        if (!parts.isEmpty())
            parts << QStringLiteral("| port@%1").arg(connection.line);
        for (const ReplayTrace::Piece &piece : connection.opening)
            parts << QStringLiteral("open +%1 %2").arg(piece.offsetUs).arg(shown(piece.bytes));
        for (const ReplayTrace::Exchange &exchange : connection.exchanges) {
            QString text = QStringLiteral("%1@%2 %3").arg(QString::fromLatin1(exchange.label)).arg(exchange.line).arg(shown(exchange.request));
            for (const ReplayTrace::Piece &piece : exchange.reply)
                text += QStringLiteral(" -> +%1 %2").arg(piece.offsetUs).arg(shown(piece.bytes));
            parts << text;
        }
    }
    return parts.join(QStringLiteral("; "));
}

// Plays events on engine: "TIME open" or "TIME > BYTES"; returns what came
// out, "TIME BYTES" each, until an hour of silence.
QByteArrayList played(ReplayEngine &engine, const QByteArrayList &events)
{
    QByteArrayList out;
    qint64 now = 0;
    const auto runUntil = [&](qint64 untilUs) {
        for (;;) {
            const qint64 next = engine.nextDueUs();
            if (next == LineEngine::NothingDue || next > untilUs)
                break;
            now = std::max(now, next);
            const QByteArray bytes = engine.takeDueOutput(now);
            if (!bytes.isEmpty())
                out << QByteArray::number(now) + ' ' + bytes;
            else if (engine.nextDueUs() == next)
                break; // would not move on
        }
        now = std::max(now, untilUs);
    };
    for (const QByteArray &event : events) {
        const int space = event.indexOf(' ');
        runUntil(event.left(space).toLongLong());
        if (event.mid(space + 1) == "open")
            engine.lineOpened(now);
        else
            engine.receive(event.mid(space + 3), now);
    }
    runUntil(3600LL * 1000 * Ms);
    return out;
}

} // namespace

class DeviceEngineTest : public QObject
{
    Q_OBJECT

private slots:
    // ---- commands, byte for byte ------------------------------------------

    void memoryOfAnEmptyStore()
    {
        DeviceEngine engine;
        QVERIFY(engine.isReady());
        QCOMPARE(exchange(engine, frame('M')), be32(Capacity) + be32(0));
        QCOMPARE(engine.framesHandled(), 1);
        QCOMPARE(engine.bytesSkipped(), qint64(0));
    }

    void usedSpaceGrowsInPages()
    {
        DeviceEngine engine;
        DeviceStore &store = engine.store();
        QVERIFY(store.store("empty", QByteArray()));
        QCOMPARE(exchange(engine, frame('M')), be32(Capacity) + be32(256));
        QVERIFY(store.store("one", "x"));
        QCOMPARE(store.usedBytes(), 256u + 512u);
        QVERIFY(store.store("page", QByteArray(256, 'p')));
        QCOMPARE(store.usedBytes(), 256u + 512u + 512u);
        QVERIFY(store.store("page+1", QByteArray(257, 'p')));
        QCOMPARE(exchange(engine, frame('M')), be32(Capacity) + be32(256 + 512 + 512 + 768));
        QCOMPARE(store.freeBytes(), Capacity - 2048);
    }

    void listingInWriteOrder()
    {
        DeviceEngine engine;
        QVERIFY(engine.store().store("zeta.txt", "12345"));
        QVERIFY(engine.store().store("dir/page.html", QByteArray(300, 'h')));
        QVERIFY(engine.store().store("alpha", QByteArray()));
        QCOMPARE(exchange(engine, frame('L')),
                 listingReply({{"zeta.txt", 5}, {"dir/page.html", 300}, {"alpha", 0}}));
        // Written anew, a file goes to the end.
        QVERIFY(engine.store().store("zeta.txt", "1"));
        QCOMPARE(exchange(engine, frame('L')),
                 listingReply({{"dir/page.html", 300}, {"alpha", 0}, {"zeta.txt", 1}}));
    }

    void emptyListing()
    {
        DeviceEngine engine;
        QCOMPARE(exchange(engine, frame('L')), QByteArray::fromHex("00000000"));
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte") << QByteArray("\x00", 1);
        QTest::newRow("every byte value") << allByteValues();
        QTest::newRow("holds a preamble") << QByteArray("xxK-Wanderer______Mxx");
        QTest::newRow("100 kB") << patterned(100000);
    }
    void download()
    {
        QFETCH(QByteArray, content);
        DeviceEngine engine;
        QVERIFY(engine.store().store("file.bin", content));
        QCOMPARE(exchange(engine, frame('D', pathField("/file.bin"))), be32(quint32(content.size())) + content);
    }

    void downloadOfWhatIsNotThere()
    {
        DeviceEngine engine;
        QVERIFY(engine.store().store("a.txt", "abc"));
        QCOMPARE(exchange(engine, frame('D', pathField("/b.txt"))), QByteArray("d"));
        QCOMPARE(exchange(engine, frame('D', pathField("a.txt"))), QByteArray("d")); // no leading "/"
        QCOMPARE(exchange(engine, frame('D', pathField("/"))), QByteArray("d"));
        QCOMPARE(exchange(engine, frame('D', pathField("/A.TXT"))), QByteArray("d"));
        QCOMPARE(exchange(engine, frame('D', pathField("/a.txt"))), be32(3) + "abc");
    }

    void remove()
    {
        DeviceEngine engine;
        QVERIFY(engine.store().store("a.txt", "abc"));
        QVERIFY(engine.store().store("dir/b.txt", "b"));
        QCOMPARE(exchange(engine, frame('R', pathField("/dir/b.txt"))), QByteArray("R"));
        QCOMPARE(exchange(engine, frame('R', pathField("/dir/b.txt"))), QByteArray("r"));
        QCOMPARE(exchange(engine, frame('R', pathField("a.txt"))), QByteArray("r"));
        QCOMPARE(exchange(engine, frame('L')), listingReply({{"a.txt", 3}}));
        QCOMPARE(engine.store().usedBytes(), 512u);
    }

    void format()
    {
        DeviceEngine engine;
        QVERIFY(engine.store().store("a.txt", "abc"));
        QVERIFY(engine.store().store("b.txt", "b"));
        QCOMPARE(exchange(engine, frame('E')), QByteArray("E"));
        QCOMPARE(exchange(engine, frame('M') + frame('L')), be32(Capacity) + be32(0) + be32(0));
        QCOMPARE(exchange(engine, frame('E')), QByteArray("E"));
    }

    void execute_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("text") << QByteArray("/readme.txt") << QByteArray("X");
        QTest::newRow("upper-case type") << QByteArray("/Song.MP3") << QByteArray("X");
        QTest::newRow("wav") << QByteArray("/chime.wav") << QByteArray("X");
        QTest::newRow("mid") << QByteArray("/tune.mid") << QByteArray("X");
        QTest::newRow("bmp") << QByteArray("/logo.bmp") << QByteArray("X");
        QTest::newRow("jpg") << QByteArray("/photo.jpg") << QByteArray("X");
        QTest::newRow("png") << QByteArray("/dial.png") << QByteArray("X");
        QTest::newRow("html") << QByteArray("/index.html") << QByteArray("X");
        QTest::newRow("htm") << QByteArray("/old.htm") << QByteArray("X");
        QTest::newRow("ini") << QByteArray("/station.ini") << QByteArray("X");
        QTest::newRow("wifi") << QByteArray("/home.wifi") << QByteArray("X");
        QTest::newRow("first dot decides") << QByteArray("/backup.txt.old") << QByteArray("X");
        QTest::newRow("second part only") << QByteArray("/archive.tar.gz") << QByteArray("x");
        QTest::newRow("no dot") << QByteArray("/notes") << QByteArray("x");
        QTest::newRow("empty type") << QByteArray("/a..txt") << QByteArray("x");
        QTest::newRow("dot first in name") << QByteArray("/.cfg") << QByteArray("x");
        QTest::newRow("js is shown, not opened") << QByteArray("/app.js") << QByteArray("x");
        QTest::newRow("binary") << QByteArray("/boot.bin") << QByteArray("x");
        QTest::newRow("dot in folder part") << QByteArray("/v1.2/notes") << QByteArray("x");
    }
    void execute()
    {
        QFETCH(QByteArray, path);
        QFETCH(QByteArray, answer);
        DeviceEngine engine;
        QStringList logged;
        engine.setLogger([&](const QString &line) { logged << line; });
        QVERIFY(engine.store().store(path.mid(1), "content"));
        QCOMPARE(exchange(engine, frame('X', pathField(path))), answer);
        if (answer == "X") {
            QCOMPARE(engine.openedFiles(), QByteArrayList{path});
            QCOMPARE(logged.size(), 1);
            QVERIFY(logged.at(0).startsWith(QStringLiteral("opened ") + QString::fromLatin1(path)));
        } else {
            QVERIFY(engine.openedFiles().isEmpty());
            QVERIFY(logged.isEmpty());
        }
    }

    void executeOfWhatIsNotThere()
    {
        DeviceEngine engine;
        QCOMPARE(exchange(engine, frame('X', pathField("/missing.txt"))), QByteArray("x"));
        QVERIFY(engine.openedFiles().isEmpty());
        QCOMPARE(ReceiverCommands::fileType("/Photo.JPG"), QByteArray("jpg"));
        QCOMPARE(ReceiverCommands::fileType("/config.json.bak"), QByteArray("json"));
        QCOMPARE(ReceiverCommands::fileType("/README"), QByteArray());
    }

    // ---- uploads ------------------------------------------------------------

    void upload_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {0, 1, 31, 32, 33, 100, 5000})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    void upload()
    {
        QFETCH(int, size);
        DeviceEngine engine;
        const QByteArray content = patterned(size);
        const int chunks = (size + 31) / 32;
        QCOMPARE(uploadAnswers(engine, "/up.bin", content), QByteArray(1 + chunks, 'A') + "u");
        QVERIFY(!engine.uploadOpen());
        QCOMPARE(exchange(engine, frame('D', pathField("/up.bin"))), be32(quint32(size)) + content);
        QCOMPARE(engine.store().usedBytes(), SpiffsLayout::pagesFor(quint32(size)) * 256);
    }

    void uploadedBytesMayLookLikeFrames()
    {
        DeviceEngine engine;
        const QByteArray content = QByteArray("K-Wanderer______M") + frame('E') + allByteValues();
        QCOMPARE(uploadAnswers(engine, "/tricky.bin", content), QByteArray(1 + 10, 'A') + "u");
        QCOMPARE(engine.store().find("tricky.bin")->content, content);
        QCOMPARE(engine.bytesSkipped(), qint64(0));
    }

    void uploadReplacesOnlyWhenComplete()
    {
        DeviceEngine engine;
        QVERIFY(engine.store().store("a.txt", "old"));
        QCOMPARE(exchange(engine, startFrame("/a.txt", 40) + chunkFrame(QByteArray(32, 'n'))), QByteArray("AA"));
        QCOMPARE(engine.store().find("a.txt")->content, QByteArray("old"));
        // Ended early: given up, the old file stays.
        QCOMPARE(exchange(engine, frame('u')), QByteArray("a"));
        QCOMPARE(engine.store().find("a.txt")->content, QByteArray("old"));
        QCOMPARE(uploadAnswers(engine, "/a.txt", "new"), QByteArray("AAu"));
        QCOMPARE(engine.store().find("a.txt")->content, QByteArray("new"));
        QCOMPARE(engine.store().files().size(), 1);
    }

    void uploadRefusals_data()
    {
        QTest::addColumn<QByteArray>("frames");
        QTest::addColumn<QByteArray>("answers");
        const QByteArray name30 = "/" + QByteArray(26, 'n') + ".txt"; // 31 bytes with the "/"
        const QByteArray name31 = "/" + QByteArray(27, 'n') + ".txt";
        QTest::newRow("longest name") << startFrame(name30, 1) + chunkFrame("x") + frame('u') << QByteArray("AAu");
        QTest::newRow("name one byte too long") << startFrame(name31, 1) << QByteArray("a");
        QTest::newRow("empty name") << startFrame("/", 1) << QByteArray("a");
        QTest::newRow("no leading slash") << startFrame("a.txt", 1) << QByteArray("a");
        QTest::newRow("zero byte in name") << startFrame(QByteArray("/a\0b", 4), 1) << QByteArray("a");
        QTest::newRow("larger than the store") << startFrame("/big.bin", Capacity) << QByteArray("a");
        QTest::newRow("chunk of 0") << startFrame("/a", 5) + frame('U', QByteArray(1, '\0')) << QByteArray("Aa");
        QTest::newRow("chunk of 33") << startFrame("/a", 50) + chunkFrame(QByteArray(33, 'c')) << QByteArray("Aa");
        QTest::newRow("more than announced")
                << startFrame("/a", 40) + chunkFrame(QByteArray(32, 'c')) + chunkFrame(QByteArray(9, 'c'))
                << QByteArray("AAa");
        QTest::newRow("end before the last byte") << startFrame("/a", 2) + chunkFrame("c") + frame('u')
                                                  << QByteArray("AAa");
        QTest::newRow("end with no upload") << frame('u') << QByteArray("a");
    }
    void uploadRefusals()
    {
        QFETCH(QByteArray, frames);
        QFETCH(QByteArray, answers);
        DeviceEngine engine;
        QCOMPARE(exchange(engine, frames), answers);
        QVERIFY(!engine.uploadOpen() || answers.endsWith('A'));
        const bool stored = answers.endsWith('u');
        QCOMPARE(engine.store().files().size(), stored ? 1 : 0);
        // Whatever happened, the next command is understood.
        QCOMPARE(exchange(engine, frame('M')).size(), 8);
    }

    void uploadNeedsRoomInPages()
    {
        // Room for 4 pages: a header and 3 data pages.
        DeviceEngine engine(withCapacity(4 * 256));
        QCOMPARE(exchange(engine, startFrame("/a", 3 * 256 + 1)), QByteArray("a"));
        QCOMPARE(uploadAnswers(engine, "/a", QByteArray(3 * 256, 'x')), QByteArray(1 + 24, 'A') + "u");
        QCOMPARE(exchange(engine, frame('M')), be32(1024) + be32(1024));
        // Replacing it frees its pages first.
        QCOMPARE(uploadAnswers(engine, "/a", QByteArray(700, 'y')), QByteArray(1 + 22, 'A') + "u");
        QCOMPARE(exchange(engine, startFrame("/b", 0)), QByteArray("a"));
    }

    void otherCommandsAbandonAnUpload()
    {
        DeviceEngine engine;
        QCOMPARE(exchange(engine, startFrame("/a", 10) + chunkFrame("12345")), QByteArray("AA"));
        QCOMPARE(exchange(engine, frame('M')), be32(Capacity) + be32(0));
        QVERIFY(!engine.uploadOpen());
        // The rest of the upload now reads as a start frame gone wrong, then "u".
        QCOMPARE(exchange(engine, frame('u')), QByteArray("a"));
        QVERIFY(engine.store().files().isEmpty());
    }

    // ---- framing ----------------------------------------------------------

    void everyCommandSplitAtEveryPosition()
    {
        const QByteArray stream = frame('M') + frame('L') + frame('D', pathField("/a.txt")) + startFrame("/n.bin", 3)
                + chunkFrame("xyz") + frame('u') + frame('X', pathField("/a.txt")) + frame('R', pathField("/n.bin"))
                + frame('D', pathField("/n.bin")) + frame('E') + frame('M');
        DeviceEngine whole;
        QVERIFY(whole.store().store("a.txt", "hello"));
        const QByteArray expected = exchange(whole, stream);
        QCOMPARE(expected,
                 be32(Capacity) + be32(512) + listingReply({{"a.txt", 5}}) + be32(5) + "hello" + "AAuXRdE"
                         + be32(Capacity) + be32(0));
        QCOMPARE(whole.framesHandled(), 11);

        for (int cut = 1; cut < stream.size(); ++cut) {
            DeviceEngine engine;
            QVERIFY(engine.store().store("a.txt", "hello"));
            QByteArray out = exchange(engine, stream.left(cut));
            out += exchange(engine, stream.mid(cut));
            QVERIFY2(out == expected, qPrintable(QStringLiteral("cut at %1").arg(cut)));
            QCOMPARE(engine.bytesSkipped(), qint64(0));
        }
    }

    void byteByByte()
    {
        const QByteArray stream = frame('M') + startFrame("/b", 2) + chunkFrame("hi") + frame('u') + frame('L');
        DeviceEngine engine;
        QByteArray out;
        for (char byte : stream)
            out += exchange(engine, QByteArray(1, byte));
        QCOMPARE(out, be32(Capacity) + be32(0) + "AAu" + listingReply({{"b", 2}}));
    }

    void severalFramesInOneCall()
    {
        DeviceEngine engine;
        QVERIFY(engine.store().store("a.txt", "abc"));
        engine.receive(frame('M') + frame('L') + frame('D', pathField("/a.txt")) + frame('R', pathField("/x")), 0);
        QCOMPARE(engine.framesHandled(), 4);
        QCOMPARE(drain(engine), be32(Capacity) + be32(512) + listingReply({{"a.txt", 3}}) + be32(3) + "abc" + "r");
    }

    void resynchronisation_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<int>("skipped");
        const QByteArray m = frame('M');
        QTest::newRow("noise before") << QByteArrayList{QByteArray("\x00\xff noise", 8) + m} << 8;
        QTest::newRow("noise between") << QByteArrayList{m + "zz" + m} << 2;
        QTest::newRow("partial preamble, then a frame") << QByteArrayList{"K-Wand" + m} << 6;
        QTest::newRow("partial preamble over two chunks") << QByteArrayList{"K-Wand", "xK-W", "anderer______M"}
                                                          << 7;
        QTest::newRow("preamble cut at every chunk edge") << QByteArrayList{"abcK-Wa", "nder", "er___", "___M"} << 3;
        QTest::newRow("almost a preamble") << QByteArrayList{"K-Wanderer_____" + m} << 15;
        QTest::newRow("preamble twice") << QByteArrayList{"K-Wanderer______" + m} << 16;
        QTest::newRow("unknown letter") << QByteArrayList{frame('Z') + m} << 17;
        QTest::newRow("lower-case letter") << QByteArrayList{frame('m') + m} << 17;
        QTest::newRow("path field beyond reason") << QByteArrayList{frame('D', be32(0x4B2D5761)) + m} << 21;
        QTest::newRow("noise only, then a frame") << QByteArrayList{QByteArray(5000, 'K'), m} << 5000;
    }
    void resynchronisation()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(int, skipped);
        DeviceEngine engine;
        QByteArray out;
        for (const QByteArray &chunk : chunks)
            out += exchange(engine, chunk);
        QCOMPARE(out, be32(Capacity) + be32(0) + (chunks.join().count(frame('M')) == 2 ? be32(Capacity) + be32(0)
                                                                                        : QByteArray()));
        QCOMPARE(engine.bytesSkipped(), qint64(skipped));
    }

    void frameThatStopsComingTimesOut()
    {
        DeviceEngine engine;
        const QByteArray d = frame('D', pathField("/a.txt"));
        engine.receive(d.left(20), 0);
        // Within a second the rest still counts.
        QCOMPARE(exchange(engine, d.mid(20), 900 * Ms), QByteArray("d"));

        engine.receive(d.left(20), 2000 * Ms);
        QCOMPARE(exchange(engine, d.mid(20), 3100 * Ms), QByteArray());
        QCOMPARE(engine.bytesSkipped(), qint64(20 + d.size() - 20));
        QCOMPARE(exchange(engine, frame('M'), 3200 * Ms).size(), 8);
    }

    // ---- options ----------------------------------------------------------

    void splitIntoPieces()
    {
        EngineOptions options;
        options.splitBytes = 3;
        DeviceEngine engine(options);
        engine.receive(frame('M'), 0);
        const QVector<Piece> out = pieces(engine);
        QCOMPARE(out.size(), 3);
        QCOMPARE(out.at(0).bytes, be32(Capacity).left(3));
        QCOMPARE(out.at(1).bytes.size(), 3);
        QCOMPARE(out.at(2).bytes, be32(0).right(2));
        for (const Piece &piece : out)
            QCOMPARE(piece.atUs, qint64(0));
    }

    void splitWithGaps()
    {
        EngineOptions options;
        options.splitBytes = 1;
        options.gapMs = 5;
        DeviceEngine engine(options);
        QVERIFY(engine.store().store("a", "xy"));
        engine.receive(frame('D', pathField("/a")), 1000);
        QCOMPARE(engine.pieceEndUs(), qint64(1000)); // one byte a piece
        const QVector<Piece> out = pieces(engine, 1000);
        QCOMPARE(out.size(), 6);
        for (int i = 0; i < out.size(); ++i) {
            QCOMPARE(out.at(i).bytes.size(), 1);
            QCOMPARE(out.at(i).atUs, 1000 + i * 5 * Ms);
        }
        // Nothing comes out ahead of time.
        engine.receive(frame('M'), 100 * Ms);
        QCOMPARE(engine.takeDueOutput(100 * Ms).size(), 1);
        QCOMPARE(engine.takeDueOutput(104 * Ms), QByteArray());
        QCOMPARE(engine.nextDueUs(), 105 * Ms);
        QCOMPARE(engine.takeDueOutput(105 * Ms).size(), 1);
    }

    void baudPacing()
    {
        EngineOptions options;
        options.baud = 115200; // 86.8 us a byte
        DeviceEngine engine(options);
        engine.receive(frame('M'), 0);
        // The frame has arrived when its 17th byte has: 1476 us.
        const qint64 arrived = (17 * 10000000LL + 115199) / 115200;
        QCOMPARE(arrived, qint64(1476));
        QCOMPARE(engine.takeDueOutput(arrived), QByteArray());
        QCOMPARE(engine.nextDueUs(), arrived + 87);
        QCOMPARE(engine.pieceEndUs(), arrived + 695); // the reply's last byte
        QCOMPARE(engine.takeDueOutput(arrived + 87).size(), 1);
        QCOMPARE(engine.pieceEndUs(), arrived + 695);
        QCOMPARE(engine.takeDueOutput(arrived + 434).size(), 3); // the fifth byte ends at 435 us
        QCOMPARE(engine.takeDueOutput(arrived + 435).size(), 1);
        QCOMPARE(engine.takeDueOutput(arrived + 694).size(), 2);
        QCOMPARE(engine.takeDueOutput(arrived + 694), QByteArray());
        QCOMPARE(engine.takeDueOutput(arrived + 695).size(), 1);
        QCOMPARE(engine.nextDueUs(), DeviceEngine::NothingDue);

        // Bytes queue on the wire: a second frame read at once ends after the first.
        DeviceEngine second(options);
        second.receive(frame('M'), 0);
        second.receive(frame('M'), 0);
        const QVector<Piece> out = pieces(second);
        QCOMPARE(out.constLast().atUs, (34 * 10000000LL + 115199) / 115200 + 695);
    }

    void writeDelayPerChunk()
    {
        EngineOptions options;
        options.writeDelayUs = 3000;
        DeviceEngine engine(options);
        engine.receive(startFrame("/a", 40), 0);
        QCOMPARE(engine.takeDueOutput(0), QByteArray("A"));
        engine.receive(chunkFrame(QByteArray(32, 'c')), 10 * Ms);
        QCOMPARE(engine.takeDueOutput(12999), QByteArray());
        QCOMPARE(engine.nextDueUs(), qint64(13000));
        QCOMPARE(engine.takeDueOutput(13000), QByteArray("A"));
        engine.receive(chunkFrame(QByteArray(8, 'c')) + frame('u'), 20 * Ms);
        QCOMPARE(drain(engine, 20 * Ms), QByteArray("Au"));
    }

    void silentLetters()
    {
        EngineOptions options;
        options.silentLetters = "MR";
        DeviceEngine engine(options);
        QVERIFY(engine.store().store("a", "1"));
        QCOMPARE(exchange(engine, frame('M')), QByteArray());
        QCOMPARE(exchange(engine, frame('L')), listingReply({{"a", 1}}));
        // Carried out all the same.
        QCOMPARE(exchange(engine, frame('R', pathField("/a"))), QByteArray());
        QCOMPARE(exchange(engine, frame('L')), be32(0));
        QCOMPARE(engine.framesHandled(), 4);
    }

    void hangUpAfterBytes()
    {
        EngineOptions options;
        options.hangUpAfter = 10;
        DeviceEngine engine(options);
        QVERIFY(engine.store().store("a.txt", "abc"));
        engine.receive(frame('M') + frame('L'), 0);
        QCOMPARE(drain(engine), be32(Capacity) + be32(512) + be32(13).left(2));
        QVERIFY(engine.lineClosed());
        QCOMPARE(engine.nextDueUs(), DeviceEngine::NothingDue);
        QCOMPARE(exchange(engine, frame('M')), QByteArray());

        // Plugged in again: served, and not cut again.
        engine.reconnect();
        QVERIFY(!engine.lineClosed());
        QCOMPARE(exchange(engine, frame('L') + frame('L')), listingReply({{"a.txt", 3}}) + listingReply({{"a.txt", 3}}));
    }

    void hangUpAtOnce()
    {
        EngineOptions options;
        options.hangUpAfter = 0;
        DeviceEngine engine(options);
        QCOMPARE(engine.nextDueUs(), qint64(0));
        QCOMPARE(engine.takeDueOutput(0), QByteArray());
        QVERIFY(engine.lineClosed());
    }

    void garbageOnlyBetweenExchanges()
    {
        EngineOptions options;
        options.garbage = true;
        options.garbageIntervalUs = 100 * Ms;
        DeviceEngine engine(options);
        QCOMPARE(engine.nextDueUs(), 100 * Ms);
        QByteArray noise = engine.takeDueOutput(100 * Ms);
        QVERIFY(!noise.isEmpty());
        QVERIFY(noise.size() <= 24);
        QCOMPARE(engine.nextDueUs(), 200 * Ms);

        // A reply goes out whole, with nothing mixed into it.
        engine.receive(frame('L'), 150 * Ms);
        QCOMPARE(engine.takeDueOutput(400 * Ms), be32(0));
        QCOMPARE(engine.nextDueUs(), 250 * Ms); // quiet since the reply
        noise = engine.takeDueOutput(250 * Ms);
        QVERIFY(!noise.isEmpty());

        // Not while a frame is half in, nor while an upload is open.
        engine.receive(frame('M').left(10), 300 * Ms);
        QCOMPARE(engine.nextDueUs(), DeviceEngine::NothingDue);
        QCOMPARE(engine.takeDueOutput(900 * Ms), QByteArray());
        engine.receive(frame('M').mid(10) + startFrame("/a", 1), 950 * Ms);
        QCOMPARE(engine.takeDueOutput(950 * Ms), be32(Capacity) + be32(0));
        QCOMPARE(engine.takeDueOutput(950 * Ms), QByteArray("A"));
        QCOMPARE(engine.nextDueUs(), DeviceEngine::NothingDue);
        QCOMPARE(engine.takeDueOutput(5000 * Ms), QByteArray());
        engine.receive(chunkFrame("z") + frame('u'), 5000 * Ms);
        QCOMPARE(drain(engine, 5000 * Ms, 5000 * Ms), QByteArray("Au"));
        QCOMPARE(engine.nextDueUs(), 5100 * Ms);
        QCOMPARE(engine.store().find("a")->content, QByteArray("z"));
    }

    void rebootBanner()
    {
        DeviceEngine engine;
        QCOMPARE(exchange(engine, startFrame("/a", 5), 0), QByteArray("A"));
        engine.receive(frame('Q'), 1000 * Ms);
        QVERIFY(engine.isBooting(1000 * Ms));
        QVERIFY(!engine.uploadOpen());
        const QVector<Piece> out = pieces(engine, 1000 * Ms);
        QVERIFY(out.size() >= 3);
        QByteArray banner;
        for (const Piece &piece : out)
            banner += piece.bytes;
        QVERIFY(banner.startsWith("ets Jun  8 2016 00:22:57\r\n\r\nrst:0xc (SW_CPU_RESET),boot:0x13"));
        QVERIFY(banner.contains("entry 0x"));
        QVERIFY(out.constFirst().atUs > 1000 * Ms);
        QVERIFY(out.constLast().atUs - out.constFirst().atUs >= 200 * Ms);
        QCOMPARE(engine.bootEndUs(), 1000 * Ms + DeviceEngine::bootDurationUs());

        // Nothing listens until the boot is over.
        QCOMPARE(exchange(engine, frame('M'), 1100 * Ms), QByteArray());
        QCOMPARE(exchange(engine, frame('M'), engine.bootEndUs()).size(), 8);
        QVERIFY(engine.store().files().isEmpty());
    }

    void rebootDropsWhatWasQueued()
    {
        EngineOptions options;
        options.splitBytes = 1;
        options.gapMs = 10;
        DeviceEngine engine(options);
        engine.receive(frame('M') + frame('Q') + frame('M'), 0);
        const QByteArray out = drain(engine);
        QVERIFY(out.startsWith("ets Jun"));
        QVERIFY(out.endsWith("\r\n"));
        QCOMPARE(engine.bytesSkipped(), qint64(17));
    }

    void openingTheLine_data()
    {
        QTest::addColumn<bool>("bootOnOpen");
        QTest::addColumn<QByteArray>("silent");
        QTest::newRow("resets") << true << QByteArray();
        QTest::newRow("resets with its banner though Q is silent") << true << QByteArray("Q");
        QTest::newRow("without --boot-on-open") << false << QByteArray();
    }
    void openingTheLine()
    {
        QFETCH(bool, bootOnOpen);
        QFETCH(QByteArray, silent);
        EngineOptions options;
        options.bootOnOpen = bootOnOpen;
        options.silentLetters = silent;
        DeviceEngine engine(options);
        QCOMPARE(engine.watchesOpens(), bootOnOpen);
        QCOMPARE(exchange(engine, startFrame("/a", 5)), QByteArray("A"));
        engine.receive(frame('M').left(10), 10 * Ms);

        engine.lineOpened(20 * Ms);
        QByteArray banner;
        for (const DeviceEngine::BannerPiece &piece : DeviceEngine::bootBanner())
            banner += piece.text;
        QCOMPARE(drain(engine, 20 * Ms), bootOnOpen ? banner : QByteArray());
        QCOMPARE(engine.uploadOpen(), !bootOnOpen);
        // A frame sent while it boots is lost, and so is the half frame from before.
        QCOMPARE(exchange(engine, frame('M'), 30 * Ms).size(), bootOnOpen ? 0 : 8);
        QCOMPARE(exchange(engine, frame('M'), 20 * Ms + DeviceEngine::bootDurationUs()).size(), 8);
    }

    void corruptedUploads_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("flipped"); // -1: stored as sent
        QTest::newRow("empty stays empty") << 0 << QByteArray("bad.bin") << -1;
        QTest::newRow("one byte") << 1 << QByteArray("bad.bin") << 0;
        QTest::newRow("two bytes") << 2 << QByteArray("bad.bin") << 1;
        QTest::newRow("over chunks") << 101 << QByteArray("bad.bin") << 50;
        QTest::newRow("another name") << 101 << QByteArray("good.bin") << -1;
        QTest::newRow("a name with a %1") << 101 << QByteArray("5%1.bin") << 50;
    }
    void corruptedUploads()
    {
        QFETCH(int, size);
        QFETCH(QByteArray, name);
        QFETCH(int, flipped);
        EngineOptions options;
        options.corruptNames = {"bad.bin", "other", "5%1.bin"};
        DeviceEngine engine(options);
        QStringList logged;
        engine.setLogger([&](const QString &line) { logged << line; });
        const QByteArray content = patterned(size);
        QByteArray expected = content;
        if (flipped >= 0)
            expected[flipped] = char(~quint8(content.at(flipped)));
        // Every upload of it, not only the first.
        for (int round = 1; round <= 2; ++round) {
            QCOMPARE(uploadAnswers(engine, "/" + name, content), QByteArray(1 + (size + 31) / 32, 'A') + "u");
            QCOMPARE(engine.store().find(name)->content, expected);
            QCOMPARE(logged.size(), flipped >= 0 ? round : 0);
        }
        if (flipped >= 0)
            QCOMPARE(logged.constFirst(), QStringLiteral("corrupted /%1: byte %2 of %3 flipped")
                                                  .arg(QString::fromLatin1(name), QString::number(flipped), QString::number(size)));
    }

    // ---- a recorded receiver played back ----------------------------------

    void traceParses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("described");
        QTest::newRow("as the command line writes it")
                << QByteArray("# spiffs-cli trace 1\n"
                              "# any line starting with \"#\" is a comment (port name, date, line settings...)\n"
                              "       0 < OPEN     12  65 74 73 20 4a 75 6e 20 20 38 20 32              |ets Jun  8 2|\n"
                              "     512 > MEMORY   17  4b 2d 57 61 6e 64 65 72 65 72 5f 5f 5f 5f 5f 5f  |K-Wanderer______|\n"
                              "                        4d                                               |M|\n"
                              "    4391 < MEMORY    8  00 14 1c 71 00 00 05 00                          |...q....|\n")
                << QStringLiteral("open +0 ets Jun  8 2; MEMORY@4 K-Wanderer______M -> +3879 0x00141c7100000500");
        QTest::newRow("a request in two writes, its reply in two reads, blank lines")
                << TraceHeader + record(100, '>', "LIST", "K-Wand") + "\n" + record(110, '>', "LIST", "erer______L")
                        + record(900, '<', "LIST", "ab") + "  \n" + record(1900, '<', "LIST", "cd")
                << QStringLiteral("LIST@3 K-Wanderer______L -> +790 ab -> +1790 cd");
        QTest::newRow("no reply, then bytes between exchanges")
                << TraceHeader + record(0, '>', "REBOOT", frame('Q')) + record(5, '>', "MEMORY", frame('M'))
                        + record(9, '<', "MEMORY", "12345678") + record(70, '<', "IDLE", "noise")
                << QStringLiteral("REBOOT@3 K-Wanderer______Q; MEMORY@5 K-Wanderer______M -> +4 12345678 -> +65 noise");
        QTest::newRow("records of 16, 32 and 33 bytes")
                << TraceHeader + record(0, '>', "UPLOAD", QByteArray(16, 'a')) + record(1, '>', "UPLOAD", QByteArray(32, 'b'))
                        + record(2, '<', "UPLOAD", QByteArray(33, 'c'))
                << QStringLiteral("UPLOAD@3 %1 -> +1 %2").arg(QString(16, QLatin1Char('a')) + QString(32, QLatin1Char('b')),
                                                             QString(33, QLatin1Char('c')));
        QTest::newRow("an empty write counts for nothing")
                << TraceHeader + record(0, '<', "OPEN", "boot") + record(1, '>', "LIST", "") + record(2, '<', "OPEN", "ed")
                << QStringLiteral("open +0 boot; open +2 ed");
        QTest::newRow("a port named before the first record starts nothing")
                << QByteArray("# spiffs-cli trace 1\n# command: spiffs-cli ls\n# port /dev/ttyUSB0\n")
                        + record(7, '>', "ERASE", frame('E')) + record(9, '<', "ERASE", "E")
                << QStringLiteral("ERASE@4 K-Wanderer______E -> +2 E");
        QTest::newRow("CR LF line ends")
                << QByteArray(TraceHeader + record(7, '>', "ERASE", frame('E')) + record(9, '<', "ERASE", "E")).replace("\n", "\r\n")
                << QStringLiteral("ERASE@3 K-Wanderer______E -> +2 E");
    }
    void traceParses()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, described);
        ReplayTrace trace;
        QString error;
        QVERIFY2(ReplayTrace::parse(text, &trace, &error), qPrintable(error));
        QCOMPARE(describe(trace), described);
    }

    void malformedTraces_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        const QByteArray m = record(10, '>', "MEMORY", frame('M')); // two lines
        QTest::newRow("empty file") << QByteArray() << 1;
        QTest::newRow("not a trace") << QByteArray("hello\n") + m << 1;
        QTest::newRow("another version") << QByteArray("# spiffs-cli trace 2\n") + m << 1;
        QTest::newRow("a version holding a %1") << QByteArray("# spiffs-cli trace 2%1\n") + m << 1;
        QTest::newRow("no time") << TraceHeader + "  > MEMORY 1  4d  |M|\n" << 3;
        QTest::newRow("no direction") << TraceHeader + m + "      20 = MEMORY 1  4d  |M|\n" << 5;
        QTest::newRow("lower-case label") << TraceHeader + "0 > memory 1  4d  |M|\n" << 3;
        QTest::newRow("no count") << TraceHeader + "0 > MEMORY  4d  |M|\n" << 3;
        QTest::newRow("one space before the bytes") << TraceHeader + "0 > MEMORY 1 4d |M|\n" << 3;
        QTest::newRow("upper bound of a hex byte") << TraceHeader + "0 > MEMORY 2  4d5 00  |M.|\n" << 3;
        QTest::newRow("too few bytes on the first line") << TraceHeader + "0 > MEMORY 17  4b 2d\n" << 3;
        QTest::newRow("a record where the rest was due")
                << TraceHeader + m.left(m.indexOf('\n') + 1) + record(20, '<', "MEMORY", "x") << 4;
        QTest::newRow("file ends inside a record") << TraceHeader + "\n" + m.left(m.indexOf('\n') + 1) << 4;
        QTest::newRow("time goes back") << TraceHeader + m + record(9, '<', "MEMORY", "x") << 5;
        QTest::newRow("time goes back after a port")
                << TraceHeader + m + "# port /dev/ttyUSB0\n" + record(50, '>', "MEMORY", frame('M')) + record(9, '<', "MEMORY", "x") << 8;
    }
    void malformedTraces()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        ReplayTrace trace;
        QString error;
        QVERIFY(!ReplayTrace::parse(text, &trace, &error));
        QVERIFY2(error.startsWith(QStringLiteral("line %1: ").arg(line)), qPrintable(error));
        QVERIFY2(!error.contains(QLatin1String("%2")), qPrintable(error)); // every placeholder filled
    }

    void replay_data()
    {
        // Events: "TIME open" or "TIME > BYTES"; what comes out: "TIME BYTES".
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::addColumn<int>("dropped");
        const QByteArray m = frame('M');
        const QByteArray l = frame('L');
        const QByteArray d = frame('D', pathField("/a"));
        QTest::newRow("the opening when the line opens")
                << QByteArrayList{"100 open"} << QByteArrayList{"100 boot", "20100 ed\r\n"} << 0;
        QTest::newRow("a reply with its recorded gaps")
                << QByteArrayList{"1000 > " + m} << QByteArrayList{"4000 1234", "5000 5678"} << 0;
        QTest::newRow("a request in two reads")
                << QByteArrayList{"1000 > " + m.left(7), "1500 > " + m.mid(7)} << QByteArrayList{"4500 1234", "5500 5678"} << 0;
        QTest::newRow("recorded requests in order, then the last again")
                << QByteArrayList{"0 > " + l, "10000 > " + l, "20000 > " + l}
                << QByteArrayList{"1000 first", "12000 second", "22000 second"} << 0;
        QTest::newRow("a request recorded in two writes")
                << QByteArrayList{"0 > " + d} << QByteArrayList{"4900 d"} << 0;
        QTest::newRow("a request with no reply") << QByteArrayList{"0 > " + frame('Q'), "10 > " + m}
                                                 << QByteArrayList{"3010 1234", "4010 5678"} << 0;
        QTest::newRow("two requests in one read, answered in turn")
                << QByteArrayList{"0 > " + m + l} << QByteArrayList{"3000 1234", "4000 5678", "4000 first"} << 0;
        QTest::newRow("noise before a request") << QByteArrayList{"0 > zz" + m}
                                                << QByteArrayList{"3000 1234", "4000 5678"} << 2;
        QTest::newRow("a request not in the trace")
                << QByteArrayList{"0 > " + frame('X', pathField("/a")), "50 > " + frame('D', pathField("/b"))}
                << QByteArrayList{} << 2 * (17 + 4 + 2);
        QTest::newRow("a request that stops coming")
                << QByteArrayList{"0 > " + m.left(10), "1000000 > " + m.mid(10)} << QByteArrayList{} << 17;
        QTest::newRow("an open starts over")
                << QByteArrayList{"0 > " + l, "5000 open", "6000 > " + l}
                << QByteArrayList{"1000 first", "5000 boot", "25000 ed\r\n", "25000 first"} << 0;
    }
    void replay()
    {
        QFETCH(QByteArrayList, events);
        QFETCH(QByteArrayList, expected);
        QFETCH(int, dropped);
        const QByteArray text = TraceHeader + record(0, '<', "OPEN", "boot") + record(20000, '<', "OPEN", "ed\r\n")
                + record(500000, '>', "MEMORY", frame('M')) + record(503000, '<', "MEMORY", "1234")
                + record(504000, '<', "MEMORY", "5678") + record(600000, '>', "LIST", frame('L'))
                + record(601000, '<', "LIST", "first") + record(700000, '>', "LIST", frame('L'))
                + record(702000, '<', "LIST", "second") + record(800000, '>', "DOWNLOAD", frame('D'))
                + record(800100, '>', "DOWNLOAD", pathField("/a")) + record(805000, '<', "DOWNLOAD", "d")
                + record(900000, '>', "REBOOT", frame('Q'));
        ReplayTrace trace;
        QVERIFY(ReplayTrace::parse(text, &trace, nullptr));
        ReplayEngine engine(trace);
        QStringList logged;
        engine.setLogger([&](const QString &line) { logged << line; });
        QCOMPARE(played(engine, events), expected);
        QCOMPARE(engine.bytesDropped(), qint64(dropped));
        QCOMPARE(logged.filter(QStringLiteral("request not in the trace")).isEmpty(), dropped == 0);
    }

    // A window's trace of two Connects: each opening of the line plays the
    // next, and after the last, the last again, said in the log.
    void replayEachConnection_data()
    {
        QTest::addColumn<QByteArrayList>("events");
        QTest::addColumn<QByteArrayList>("expected");
        QTest::addColumn<int>("connection");
        QTest::addColumn<bool>("saysLastAgain");
        const QByteArray m = frame('M');
        QTest::newRow("before any opening, the first") << QByteArrayList{"0 > " + m} << QByteArrayList{"100 one"} << 0 << false;
        QTest::newRow("each opening the next")
                << QByteArrayList{"0 open", "1000 > " + m, "5000 open", "6000 > " + m}
                << QByteArrayList{"10 boot", "1100 one", "5020 again", "6300 two"} << 1 << false;
        QTest::newRow("an opening mid-reply drops the rest")
                << QByteArrayList{"0 open", "1000 > " + m, "1050 open"}
                << QByteArrayList{"10 boot", "1070 again"} << 1 << false;
        QTest::newRow("after the last, the last again")
                << QByteArrayList{"0 open", "1000 open", "2000 open", "3000 > " + m}
                << QByteArrayList{"10 boot", "1020 again", "2020 again", "3300 two"} << 1 << true;
    }
    void replayEachConnection()
    {
        QFETCH(QByteArrayList, events);
        QFETCH(QByteArrayList, expected);
        QFETCH(int, connection);
        QFETCH(bool, saysLastAgain);
        const QByteArray port = "# port /dev/ttyUSB0 (/dev/ttyUSB0), 115200 baud 8N1, no flow control\n";
        const QByteArray text = TraceHeader + port + record(10, '<', "OPEN", "boot") + record(500, '>', "MEMORY", frame('M'))
                + record(600, '<', "MEMORY", "one") + port + record(20, '<', "OPEN", "again")
                + record(400, '>', "MEMORY", frame('M')) + record(700, '<', "MEMORY", "two");
        ReplayTrace trace;
        QString error;
        QVERIFY2(ReplayTrace::parse(text, &trace, &error), qPrintable(error));
        QCOMPARE(trace.connections.size(), 2);
        ReplayEngine engine(trace);
        QStringList logged;
        engine.setLogger([&](const QString &line) { logged << line; });
        QCOMPARE(played(engine, events), expected);
        QCOMPARE(engine.connection(), connection);
        QCOMPARE(engine.bytesDropped(), qint64(0));
        QCOMPARE(logged.filter(QStringLiteral("playing the last (line 8) again")).size(), saysLastAgain ? 1 : 0);
    }

    // ---- the store on disk --------------------------------------------------

    void folderPersistsAcrossRuns()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile seed(dir.filePath(QStringLiteral("seed.txt")));
        QVERIFY(seed.open(QIODevice::WriteOnly));
        seed.write("seed");
        seed.close();

        EngineOptions options;
        options.folder = dir.path();
        {
            DeviceEngine engine(options);
            QVERIFY(engine.isReady());
            QCOMPARE(exchange(engine, frame('L')), listingReply({{"seed.txt", 4}}));
            QCOMPARE(uploadAnswers(engine, "/dir/new.bin", allByteValues()), QByteArray(9, 'A') + "u");
            QCOMPARE(uploadAnswers(engine, "/.hidden", "h"), QByteArray("AAu"));
            QCOMPARE(exchange(engine, frame('R', pathField("/seed.txt"))), QByteArray("R"));
        }
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("seed.txt"))));
        QFile stored(dir.filePath(QStringLiteral("dir%2Fnew.bin")));
        QVERIFY(stored.open(QIODevice::ReadOnly));
        QCOMPARE(stored.readAll(), allByteValues());
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("%2Ehidden"))));

        DeviceEngine again(options);
        QCOMPARE(exchange(again, frame('L')), listingReply({{".hidden", 1}, {"dir/new.bin", 256}}));
        QCOMPARE(exchange(again, frame('D', pathField("/dir/new.bin"))), be32(256) + allByteValues());
        QCOMPARE(exchange(again, frame('E')), QByteArray("E"));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }

    void folderFilesThatCannotBeHeld()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QStringList names = {QStringLiteral("ok.txt"), QString(31, QLatin1Char('l')),
                                   QStringLiteral(".gitkeep"), QStringLiteral("50%off"),
                                   QString::fromUtf8("r\xc3\xa9sum\xc3\xa9.txt")};
        for (const QString &name : names) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
        }
        DeviceStore store;
        QVERIFY(store.attachFolder(dir.path()));
        QCOMPARE(store.files().size(), 2);
        QCOMPARE(store.files().at(0).name, QByteArray("ok.txt"));
        QCOMPARE(store.files().at(1).name, QByteArray("r\xc3\xa9sum\xc3\xa9.txt"));
        QCOMPARE(store.warnings().size(), 4);

        DeviceStore missing;
        QString error;
        QVERIFY(!missing.attachFolder(dir.filePath(QStringLiteral("nowhere")), &error));
        QVERIFY(!error.isEmpty());
        EngineOptions options;
        options.folder = dir.filePath(QStringLiteral("nowhere"));
        QVERIFY(!DeviceEngine(options).isReady());
    }

    void folderBeyondCapacityLoadsWhatFits()
    {
        QTemporaryDir dir;
        for (const char *name : {"a", "b", "c"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(300, 'x')); // 3 pages each
        }
        DeviceStore store(7 * 256);
        QVERIFY(store.attachFolder(dir.path()));
        QCOMPARE(store.files().size(), 2);
        QCOMPARE(store.usedBytes(), 6u * 256);
        QCOMPARE(store.freeBytes(), 256u);
    }

    void hostNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("hostName");
        QTest::newRow("plain") << QByteArray("readme.txt") << QStringLiteral("readme.txt");
        QTest::newRow("slash") << QByteArray("a/b/c") << QStringLiteral("a%2Fb%2Fc");
        QTest::newRow("percent") << QByteArray("50%") << QStringLiteral("50%25");
        QTest::newRow("leading dot") << QByteArray(".") << QStringLiteral("%2E");
        QTest::newRow("dot dot") << QByteArray("..") << QStringLiteral("%2E.");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9") << QString::fromUtf8("caf\xc3\xa9");
        QTest::newRow("latin-1 byte") << QByteArray("caf\xe9") << QStringLiteral("caf%E9");
        QTest::newRow("control") << QByteArray("a\tb") << QStringLiteral("a%09b");
    }
    void hostNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, hostName);
        QCOMPARE(SpiffsLayout::hostFileName(name), hostName);
        QCOMPARE(SpiffsLayout::nameFromHostFile(hostName), name);
    }

    // ---- the command line ---------------------------------------------------

    void arguments()
    {
        const ParsedArguments parsed = parseEmulatorArguments(
                {QStringLiteral("spiffs-emulator"), QStringLiteral("--dir"), QStringLiteral("/tmp/store"),
                 QStringLiteral("--capacity"), QStringLiteral("4096"), QStringLiteral("--baud"),
                 QStringLiteral("115200"), QStringLiteral("--write-delay-us"), QStringLiteral("250"),
                 QStringLiteral("--split"), QStringLiteral("7"), QStringLiteral("--gap-ms"), QStringLiteral("3"),
                 QStringLiteral("--silent"), QStringLiteral("X"), QStringLiteral("--silent=u"),
                 QStringLiteral("--garbage"), QStringLiteral("--hangup-after"), QStringLiteral("100"),
                 QStringLiteral("--boot-on-open"), QStringLiteral("--corrupt"), QStringLiteral("/a.txt"),
                 QStringLiteral("--corrupt=b"), QStringLiteral("--verbose")});
        QCOMPARE(parsed.error, QString());
        QVERIFY(!parsed.helpRequested);
        const EngineOptions &options = parsed.options;
        QCOMPARE(options.folder, QStringLiteral("/tmp/store"));
        QCOMPARE(options.capacity, 4096u);
        QCOMPARE(options.baud, 115200);
        QCOMPARE(options.writeDelayUs, qint64(250));
        QCOMPARE(options.splitBytes, 7);
        QCOMPARE(options.gapMs, 3);
        QCOMPARE(options.silentLetters, QByteArray("Xu"));
        QVERIFY(options.garbage);
        QCOMPARE(options.hangUpAfter, qint64(100));
        QVERIFY(options.bootOnOpen);
        QCOMPARE(options.corruptNames, (QByteArrayList{"a.txt", "b"}));
        QVERIFY(options.verbose);
        QCOMPARE(options.replayTrace, QString());

        const ParsedArguments replay = parseEmulatorArguments(
                {QStringLiteral("e"), QStringLiteral("--replay"), QStringLiteral("t.trace"), QStringLiteral("--verbose")});
        QCOMPARE(replay.error, QString());
        QCOMPARE(replay.options.replayTrace, QStringLiteral("t.trace"));

        const EngineOptions defaults = parseEmulatorArguments({QStringLiteral("e")}).options;
        QCOMPARE(defaults.capacity, Capacity);
        QCOMPARE(defaults.folder, QString());
        QCOMPARE(defaults.baud, 0);
        QCOMPARE(defaults.hangUpAfter, qint64(-1));
        QVERIFY(!defaults.garbage);
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast")} << "Unknown option 'fast'.";
        QTest::newRow("baud zero") << QStringList{QStringLiteral("--baud"), QStringLiteral("0")}
                                   << "--baud takes a whole number from 1 to 100000000";
        QTest::newRow("baud words") << QStringList{QStringLiteral("--baud"), QStringLiteral("fast")}
                                    << "--baud takes a whole number from 1 to 100000000";
        QTest::newRow("split zero") << QStringList{QStringLiteral("--split"), QStringLiteral("0")}
                                    << "--split takes a whole number from 1 to 1073741824";
        QTest::newRow("negative gap") << QStringList{QStringLiteral("--gap-ms"), QStringLiteral("-1")}
                                      << "--gap-ms takes a whole number from 0 to 60000";
        QTest::newRow("capacity too big") << QStringList{QStringLiteral("--capacity"), QStringLiteral("4294967296")}
                                          << "--capacity takes a whole number from 0 to 4294967295";
        QTest::newRow("more spare blocks than the capacity has")
                << QStringList{QStringLiteral("--spare-blocks"), QStringLiteral("3"), QStringLiteral("--capacity"), QStringLiteral("8192")}
                << "--spare-blocks takes a whole number from 0 to 2";
        QTest::newRow("the last value counts")
                << QStringList{QStringLiteral("--open-delay-ms"), QStringLiteral("5"), QStringLiteral("--open-delay-ms=60001")}
                << "--open-delay-ms takes a whole number from 0 to 60000";
        QTest::newRow("silent word") << QStringList{QStringLiteral("--silent"), QStringLiteral("MX")}
                                     << "--silent takes one command letter: M L D U u R E X Q";
        QTest::newRow("silent unknown") << QStringList{QStringLiteral("--silent"), QStringLiteral("M"), QStringLiteral("--silent"), QStringLiteral("Z")}
                                        << "--silent takes one command letter: M L D U u R E X Q";
        QTest::newRow("missing value") << QStringList{QStringLiteral("--hangup-after")} << "Missing value after '--hangup-after'.";
        QTest::newRow("stray argument") << QStringList{QStringLiteral("store")} << "unexpected argument: store";
        QTest::newRow("corrupt nothing") << QStringList{QStringLiteral("--corrupt"), QStringLiteral("/")}
                                         << "--corrupt takes the name of a file";
        QTest::newRow("replay with a store")
                << QStringList{QStringLiteral("--replay"), QStringLiteral("t"), QStringLiteral("--dir"), QStringLiteral("d")}
                << "--replay plays the trace as recorded: it takes no --dir";
        QTest::newRow("replay with a fault")
                << QStringList{QStringLiteral("--replay"), QStringLiteral("t"), QStringLiteral("--silent"), QStringLiteral("M")}
                << "--replay plays the trace as recorded: it takes no --silent";
        QTest::newRow("replay with a flag, beside --verbose")
                << QStringList{QStringLiteral("--replay"), QStringLiteral("t"), QStringLiteral("--verbose"), QStringLiteral("--garbage")}
                << "--replay plays the trace as recorded: it takes no --garbage";
    }
    void badArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const ParsedArguments parsed = parseEmulatorArguments(QStringList{QStringLiteral("e")} + arguments);
        QCOMPARE(parsed.error, error);
    }

    // The manual's text from the rows: the value in italics, options in
    // bold, quotes as troff's, nothing a line could take for a request.
    void manualText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("troff");
        QTest::newRow("value and options") << "Waits <ms> between pieces (with --split, not --spare-blocks)."
                                           << "Waits \\fIMS\\fR between pieces (with \\fB\\-\\-split\\fR, not "
                                              "\\fB\\-\\-spare\\-blocks\\fR).\n";
        QTest::newRow("hyphens in words stay") << "a 256-byte page on a pseudo-terminal" << "a 256-byte page on a pseudo-terminal\n";
        QTest::newRow("quotes, bold, italics") << "each \"# port\" of `spiffs-cli --trace` in *.incoming*"
                                               << "each \\(lq# port\\(rq of \\fBspiffs-cli \\-\\-trace\\fR in \\fI.incoming\\fR\n";
        QTest::newRow("paragraphs, a dot first, a backslash") << "one\n\n.two \\ three" << "one\n.IP\n\\&.two \\e three\n";
    }
    void manualText()
    {
        QFETCH(QString, text);
        QFETCH(QString, troff);
        QCOMPARE(troffText(text), troff);
    }

    // Every row in the page, in its order, --help and --version last.
    void manualHasEveryRow()
    {
        const QString page = *emulatorManualPage(QStringLiteral(".SH OPTIONS\n@OPTIONS@\n.SH EXIT STATUS\n"));
        QVERIFY(!page.contains(QLatin1String(OptionsMarker)));
        QStringList tags;
        for (const QString &line : page.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String(".B")))
                tags << line;
        }
        QCOMPARE(tags.size(), int(emulatorOptionTable().size()));
        QCOMPARE(tags.constFirst(), QStringLiteral(".BI \\-\\-dir \" FOLDER\""));
        QVERIFY(tags.contains(QStringLiteral(".BI \\-\\-spare\\-blocks \" N\"")));
        QCOMPARE(tags.at(tags.size() - 3), QStringLiteral(".B \\-\\-verbose"));
        QCOMPARE(tags.at(tags.size() - 2), QStringLiteral(".BR \\-h \", \" \\-\\-help"));
        QCOMPARE(tags.constLast(), QStringLiteral(".B \\-\\-version"));
        QVERIFY(!emulatorManualPage(QStringLiteral(".SH OPTIONS\n")));
    }

    void helpNamesEveryOption()
    {
        const ParsedArguments parsed = parseEmulatorArguments({QStringLiteral("e"), QStringLiteral("--help")});
        QVERIFY(parsed.helpRequested);
        for (const char *option : {"--dir", "--capacity", "--baud", "--write-delay-us", "--split", "--gap-ms",
                                   "--silent", "--garbage", "--hangup-after", "--boot-on-open", "--corrupt",
                                   "--replay", "--verbose", "--help"})
            QVERIFY2(parsed.helpText.contains(QLatin1String(option)), option);
    }
};

QTEST_GUILESS_MAIN(DeviceEngineTest)
#include "tst_deviceengine.moc"
