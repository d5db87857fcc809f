#include "link/commandguard.h"

#include "link/linkstate.h"

#include <QtWidgets/QStatusBar>

namespace {

void clearStatusUnlessChanged(QStatusBar *statusBar, const QString &shownBefore)
{
    if (statusBar->currentMessage() == shownBefore)
        statusBar->showMessage(QString(), 0);
}

} // namespace

void showMessageBox(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box;
    box.setIcon(icon);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.exec();
}

void refuse(QStatusBar *statusBar, QMessageBox::Icon icon, const QString &text)
{
    const QString shownBefore = statusBar->currentMessage();
    showMessageBox(icon, text);
    clearStatusUnlessChanged(statusBar, shownBefore);
}

bool commandGuardPasses(QStatusBar *statusBar, BusyMessage busyMessage)
{
    const LinkState &link = linkState();
    if (!link.portOpen) {
        refuse(statusBar, QMessageBox::Information, QStringLiteral("connect to device, please"));
        return false;
    }
    if (!link.currentOperation.isEmpty()) {
        QString text = QStringLiteral("device is busy now");
        if (busyMessage == BusyMessage::NamingOperation)
            text += QStringLiteral(": ") + link.currentOperation;
        refuse(statusBar, QMessageBox::Warning, text);
        return false;
    }
    return true;
}

bool confirmedByUser(QStatusBar *statusBar, const QString &question)
{
    const QString shownBefore = statusBar->currentMessage();
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    if (box.exec() == QMessageBox::Yes)
        return true;
    clearStatusUnlessChanged(statusBar, shownBefore);
    return false;
}
