#include "windowharness.h"

#include "windowwaits.h"

#include "app/mainwindow.h"
#include "link/linkstate.h"

#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QTableWidget>

WindowHarness::WindowHarness()
{
    openWindow(device.portName());
}

WindowHarness::~WindowHarness()
{
    closeWindow();
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
    return waitForIdleLink(3000);
}
