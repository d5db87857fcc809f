// Faults on the line, played by the emulated receiver: the device unplugged
// mid-transfer, a device that never answers, stray bytes between exchanges.
// Each must end in a clear message or a state a reconnect cures, with no
// local file lost or left half-written.
#include "emulatorharness.h"
#include "emulatorarguments.h"
#include "link/linkstate.h"
#include "testfiles.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>

namespace {

const QByteArray OldContent = "the user's own file, which must survive";
const QString NoAnswer = QStringLiteral("ESP32: no answer");
const QString RemoveNoAnswer = QStringLiteral("ESP32: no answer; the file may be removed: Connect to see");

EngineOptions options(const QStringList &arguments)
{
    const ParsedArguments parsed = parseEmulatorArguments(QStringList{QStringLiteral("spiffs-emulator")} + arguments);
    if (!parsed.error.isEmpty())
        qFatal("bad emulator arguments: %s", qPrintable(parsed.error));
    return parsed.options;
}

// Bytes a connect brings from a store holding one file of that name.
qint64 connectReplyFor(const QByteArray &name)
{
    return 8 + 4 + 8 + name.size();
}

bool lineLost(EmulatorHarness &harness)
{
    return EmulatorHarness::waitFor([] { return !linkState().portOpen; })
           && harness.statusText() == QLatin1String("ESP32: connection lost");
}

bool reconnect(EmulatorHarness &harness)
{
    return harness.replugAndRescan() && harness.connectAndWait();
}

} // namespace

class FaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void hangUpMidDownload_data()
    {
        QTest::addColumn<qint64>("contentBeforeCut");
        QTest::newRow("in the size") << qint64(-2);
        QTest::newRow("after the size") << qint64(0);
        QTest::newRow("halfway") << qint64(10000);
        QTest::newRow("one byte short") << qint64(19999);
    }
    void hangUpMidDownload()
    {
        QFETCH(qint64, contentBeforeCut);
        const QByteArray content = patterned(20000, 1);
        const qint64 cut = connectReplyFor("big.bin") + 4 + contentBeforeCut;
        EmulatorHarness harness(options({QStringLiteral("--hangup-after"), QString::number(cut)}));
        QVERIFY(harness.store().store("big.bin", content));
        QTemporaryDir folder;
        const QString local = writeLocalFile(folder, QStringLiteral("big.bin"), OldContent);
        QVERIFY(harness.connectAndWait());

        QVERIFY(harness.selectFile(QStringLiteral("big.bin")));
        harness.answerer->queueFileAnswer(folder.path());
        harness.button("pushButton")->click();
        QVERIFY(lineLost(harness));
        QCOMPARE(readLocalFile(local), OldContent);
        QCOMPARE(folderEntries(folder.path()), QStringList{QStringLiteral("big.bin")});

        QVERIFY(reconnect(harness));
        QVERIFY(harness.download(QStringLiteral("big.bin"), folder.path()));
        QCOMPARE(harness.statusText(), QStringLiteral("downloading complete"));
        QCOMPARE(readLocalFile(local), content);
        QCOMPARE(folderEntries(folder.path()), QStringList{QStringLiteral("big.bin")});
    }

    void hangUpMidUpload_data()
    {
        QTest::addColumn<int>("acksBeforeCut");
        QTest::newRow("before the first ack") << 0;
        QTest::newRow("after the start") << 1;
        QTest::newRow("halfway") << 80;
        QTest::newRow("before the end") << 158; // 157 chunks, then the end frame
    }
    void hangUpMidUpload()
    {
        QFETCH(int, acksBeforeCut);
        const QByteArray content = patterned(5000, 2);
        EmulatorHarness harness(options({QStringLiteral("--hangup-after"),
                                         QString::number(connectReplyFor("old.txt") + acksBeforeCut)}));
        QVERIFY(harness.store().store("old.txt", "old"));
        QVERIFY(harness.connectAndWait());
        QTemporaryDir folder;
        const QString local = writeLocalFile(folder, QStringLiteral("new.bin"), content);

        harness.answerer->queueFileAnswer(local);
        harness.button("pushButton_2")->click();
        QVERIFY(lineLost(harness));
        QVERIFY(!harness.store().find("new.bin"));
        QCOMPARE(readLocalFile(local), content);

        QVERIFY(reconnect(harness));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("old.txt")});
        QVERIFY(harness.upload(local));
        QCOMPARE(harness.statusText(), QStringLiteral("uploading complete"));
        QCOMPARE(harness.store().find("new.bin")->content, content);
    }

    void silentDevice_data()
    {
        QTest::addColumn<QString>("letter");
        QTest::addColumn<QByteArray>("button");
        QTest::newRow("download") << QStringLiteral("D") << QByteArray("pushButton");
        QTest::newRow("upload") << QStringLiteral("U") << QByteArray("pushButton_2");
        QTest::newRow("remove") << QStringLiteral("R") << QByteArray("pushButton_4");
        QTest::newRow("format") << QStringLiteral("E") << QByteArray("pushButton_5");
        QTest::newRow("execute") << QStringLiteral("X") << QByteArray("pushButton_7");
        QTest::newRow("reboot") << QStringLiteral("Q") << QByteArray("pushButton_8");
    }
    void silentDevice()
    {
        QFETCH(QString, letter);
        QFETCH(QByteArray, button);
        EmulatorHarness harness(options({QStringLiteral("--silent"), letter}));
        QVERIFY(harness.store().store("song.mp3", patterned(300, 3)));
        QVERIFY(harness.connectAndWait());
        QTemporaryDir folder;
        const QString local = writeLocalFile(folder, QStringLiteral("song.mp3"), OldContent);

        QVERIFY(harness.selectFile(QStringLiteral("song.mp3")));
        harness.answerer->queueFileAnswer(button == "pushButton_2" ? local : folder.path());
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button(button.constData())->click();
        QTest::qWait(300);
        // No answer: the operation waits, and the other buttons say so.
        QVERIFY(!linkState().currentOperation.isEmpty());
        harness.answerer->clear();
        harness.button("pushButton_7")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QVERIFY(harness.answerer->boxes.at(0).text.startsWith(QLatin1String("device is busy now")));
        QCOMPARE(readLocalFile(local), OldContent);
        QCOMPARE(folderEntries(folder.path()), QStringList{QStringLiteral("song.mp3")});

        // Disconnect and connect again: the link starts afresh.
        harness.button("pushButton_3")->click();
        QTest::qWait(int(DeviceEngine::bootDurationUs() / 1000) + 100);
        QVERIFY(harness.connectAndWait());
        // The device still ignores that letter; any other command works.
        if (letter != QLatin1String("U")) {
            const QByteArray next = patterned(100, 9);
            QVERIFY(harness.upload(writeLocalFile(folder, QStringLiteral("next.bin"), next)));
            QCOMPARE(harness.statusText(), QStringLiteral("uploading complete"));
            QCOMPARE(harness.store().find("next.bin")->content, next);
        } else {
            QVERIFY(harness.download(QStringLiteral("song.mp3"), folder.path()));
            QCOMPARE(readLocalFile(local), harness.store().find("song.mp3")->content);
        }
    }

    // No exchange waits for ever: after a silence longer than it can need,
    // "ESP32: no answer", the operation ends with no local file touched,
    // what comes late is dropped, and the next command is answered right.
    void silenceEndsTheOperation_data()
    {
        QTest::addColumn<QStringList>("emulator");
        QTest::addColumn<QByteArray>("button");
        QTest::newRow("listing") << QStringList{"--silent", "L"} << QByteArray("pushButton_6");
        QTest::newRow("download") << QStringList{"--silent", "D"} << QByteArray("pushButton");
        QTest::newRow("download, stalled mid-file") << QStringList{"--split", "700", "--gap-ms", "600"}
                                                    << QByteArray("pushButton");
        QTest::newRow("upload start") << QStringList{"--silent", "U"} << QByteArray("pushButton_2");
        QTest::newRow("upload end") << QStringList{"--silent", "u"} << QByteArray("pushButton_2");
        QTest::newRow("remove") << QStringList{"--silent", "R"} << QByteArray("pushButton_4");
        QTest::newRow("format") << QStringList{"--silent", "E"} << QByteArray("pushButton_5");
        QTest::newRow("execute") << QStringList{"--silent", "X"} << QByteArray("pushButton_7");
        QTest::newRow("reboot") << QStringList{"--silent", "Q"} << QByteArray("pushButton_8");
    }
    void silenceEndsTheOperation()
    {
        QFETCH(QStringList, emulator);
        QFETCH(QByteArray, button);
        EmulatorHarness harness(options(emulator));
        QVERIFY(harness.store().store("song.mp3", patterned(3000, 3)));
        linkState().answerLimitMs = 400;
        linkState().formatLimitMs = 400;
        QTemporaryDir folder;
        const QString local = writeLocalFile(folder, QStringLiteral("song.mp3"), OldContent);
        if (button == "pushButton_6") { // the listing: Connect's own
            harness.clickConnect();
        } else {
            QVERIFY(harness.connectAndWait());
            QVERIFY(harness.selectFile(QStringLiteral("song.mp3")));
            harness.answerer->queueFileAnswer(button == "pushButton_2" ? local : folder.path());
            harness.answerer->queueBoxAnswer(QMessageBox::Yes);
            harness.button(button.constData())->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(harness.statusText(), button == "pushButton_4" ? RemoveNoAnswer : NoAnswer, 5000);
        QVERIFY(harness.waitUntilIdle());
        // The receiver removes before it answers: unanswered, the removal
        // may have happened, and the table kept is not the receiver's. The
        // message says so, whole in the status bar.
        if (button == "pushButton_4") {
            QVERIFY(!harness.store().find("song.mp3") && harness.tableNames().contains(QStringLiteral("song.mp3")));
            QVERIFY(harness.statusBar()->fontMetrics().horizontalAdvance(RemoveNoAnswer) < harness.statusBar()->width() - 24);
        }
        QVERIFY(linkState().portOpen);
        QCOMPARE(readLocalFile(local), OldContent);
        QCOMPARE(folderEntries(folder.path()), QStringList{QStringLiteral("song.mp3")});
        QVERIFY(linkState().rxBuffer.isEmpty());

        // The next command meets no late byte of the last: an upload ends
        // with the receiver's true figures and files; where uploads go
        // unanswered, a download brings the file as it is.
        linkState().answerLimitMs = AnswerSilenceMs;
        if (button == "pushButton_2") {
            QVERIFY(harness.download(QStringLiteral("song.mp3"), folder.path()));
            QCOMPARE(readLocalFile(local), harness.store().find("song.mp3")->content);
            return;
        }
        const QByteArray next = patterned(100, 9);
        QVERIFY(harness.upload(writeLocalFile(folder, QStringLiteral("next.bin"), next)));
        QCOMPARE(harness.store().find("next.bin")->content, next);
        QCOMPARE(harness.label("totalMemory")->text(), QString::number(harness.store().capacity()));
        QCOMPARE(harness.label("availableMemory")->text(),
                 QString::number(harness.store().capacity() - harness.store().usedBytes()));
        // A receiver that never lists says so once more after the upload.
        const bool listed = button != "pushButton_6";
        QCOMPARE(harness.statusText(), listed ? QStringLiteral("uploading complete") : NoAnswer);
        QCOMPARE(harness.tableNames().contains(QStringLiteral("next.bin")), listed);
    }

    void strayBytesBetweenOperations()
    {
        EngineOptions noisy;
        noisy.garbage = true;
        noisy.garbageIntervalUs = 1000000;
        EmulatorHarness harness(noisy);
        const QByteArray content = patterned(3000, 4);
        QVERIFY(harness.store().store("song.mp3", content));
        QVERIFY(harness.connectAndWait());
        QTemporaryDir folder;
        // Waits for a burst of noise and lets the program read it while idle;
        // the next burst is a second away, time enough for an exchange that
        // starts at once. (Noise that crossed a request on the wire would be
        // taken for its answer: the replies carry no framing to tell them
        // apart.) Where a dialog comes first, the noise is awaited while it is
        // open, so a slow dialog cannot let the next burst cross the request.
        const auto noise = [&harness] {
            const qint64 sent = harness.engine().bytesSent();
            QVERIFY(EmulatorHarness::waitFor([&] { return harness.engine().bytesSent() > sent; }));
            QTest::qWait(10);
        };

        harness.answerer->setBeforeFileAnswer(noise);
        QVERIFY(harness.download(QStringLiteral("song.mp3"), folder.path()));
        QCOMPARE(readLocalFile(folder.filePath(QStringLiteral("song.mp3"))), content);
        harness.answerer->setBeforeFileAnswer(noise);
        QVERIFY(harness.upload(writeLocalFile(folder, QStringLiteral("copy.mp3"), content)));
        QCOMPARE(harness.statusText(), QStringLiteral("uploading complete"));
        QCOMPARE(harness.store().find("copy.mp3")->content, content);
        noise();
        QVERIFY(harness.selectFile(QStringLiteral("copy.mp3")));
        harness.button("pushButton_7")->click();
        QVERIFY(harness.waitUntilIdle());
        QCOMPARE(harness.statusText(), QStringLiteral("file opened on ESP32"));
        QVERIFY(linkState().rxBuffer.isEmpty());
        QVERIFY(harness.engine().bytesSkipped() == 0);
    }
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
