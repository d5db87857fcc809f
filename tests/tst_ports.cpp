// The receiver's port on each desktop, as each lists its ports: the window's
// first choice, spiffs-cli's choice and the top of `spiffs-cli ports` are
// the same port. And why a port does not open, in each desktop's words.
#include "portaccess.h"

#include "core/portdiscovery.h"
#include "core/portopening.h"

#include <QtTest/QtTest>

using PortDiscovery::SystemPort;
using PortOpening::Desktop;

namespace {

// "name" or "name@vvvv:pppp", as the system reports a port.
QList<SystemPort> systemPortsFrom(const QStringList &listed)
{
    QList<SystemPort> ports;
    for (const QString &entry : listed) {
        SystemPort port;
        port.name = entry.section(QLatin1Char('@'), 0, 0);
        const QString ids = entry.section(QLatin1Char('@'), 1);
        if (!ids.isEmpty()) {
            port.hasUsbIds = true;
            port.vendorId = quint16(ids.section(QLatin1Char(':'), 0, 0).toUInt(nullptr, 16));
            port.productId = quint16(ids.section(QLatin1Char(':'), 1).toUInt(nullptr, 16));
        }
        ports << port;
    }
    return ports;
}

QList<PortDescription> descriptionsOf(const QList<SystemPort> &system)
{
    QList<PortDescription> ports;
    for (const SystemPort &port : system) {
        PortDescription described;
        described.name = port.name;
        described.hasUsbIds = port.hasUsbIds;
        described.vendorId = port.vendorId;
        described.productId = port.productId;
        ports << described;
    }
    return ports;
}

} // namespace

class TestPorts : public QObject
{
    Q_OBJECT

private slots:
    void receiverPortOnEachDesktop_data();
    void receiverPortOnEachDesktop();
    void openFailureInEachDesktopsWords_data();
    void openFailureInEachDesktopsWords();
};

void TestPorts::receiverPortOnEachDesktop_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("receiver");

    const QString bridge = QStringLiteral("@10c4:ea60");
    QTest::newRow("Linux: the first port never answers") << QStringList{"ttyS0", "ttyS1", "ttyUSB0" + bridge}
                                                         << "ttyUSB0";
    QTest::newRow("Linux: an Arduino before the bridge")
            << QStringList{"ttyACM0@2341:0043", "ttyUSB0" + bridge} << "ttyUSB0";
    QTest::newRow("macOS, Silicon Labs' driver, dial-in first")
            << QStringList{"tty.Bluetooth-Incoming-Port", "tty.SLAB_USBtoUART" + bridge, "cu.Bluetooth-Incoming-Port",
                           "cu.SLAB_USBtoUART" + bridge}
            << "cu.SLAB_USBtoUART";
    QTest::newRow("macOS, Silicon Labs' driver, no ids reported")
            << QStringList{"tty.SLAB_USBtoUART", "cu.SLAB_USBtoUART"} << "cu.SLAB_USBtoUART";
    QTest::newRow("macOS, its own driver, dial-in first")
            << QStringList{"tty.Bluetooth-Incoming-Port", "tty.usbserial-0001" + bridge, "cu.Bluetooth-Incoming-Port",
                           "cu.usbserial-0001" + bridge}
            << "cu.usbserial-0001";
    QTest::newRow("macOS, its own driver, call-out first")
            << QStringList{"cu.usbserial-0001" + bridge, "tty.usbserial-0001" + bridge} << "cu.usbserial-0001";
    QTest::newRow("Windows: COM1 before the bridge") << QStringList{"COM1", "COM3" + bridge} << "COM3";
    QTest::newRow("Windows: a USB adapter of another make first")
            << QStringList{"COM4@0403:6001", "COM10" + bridge} << "COM10";
}

