// The receiver's port on each desktop, as each lists its ports: the window's
// first choice, spiffs-cli's choice and the top of `spiffs-cli ports` are
// the same port. And why a port does not open, in each desktop's words, from
// what the system says of the port: every row runs on every host.
#include "cli/session/portaccess.h"

#include "core/portdiscovery.h"
#include "core/portopening.h"
#include "core/remaindernote.h"

#include <QtTest/QtTest>

using PortDiscovery::SystemPort;
using PortOpening::Desktop;
using PortOpening::PortFacts;
using PortOpening::PortKind;

Q_DECLARE_METATYPE(PortOpening::PortFacts)

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
        described.description = port.description;
        ports << described;
    }
    return ports;
}

} // namespace

class TestPorts : public QObject
{
    Q_OBJECT

private slots:
    // Where both programs keep a note of a cut reply, and the one name a
    // port is filed under, on each desktop from what it reports.
    void noteFolderPerDesktop_data()
    {
        QTest::addColumn<int>("desktop");
        QTest::addColumn<QString>("runtime");
        QTest::addColumn<QString>("cache");
        QTest::addColumn<QString>("folder");
        const int onLinux = int(PortOpening::Desktop::Linux);
        const int onMac = int(PortOpening::Desktop::MacOS);
        const int onWindows = int(PortOpening::Desktop::Windows);
        QTest::newRow("Linux, a runtime folder") << onLinux << "/run/user/1000" << "/home/u/.cache"
                                                  << "/run/user/1000/spiffs-manager";
        QTest::newRow("Linux, none: the cache") << onLinux << "" << "/home/u/.cache" << "/home/u/.cache/spiffs-manager";
        QTest::newRow("Linux, no folder of the user's") << onLinux << "" << "" << "";
        QTest::newRow("macOS: the cache") << onMac << "" << "/Users/u/Library/Caches"
                                          << "/Users/u/Library/Caches/spiffs-manager";
        QTest::newRow("Windows: local application data")
                << onWindows << "" << "" << "C:/Users/u/AppData/Local/spiffs-manager";
    }
    void noteFolderPerDesktop()
    {
        QFETCH(int, desktop);
        QFETCH(QString, runtime);
        QFETCH(QString, cache);
        QTEST(RemainderNote::folderFor(PortOpening::Desktop(desktop), runtime, cache, QStringLiteral("C:/Users/u/AppData/Local")),
              "folder");
    }

    void notePortKeyPerDesktop_data()
    {
        QTest::addColumn<int>("desktop");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("key");
        const int onLinux = int(PortOpening::Desktop::Linux);
        const int onWindows = int(PortOpening::Desktop::Windows);
        QTest::newRow("Linux, a name") << onLinux << "ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("Linux, the path") << onLinux << "/dev/ttyUSB0" << "/dev/ttyUSB0";
        QTest::newRow("Linux, a by-id link") << onLinux << "/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0"
                                             << "/dev/ttyUSB0";
        QTest::newRow("Linux, gone") << onLinux << "ttyUSB9" << "/dev/ttyUSB9";
        QTest::newRow("macOS, a name") << int(PortOpening::Desktop::MacOS) << "cu.SLAB_USBtoUART" << "/dev/cu.SLAB_USBtoUART";
        QTest::newRow("Windows, a name") << onWindows << "COM3" << "COM3";
        QTest::newRow("Windows, the device path") << onWindows << "\\\\.\\COM3" << "COM3";
        QTest::newRow("Windows, another case") << onWindows << "com3" << "COM3";
    }
    void notePortKeyPerDesktop()
    {
        QFETCH(int, desktop);
        QFETCH(QString, port);
        // What this machine's file system would say, as data.
        const auto resolve = [](const QString &location) {
            if (location.startsWith(QLatin1String("/dev/serial/by-id/")) || location == QLatin1String("/dev/ttyUSB0"))
                return QStringLiteral("/dev/ttyUSB0");
            return location == QLatin1String("/dev/cu.SLAB_USBtoUART") ? location : QString();
        };
        QTEST(RemainderNote::keyFor(port, PortOpening::Desktop(desktop), resolve), "key");
    }

