#include "ui/mainwindowui.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLocale>

// The icons are compiled into this library; register them before main() runs,
// so they load before and after any window exists.
static void registerIcons()
{
    Q_INIT_RESOURCE(icons);
}

static void unregisterIcons()
{
    Q_CLEANUP_RESOURCE(icons);
}

namespace {
struct IconRegistration
{
    IconRegistration() { registerIcons(); }
    ~IconRegistration() { unregisterIcons(); }
} iconRegistration;

QRect rect(int x, int y, int width, int height)
{
    return QRect(x, y, width, height);
}
} // namespace

void MainWindowUi::setupUi(QMainWindow *window)
{
    if (window->objectName().isEmpty())
        window->setObjectName(QStringLiteral("MainWindow"));
    window->setWindowModality(Qt::NonModal);
    window->resize(590, 340);
    QSizePolicy fixedPolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    fixedPolicy.setHorizontalStretch(0);
    fixedPolicy.setVerticalStretch(0);
    fixedPolicy.setHeightForWidth(window->sizePolicy().hasHeightForWidth());
    window->setSizePolicy(fixedPolicy);
    window->setMinimumSize(QSize(590, 340));
    window->setMaximumSize(QSize(590, 340));
    window->setContextMenuPolicy(Qt::NoContextMenu);
    window->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));

    centralwidget = new QWidget(window);
    centralwidget->setObjectName(QStringLiteral("centralwidget"));
    pushButton = new QPushButton(centralwidget);
    pushButton->setObjectName(QStringLiteral("pushButton"));
    pushButton->setGeometry(rect(120, 260, 91, 31));
    pushButton_2 = new QPushButton(centralwidget);
    pushButton_2->setObjectName(QStringLiteral("pushButton_2"));
    pushButton_2->setGeometry(rect(10, 260, 91, 31));
    comboBox = new QComboBox(centralwidget);
    comboBox->setObjectName(QStringLiteral("comboBox"));
    comboBox->setGeometry(rect(80, 10, 131, 31));
    pushButton_3 = new QPushButton(centralwidget);
    pushButton_3->setObjectName(QStringLiteral("pushButton_3"));
    pushButton_3->setGeometry(rect(10, 50, 201, 31));
    memory = new QProgressBar(centralwidget);
    memory->setObjectName(QStringLiteral("memory"));
    memory->setGeometry(rect(90, 140, 121, 31));
    memory->setValue(0);
    layoutWidget = new QWidget(centralwidget);
    layoutWidget->setObjectName(QStringLiteral("layoutWidget"));
    layoutWidget->setGeometry(rect(10, 90, 201, 40));
    gridLayout = new QGridLayout(layoutWidget);
    gridLayout->setObjectName(QStringLiteral("gridLayout"));
    gridLayout->setContentsMargins(0, 0, 0, 0);
    label = new QLabel(layoutWidget);
    label->setObjectName(QStringLiteral("label"));
    gridLayout->addWidget(label, 0, 0, 1, 1);
    totalMemory = new QLabel(layoutWidget);
    totalMemory->setObjectName(QStringLiteral("totalMemory"));
    totalMemory->setAlignment(Qt::AlignCenter);
    gridLayout->addWidget(totalMemory, 0, 1, 1, 1);
    label_2 = new QLabel(layoutWidget);
    label_2->setObjectName(QStringLiteral("label_2"));
    gridLayout->addWidget(label_2, 1, 0, 1, 1);
    availableMemory = new QLabel(layoutWidget);
    availableMemory->setObjectName(QStringLiteral("availableMemory"));
    availableMemory->setAlignment(Qt::AlignCenter);
    gridLayout->addWidget(availableMemory, 1, 1, 1, 1);
    pushButton_4 = new QPushButton(centralwidget);
    pushButton_4->setObjectName(QStringLiteral("pushButton_4"));
    pushButton_4->setGeometry(rect(10, 220, 91, 31));
    pushButton_5 = new QPushButton(centralwidget);
    pushButton_5->setObjectName(QStringLiteral("pushButton_5"));
    pushButton_5->setGeometry(rect(10, 140, 71, 31));
    pushButton_5->setAutoFillBackground(true);
    pushButton_6 = new QPushButton(centralwidget);
    pushButton_6->setObjectName(QStringLiteral("pushButton_6"));
    pushButton_6->setGeometry(rect(10, 10, 61, 31));
    pushButton_7 = new QPushButton(centralwidget);
    pushButton_7->setObjectName(QStringLiteral("pushButton_7"));
    pushButton_7->setGeometry(rect(120, 220, 91, 31));
    pushButton_8 = new QPushButton(centralwidget);
    pushButton_8->setObjectName(QStringLiteral("pushButton_8"));
    pushButton_8->setGeometry(rect(10, 180, 201, 31));
    tableWidget = new QTableWidget(centralwidget);
    tableWidget->setObjectName(QStringLiteral("tableWidget"));
    tableWidget->setGeometry(rect(220, 10, 361, 281));
    window->setCentralWidget(centralwidget);

    menubar = new QMenuBar(window);
    menubar->setObjectName(QStringLiteral("menubar"));
    menubar->setGeometry(rect(0, 0, 590, 22));
    window->setMenuBar(menubar);
    statusbar = new QStatusBar(window);
    statusbar->setObjectName(QStringLiteral("statusbar"));
    window->setStatusBar(statusbar);

    retranslateUi(window);
    QMetaObject::connectSlotsByName(window);
}

void MainWindowUi::retranslateUi(QMainWindow *window)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("MainWindow", text); };
    window->setWindowTitle(tr("SI473X reciever file manager"));
    pushButton->setText(tr("Download"));
    pushButton_2->setText(tr("Upload"));
    pushButton_3->setText(tr("Connect"));
    label->setText(tr("Total space, Bytes:"));
    totalMemory->setText(tr("0"));
    label_2->setText(tr("Free space, Bytes:"));
    availableMemory->setText(tr("0"));
    pushButton_4->setText(tr("Remove"));
    pushButton_5->setText(tr("Format"));
    pushButton_6->setText(tr("Scan"));
    pushButton_7->setText(tr("Execute"));
    pushButton_8->setText(tr("Reboot"));
}
