// The window's program as main() runs it, with Connect pressed once the
// event loop runs: a user's first click, for tests that end the program from
// outside while it holds the port.
#include "app/mainwindow.h"
#include "app/startup.h"

#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QPushButton>

int main(int argc, char *argv[])
{
    WindowProgram::enableHighDpiScaling();
    QApplication application(argc, argv);
    WindowProgram::quitOnEndSignals();
    MainWindow window;
    window.show();
    QTimer::singleShot(0, &window, [&window] { window.findChild<QPushButton *>(QStringLiteral("pushButton_3"))->click(); });
    return application.exec();
}