    void receiverPortOnEachDesktop_data();
    void receiverPortOnEachDesktop();
    void nothingLooksLikeTheReceiver_data();
    void nothingLooksLikeTheReceiver();
    void bluetoothByItsDescription();
    void otherBridgesLeftAsideAreNamed();
    void udevRuleCoversEveryKnownBridge();
    void openFailureInEachDesktopsWords_data();
    void openFailureInEachDesktopsWords();
    void accessAsOpeningFindsIt_data();
    void accessAsOpeningFindsIt();
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
    // ESP32 boards of other makes: each known bridge, found where the
    // receiver's own CP210x is not there.
    QTest::newRow("Linux: a CP2105") << QStringList{"ttyS0", "ttyUSB0@10c4:ea70"} << "ttyUSB0";
    QTest::newRow("Linux: a CH340") << QStringList{"ttyS0", "ttyUSB0@1a86:7523"} << "ttyUSB0";
    QTest::newRow("Linux: a CH9102") << QStringList{"ttyS0", "ttyACM0@1a86:55d4"} << "ttyACM0";
    QTest::newRow("Linux: an FT232R") << QStringList{"ttyS0", "ttyUSB0@0403:6001"} << "ttyUSB0";
    QTest::newRow("Linux: an FT231X") << QStringList{"ttyS0", "ttyUSB0@0403:6015"} << "ttyUSB0";
    QTest::newRow("Linux: an ESP32-S3's own USB") << QStringList{"ttyS0", "ttyACM0@303a:1001"} << "ttyACM0";
    QTest::newRow("Linux: the CP210x before a CH340 listed first")
            << QStringList{"ttyUSB0@1a86:7523", "ttyUSB1" + bridge} << "ttyUSB1";
    QTest::newRow("macOS: a CH340 with its twin and Bluetooth")
            << QStringList{"tty.Bluetooth-Incoming-Port", "tty.wchusbserial110@1a86:7523", "cu.Bluetooth-Incoming-Port",
                           "cu.wchusbserial110@1a86:7523"}
            << "cu.wchusbserial110";
    QTest::newRow("Windows: the CP210x before an FTDI listed first")
            << QStringList{"COM3@0403:6001", "COM5" + bridge} << "COM5";
    // A board of a make not known here: the only USB serial port, in the
    // window as in spiffs-cli.
    QTest::newRow("Linux: the only USB serial port") << QStringList{"ttyS0", "ttyS1", "ttyUSB0@067b:2303"} << "ttyUSB0";
    QTest::newRow("macOS: the only USB serial port, with its twin and Bluetooth")
            << QStringList{"tty.Bluetooth-Incoming-Port", "cu.Bluetooth-Incoming-Port", "tty.usbmodem1101@2e8a:000a",
                           "cu.usbmodem1101@2e8a:000a"}
            << "cu.usbmodem1101";
    QTest::newRow("Windows: the only USB serial port after COM1")
            << QStringList{"COM1", "COM4@067b:2303"} << "COM4";
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
    // A port taken for a reason other than the bridge's ids is said so.
    const bool bridge = PortDiscovery::looksLikeReceiverBridge(system.at(windowIndex));
    QCOMPARE(choice.note.contains(QLatin1String("the only USB serial port")), !bridge);

    const QList<PortDescription> shown = arrangeForListing(descriptionsOf(system), {});
    QCOMPARE(shown.constFirst().name, receiver);
    QVERIFY(shown.constFirst().preferred);
    QCOMPARE(shown.constFirst().receiverBridge, bridge);
    // A dial-in twin is the same bridge, but not one to open.
    for (const PortDescription &port : shown) {
        QCOMPARE(port.preferred, port.name == receiver);
        if (port.name.startsWith(QLatin1String("tty.")))
            QVERIFY2(!port.receiverBridge, qPrintable(port.name));
    }
}

