#include "windowdriver.h"

#include "app/mainwindow.h"
#include "core/portdiscovery.h"
#include "link/linkstate.h"

#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

WindowDriver::~WindowDriver()
{
    closeWindow();
}

void WindowDriver::openWindow(const QString &portName)
{
    linkState().reset();
    qputenv(PortDiscovery::PortsVariable, portName.toLocal8Bit());
    window = std::make_unique<MainWindow>();
    window->show();
    answerer = std::make_unique<ModalAnswerer>(statusBar());
}

void WindowDriver::closeWindow()
{
    answerer.reset();
    linkState().reset();
    window.reset();
    qunsetenv(PortDiscovery::PortsVariable);
}

QPushButton *WindowDriver::button(const char *objectName) const
{
    return window->findChild<QPushButton *>(QLatin1String(objectName));
}

QStatusBar *WindowDriver::statusBar() const
{
    return window->findChild<QStatusBar *>(QStringLiteral("statusbar"));
}

QString WindowDriver::statusText() const
{
    return statusBar()->currentMessage();
}

QTableWidget *WindowDriver::table() const
{
    return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

QProgressBar *WindowDriver::gauge() const
{
    return window->findChild<QProgressBar *>(QStringLiteral("memory"));
}

QLabel *WindowDriver::label(const char *objectName) const
{
    return window->findChild<QLabel *>(QLatin1String(objectName));
}

QComboBox *WindowDriver::ports() const
{
    return window->findChild<QComboBox *>(QStringLiteral("comboBox"));
}

static QStringList columnTexts(const QTableWidget *table, int column)
{
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << (table->item(row, column) ? table->item(row, column)->text() : QString());
    return texts;
}

QStringList WindowDriver::tableNames() const
{
    return columnTexts(table(), 1);
}

QStringList WindowDriver::tableSizes() const
{
    return columnTexts(table(), 2);
}

bool WindowDriver::selectFile(const QString &name)
{
    const int row = tableNames().indexOf(name);
    if (row < 0)
        return false;
    // An explicit command: the result must not depend on which keyboard
    // modifiers an earlier simulated click left behind.
    table()->setCurrentCell(row, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return true;
}
