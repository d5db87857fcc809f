// A real MainWindow whose port list holds a pseudo-terminal played by the
// test, with a helper that answers its modal boxes.
#ifndef WINDOWHARNESS_H
#define WINDOWHARNESS_H

#include "modalanswerer.h"
#include "ptydevice.h"

#include <QtCore/QByteArray>
#include <QtCore/QPair>
#include <QtCore/QVector>

#include <memory>

class MainWindow;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTableWidget;

// Device-side encoding, written independently of the program's own code.
namespace DeviceBytes {
QByteArray be32(quint32 value);
QByteArray frame(char letter, const QByteArray &payload = QByteArray());
QByteArray pathField(const QByteArray &path);
QByteArray memoryReply(quint32 total, quint32 used);
using FileEntry = QPair<QByteArray, quint32>; // name, size
QByteArray listingEntries(const QVector<FileEntry> &files);
QByteArray listingReply(const QVector<FileEntry> &files);
}

class WindowHarness
{
public:
    WindowHarness();
    ~WindowHarness();

    PtyDevice device;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;

    QPushButton *button(const char *objectName) const;
    QStatusBar *statusBar() const;
    QString statusText() const;
    QTableWidget *table() const;
    QProgressBar *gauge() const;
    QLabel *label(const char *objectName) const;
    QComboBox *ports() const;

    // Clicks Connect; true when the memory request came out.
    bool connectToDevice();
    // Answers the memory request; true when the listing request follows.
    bool answerMemory(quint32 total, quint32 used);
    // Connects and answers memory and listing: the window ends idle.
    bool connectWithFiles(const QVector<DeviceBytes::FileEntry> &files, quint32 total = 1000000,
                          quint32 used = 0);
    // Selects the row showing name (column 1).
    bool selectFile(const QString &name);
    QStringList tableNames() const;
};

#endif // WINDOWHARNESS_H