// Nothing looks like the receiver's: the window starts on the first port,
// never on a Bluetooth link or a dial-in twin while another is listed, and
// spiffs-cli asks for -p.
void TestPorts::nothingLooksLikeTheReceiver_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("first");

    QTest::newRow("Linux: two built-in ports") << QStringList{"ttyS0", "ttyS1"} << "ttyS0";
    QTest::newRow("Linux: Bluetooth first") << QStringList{"rfcomm0", "ttyS0"} << "ttyS0";
    QTest::newRow("macOS: Bluetooth and a modem, dial-in first")
            << QStringList{"tty.Bluetooth-Incoming-Port", "tty.debug-console", "cu.Bluetooth-Incoming-Port",
                           "cu.debug-console"}
            << "cu.debug-console";
    QTest::newRow("macOS: Bluetooth alone") << QStringList{"tty.Bluetooth-Incoming-Port", "cu.Bluetooth-Incoming-Port"}
                                            << "tty.Bluetooth-Incoming-Port";
    QTest::newRow("Linux: two USB adapters of other makes")
            << QStringList{"ttyS0", "ttyUSB0@067b:2303", "ttyUSB1@067b:2303"} << "ttyS0";
}

void TestPorts::nothingLooksLikeTheReceiver()
{
    QFETCH(QStringList, listed);
    QFETCH(QString, first);
    const QList<SystemPort> system = systemPortsFrom(listed);
    QCOMPARE(system.at(PortDiscovery::preferredPortIndex(system, {})).name, first);
    QVERIFY(!choosePortAutomatically(system, {}).chosen);
    for (const PortDescription &port : arrangeForListing(descriptionsOf(system), {}))
        QVERIFY2(!port.preferred && !port.receiverBridge, qPrintable(port.name));
}

// Windows names a Bluetooth link only in its description.
void TestPorts::bluetoothByItsDescription()
{
    QList<SystemPort> system = systemPortsFrom({"COM3", "COM4@067b:2303"});
    system[0].description = QStringLiteral("Standard Serial over Bluetooth link (COM3)");
    system[0].hasUsbIds = true; // as some drivers report them
    QCOMPARE(PortDiscovery::usbSerialPorts(system), QStringList{QStringLiteral("COM4")});
    QCOMPARE(PortDiscovery::preferredPortIndex(system, {}), 1);
}

// With the CP210x there, a board of another make is left aside, and said.
void TestPorts::otherBridgesLeftAsideAreNamed()
{
    const QList<SystemPort> system = systemPortsFrom({"ttyUSB0@1a86:7523", "ttyUSB1@10c4:ea60"});
    const PortChoice choice = choosePortAutomatically(system, {});
    QCOMPARE(*choice.chosen, QStringLiteral("ttyUSB1"));
    QVERIFY2(choice.note.contains(QLatin1String("ttyUSB0")), qPrintable(choice.note));
    // Two of the same make: no guess.
    QVERIFY(!choosePortAutomatically(systemPortsFrom({"ttyUSB0@1a86:7523", "ttyUSB1@0403:6001"}), {}).chosen);
}

// The udev rule gives the user at the computer every port the programs take
// for the receiver's.
void TestPorts::udevRuleCoversEveryKnownBridge()
{
    QFile rules(QStringLiteral(SOURCE_DIR "/packaging/70-spiffs-manager.rules"));
    QVERIFY(rules.open(QIODevice::ReadOnly));
    QSet<QString> ruled;
    const QRegularExpression ids(QString::fromLatin1(R"re(ATTRS\{idVendor\}=="([0-9a-f]{4})", ATTRS\{idProduct\}=="([0-9a-f]{4})")re"));
    for (const QByteArray &line : rules.readAll().split('\n')) {
        const QRegularExpressionMatch match = ids.match(QString::fromLatin1(line));
        if (!line.startsWith('#') && match.hasMatch())
            ruled << match.captured(1) + QLatin1Char(':') + match.captured(2);
    }
    QSet<QString> known;
    for (const PortDiscovery::KnownBridge &bridge : PortDiscovery::KnownBridges)
        known << QStringLiteral("%1:%2").arg(bridge.vendorId, 4, 16, QLatin1Char('0')).arg(bridge.productId, 4, 16, QLatin1Char('0'));
    QCOMPARE(ruled, known);
}

