// Remove, format, execute and reboot through the window, with a scripted
// device on a pseudo-terminal.
#include "link/linkstate.h"
#include "link/operation.h"
#include "windowharness.h"
#include "windowwaits.h"

#include <QtTest/QTest>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

using namespace DeviceBytes;

namespace {

const QVector<FileEntry> files = {{"a.txt", 5}, {"song.mp3", 4000}, {"readme", 10}};

QString currentOperation()
{
    return linkState().currentOperation;
}

bool ready(WindowHarness &harness, const QString &selected = QString())
{
    if (!harness.connectWithFiles(files, 4096, 1024))
        return false;
    harness.device.readAvailable();
    return selected.isEmpty() || harness.selectFile(selected);
}

} // namespace

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void everyCommandAsksToConnectFirst_data()
    {
        QTest::addColumn<QByteArray>("button");
        for (const char *name : {"pushButton", "pushButton_2", "pushButton_4", "pushButton_5", "pushButton_7",
                                 "pushButton_8"})
            QTest::newRow(name) << QByteArray(name);
    }
    void everyCommandAsksToConnectFirst()
    {
        QFETCH(QByteArray, button);
        WindowHarness harness;
        linkState().currentOperation = Operation::Erase; // a disconnect left it set
        harness.statusBar()->showMessage(QStringLiteral("before"));
        harness.button(button.constData())->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).icon, QMessageBox::Information);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("connect to device, please"));
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(harness.answerer->fileDialogsShown, 0);
    }

    void busyComesBeforeSelection_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("download") << QByteArray("pushButton") << QStringLiteral("device is busy now: LIST");
        QTest::newRow("upload") << QByteArray("pushButton_2") << QStringLiteral("device is busy now: LIST");
        QTest::newRow("remove") << QByteArray("pushButton_4") << QStringLiteral("device is busy now");
        QTest::newRow("format") << QByteArray("pushButton_5") << QStringLiteral("device is busy now");
        QTest::newRow("execute") << QByteArray("pushButton_7") << QStringLiteral("device is busy now");
        QTest::newRow("reboot") << QByteArray("pushButton_8") << QStringLiteral("device is busy now");
    }
    void busyComesBeforeSelection()
    {
        QFETCH(QByteArray, button);
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0)); // the listing is still to come
        harness.button(button.constData())->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).icon, QMessageBox::Warning);
        QTEST(harness.answerer->boxes.at(0).text, "text");
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(currentOperation(), Operation::List);
        QVERIFY(harness.device.staysQuiet());
    }

    void selectionIsNeeded_data()
    {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<bool>("deselectWithControl");
        QTest::newRow("remove, none") << QByteArray("pushButton_4") << false;
        QTest::newRow("remove, deselected") << QByteArray("pushButton_4") << true;
        QTest::newRow("execute, none") << QByteArray("pushButton_7") << false;
        QTest::newRow("execute, deselected") << QByteArray("pushButton_7") << true;
    }
    void selectionIsNeeded()
    {
        QFETCH(QByteArray, button);
        QFETCH(bool, deselectWithControl);
        WindowHarness harness;
        QVERIFY(ready(harness));
        if (deselectWithControl) {
            QTableWidget *table = harness.table();
            QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
            QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              table->visualRect(table->model()->index(0, 1)).center());
            QCOMPARE(table->currentRow(), 0);
        }
        harness.button(button.constData())->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).icon, QMessageBox::Information);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("select file, please"));
        QCOMPARE(currentOperation(), Operation::Idle);
        QVERIFY(harness.device.staysQuiet());
    }

    void removeConfirmedAndRefreshed()
    {
        WindowHarness harness;
        QVERIFY(ready(harness, QStringLiteral("a.txt")));
        harness.statusBar()->showMessage(QStringLiteral("kept"));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        const ShownBox question = harness.answerer->boxes.at(0);
        QCOMPARE(question.icon, QMessageBox::Warning);
        QCOMPARE(question.text, QStringLiteral("Do you want to delete a.txt?"));
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(question.defaultButton, QMessageBox::Cancel);
        QVERIFY(!question.hasParent);
        QCOMPARE(question.title, QString());

        const QByteArray request = QByteArray("K-Wanderer______R") + QByteArray::fromHex("00000006") + "/a.txt";
        QCOMPARE(request.size(), 27);
        QCOMPARE(harness.device.readSizeOf(request), request);
        QCOMPARE(currentOperation(), Operation::Remove);
        QCOMPARE(harness.statusText(), QStringLiteral("kept"));

        harness.device.deliver("R");
        QCOMPARE(harness.device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
        QCOMPARE(harness.tableNames().size(), 3); // until the new listing arrives
        QVERIFY(harness.answerMemory(4096, 0));
        harness.device.deliver(listingReply(files.mid(1)));
        QCOMPARE(harness.tableNames(), (QStringList{QStringLiteral("song.mp3"), QStringLiteral("readme")}));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("4096"));
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
        QCOMPARE(currentOperation(), Operation::Idle);
    }

    void removeNotConfirmed_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("cancel") << int(QMessageBox::Cancel);
        QTest::newRow("escape") << int(QMessageBox::Escape);
    }
    void removeNotConfirmed()
    {
        QFETCH(int, answer);
        WindowHarness harness;
        QVERIFY(ready(harness, QStringLiteral("a.txt")));
        harness.statusBar()->showMessage(QStringLiteral("before"));
        harness.answerer->queueBoxAnswer(QMessageBox::StandardButton(answer));
        harness.button("pushButton_4")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(currentOperation(), Operation::Idle);
        QVERIFY(harness.device.staysQuiet());
    }

    void removeAnswers()
    {
        WindowHarness harness;
        QVERIFY(ready(harness, QStringLiteral("song.mp3")));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        const QByteArray request = frame('R', pathField("/song.mp3"));
        QCOMPARE(harness.device.readSizeOf(request), request);

        harness.device.deliver("Z"); // not an answer: dropped, still waiting
        QCOMPARE(currentOperation(), Operation::Remove);
        QVERIFY(linkState().rxBuffer.isEmpty());
        harness.device.deliver("rR"); // the first byte decides
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: can't remove the file"));
        QCOMPARE(currentOperation(), Operation::Idle);
        QCOMPARE(harness.tableNames().size(), 3);
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("4096"));
        QVERIFY(harness.device.staysQuiet());

        // Two bytes in one arrival, success first.
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        QCOMPARE(harness.device.readSizeOf(request), request);
        harness.device.deliver("Rr");
        QCOMPARE(harness.device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
    }

    void removeSendsTheDevicesOwnNameBytes()
    {
        WindowHarness harness;
        const QByteArray name = "caf\xe9\xc3\xa9.txt"; // one Latin-1 byte, one UTF-8 pair
        QVERIFY(harness.connectWithFiles({{name, 1}}));
        harness.table()->setCurrentCell(0, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        QCOMPARE(harness.answerer->boxes.at(0).text, QString::fromUtf8("Do you want to delete caf\xc3\xa9\xc3\xa9.txt?"));
        const QByteArray request = frame('R', be32(11) + "/" + name);
        QCOMPARE(harness.device.readSizeOf(request), request);
    }

    void formatConfirmed()
    {
        WindowHarness harness;
        QVERIFY(ready(harness));
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_5")->click();
        const ShownBox question = harness.answerer->boxes.at(0);
        QCOMPARE(question.icon, QMessageBox::Warning);
        QCOMPARE(question.text, QStringLiteral("Please, confirm to format SPIFFS"));
        QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(question.defaultButton, QMessageBox::Cancel);
        QCOMPARE(question.statusWhileShown, QStringLiteral("formatting , please wait..."));
        QCOMPARE(harness.device.readSizeOf(frame('E')), frame('E'));
        QVERIFY(harness.device.staysQuiet());
        QCOMPARE(harness.statusText(), QStringLiteral("formatting , please wait..."));
        QCOMPARE(currentOperation(), Operation::Erase);

        harness.device.deliver("?");
        QCOMPARE(currentOperation(), Operation::Erase);
        QVERIFY(harness.device.staysQuiet());
        harness.device.deliver("E\r\n");
        QCOMPARE(harness.device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(harness.statusText(), QStringLiteral("file system ESP32 formatted"));
        QVERIFY(harness.answerMemory(4096, 0));
        harness.device.deliver(listingReply({}));
        QCOMPARE(harness.table()->rowCount(), 0);
        QCOMPARE(harness.statusText(), QStringLiteral("file system ESP32 formatted"));
        QCOMPARE(currentOperation(), Operation::Idle);
    }

    void formatNotConfirmed_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("cancel") << int(QMessageBox::Cancel);
        QTest::newRow("escape") << int(QMessageBox::Escape);
    }
    void formatNotConfirmed()
    {
        QFETCH(int, answer);
        WindowHarness harness;
        QVERIFY(ready(harness));
        harness.answerer->queueBoxAnswer(QMessageBox::StandardButton(answer));
        harness.button("pushButton_5")->click();
        QCOMPARE(harness.answerer->boxes.at(0).statusWhileShown, QStringLiteral("formatting , please wait..."));
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(currentOperation(), Operation::Idle);
        QVERIFY(harness.device.staysQuiet());
    }

    void executeAnswers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("status");
        QTest::newRow("opened") << QByteArray("X") << QStringLiteral("file opened on ESP32");
        QTest::newRow("unsupported") << QByteArray("x") << QStringLiteral("ESP32: file unsupported");
        QTest::newRow("unknown byte") << QByteArray("?") << QStringLiteral("before");
        QTest::newRow("two bytes") << QByteArray("X\n") << QStringLiteral("before");
    }
    void executeAnswers()
    {
        QFETCH(QByteArray, answer);
        WindowHarness harness;
        QVERIFY(ready(harness, QStringLiteral("song.mp3")));
        harness.statusBar()->showMessage(QStringLiteral("before"));
        harness.button("pushButton_7")->click();
        QCOMPARE(harness.answerer->boxes.size(), 0);
        const QByteArray request = QByteArray("K-Wanderer______X") + QByteArray::fromHex("00000009") + "/song.mp3";
        QCOMPARE(request.size(), 30);
        QCOMPARE(harness.device.readSizeOf(request), request);
        QCOMPARE(currentOperation(), Operation::Execute);
        QCOMPARE(harness.statusText(), QStringLiteral("before"));
        harness.device.deliver(answer);
        QTEST(harness.statusText(), "status");
        QCOMPARE(currentOperation(), Operation::Idle);
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(harness.tableNames().size(), 3);
        QVERIFY(harness.device.staysQuiet());
    }

    void executeTypeRule_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("sent");
        QTest::newRow("readme") << QByteArray("readme") << false;
        QTest::newRow("a..b") << QByteArray("a..b") << false;
        QTest::newRow("a.") << QByteArray("a.") << false;
        QTest::newRow("archive.tar.gz") << QByteArray("archive.tar.gz") << true;
        QTest::newRow(".cfg") << QByteArray(".cfg") << true;
    }
    void executeTypeRule()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, sent);
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{name, 1}}));
        harness.table()->setCurrentCell(0, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        harness.button("pushButton_7")->click();
        if (sent) {
            QCOMPARE(harness.answerer->boxes.size(), 0);
            const QByteArray request = frame('X', pathField("/" + name));
            QCOMPARE(harness.device.readSizeOf(request), request);
        } else {
            QCOMPARE(harness.answerer->boxes.size(), 1);
            QCOMPARE(harness.answerer->boxes.at(0).icon, QMessageBox::Information);
            QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("unsupported file for execution"));
            QCOMPARE(harness.statusText(), QString());
            QVERIFY(harness.device.staysQuiet());
        }
    }

    // The banner comes in pieces. Until it has ended the register stays
    // "REBOOT": a command meanwhile is refused rather than sent to a receiver
    // not listening yet, and no piece is read as its answer. Then commands
    // work without reconnecting.
    void rebootThenCommandsWorkAtOnce_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("quietMs"); // what the last piece is followed by before the end
        QTest::newRow("boot text") << QByteArrayList{"ets Jun  8 2016 00:22:57\r\n\r\n",
                                                     "rst:0x1 (POWERON_RESET),boot:0x13 (SPI_FAST_FLASH_BOOT)\r\n",
                                                     "load:0x3fff0018,len:4\r\nentry 0x400806a8\r\n"}
                                   << LineSettler::BootQuietMs;
        QTest::newRow("other bytes") << QByteArrayList{"Z"} << LineSettler::OpeningQuietMs;
    }
    void rebootThenCommandsWorkAtOnce()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, quietMs);
        WindowHarness harness;
        QVERIFY(ready(harness));
        harness.button("pushButton_8")->click();
        QCOMPARE(harness.answerer->boxes.size(), 0);
        QCOMPARE(harness.device.readSizeOf(frame('Q')), frame('Q'));
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32 restarted"));
        QCOMPARE(currentOperation(), Operation::Reboot);

        for (const QByteArray &piece : pieces) {
            if (piece != pieces.constFirst())
                QTest::qWait(quietMs / 5);
            harness.device.deliver(piece);
            QCOMPARE(currentOperation(), Operation::Reboot);
        }
        QVERIFY(harness.selectFile(QStringLiteral("a.txt")));
        harness.button("pushButton_7")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("device is busy now"));
        QVERIFY(harness.device.staysQuiet(quietMs / 5));

        QVERIFY(waitForIdleLink(quietMs * 4));
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(harness.tableNames().size(), 3);
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("4096"));
        QVERIFY(linkState().serialPort.isOpen());

        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        const QByteArray request = frame('R', pathField("/a.txt"));
        QCOMPARE(harness.device.readSizeOf(request), request);
        harness.device.deliver("R");
        QCOMPARE(harness.device.readSizeOf(frame('M')), frame('M'));
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
    }

    void rebootWithoutSelectionOrAnswer()
    {
        WindowHarness harness;
        QVERIFY(ready(harness));
        harness.button("pushButton_8")->click();
        QCOMPARE(harness.device.readSizeOf(frame('Q')), frame('Q'));
        harness.button("pushButton_8")->click();
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("device is busy now"));
        // A reconnect is the way out when the device stays silent.
        harness.button("pushButton_3")->click();
        QVERIFY(harness.connectToDevice());
        QCOMPARE(currentOperation(), Operation::Memory);
    }

    void bytesWhileIdleDoNotSpoilTheNextAnswer()
    {
        WindowHarness harness;
        QVERIFY(ready(harness, QStringLiteral("a.txt")));
        harness.device.deliver("r"); // stray, while idle
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        harness.button("pushButton_4")->click();
        const QByteArray request = frame('R', pathField("/a.txt"));
        QCOMPARE(harness.device.readSizeOf(request), request);
        harness.device.deliver("R");
        QCOMPARE(harness.statusText(), QStringLiteral("removing complete"));
    }
};

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
