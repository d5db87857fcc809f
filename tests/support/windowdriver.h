// A real MainWindow as the tests drive it: its widgets by name, the file
// table's rows, and a helper that answers its modal boxes and dialogs.
#ifndef WINDOWDRIVER_H
#define WINDOWDRIVER_H

#include "modalanswerer.h"

#include <QtCore/QStringList>

#include <memory>

class MainWindow;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableWidget;

class WindowDriver
{
public:
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;

    QPushButton *button(const char *objectName) const;
    QStatusBar *statusBar() const;
    QString statusText() const;
    QTableWidget *table() const;
    QProgressBar *gauge() const;
    QLabel *label(const char *objectName) const;
    QComboBox *ports() const;

    QStringList tableNames() const;
    QStringList tableSizes() const;
    // Makes the row showing name (column 1) current and selected.
    bool selectFile(const QString &name);

protected:
    WindowDriver() = default;
    ~WindowDriver();
    // A fresh link and a shown window whose port list holds portName.
    void openWindow(const QString &portName);
    // Closes the link, then the window.
    void closeWindow();
};

#endif // WINDOWDRIVER_H