void TestPorts::receiverPortOnEachDesktop()
{
    QFETCH(QStringList, listed);
    QFETCH(QString, receiver);
    const QList<SystemPort> system = systemPortsFrom(listed);

    const int windowIndex = PortDiscovery::preferredPortIndex(system, {});
    QVERIFY(windowIndex >= 0);
    QCOMPARE(system.at(windowIndex).name, receiver);

    const PortChoice choice = choosePortAutomatically(system, {});
    QVERIFY2(choice.chosen, qPrintable(choice.problem));
    QCOMPARE(*choice.chosen, receiver);

    const QList<PortDescription> shown = arrangeForListing(descriptionsOf(system), {});
    QCOMPARE(shown.constFirst().name, receiver);
    QVERIFY(shown.constFirst().preferred && shown.constFirst().receiverBridge);
    // A dial-in twin is the same bridge, but not one to open.
    for (const PortDescription &port : shown) {
        QCOMPARE(port.preferred, port.name == receiver);
        if (port.name.startsWith(QLatin1String("tty.")))
            QVERIFY2(!port.receiverBridge, qPrintable(port.name));
    }
}

void TestPorts::openFailureInEachDesktopsWords_data()
{
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("errorString");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("says");

    const int windows = int(Desktop::Windows);
    const int mac = int(Desktop::MacOS);
    const int linux = int(Desktop::Linux);
    // As Qt reports them on Windows: the system's own words.
    QTest::newRow("Windows: held by another program")
            << windows << int(QSerialPort::PermissionError) << "Access is denied." << "COM3"
            << "in use: another program has it open";
    QTest::newRow("Windows: no such port") << windows << int(QSerialPort::DeviceNotFoundError)
                                           << "The system cannot find the file specified." << "COM7"
                                           << "Device Manager lists it under Ports (COM & LPT)";
    QTest::newRow("Windows: no port at all") << windows << int(QSerialPort::NoError) << "" << ""
                                             << "Silicon Labs' CP210x VCP driver";
    QTest::newRow("macOS: held by another program")
            << mac << int(QSerialPort::PermissionError) << "Permission denied" << "/dev/tty"
            << "busy: another program is using it";
    QTest::newRow("macOS: unplugged") << mac << int(QSerialPort::DeviceNotFoundError) << "No such file or directory"
                                      << "/dev/cu.usbserial-0001" << "no such port: is the receiver plugged in?";
    QTest::newRow("macOS: no port at all") << mac << int(QSerialPort::NoError) << "" << ""
                                           << "/dev/cu.usbserial-... with the driver macOS brings";
    QTest::newRow("Linux: no port at all") << linux << int(QSerialPort::NoError) << "" << ""
                                           << "Linux names it /dev/ttyUSB0";
    QTest::newRow("Linux: held by another program")
            << linux << int(QSerialPort::PermissionError) << "Permission denied" << "/dev/tty"
            << "busy: another program is using it";
}

void TestPorts::openFailureInEachDesktopsWords()
{
    QFETCH(int, desktop);
    QFETCH(int, error);
    QFETCH(QString, errorString);
    QFETCH(QString, port);
    QFETCH(QString, says);

    const QString reason = PortOpening::failureReason(QSerialPort::SerialPortError(error), errorString, port,
                                                      PortOpening::udevRuleFolders(), Desktop(desktop));
    QVERIFY2(reason.contains(says), qPrintable(reason));
    // Neither has groups to join nor udev rules to install.
    if (Desktop(desktop) != Desktop::Linux) {
        for (const char *word : {"group", "udev", "usermod", "/dev/ttyUSB"})
            QVERIFY2(!reason.contains(QLatin1String(word)), qPrintable(reason));
    }
    // spiffs-cli says the same when it finds no port to choose.
    if (port.isEmpty()) {
        const PortChoice choice = choosePort({}, {}, {}, Desktop(desktop));
        QVERIFY(!choice.chosen);
        QVERIFY2(choice.details.join(QLatin1Char('\n')).contains(PortOpening::noPortAdvice(Desktop(desktop))),
                 qPrintable(choice.details.join(QLatin1Char('\n'))));
    }
}

QTEST_GUILESS_MAIN(TestPorts)
#include "tst_ports.moc"
