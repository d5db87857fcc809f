// The window as built: widgets, geometry, texts, flags, icons, port list.
#include "app/mainwindow.h"
#include "app/portscan.h"
#include "link/linkstate.h"
#include "ui/mainwindowui.h"
#include "windowharness.h"

#include <QtGui/QImage>
#include <QtGui/QImageReader>
#include <QtTest/QTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QHeaderView>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

using PortDiscovery::SystemPort;
Q_DECLARE_METATYPE(QList<SystemPort>)

namespace {
SystemPort port(const char *name, quint16 vendorId = 0, quint16 productId = 0)
{
    return SystemPort{QLatin1String(name), vendorId != 0 || productId != 0, vendorId, productId, QString()};
}
const SystemPort usbBridge = port("ttyUSB1", 0x10C4, 0xEA60);

const QStringList iconNames = {QStringLiteral("text"),  QStringLiteral("picture"), QStringLiteral("music"),
                               QStringLiteral("engine"), QStringLiteral("world"),  QStringLiteral("wifi"),
                               QStringLiteral("unknown")};

void checkIcons()
{
    for (const QString &name : iconNames) {
        const QString path = QStringLiteral(":/new/icons/%1.png").arg(name);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), QSize(16, 16));
        QVERIFY(image.hasAlphaChannel());
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                QCOMPARE(qAlpha(image.pixel(x, y)), 255);
    }
}
} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void iconsLoadBeforeAnyWindow() { checkIcons(); }

    void iconsAreStoredUncompressed()
    {
        for (const QString &name : iconNames) {
            QFile resource(QStringLiteral(":/new/icons/%1.png").arg(name));
            QFile source(QStringLiteral(SOURCE_DIR "/resources/icons/%1.png").arg(name));
            QVERIFY(resource.open(QIODevice::ReadOnly));
            QVERIFY(source.open(QIODevice::ReadOnly));
            QCOMPARE(resource.readAll(), source.readAll());
        }
    }

    void widgetsInOrderWithGeometryAndText()
    {
        WindowHarness harness;
        MainWindow *window = harness.window.get();

        struct Expected
        {
            const char *name;
            const char *className;
            const char *parent;
            QRect geometry;
            const char *text;
        };
        const Expected widgets[] = {
            {"centralwidget", "QWidget", "MainWindow", QRect(), nullptr},
            {"pushButton", "QPushButton", "centralwidget", QRect(120, 260, 91, 31), "Download"},
            {"pushButton_2", "QPushButton", "centralwidget", QRect(10, 260, 91, 31), "Upload"},
            {"comboBox", "QComboBox", "centralwidget", QRect(80, 10, 131, 31), nullptr},
            {"pushButton_3", "QPushButton", "centralwidget", QRect(10, 50, 201, 31), "Connect"},
            {"memory", "QProgressBar", "centralwidget", QRect(90, 140, 121, 31), nullptr},
            {"layoutWidget", "QWidget", "centralwidget", QRect(10, 90, 201, 40), nullptr},
            {"label", "QLabel", "layoutWidget", QRect(), "Total space, Bytes:"},
            {"totalMemory", "QLabel", "layoutWidget", QRect(), "0"},
            {"label_2", "QLabel", "layoutWidget", QRect(), "Free space, Bytes:"},
            {"availableMemory", "QLabel", "layoutWidget", QRect(), "0"},
            {"pushButton_4", "QPushButton", "centralwidget", QRect(10, 220, 91, 31), "Remove"},
            {"pushButton_5", "QPushButton", "centralwidget", QRect(10, 140, 71, 31), "Format"},
            {"pushButton_6", "QPushButton", "centralwidget", QRect(10, 10, 61, 31), "Scan"},
            {"pushButton_7", "QPushButton", "centralwidget", QRect(120, 220, 91, 31), "Execute"},
            {"pushButton_8", "QPushButton", "centralwidget", QRect(10, 180, 201, 31), "Reboot"},
            {"tableWidget", "QTableWidget", "centralwidget", QRect(220, 10, 361, 281), nullptr},
            {"menubar", "QMenuBar", "MainWindow", QRect(0, 0, 590, 22), nullptr},
            {"statusbar", "QStatusBar", "MainWindow", QRect(), nullptr},
        };

        QWidget *previous = nullptr;
        for (const Expected &expected : widgets) {
            auto *widget = window->findChild<QWidget *>(QLatin1String(expected.name));
            QVERIFY2(widget, expected.name);
            QCOMPARE(widget->metaObject()->className(), expected.className);
            QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(expected.parent));
            if (expected.geometry.isValid() && qstrcmp(expected.name, "menubar") != 0)
                QCOMPARE(widget->geometry(), expected.geometry);
            if (expected.text) {
                const QVariant text = widget->property("text");
                QCOMPARE(text.toString(), QLatin1String(expected.text));
            }
            // Creation order: siblings keep it in their parent's child list.
            if (previous && previous->parentWidget() == widget->parentWidget()) {
                const QObjectList siblings = widget->parentWidget()->children();
                QVERIFY2(siblings.indexOf(previous) < siblings.indexOf(widget), expected.name);
            }
            previous = widget;
        }

        auto *grid = window->findChild<QGridLayout *>(QStringLiteral("gridLayout"));
        QVERIFY(grid);
        QCOMPARE(grid->parentWidget()->objectName(), QStringLiteral("layoutWidget"));
        QCOMPARE(grid->contentsMargins(), QMargins(0, 0, 0, 0));
        const auto cellOf = [grid](const char *name) {
            int row, column, rowSpan, columnSpan;
            grid->getItemPosition(grid->indexOf(grid->parentWidget()->findChild<QWidget *>(QLatin1String(name))),
                                  &row, &column, &rowSpan, &columnSpan);
            return QVector<int>{row, column, rowSpan, columnSpan};
        };
        QCOMPARE(cellOf("label"), (QVector<int>{0, 0, 1, 1}));
        QCOMPARE(cellOf("totalMemory"), (QVector<int>{0, 1, 1, 1}));
        QCOMPARE(cellOf("label_2"), (QVector<int>{1, 0, 1, 1}));
        QCOMPARE(cellOf("availableMemory"), (QVector<int>{1, 1, 1, 1}));
        QCOMPARE(harness.label("totalMemory")->alignment(), Qt::AlignCenter);
        QCOMPARE(harness.label("availableMemory")->alignment(), Qt::AlignCenter);
        QCOMPARE(harness.label("label")->alignment(), QLabel().alignment());

        QVERIFY(harness.button("pushButton_5")->autoFillBackground());
        QCOMPARE(harness.gauge()->value(), 0);
        QCOMPARE(harness.gauge()->minimum(), 0);
        QCOMPARE(harness.gauge()->maximum(), 100);
        QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralwidget"));
        QCOMPARE(window->menuBar()->objectName(), QStringLiteral("menubar"));
        QCOMPARE(window->menuBar()->actions().size(), 0);
        QCOMPARE(window->statusBar()->objectName(), QStringLiteral("statusbar"));
    }

    void windowPropertiesAndFlags()
    {
        WindowHarness harness;
        MainWindow *window = harness.window.get();
        QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window->metaObject()->className(), "MainWindow");
        QCOMPARE(window->windowTitle(), QStringLiteral("SI473X reciever file manager"));
        QCOMPARE(window->windowModality(), Qt::NonModal);
        QCOMPARE(window->size(), QSize(590, 340));
        QCOMPARE(window->minimumSize(), QSize(590, 340));
        QCOMPARE(window->maximumSize(), QSize(590, 340));
        QCOMPARE(window->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
        QCOMPARE(window->contextMenuPolicy(), Qt::NoContextMenu);
        QCOMPARE(window->locale(), QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(!(window->windowFlags() & Qt::WindowContextHelpButtonHint));
        QVERIFY(window->isWindow());
        {
            // Qt itself adds the window type, title and system menu to a
            // parentless widget's flags; nothing else may be there.
            MainWindow unshown;
            const Qt::WindowFlags added = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint;
            QCOMPARE(int(unshown.windowFlags() & ~added), 0x0800C000);
        }

        window->resize(800, 600);
        QCOMPARE(window->size(), QSize(590, 340));
        window->showMaximized();
        QCOMPARE(window->size(), QSize(590, 340));
        checkIcons();
    }

    void slotsInDeclarationOrder()
    {
        const QMetaObject &meta = MainWindow::staticMetaObject;
        const QStringList expected = {
            QStringLiteral("on_pushButton_clicked()"),   QStringLiteral("on_pushButton_2_clicked()"),
            QStringLiteral("on_pushButton_3_clicked()"), QStringLiteral("on_pushButton_6_clicked()"),
            QStringLiteral("on_pushButton_4_clicked()"), QStringLiteral("on_pushButton_5_clicked()"),
            QStringLiteral("on_pushButton_7_clicked()"), QStringLiteral("on_pushButton_8_clicked()"),
        };
        QStringList found;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            QCOMPARE(meta.method(i).access(), QMetaMethod::Private);
            QCOMPARE(meta.method(i).methodType(), QMetaMethod::Slot);
            found << QString::fromLatin1(meta.method(i).methodSignature());
        }
        QCOMPARE(found, expected);
        QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    }

    void fileTableStartsEmpty()
    {
        WindowHarness harness;
        QTableWidget *table = harness.table();
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(table->columnWidth(0), 28);
        QCOMPARE(table->columnWidth(1), 230);
        QCOMPARE(table->columnWidth(2), 77);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(!table->horizontalHeaderItem(1));
    }

    void scanListsSystemThenEnvironmentPorts()
    {
        WindowHarness harness;
        QComboBox *ports = harness.ports();
        QCOMPARE(harness.statusText(), QStringLiteral("scan ports complete"));
        QVERIFY(ports->count() >= 1);
        QCOMPARE(ports->itemText(ports->count() - 1), harness.device.portName());

        const QString separator(QDir::listSeparator());
        qputenv(PortDiscovery::PortsVariable, QStringLiteral("/dev/pts/71%1%1/tmp/second").arg(separator).toLocal8Bit());
        harness.statusBar()->clearMessage();
        harness.button("pushButton_6")->click();
        QCOMPARE(ports->itemText(ports->count() - 2), QStringLiteral("/dev/pts/71"));
        QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("/tmp/second"));
        QCOMPARE(ports->itemIcon(0).isNull(), true);
        QVERIFY(!ports->itemData(0).isValid() || ports->itemData(0).toString() == ports->itemText(0));
        QCOMPARE(ports->currentText(), QStringLiteral("/dev/pts/71"));

        qunsetenv(PortDiscovery::PortsVariable);
        harness.button("pushButton_6")->click();
        QCOMPARE(ports->currentIndex(), ports->count() > 0 ? 0 : -1);
        QCOMPARE(harness.statusText(), QStringLiteral("scan ports complete"));
    }

    void scanPrefersTheBridgePortExactly()
    {
        WindowHarness harness;
        const QString separator(QDir::listSeparator());
        qputenv(PortDiscovery::PortsVariable, QStringLiteral("/dev/a%1cu.slab_usbtouart%1cu.SLAB_USBtoUART%1/dev/b").arg(separator).toLocal8Bit());
        harness.button("pushButton_6")->click();
        QCOMPARE(harness.ports()->currentText(), QStringLiteral("cu.SLAB_USBtoUART"));

        qputenv(PortDiscovery::PortsVariable, QStringLiteral("/dev/a%1CU.SLAB_USBTOUART").arg(separator).toLocal8Bit());
        harness.button("pushButton_6")->click();
        QCOMPARE(harness.ports()->currentText(), QStringLiteral("/dev/a"));
    }

    // One rule for the window's first choice: the core's, fed the system's
    // ports as plain descriptions (as a test can make them), with the ports
    // the user names after them.
    void preferredPort_data()
    {
        QTest::addColumn<QList<SystemPort>>("system");
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("none") << QList<SystemPort>{} << QStringList{} << QString();
        QTest::newRow("Linux: the bridge after serial ports")
                << QList<SystemPort>{port("ttyS0"), port("ttyS1"), usbBridge} << QStringList{} << "ttyUSB1";
        QTest::newRow("no bridge: the only USB serial port")
                << QList<SystemPort>{port("ttyS0"), port("ttyACM0", 0x2341, 0x0043)} << QStringList{} << "ttyACM0";
        QTest::newRow("no bridge, two USB ports: the first")
                << QList<SystemPort>{port("ttyS0"), port("ttyACM0", 0x2341, 0x0043), port("ttyACM1", 0x2341, 0x0043)}
                << QStringList{} << "ttyS0";
        QTest::newRow("vendor alone")
                << QList<SystemPort>{port("ttyS0"), port("ttyUSB0", 0x10C4, 0xEA71), port("ttyACM0", 0x2341, 0x0043)}
                << QStringList{} << "ttyS0";
        QTest::newRow("product alone")
                << QList<SystemPort>{port("ttyS0"), port("ttyUSB0", 0x0403, 0xEA60), port("ttyACM0", 0x2341, 0x0043)}
                << QStringList{} << "ttyS0";
        QTest::newRow("ids unknown") << QList<SystemPort>{port("ttyS0"), SystemPort{QStringLiteral("ttyUSB0"), false, 0x10C4, 0xEA60, QString()}}
                                     << QStringList{} << "ttyS0";
        QTest::newRow("two bridges: the first")
                << QList<SystemPort>{port("ttyS0"), port("ttyUSB3", 0x10C4, 0xEA60), usbBridge} << QStringList{} << "ttyUSB3";
        QTest::newRow("Windows") << QList<SystemPort>{port("COM1"), port("COM4", 0x10C4, 0xEA60)} << QStringList{} << "COM4";
        QTest::newRow("macOS: the call-out twin")
                << QList<SystemPort>{port("Bluetooth-Incoming-Port"), port("tty.usbserial-0001", 0x10C4, 0xEA60),
                                     port("cu.usbserial-0001", 0x10C4, 0xEA60)}
                << QStringList{} << "cu.usbserial-0001";
        QTest::newRow("macOS name over ids")
                << QList<SystemPort>{usbBridge, port("cu.SLAB_USBtoUART")} << QStringList{} << "cu.SLAB_USBtoUART";
        QTest::newRow("named by the user over a bridge")
                << QList<SystemPort>{port("ttyS0"), usbBridge} << QStringList{"/dev/pts/7", "/dev/pts/8"} << "/dev/pts/7";
        QTest::newRow("macOS name among the user's")
                << QList<SystemPort>{usbBridge} << QStringList{"/dev/pts/7", "cu.SLAB_USBtoUART"} << "cu.SLAB_USBtoUART";
        QTest::newRow("name in another case") << QList<SystemPort>{port("ttyS0"), port("cu.slab_usbtouart")}
                                              << QStringList{} << "ttyS0";
        QTest::newRow("only the user's") << QList<SystemPort>{} << QStringList{"/tmp/a"} << "/tmp/a";
    }
    void preferredPort()
    {
        QFETCH(QList<SystemPort>, system);
        QFETCH(QStringList, named);
        QFETCH(QString, chosen);
        QStringList listed;
        for (const SystemPort &each : system)
            listed << each.name;
        listed << named;
        const int index = PortDiscovery::preferredPortIndex(system, named);
        QCOMPARE(index >= 0 ? listed.at(index) : QString(), chosen);

        // The window's list: the same items as before, the rule's choice current.
        WindowHarness harness;
        qputenv(PortDiscovery::PortsVariable, named.join(QDir::listSeparator()).toLocal8Bit());
        MainWindowUi form; // the scan's view of the window: its own widgets
        form.comboBox = harness.ports();
        form.statusbar = harness.statusBar();
        harness.statusBar()->clearMessage();
        scanPorts(form, system);
        QStringList items;
        for (int i = 0; i < harness.ports()->count(); ++i)
            items << harness.ports()->itemText(i);
        QCOMPARE(items, listed);
        QCOMPARE(harness.ports()->currentText(), chosen);
        QCOMPARE(harness.statusText(), QStringLiteral("scan ports complete"));
    }

    // The command line's rule, on the same descriptions: what spiffs-cli
    // may pick without -p.
    void receiverCandidates_data()
    {
        QTest::addColumn<QList<SystemPort>>("system");
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<QStringList>("candidates");
        QTest::newRow("Linux") << QList<SystemPort>{port("ttyS0"), usbBridge} << QStringList{} << QStringList{"ttyUSB1"};
        QTest::newRow("none") << QList<SystemPort>{port("ttyS0")} << QStringList{} << QStringList{};
        QTest::newRow("bridges, then the user's, once each")
                << QList<SystemPort>{port("ttyUSB3", 0x10C4, 0xEA60), usbBridge} << QStringList{"ttyUSB1", "/dev/pts/2"}
                << QStringList{"ttyUSB3", "ttyUSB1", "/dev/pts/2"};
        QTest::newRow("macOS twins") << QList<SystemPort>{port("tty.SLAB_USBtoUART"), port("cu.SLAB_USBtoUART")}
                                     << QStringList{} << QStringList{"cu.SLAB_USBtoUART"};
        QTest::newRow("a dial-in port alone stays")
                << QList<SystemPort>{port("tty.usbserial-9", 0x10C4, 0xEA60)} << QStringList{} << QStringList{"tty.usbserial-9"};
    }
    void receiverCandidates()
    {
        QFETCH(QList<SystemPort>, system);
        QFETCH(QStringList, named);
        QTEST(PortDiscovery::receiverCandidates(system, named), "candidates");
        for (const SystemPort &each : system)
            QCOMPARE(PortDiscovery::looksLikeReceiverBridge(each),
                     PortDiscovery::receiverCandidates(QList<SystemPort>{each}, {}).contains(each.name));
    }

    void portsVariableSplitting_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("ports");
        const QString sep(QDir::listSeparator());
        QTest::newRow("unset") << QString() << QStringList();
        QTest::newRow("one path") << QStringLiteral("/dev/pts/7") << QStringList{QStringLiteral("/dev/pts/7")};
        QTest::newRow("order kept") << QStringLiteral("/b%1/a").arg(sep)
                                    << QStringList{QStringLiteral("/b"), QStringLiteral("/a")};
        QTest::newRow("empty parts dropped") << QStringLiteral("%1/x%1%1").arg(sep) << QStringList{QStringLiteral("/x")};
    }
    void portsVariableSplitting()
    {
        QFETCH(QString, value);
        QTEST(PortDiscovery::portsFromEnvironmentValue(value), "ports");
    }

    void headersOnlyAfterTheFirstRow()
    {
        WindowHarness harness;
        QVERIFY(harness.table()->verticalHeader()->isVisible());
        QVERIFY(harness.connectWithFiles({{"a.txt", 5}}));
        QVERIFY(!harness.table()->verticalHeader()->isVisible());
        QCOMPARE(harness.table()->horizontalHeaderItem(0)->text(), QString());
        QCOMPARE(harness.table()->horizontalHeaderItem(1)->text(), QStringLiteral("Name"));
        QCOMPARE(harness.table()->horizontalHeaderItem(2)->text(), QStringLiteral("Size, Bytes"));
        // A click on any cell selects the whole row.
        QTableWidget *table = harness.table();
        const QRect cell = table->visualRect(table->model()->index(0, 2));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(table->selectedItems().size(), 3);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
