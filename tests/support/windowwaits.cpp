#include "windowwaits.h"

#include "link/linkstate.h"

#include <QtCore/QEventLoop>
#include <QtCore/QFileInfo>
#include <QtCore/QTimer>
#include <QtWidgets/QFileDialog>

bool waitForIdleLink(int timeoutMs)
{
    const auto idle = [] { return linkState().currentOperation.isEmpty(); };
    if (idle())
        return true;
    QEventLoop loop;
    QObject::connect(&linkState().notifier, &LinkNotifier::exchangeEnded, &loop, &QEventLoop::quit);
    // A timer of its own, gone with the wait: a single-shot one would live on
    // until it fired, one for every wait.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    loop.exec();
    return idle();
}

void pickInFileDialog(QFileDialog *dialog, const QString &path, const std::function<void()> &justBeforeAccept)
{
    if (dialog->fileMode() == QFileDialog::Directory) {
        dialog->setDirectory(path);
    } else {
        // selectFile() leaves a focused name field alone, as it would a user's typing.
        if (QWidget *focused = dialog->focusWidget())
            focused->clearFocus();
        dialog->setDirectory(QFileInfo(path).absolutePath());
        dialog->selectFile(QFileInfo(path).fileName());
    }
    if (justBeforeAccept)
        justBeforeAccept();
    static_cast<QDialog *>(dialog)->accept();
}
