// spiffs-bench-startup: the program's own start (the same three steps as its
// main(): application, window, show), and the moment the window has been
// painted once. Prints four steady-clock times in nanoseconds: application
// made, window constructed, show() returned, first paint done; then, taken
// after all that, the nanoseconds of one more scan of the system's serial
// ports, the scan the window's constructor runs.
#include "benchclock.h"

#include "app/mainwindow.h"

#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPortInfo>
#include <QtWidgets/QApplication>

#include <cstdio>

namespace {

class FirstPaint : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const qint64 applicationNs = steadyNs();
    MainWindow window;
    const qint64 constructedNs = steadyNs();
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.show();
    const qint64 shownNs = steadyNs();
    QTimer giveUp;
    giveUp.start(10000);
    bool expired = false;
    QObject::connect(&giveUp, &QTimer::timeout, [&expired] { expired = true; });
    // The paint runs inside one event; once that call returns, the window's
    // first frame is complete.
    while (!firstPaint.painted && !expired)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    const qint64 paintedNs = steadyNs();
    if (expired)
        return 1;
    const qint64 scanStartNs = steadyNs();
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    const qint64 scanNs = steadyNs() - scanStartNs;
    std::printf("%lld %lld %lld %lld %lld\n", applicationNs, constructedNs, shownNs, paintedNs, scanNs);
    return 0;
}