namespace {

// A port as the system describes it, for rows.
struct Described
{
    PortFacts facts;
    explicit Described(const QString &location) { facts.location = location; }
    Described &kind(PortKind kind) { facts.kind = kind; return *this; }
    Described &group(const QString &group) { facts.group = group; return *this; }
    Described &noPermission() { facts.mayUse = false; return *this; }
    Described &gone() { facts.exists = false; return *this; }
    Described &noTerminal() { facts.terminal = false; return *this; }
    Described &rule(const QString &path) { facts.installedRule = path; return *this; }
    Described &lock(const QString &path, qint64 pid, bool running, bool removable, const QString &program = {})
    {
        facts.lock = PortLock{path, pid, running, program, removable};
        return *this;
    }
    operator PortFacts() const { return facts; }
};

} // namespace

void TestPorts::openFailureInEachDesktopsWords_data()
{
    QTest::addColumn<int>("desktop");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("errorString");
    QTest::addColumn<QString>("port");
    QTest::addColumn<PortFacts>("facts");
    QTest::addColumn<QString>("brief");
    QTest::addColumn<QString>("says");

    const int windows = int(Desktop::Windows);
    const int mac = int(Desktop::MacOS);
    const int linux = int(Desktop::Linux);
    const int permission = int(QSerialPort::PermissionError);
    const QString rule = QStringLiteral("/lib/udev/rules.d/70-spiffs-manager.rules");
    // As Qt reports them on Windows: the system's own words.
    QTest::newRow("Windows: held by another program")
            << windows << permission << "Access is denied." << "COM3" << PortFacts(Described("COM3"))
            << "in use: another program has it open" << "close it and try again";
    QTest::newRow("Windows: no such port") << windows << int(QSerialPort::DeviceNotFoundError)
                                           << "The system cannot find the file specified." << "COM7"
                                           << PortFacts(Described("COM7")) << "no such port"
                                           << "Device Manager lists it under Ports (COM & LPT)";
    QTest::newRow("Windows: no port at all") << windows << int(QSerialPort::NoError) << "" << "" << PortFacts()
                                             << "no port is chosen" << "Silicon Labs' CP210x VCP driver";
    QTest::newRow("macOS: held by another program")
            << mac << permission << "Permission denied" << "/dev/cu.usbserial-0001"
            << PortFacts(Described("/dev/cu.usbserial-0001")
                                 .kind(PortKind::ReceiverBridge)
                                 .lock("/tmp/LCK..cu.usbserial-0001", 812, true, false, "screen"))
            << "busy: another program is using it"
            << "(process 812, screen, by its lock file /tmp/LCK..cu.usbserial-0001); close it";
    QTest::newRow("macOS: unplugged") << mac << int(QSerialPort::DeviceNotFoundError) << "No such file or directory"
                                      << "/dev/cu.usbserial-0001" << PortFacts(Described("/dev/cu.usbserial-0001").gone())
                                      << "no such port" << "is the receiver plugged in?";
    QTest::newRow("macOS: closed to this user")
            << mac << permission << "Permission denied" << "/dev/cu.usbserial-0001"
            << PortFacts(Described("/dev/cu.usbserial-0001").kind(PortKind::ReceiverBridge).group("wheel").noPermission())
            << "no permission to use it" << "ls -l /dev/cu.usbserial-0001 shows who may";
    QTest::newRow("macOS: no port at all") << mac << int(QSerialPort::NoError) << "" << "" << PortFacts()
                                           << "no port is chosen" << "/dev/cu.usbserial-... with the driver macOS brings";
    QTest::newRow("Linux: no port at all") << linux << int(QSerialPort::NoError) << "" << "" << PortFacts()
                                           << "no port is chosen" << "Linux names it /dev/ttyUSB0";
    QTest::newRow("Linux: held by a program that takes no lock")
            << linux << permission << "Permission denied" << "/dev/ttyUSB0"
            << PortFacts(Described("/dev/ttyUSB0").kind(PortKind::ReceiverBridge))
            << "busy: another program is using it" << "(a serial monitor, the window, spiffs-cli); close it";
    QTest::newRow("Linux: not a terminal") << linux << int(QSerialPort::UnknownError) << "ioctl failed" << "/dev/null"
                                           << PortFacts(Described("/dev/null").noTerminal()) << "not a serial port"
                                           << "not a serial port";
    // A lock file left by a program that was killed.
    QTest::newRow("Linux: locked by root's spiffs-cli, killed")
            << linux << permission << "Permission error while locking the device" << "/dev/ttyUSB0"
            << PortFacts(Described("/dev/ttyUSB0")
                                 .kind(PortKind::ReceiverBridge)
                                 .lock("/var/lock/LCK..ttyUSB0", 4242, false, false))
            << "locked by a program that has ended"
            << "the lock file /var/lock/LCK..ttyUSB0 names process 4242, which no longer runs";
    QTest::newRow("macOS: locked by a program that has ended")
            << mac << permission << "Permission error while locking the device" << "/dev/cu.usbserial-0001"
            << PortFacts(Described("/dev/cu.usbserial-0001").lock("/tmp/LCK..cu.usbserial-0001", 77, false, false))
            << "locked by a program that has ended" << "sudo rm /tmp/LCK..cu.usbserial-0001";
    QTest::newRow("Linux: an ended program's lock Qt clears itself")
            << linux << permission << "Permission denied" << "/dev/ttyUSB0"
            << PortFacts(Described("/dev/ttyUSB0").lock("/var/lock/LCK..ttyUSB0", 4242, false, true))
            << "busy: another program is using it" << "(a serial monitor, the window, spiffs-cli)";
    // Advice that fits the port: the rule and replugging for the bridge,
    // the group for any port.
    QTest::newRow("Linux: the bridge, rule installed")
            << linux << permission << "Permission denied" << "/dev/ttyUSB0"
            << PortFacts(Described("/dev/ttyUSB0").kind(PortKind::ReceiverBridge).group("dialout").noPermission().rule(rule))
            << "no permission to use it" << "is installed: unplug the receiver and plug it in again";
    QTest::newRow("Linux: the bridge, no rule")
            << linux << permission << "Permission denied" << "/dev/ttyUSB0"
            << PortFacts(Described("/dev/ttyUSB0").kind(PortKind::ReceiverBridge).group("dialout").noPermission())
            << "no permission to use it" << "join it (sudo usermod -aG dialout $USER, then log out and in again), or install";
    QTest::newRow("Linux: a built-in port, rule installed")
            << linux << permission << "Permission denied" << "/dev/ttyS0"
            << PortFacts(Described("/dev/ttyS0").kind(PortKind::BuiltIn).group("dialout").noPermission().rule(rule))
            << "no permission to use it" << "/dev/ttyS0 belongs to the group dialout; join it";
    QTest::newRow("Linux: a USB adapter of another make")
            << linux << permission << "Permission denied" << "/dev/ttyUSB1"
            << PortFacts(Described("/dev/ttyUSB1").kind(PortKind::OtherUsb).group("uucp").noPermission().rule(rule))
            << "no permission to use it" << "sudo usermod -aG uucp";
    QTest::newRow("Linux: a pseudo-terminal of another user")
            << linux << permission << "Permission denied" << "/dev/pts/3"
            << PortFacts(Described("/dev/pts/3").kind(PortKind::Virtual).group("tty").noPermission())
            << "no permission to use it" << "belongs to the group tty";
    QTest::newRow("Linux: a built-in port only root may open")
            << linux << permission << "Permission denied" << "/dev/ttyAMA0"
            << PortFacts(Described("/dev/ttyAMA0").kind(PortKind::BuiltIn).group("root").noPermission())
            << "no permission to use it" << "only root may open it (ls -l /dev/ttyAMA0 shows who may)";
}

