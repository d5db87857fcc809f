#include "windowharness.h"

#include "windowwaits.h"

#include "app/mainwindow.h"
#include "link/linkstate.h"

#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QPushButton>
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

QByteArray uploadStartFrame(const QByteArray &path, quint32 size)
{
    return frame('U', be32(quint32(path.size())) + be32(size) + path);
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
