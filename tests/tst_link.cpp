// Connecting, disconnecting, the command guard and the routing of replies,
// through a real QSerialPort on a pseudo-terminal.
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "windowharness.h"

#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

using namespace DeviceBytes;

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void connectOpensPortAndAsksForMemory()
    {
        WindowHarness harness;
        QVERIFY(harness.device.isValid());
        harness.device.send("stale bytes from before");
        QVERIFY(harness.connectToDevice());
        const LinkState &link = linkState();
        QVERIFY(link.portOpen);
        QCOMPARE(link.currentOperation, Operation::Memory);
        QCOMPARE(link.serialPort.baudRate(), 115200);
        QCOMPARE(link.serialPort.dataBits(), QSerialPort::Data8);
        QCOMPARE(link.serialPort.parity(), QSerialPort::NoParity);
        QCOMPARE(link.serialPort.stopBits(), QSerialPort::OneStop);
        QCOMPARE(link.serialPort.flowControl(), QSerialPort::NoFlowControl);
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("disconnect"));
        QCOMPARE(harness.statusText(), QString());
        QVERIFY(harness.device.staysQuiet());
    }

    void connectFailureReportsAndStaysClosed()
    {
        WindowHarness harness;
        harness.ports()->clear();
        harness.button("pushButton_3")->click();
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: can't use the port"));
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("connect"));
        QVERIFY(!linkState().portOpen);

        harness.ports()->addItem(QStringLiteral("/nonexistent/port"));
        harness.button("pushButton_3")->click();
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: can't use the port"));
        QVERIFY(!linkState().portOpen);
        QVERIFY(harness.device.staysQuiet());
    }

    void disconnectEmptiesWindowAndKeepsRegister()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 1024));
        harness.device.deliver(be32(13) + listingEntries({{"a.txt", 5}}).left(6));
        QCOMPARE(linkState().currentOperation, Operation::List);

        harness.button("pushButton_3")->click();
        QVERIFY(!linkState().portOpen);
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("connect"));
        QCOMPARE(harness.table()->rowCount(), 0);
        QCOMPARE(harness.gauge()->value(), 0);
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
        QCOMPARE(harness.label("availableMemory")->text(), QStringLiteral("0"));
        QCOMPARE(harness.statusText(), QString());
        QCOMPARE(linkState().currentOperation, Operation::List);
        QVERIFY(linkState().rxBuffer.isEmpty());
        QVERIFY(harness.device.staysQuiet());

        // Nothing reaches the program while closed.
        harness.device.send("ignored");
        QTest::qWait(50);
        QVERIFY(linkState().rxBuffer.isEmpty());
    }

    void reconnectAfterCutListingStartsAfresh()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 1024));
        harness.device.deliver(be32(200) + "partial");
        harness.button("pushButton_3")->click();

        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 1024));
        harness.device.deliver(listingReply({{"b.txt", 7}}));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("b.txt")});
        QCOMPARE(linkState().currentOperation, Operation::Idle);
    }

    void eachArrivalHandledOnceAfterReconnects()
    {
        WindowHarness harness;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(harness.connectToDevice());
            harness.button("pushButton_3")->click();
        }
        QVERIFY(harness.connectToDevice());
        // Three plus five bytes: handled twice would send "L" twice or early.
        harness.device.deliver(QByteArray::fromHex("000010"));
        QVERIFY(harness.device.staysQuiet());
        harness.device.deliver(QByteArray::fromHex("0000000400"));
        QCOMPARE(harness.device.readExactly(17), frame('L'));
        QVERIFY(harness.device.staysQuiet());
    }

    void unpluggedDeviceClosesTheLink()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}, 4096, 1024));
        harness.device.hangUp();
        QVERIFY(QTest::qWaitFor([] { return !linkState().portOpen; }, 3000));
        QCOMPARE(harness.statusText(), QStringLiteral("ESP32: connection lost"));
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("connect"));
        QCOMPARE(harness.table()->rowCount(), 0);
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
        QVERIFY(!linkState().serialPort.isOpen());

        // Now a command button asks to connect first.
        harness.answerer->clear();
        QVERIFY(!commandGuardPasses(harness.statusBar(), BusyMessage::Plain));
        QCOMPARE(harness.answerer->boxes.size(), 1);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("connect to device, please"));
    }

    void guardRefusesWhenClosedThenWhenBusy()
    {
        WindowHarness harness;
        harness.statusBar()->showMessage(QStringLiteral("before"));
        linkState().currentOperation = Operation::Download; // left over from a cut transfer
        QVERIFY(!commandGuardPasses(harness.statusBar(), BusyMessage::NamingOperation));
        QCOMPARE(harness.answerer->boxes.size(), 1);
        const ShownBox closed = harness.answerer->boxes.at(0);
        QCOMPARE(closed.icon, QMessageBox::Information);
        QCOMPARE(closed.text, QStringLiteral("connect to device, please"));
        QCOMPARE(closed.title, QString());
        QVERIFY(!closed.hasParent);
        QCOMPARE(closed.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(harness.statusText(), QString());

        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 1024));
        harness.answerer->clear();
        QVERIFY(!commandGuardPasses(harness.statusBar(), BusyMessage::NamingOperation));
        QVERIFY(!commandGuardPasses(harness.statusBar(), BusyMessage::Plain));
        QCOMPARE(harness.answerer->boxes.size(), 2);
        QCOMPARE(harness.answerer->boxes.at(0).icon, QMessageBox::Warning);
        QCOMPARE(harness.answerer->boxes.at(0).text, QStringLiteral("device is busy now: LIST"));
        QCOMPARE(harness.answerer->boxes.at(1).text, QStringLiteral("device is busy now"));

        harness.device.deliver(listingReply({}));
        QVERIFY(commandGuardPasses(harness.statusBar(), BusyMessage::Plain));
        QCOMPARE(harness.answerer->boxes.size(), 2);
    }

    void confirmationAnswers()
    {
        WindowHarness harness;
        harness.answerer->queueBoxAnswer(QMessageBox::Yes);
        QVERIFY(confirmedByUser(harness.statusBar(), QStringLiteral("Sure?")));
        harness.answerer->queueBoxAnswer(QMessageBox::Cancel);
        QVERIFY(!confirmedByUser(harness.statusBar(), QStringLiteral("Sure?")));
        harness.answerer->queueBoxAnswer(QMessageBox::Escape);
        QVERIFY(!confirmedByUser(harness.statusBar(), QStringLiteral("Sure?")));
        QCOMPARE(harness.answerer->boxes.size(), 3);
        const ShownBox box = harness.answerer->boxes.at(0);
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.text, QStringLiteral("Sure?"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::Cancel);
        QCOMPARE(box.defaultButton, QMessageBox::Cancel);
    }

    void exchangeEndedOncePerChain()
    {
        // Memory report and listing are one chain: the register is idle,
        // and the signal comes, only once the listing is in.
        WindowHarness harness;
        QSignalSpy ended(&linkState().notifier, &LinkNotifier::exchangeEnded);
        QVERIFY(harness.connectToDevice());
        QVERIFY(harness.answerMemory(4096, 0));
        QCOMPARE(ended.count(), 0);
        harness.device.deliver(listingReply({{"a.txt", 5}}));
        QCOMPARE(ended.count(), 1);
        harness.device.deliver("stray");
        QCOMPARE(ended.count(), 1);
        harness.button("pushButton_8")->click();
        QCOMPARE(harness.device.readExactly(17), frame('Q'));
        harness.device.deliver("ets Jun  8 2016");
        QCOMPARE(ended.count(), 2);
    }

    void bytesWhileIdleAreDropped()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({}));
        for (int i = 0; i < 20; ++i)
            harness.device.deliver(QByteArray(1000, 'z'));
        QVERIFY(linkState().rxBuffer.isEmpty());
        QCOMPARE(linkState().currentOperation, Operation::Idle);
    }

    void registerMatchesExactly()
    {
        WindowHarness harness;
        QVERIFY(harness.connectToDevice());
        linkState().currentOperation = QStringLiteral("memory");
        harness.device.deliver(memoryReply(4096, 1024));
        QVERIFY(harness.device.staysQuiet());
        QCOMPARE(harness.label("totalMemory")->text(), QStringLiteral("0"));
        linkState().currentOperation = QStringLiteral(" MEMORY");
        harness.device.deliver(memoryReply(4096, 1024));
        QVERIFY(harness.device.staysQuiet());
        QVERIFY(linkState().rxBuffer.isEmpty());
    }

    void scanWhileConnectedLeavesTheLink()
    {
        WindowHarness harness;
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}));
        harness.button("pushButton_6")->click();
        QVERIFY(linkState().portOpen);
        QVERIFY(linkState().serialPort.isOpen());
        QCOMPARE(harness.statusText(), QStringLiteral("scan ports complete"));
        QCOMPARE(harness.tableNames(), QStringList{QStringLiteral("a.txt")});
    }
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