void TestPorts::openFailureInEachDesktopsWords()
{
    QFETCH(int, desktop);
    QFETCH(int, error);
    QFETCH(QString, errorString);
    QFETCH(QString, port);
    QFETCH(PortFacts, facts);
    QFETCH(QString, brief);
    QFETCH(QString, says);

    const PortOpening::Reason reason = PortOpening::failureReason(QSerialPort::SerialPortError(error), errorString,
                                                                  port, facts, Desktop(desktop));
    QCOMPARE(reason.brief, brief);
    QVERIFY2(reason.full.startsWith(brief), qPrintable(reason.full));
    QVERIFY2(reason.full.contains(says), qPrintable(reason.full));
    // Neither has groups to join nor udev rules to install.
    if (Desktop(desktop) != Desktop::Linux) {
        for (const char *word : {"group", "udev", "usermod", "/dev/ttyUSB"})
            QVERIFY2(!reason.full.contains(QLatin1String(word)), qPrintable(reason.full));
    }
    // The rule covers the receiver's bridge alone, and only a USB port can
    // be plugged in again.
    if (facts.kind != PortKind::ReceiverBridge) {
        for (const char *word : {"udev", "unplug", "plug it in"})
            QVERIFY2(!reason.full.contains(QLatin1String(word)), qPrintable(reason.full));
    }
    // spiffs-cli says the same when it finds no port to choose.
    if (port.isEmpty()) {
        const PortChoice choice = choosePort({}, {}, {}, Desktop(desktop));
        QVERIFY(!choice.chosen);
        QVERIFY2(choice.details.join(QLatin1Char('\n')).contains(PortOpening::noPortAdvice(Desktop(desktop))),
                 qPrintable(choice.details.join(QLatin1Char('\n'))));
    }
}

