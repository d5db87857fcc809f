#include "windowharness.h"

#include "app/mainwindow.h"
#include "app/portscan.h"
#include "link/linkstate.h"

#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

namespace DeviceBytes {

QByteArray be32(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

QByteArray frame(char letter, const QByteArray &payload)
{
    return QByteArray("K-Wanderer______") + letter + payload;
}

QByteArray pathField(const QByteArray &path)
{
    return be32(quint32(path.size())) + path;
}

QByteArray memoryReply(quint32 total, quint32 used)
{
    return be32(total) + be32(used);
}

QByteArray listingEntries(const QVector<FileEntry> &files)
{
    QByteArray entries;
    for (const FileEntry &file : files)
        entries += be32(quint32(file.first.size())) + be32(file.second) + file.first;
    return entries;
}

QByteArray listingReply(const QVector<FileEntry> &files)
{
    const QByteArray entries = listingEntries(files);
    return be32(quint32(entries.size())) + entries;
}

} // namespace DeviceBytes

WindowHarness::WindowHarness()
{
    linkState().reset();
    qputenv(PortsVariable, device.portName().toLocal8Bit());
    window = std::make_unique<MainWindow>();
    window->show();
    answerer = std::make_unique<ModalAnswerer>(statusBar());
}

WindowHarness::~WindowHarness()
{
    answerer.reset();
    linkState().reset();
    window.reset();
    qunsetenv(PortsVariable);
}

QPushButton *WindowHarness::button(const char *objectName) const
{
    return window->findChild<QPushButton *>(QLatin1String(objectName));
}

QStatusBar *WindowHarness::statusBar() const
{
    return window->findChild<QStatusBar *>(QStringLiteral("statusbar"));
}

QString WindowHarness::statusText() const
{
    return statusBar()->currentMessage();
}

QTableWidget *WindowHarness::table() const
{
    return window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
}

QProgressBar *WindowHarness::gauge() const
{
    return window->findChild<QProgressBar *>(QStringLiteral("memory"));
}

QLabel *WindowHarness::label(const char *objectName) const
{
    return window->findChild<QLabel *>(QLatin1String(objectName));
}

QComboBox *WindowHarness::ports() const
{
    return window->findChild<QComboBox *>(QStringLiteral("comboBox"));
}

bool WindowHarness::connectToDevice()
{
    ports()->setCurrentText(device.portName());
    button("pushButton_3")->click();
    return device.readExactly(17) == DeviceBytes::frame('M');
}

bool WindowHarness::answerMemory(quint32 total, quint32 used)
{
    device.deliver(DeviceBytes::memoryReply(total, used));
    return device.readExactly(17) == DeviceBytes::frame('L');
}

bool WindowHarness::connectWithFiles(const QVector<DeviceBytes::FileEntry> &files, quint32 total, quint32 used)
{
    if (!connectToDevice() || !answerMemory(total, used))
        return false;
    device.deliver(DeviceBytes::listingReply(files));
    return QTest::qWaitFor([] { return linkState().currentOperation.isEmpty(); }, 3000);
}

bool WindowHarness::selectFile(const QString &name)
{
    QTableWidget *files = table();
    for (int row = 0; row < files->rowCount(); ++row) {
        if (files->item(row, 1) && files->item(row, 1)->text() == name) {
            // Explicit command: the result must not depend on which keyboard
            // modifiers an earlier simulated click left behind.
            files->setCurrentCell(row, 1, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            return true;
        }
    }
    return false;
}

QStringList WindowHarness::tableNames() const
{
    QStringList names;
    QTableWidget *files = table();
    for (int row = 0; row < files->rowCount(); ++row)
        names << (files->item(row, 1) ? files->item(row, 1)->text() : QString());
    return names;
}
