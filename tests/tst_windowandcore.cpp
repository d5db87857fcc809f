// The same bytes from the receiver fed to the window and to the core's
// DeviceSession, each on a real port to a pseudo-terminal of its own. Where
// the two differ, docs/window-and-core.md says how and why: each row of its
// table is a data row here, under the same name.
#include "devicebytes.h"
#include "ptydevice.h"
#include "testfiles.h"
#include "windowharness.h"

#include "core/devicesession.h"
#include "core/receiverline.h"
#include "link/linkstate.h"
#include "link/operation.h"

#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>

using namespace DeviceBytes;

namespace {

const QByteArray uploaded = patterned(40, 5);

QByteArray chunk(int offset, int size)
{
    return frame('U', char(size) + uploaded.mid(offset, size));
}

const QByteArray bothChunks = chunk(0, 32) + chunk(32, 8);

// Its second entry announces a 20-byte name; one byte follows.
QByteArray brokenListing()
{
    const QByteArray body = listingEntries({{"b.txt", 5}}) + be32(20) + be32(1) + "c";
    return be32(quint32(body.size())) + body;
}

// The frame that asks, the same from both sides.
QByteArray requestFrame(const QString &exchange)
{
    if (exchange == QLatin1String("upload"))
        return uploadStartFrame("/b.txt", quint32(uploaded.size()));
    if (exchange == QLatin1String("execute"))
        return frame('X', pathField("/a.txt"));
    if (exchange == QLatin1String("reboot"))
        return frame('Q');
    return frame('L');
}

struct Row
{
    const char *name;
    QString exchange;
    QByteArrayList arrivals;
    QByteArray windowWrites;
    QString windowShows; // the last status since the request; empty: none
    QString windowRegister;
    QStringList windowTable;
    QByteArray coreWrites;
    DeviceReply::Error coreError;
};

const QVector<Row> &rows()
{
    const QStringList kept{QStringLiteral("a.txt")};
    static const QVector<Row> all = {
        {"upload finished early", QStringLiteral("upload"), {"A", "u"}, chunk(0, 32) + frame('M'),
         QStringLiteral("ESP32: uploading incomplete"), Operation::Memory, kept, chunk(0, 32),
         DeviceReply::BadReplyError},
        {"upload ready after the end", QStringLiteral("upload"), {"A", "A", "A", "A", "u"},
         bothChunks + frame('u') + frame('u') + frame('M'), QStringLiteral("uploading complete"), Operation::Memory,
         kept, bothChunks + frame('u'), DeviceReply::NoError},
        {"upload ready after the end, then silence", QStringLiteral("upload"), {"A", "A", "A", "A"},
         bothChunks + frame('u') + frame('u'), QStringLiteral("uploaded 100%"), Operation::Upload, kept,
         bothChunks + frame('u'), DeviceReply::TimeoutError},
        {"execute neither yes nor no", QStringLiteral("execute"), {"Z"}, QByteArray(), QString(), Operation::Idle,
         kept, QByteArray(), DeviceReply::BadReplyError},
        {"reboot without boot text", QStringLiteral("reboot"), {"Z"}, QByteArray(), QStringLiteral("ESP32 restarted"),
         Operation::Idle, kept, QByteArray(), DeviceReply::TimeoutError},
        {"listing with a broken entry", QStringLiteral("listing"), {brokenListing()}, QByteArray(),
         QStringLiteral("ESP32: bad file list"), Operation::Idle, {QStringLiteral("b.txt")}, QByteArray(),
         DeviceReply::BadReplyError},
    };
    return all;
}

// Connected and idle with a.txt listed; for a listing, connected with the
// memory request read.
bool connectWindow(WindowHarness &window, const QString &exchange)
{
    if (exchange == QLatin1String("listing"))
        return window.connectToDevice();
    return window.connectWithFiles({{"a.txt", 3}});
}

// Asks as the user would; true once the device end has read the request.
bool askInWindow(WindowHarness &window, const QString &exchange, const QTemporaryDir &folder)
{
    if (exchange == QLatin1String("listing"))
        return window.answerMemory(1000000, 0);
    if (exchange == QLatin1String("upload")) {
        window.answerer->queueFileAnswer(writeLocalFile(folder, QStringLiteral("b.txt"), uploaded));
        window.button("pushButton_2")->click();
    } else if (exchange == QLatin1String("execute")) {
        if (!window.selectFile(QStringLiteral("a.txt")))
            return false;
        window.button("pushButton_7")->click();
    } else {
        window.button("pushButton_8")->click();
    }
    return window.device.readSizeOf(requestFrame(exchange)) == requestFrame(exchange);
}

// The same request of the session; null unless the device end has read it.
DeviceReply *askInCore(DeviceSession &session, PtyDevice &device, const QString &exchange)
{
    DeviceReply *reply = nullptr;
    if (exchange == QLatin1String("listing")) {
        reply = session.requestListing();
        // With no memory report yet, the session asks for one first.
        if (device.readSizeOf(frame('M')) != frame('M'))
            return nullptr;
        device.deliver(memoryReply(1000000, 0));
    } else if (exchange == QLatin1String("upload")) {
        reply = session.upload("b.txt", uploaded);
    } else if (exchange == QLatin1String("execute")) {
        reply = session.execute("a.txt");
    } else {
        reply = session.reboot();
    }
    return device.readSizeOf(requestFrame(exchange)) == requestFrame(exchange) ? reply : nullptr;
}

} // namespace

