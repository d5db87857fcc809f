// Connecting, disconnecting, the command guard and the routing of replies,
// through a real QSerialPort on a pseudo-terminal.
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/statusfit.h"
#include "link/operation.h"
#include "clirun.h"
#include "windowharness.h"

#include "core/portlock.h"
#include "core/remaindernote.h"
#include "core/portopening.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QRegularExpression>
#include <QtCore/QTemporaryDir>

#include <grp.h>
#include <unistd.h>

#include <QtTest/QSignalSpy>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

using namespace DeviceBytes;

namespace {

bool fits(WindowHarness &harness, const QString &shown)
{
    return harness.statusBar()->fontMetrics().horizontalAdvance(shown) <= messageRoom(harness.statusBar());
}

} // namespace

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    // Each value the register holds is one of the core's exchanges, named in
    // a trace by the same word.
    void registerValuesAreExchanges_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("exchange");
        QTest::newRow("idle") << Operation::Idle << int(Exchange::Idle);
        QTest::newRow("memory") << Operation::Memory << int(Exchange::Memory);
        QTest::newRow("list") << Operation::List << int(Exchange::Listing);
        QTest::newRow("download") << Operation::Download << int(Exchange::Download);
        QTest::newRow("upload") << Operation::Upload << int(Exchange::Upload);
        QTest::newRow("remove") << Operation::Remove << int(Exchange::Remove);
        QTest::newRow("erase") << Operation::Erase << int(Exchange::Format);
        QTest::newRow("execute") << Operation::Execute << int(Exchange::Execute);
        QTest::newRow("reboot") << Operation::Reboot << int(Exchange::Reboot);
    }
    void registerValuesAreExchanges()
    {
        QFETCH(QString, value);
        QFETCH(int, exchange);
        QCOMPARE(int(Operation::exchangeOf(value)), exchange);
        if (!value.isEmpty())
            QCOMPARE(exchangeName(Exchange(exchange)), value);
    }

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

    // A port that does not open: the window says why in a few words, and
    // the tooltip and spiffs-cli say what to do, in the same words.
    void connectFailureReportsAndStaysClosed_data()
    {
        QTest::addColumn<QString>("port"); // "@": the test's own port, held by another program
        QTest::addColumn<QString>("brief");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no port in the list") << "" << "no port is chosen"
                                             << "no port is chosen: " + PortOpening::noPortAdvice();
        QTest::newRow("gone") << "/nonexistent/port" << "no such port" << "no such port: is the receiver plugged in?";
        QTest::newRow("no terminal: ENOTTY") << "/dev/null" << "not a serial port" << "not a serial port";
        QTest::newRow("a regular file") << "file" << "not a serial port" << "not a serial port";
        // The holder's lock names it.
        QTest::newRow("held by another program") << "@" << "busy: another program is using it"
                                                 << "busy: another program is using it (process %1, tst_link, by its "
                                                    "lock file %2); close it and try again";
    }
    void connectFailureReportsAndStaysClosed()
    {
        QFETCH(QString, port);
        QFETCH(QString, brief);
        QFETCH(QString, reason);
        WindowHarness harness;
        QTemporaryDir folder;
        QSerialPort holder(harness.device.portName());
        if (port == QLatin1String("file")) {
            port = folder.filePath(QStringLiteral("ttyUSB0"));
            QFile regular(port);
            QVERIFY(regular.open(QIODevice::WriteOnly));
        } else if (port == QLatin1String("@")) {
            port = harness.device.portName();
            QVERIFY(holder.open(QIODevice::ReadWrite));
            const std::optional<PortLock> lock = PortLocks::find(port);
            QVERIFY(lock && lock->running);
            reason = reason.arg(QCoreApplication::applicationPid()).arg(lock->path);
        }
        harness.ports()->clear();
        if (!port.isEmpty())
            harness.ports()->addItem(port);
        harness.button("pushButton_3")->click();
        const QString head = QStringLiteral("ESP32: can't use the port%1: ").arg(port.isEmpty() ? QString() : QLatin1Char(' ') + port);
        // Whole where it fits; else the port's name gives way, never the reason.
        const QString shown = harness.statusText();
        QVERIFY2(shown.startsWith(QLatin1String("ESP32: can't use the port")) && shown.endsWith(QStringLiteral(": ") + brief),
                 qPrintable(shown));
        QVERIFY2(fits(harness, shown), qPrintable(shown));
        if (harness.statusBar()->fontMetrics().horizontalAdvance(head + brief) <= messageRoom(harness.statusBar()))
            QCOMPARE(shown, head + brief);
        QCOMPARE(harness.statusBar()->toolTip(), head + reason);
        QCOMPARE(harness.button("pushButton_3")->text(), QStringLiteral("connect"));
        QVERIFY(!linkState().portOpen);
        QVERIFY(harness.device.staysQuiet());
        if (!port.isEmpty()) {
            const CliTesting::CliRun cli = CliTesting::runCli({QStringLiteral("-p"), port, QStringLiteral("df")});
            QCOMPARE(cli.exitCode, 3);
            QString said = QString::fromLocal8Bit(cli.err);
            // spiffs-cli's own process id where the window's is.
            said.replace(QRegularExpression(QStringLiteral("process \\d+, spiffs-cli,")),
                         QStringLiteral("process %1, tst_link,").arg(QCoreApplication::applicationPid()));
            QCOMPARE(said, QStringLiteral("spiffs-cli: cannot open %1: %2\n").arg(port, reason));
        }
        // The whole text stays only as long as the message does.
        harness.statusBar()->showMessage(QStringLiteral("next"), 0);
        QCOMPARE(harness.statusBar()->toolTip(), QString());
    }

    // Every short reason fits after the window's own text, whatever the
    // port's name; the tooltip holds the whole.
    void everyOpenFailureFits_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("brief");
        QTest::addColumn<QString>("full");
        using PortOpening::Desktop;
        using PortOpening::PortFacts;
        PortFacts lockedByRoot;
        lockedByRoot.lock = PortLock{QStringLiteral("/var/lock/LCK..serial_by-id_usb-x"), 4242, false, QString(), false};
        PortFacts closed;
        closed.mayUse = false;
        closed.group = QStringLiteral("dialout");
        closed.kind = PortOpening::PortKind::ReceiverBridge;
        PortFacts gone;
        gone.exists = false;
        const QList<std::tuple<int, Desktop, PortFacts>> failures = {
                {QSerialPort::PermissionError, Desktop::Linux, lockedByRoot},
                {QSerialPort::PermissionError, Desktop::Linux, PortFacts()},
                {QSerialPort::PermissionError, Desktop::Linux, closed},
                {QSerialPort::PermissionError, Desktop::MacOS, closed},
                {QSerialPort::DeviceNotFoundError, Desktop::Linux, gone},
                {QSerialPort::UnsupportedOperationError, Desktop::Linux, PortFacts()},
                {QSerialPort::OpenError, Desktop::Linux, PortFacts()},
                {QSerialPort::PermissionError, Desktop::Windows, PortFacts()},
                {QSerialPort::DeviceNotFoundError, Desktop::Windows, PortFacts()}};
        const QString longName = QStringLiteral("/dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_"
                                                "0001-if00-port0");
        for (const auto &[error, desktop, facts] : failures) {
            for (const QString &port : {longName, QStringLiteral("/dev/ttyUSB0"), QString()}) {
                const PortOpening::Reason reason = PortOpening::failureReason(QSerialPort::SerialPortError(error), QString(),
                                                                              port, facts, desktop);
                QTest::addRow("%s, %s", qPrintable(reason.brief), qPrintable(port)) << port << reason.brief << reason.full;
            }
        }
    }
    void everyOpenFailureFits()
    {
        QFETCH(QString, port);
        QFETCH(QString, brief);
        QFETCH(QString, full);
        WindowHarness harness;
        const QString head = QStringLiteral("ESP32: can't use the port");
        const QString name = port.isEmpty() ? QString() : QLatin1Char(' ') + port;
        showFitted(harness.statusBar(), head, name, QStringLiteral(": ") + brief, head + name + QStringLiteral(": ") + full);
        const QString shown = harness.statusText();
        QVERIFY2(shown.startsWith(head) && shown.endsWith(QStringLiteral(": ") + brief), qPrintable(shown));
        QVERIFY2(fits(harness, shown), qPrintable(shown));
        QCOMPARE(harness.statusBar()->toolTip(), head + name + QStringLiteral(": ") + full);
    }

    // The rest of a cut download of a file with a long name: the name gives
    // way, the seconds stay.
    void waitingTextFits()
    {
        WindowHarness harness;
        const QByteArray name("presets/shortwave-bands-2026.txt");
        const ReplyRemainder rest{name, Exchange::Download, 20000, QDateTime::currentMSecsSinceEpoch()};
        QCOMPARE(RemainderNote::leave(harness.device.portName(), rest), QString());
        harness.ports()->setCurrentText(harness.device.portName());
        harness.button("pushButton_3")->click();
        const QString whole = harness.statusBar()->toolTip();
        QVERIFY2(whole.startsWith(QStringLiteral("ESP32: still sending the rest of %1, about ").arg(QLatin1String(name))),
                 qPrintable(whole));
        const QString shown = harness.statusText();
        QVERIFY2(shown.startsWith(QLatin1String("ESP32: still sending the rest of ")), qPrintable(shown));
        QCOMPARE(shown.section(QLatin1Char(','), -1), whole.section(QLatin1Char(','), -1));
        QVERIFY2(fits(harness, shown), qPrintable(shown));
        harness.button("pushButton_3")->click();
    }

    // Without permission: a group to join, and for the receiver's bridge
    // the udev rule: to install, or, when it is installed already, to let
    // apply.
    void permissionAdviceNamesTheRule_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("folder"); // of the three udev reads
        QTest::newRow("not installed") << false << "";
        QTest::newRow("by the package") << true << "lib";
        QTest::newRow("by hand") << true << "etc";
    }
    void permissionAdviceNamesTheRule()
    {
        QFETCH(bool, installed);
        QFETCH(QString, folder);
        QTemporaryDir root;
        QStringList folders;
        for (const QString &name : {QStringLiteral("etc"), QStringLiteral("lib"), QStringLiteral("usr-lib")}) {
            QVERIFY(QDir(root.path()).mkpath(name));
            folders << root.filePath(name);
        }
        const QString rule = root.filePath(folder + QLatin1Char('/') + QLatin1String(PortOpening::UdevRuleName));
        if (installed) {
            QFile file(rule);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(PortOpening::installedUdevRule(folders), installed ? rule : QString());
        // A device file of a group of its own, as ttyUSB0 is dialout's.
        const QString device = root.filePath(QStringLiteral("ttyUSB0"));
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (::geteuid() == 0) {
            const group *dialout = ::getgrnam("dialout");
            QVERIFY(dialout);
            QCOMPARE(::chown(QFile::encodeName(device).constData(), 0, dialout->gr_gid), 0);
        }
        const QString owner = QFileInfo(device).group();
        QVERIFY(!owner.isEmpty() && owner != QLatin1String("root"));
        PortOpening::PortFacts facts = PortOpening::portFacts(device, folders);
        QCOMPARE(facts.group, owner);
        QCOMPARE(facts.installedRule, installed ? rule : QString());
        // As the system lists the bridge: by its USB ids.
        facts.kind = PortOpening::kindOf(device, std::make_pair(quint16(0x10c4), quint16(0xea60)));
        const QString advice = PortOpening::permissionAdvice(facts);
        QVERIFY2(advice.startsWith(QStringLiteral("no permission to use it: %1 belongs to the group %2; join it "
                                                  "(sudo usermod -aG %2 $USER, then log out and in again)")
                                           .arg(device, owner)),
                 qPrintable(advice));
        if (installed) {
            QVERIFY2(advice.contains(QStringLiteral("the receiver's udev rule (%1)").arg(rule)), qPrintable(advice));
            QVERIFY2(advice.endsWith(QLatin1String("is installed: unplug the receiver and plug it in again, or log out "
                                                   "and in again, and it applies")),
                     qPrintable(advice));
        } else {
            QVERIFY2(advice.contains(QLatin1String("install the receiver's udev rule")), qPrintable(advice));
            QVERIFY2(advice.contains(QLatin1String("/usr/share/doc/spiffs-manager/README.md.gz")), qPrintable(advice));
        }
        // A port of another kind gets the group alone.
        facts.kind = PortOpening::kindOf(device, std::make_pair(quint16(0x067b), quint16(0x2303)));
        QCOMPARE(PortOpening::permissionAdvice(facts), advice.section(QLatin1Char(')'), 0, 0) + QLatin1Char(')'));
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
        // A reboot ends once its boot text has.
        QCOMPARE(ended.count(), 1);
        QVERIFY(ended.wait(LineSettler::BootQuietMs * 4));
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