// What `spiffs-cli ports` says of a port is what opening it would find: a
// lock held is busy, a lock left in the way is named as such.
void TestPorts::accessAsOpeningFindsIt_data()
{
    QTest::addColumn<PortFacts>("facts");
    QTest::addColumn<int>("access");

    const QString lock = QStringLiteral("/var/lock/LCK..ttyUSB0");
    QTest::newRow("free") << PortFacts(Described("/dev/ttyUSB0")) << int(PortAccess::Usable);
    QTest::newRow("gone") << PortFacts(Described("/dev/ttyUSB0").gone()) << int(PortAccess::Missing);
    QTest::newRow("not a terminal") << PortFacts(Described("/dev/null").noTerminal()) << int(PortAccess::NotATerminal);
    QTest::newRow("closed to this user") << PortFacts(Described("/dev/ttyUSB0").noPermission())
                                         << int(PortAccess::NoPermission);
    QTest::newRow("locked by a running program") << PortFacts(Described("/dev/ttyUSB0").lock(lock, 812, true, false))
                                                 << int(PortAccess::Busy);
    QTest::newRow("locked by root's program that ended")
            << PortFacts(Described("/dev/ttyUSB0").lock(lock, 4242, false, false)) << int(PortAccess::LeftLocked);
    QTest::newRow("locked by an ended program of this user")
            << PortFacts(Described("/dev/ttyUSB0").lock(lock, 4242, false, true)) << int(PortAccess::Usable);
}

void TestPorts::accessAsOpeningFindsIt()
{
    QFETCH(PortFacts, facts);
    QFETCH(int, access);
    QCOMPARE(int(PortOpening::accessFrom(facts)), access);
}

QTEST_GUILESS_MAIN(TestPorts)
#include "tst_ports.moc"
