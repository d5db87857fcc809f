#include "emulatorharness.h"

#include "windowwaits.h"

#include "app/mainwindow.h"
#include "core/portdiscovery.h"
#include "link/linkstate.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtTest/QTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QProgressBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

EmulatorHarness::EmulatorHarness(const EngineOptions &options)
    : host(options)
{
    m_started = host.start();
    openWindow(host.portName());
}

EmulatorHarness::~EmulatorHarness()
{
    if (m_hostThread) {
        QThread *home = QThread::currentThread();
        QMetaObject::invokeMethod(
                &host, [this, home] { host.moveToThread(home); }, Qt::BlockingQueuedConnection);
        m_hostThread->quit();
        m_hostThread->wait();
    }
    answerer.reset();
    linkState().reset();
    window.reset();
    qunsetenv(PortDiscovery::PortsVariable);
}

void EmulatorHarness::runHostOnOwnThread()
{
    m_hostThread = std::make_unique<QThread>();
    m_hostThread->setObjectName(QStringLiteral("emulator host"));
    host.moveToThread(m_hostThread.get());
    m_hostThread->start();
}

void EmulatorHarness::clickConnect()
{
    ports()->setCurrentText(host.portName());
    button("pushButton_3")->click();
}

bool EmulatorHarness::connectAndWait(int timeoutMs)
{
    clickConnect();
    return linkState().portOpen && waitUntilIdle(timeoutMs);
}

bool EmulatorHarness::waitUntilIdle(int timeoutMs)
{
    return waitForIdleLink(timeoutMs);
}

bool EmulatorHarness::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop to look at the clock
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

bool EmulatorHarness::replugAndRescan()
{
    if (!host.plugIn())
        return false;
    qputenv(PortDiscovery::PortsVariable, host.portName().toLocal8Bit());
    button("pushButton_6")->click();
    return ports()->findText(host.portName()) >= 0;
}

bool EmulatorHarness::download(const QString &name, const QString &folder, int timeoutMs)
{
    if (!selectFile(name))
        return false;
    answerer->queueFileAnswer(folder);
    button("pushButton")->click();
    return waitUntilIdle(timeoutMs);
}

bool EmulatorHarness::upload(const QString &path, int timeoutMs)
{
    answerer->queueFileAnswer(path);
    button("pushButton_2")->click();
    return waitUntilIdle(timeoutMs);
}

qint64 EmulatorHarness::connectReplySize()
{
    qint64 size = 8 + 4;
    for (const DeviceStore::File &file : store().files())
        size += 8 + file.name.size();
    return size;
}

