#include "programdriver.h"

#include "benchclock.h"
#include "windowwaits.h"

#include "app/mainwindow.h"
#include "core/portdiscovery.h"
#include "link/linkstate.h"
#include "link/operation.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QEventLoop>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QStatusBar>
#include <QtWidgets/QTableWidget>

ProgramDriver::ProgramDriver(const QString &portName)
    : m_portName(portName)
{
    linkState().reset();
    qputenv(PortDiscovery::PortsVariable, portName.toLocal8Bit());
    // Before the program binds its handler on Connect, so it runs first.
    m_before = QObject::connect(&linkState().serialPort, &QSerialPort::readyRead, this,
                                [this] { beforeHandler(); });
    // After the program's, once the line has settled and it has bound it.
    connect(&linkState().notifier, &LinkNotifier::replyHandlerBound, this, [this] { bindAfterHandler(); });
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    m_window->findChild<QTableWidget *>(QStringLiteral("tableWidget"))->viewport()->installEventFilter(this);

    m_dialogPoll.setInterval(0);
    connect(&m_dialogPoll, &QTimer::timeout, this, [this] { answerFileDialog(); });
    QCoreApplication::processEvents();
}

ProgramDriver::~ProgramDriver()
{
    QObject::disconnect(m_before);
    QObject::disconnect(m_after);
    linkState().reset();
    m_window.reset();
    qunsetenv(PortDiscovery::PortsVariable);
}

void ProgramDriver::bindAfterHandler()
{
    QObject::disconnect(m_after);
    m_after = QObject::connect(&linkState().serialPort, &QSerialPort::readyRead, this, [this] { afterHandler(); });
}

bool ProgramDriver::connectAndWait(int timeoutMs)
{
    m_window->findChild<QComboBox *>(QStringLiteral("comboBox"))->setCurrentText(m_portName);
    m_window->findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click();
    return linkState().portOpen && waitUntilIdle(timeoutMs);
}

bool ProgramDriver::waitUntilIdle(int timeoutMs)
{
    return waitForIdleLink(timeoutMs);
}

bool ProgramDriver::selectFile(const QString &name)
{
    auto *files = m_window->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    for (int row = 0; row < files->rowCount(); ++row) {
        if (files->item(row, 1) && files->item(row, 1)->text() == name) {
            files->setCurrentCell(row, 1);
            files->selectRow(row);
            return true;
        }
    }
    return false;
}

int ProgramDriver::rowCount() const
{
    return m_window->findChild<QTableWidget *>(QStringLiteral("tableWidget"))->rowCount();
}

QString ProgramDriver::statusText() const
{
    return m_window->findChild<QStatusBar *>(QStringLiteral("statusbar"))->currentMessage();
}

void ProgramDriver::beforeHandler()
{
    m_inWatched = !m_watched.isEmpty() && linkState().currentOperation == m_watched;
    if (!m_inWatched)
        return;
    m_arrivalNs = steadyNs();
    if (m_timing.arrivals++ == 0) {
        m_timing.firstArrivalNs = m_arrivalNs;
        m_timing.cpuAtFirstArrivalNs = threadCpuNs();
    }
}

void ProgramDriver::afterHandler()
{
    if (!m_inWatched)
        return;
    m_inWatched = false;
    const qint64 now = steadyNs();
    m_timing.handlerNs += now - m_arrivalNs;
    m_timing.lastHandlerNs = now - m_arrivalNs;
    if (linkState().currentOperation == m_watched)
        return;
    m_timing.endNs = now;
    m_timing.cpuAtEndNs = threadCpuNs();
    m_watched.clear();
    m_done = true;
    m_painted = false;
    if (m_loop)
        m_loop->quit();
}

void ProgramDriver::answerFileDialog()
{
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible())
        return;
    m_dialogPoll.stop();
    pickInFileDialog(dialog, m_dialogAnswer, [this] {
        m_timing.startNs = steadyNs();
        m_timing.cpuAtStartNs = threadCpuNs();
    });
}

ProgramDriver::Timing ProgramDriver::watch(const QString &operation, int timeoutMs,
                                           const std::function<void()> &start)
{
    m_timing = Timing();
    m_watched = operation;
    m_done = false;
    start();
    QEventLoop loop;
    m_loop = &loop;
    // A timer of its own, gone with the wait: a single-shot one would live on
    // until it fired, one for every wait.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    if (!m_done)
        loop.exec();
    m_loop = nullptr;
    m_watched.clear();
    m_timing.ok = m_done;
    return m_timing;
}

ProgramDriver::Timing ProgramDriver::download(const QString &folder, int timeoutMs)
{
    return watch(Operation::Download, timeoutMs, [this, folder] {
        m_dialogAnswer = folder;
        m_dialogPoll.start();
        m_window->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    });
}

ProgramDriver::Timing ProgramDriver::upload(const QString &path, int timeoutMs)
{
    return watch(Operation::Upload, timeoutMs, [this, path] {
        m_dialogAnswer = path;
        m_dialogPoll.start();
        m_window->findChild<QPushButton *>(QStringLiteral("pushButton_2"))->click();
    });
}

ProgramDriver::Timing ProgramDriver::relist(int timeoutMs)
{
    auto *connectButton = m_window->findChild<QPushButton *>(QStringLiteral("pushButton_3"));
    if (linkState().portOpen)
        connectButton->click(); // disconnect
    QCoreApplication::processEvents();
    Timing timing = watch(Operation::List, timeoutMs, [this, connectButton] {
        m_window->findChild<QComboBox *>(QStringLiteral("comboBox"))->setCurrentText(m_portName);
        m_timing.startNs = steadyNs();
        m_timing.cpuAtStartNs = threadCpuNs();
        connectButton->click();
    });
    if (!timing.ok)
        return timing;
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop to look at the clock
    tick.start(10);
    while (!m_painted && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    timing.paintedNs = steadyNs();
    timing.ok = m_painted;
    return timing;
}

bool ProgramDriver::startDownload(const QString &folder, qint64 bytes, int timeoutMs)
{
    m_dialogAnswer = folder;
    m_dialogPoll.start();
    m_window->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    const QDeadlineTimer deadline(timeoutMs);
    QTimer tick; // wakes the loop to look at the clock
    tick.start(1);
    const LinkState &link = linkState();
    while (!(link.currentOperation == Operation::Download && link.rxBuffer.size() >= bytes) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return !deadline.hasExpired();
}

void ProgramDriver::pressConnect()
{
    m_window->findChild<QComboBox *>(QStringLiteral("comboBox"))->setCurrentText(m_portName);
    m_window->findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click();
}

bool ProgramDriver::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        m_painted = true;
    return QObject::eventFilter(watched, event);
}