class WindowAndCoreTest : public QObject
{
    Q_OBJECT

private slots:
    void sameBytesToBoth_data()
    {
        QTest::addColumn<QString>("exchange");
        QTest::addColumn<QByteArrayList>("arrivals");
        QTest::addColumn<QByteArray>("windowWrites");
        QTest::addColumn<QString>("windowShows");
        QTest::addColumn<QString>("windowRegister");
        QTest::addColumn<QStringList>("windowTable");
        QTest::addColumn<QByteArray>("coreWrites");
        QTest::addColumn<int>("coreError");
        for (const Row &row : rows()) {
            QTest::newRow(row.name) << row.exchange << row.arrivals << row.windowWrites << row.windowShows
                                    << row.windowRegister << row.windowTable << row.coreWrites << int(row.coreError);
        }
    }
    void sameBytesToBoth()
    {
        QFETCH(QString, exchange);
        QFETCH(QByteArrayList, arrivals);
        QFETCH(QByteArray, windowWrites);
        QFETCH(QByteArray, coreWrites);
        {
            WindowHarness window;
            QTemporaryDir folder;
            QVERIFY(connectWindow(window, exchange));
            QSignalSpy shown(window.statusBar(), &QStatusBar::messageChanged);
            QVERIFY(askInWindow(window, exchange, folder));
            for (const QByteArray &bytes : arrivals)
                window.device.deliver(bytes);
            QCOMPARE(window.device.readSizeOf(windowWrites), windowWrites);
            QVERIFY(window.device.staysQuiet(50));
            QTEST(shown.isEmpty() ? QString() : shown.constLast().at(0).toString(), "windowShows");
            // A reboot's register empties once the line has settled.
            QFETCH(QString, windowRegister);
            QTRY_COMPARE_WITH_TIMEOUT(linkState().currentOperation, windowRegister, 2000);
            QTEST(window.tableNames(), "windowTable");
        }

        PtyDevice device;
        QSerialPort port;
        port.setPortName(device.portName());
        ReceiverLine::applySettings(port);
        QVERIFY(port.open(QIODevice::ReadWrite));
        DeviceSession session(&port);
        session.setTimeout(300);
        DeviceReply *reply = askInCore(session, device, exchange);
        QVERIFY(reply);
        for (const QByteArray &bytes : arrivals)
            device.deliver(bytes);
        QVERIFY(reply->isFinished() || QSignalSpy(reply, &DeviceReply::finished).wait(5000));
        QTEST(int(reply->error()), "coreError");
        QCOMPARE(device.readSizeOf(coreWrites), coreWrites);
        QVERIFY(device.staysQuiet(50));
        QVERIFY(reply->entries().isEmpty());
    }

    // The table in docs/ and the rows above name the same cases, in order.
    void everyDocumentedRowIsChecked()
    {
        QFile doc(QStringLiteral(SOURCE_DIR "/docs/window-and-core.md"));
        QVERIFY(doc.open(QIODevice::ReadOnly | QIODevice::Text));
        QStringList documented;
        for (const QByteArray &line : doc.readAll().split('\n')) {
            if (line.startsWith("| ") && !line.startsWith("| Row |"))
                documented << QString::fromUtf8(line.mid(2, line.indexOf(" |", 2) - 2));
        }
        QStringList checked;
        for (const Row &row : rows())
            checked << QString::fromLatin1(row.name);
        QCOMPARE(documented, checked);
    }
};

QTEST_MAIN(WindowAndCoreTest)
#include "tst_windowandcore.moc"
