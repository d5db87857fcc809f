#include "transfer/upload.h"

#include "catalogue/memoryreport.h"
#include "link/commandguard.h"
#include "link/linkstate.h"
#include "link/operation.h"
#include "link/replydispatch.h"
#include "core/wireformat.h"
#include "core/transferformat.h"
#include "core/uploadfile.h"
#include "ui/mainwindowui.h"

#include <QtWidgets/QFileDialog>

using namespace TransferFormat;

namespace {

void endUpload(QStatusBar *statusBar, const QString &message)
{
    LinkState &link = linkState();
    statusBar->showMessage(message, 0);
    link.transferSize = 0;
    // Nothing reads the file's bytes after the device has answered.
    link.uploadBuffer = QByteArray();
    link.uploadOffset = 0;
    link.uploadEndSent = false;
    requestMemoryReport();
}

} // namespace

void startUpload(MainWindowUi &ui)
{
    if (!commandGuardPasses(ui.statusbar, BusyMessage::NamingOperation))
        return;

    const QString localPath = QFileDialog::getOpenFileName(nullptr, QString(), QString(), QString());
    if (localPath.isEmpty()) {
        ui.statusbar->showMessage(QStringLiteral("ESP32: empty uploading path"), 0);
        return;
    }
    // The link may have gone while the dialog was open.
    if (!commandGuardPasses(ui.statusbar, BusyMessage::NamingOperation))
        return;

    const QString name = uploadName(localPath);
    if (!uploadNameAcceptable(name)) {
        showMessageBox(QMessageBox::Critical, QStringLiteral("incorrect file name"));
        return;
    }
    const QByteArray devicePath = WireFormat::devicePath(name.toLatin1());

    QFile file;
    if (!openUploadFile(file, localPath)) {
        ui.statusbar->showMessage(QStringLiteral("PC: can't open uploading file"), 0);
        return;
    }
    // Measured before reading, so a file larger than the device is never read.
    const qint64 fileSize = file.size();
    LinkState &link = linkState();
    // The free space against the size, as the window is designed to judge
    // one file; spiffs-cli plans several writes by the flash's pages
    // (core/flashroom.h), and the receiver refuses what does not fit.
    if (!fitsInFreeSpace(fileSize, {link.totalBytes, link.usedBytes})) {
        showMessageBox(QMessageBox::Warning, QStringLiteral("ESP32: not enough free space"));
        return;
    }
    std::optional<QByteArray> content = readUploadFile(file, fileSize);
    if (!content) {
        ui.statusbar->showMessage(QStringLiteral("PC: can't read uploading file"), 0);
        return;
    }

    link.uploadBuffer = std::move(*content);
    link.uploadOffset = 0;
    link.uploadEndSent = false;
    link.transferSize = fileSize;
    ui.statusbar->showMessage(QStringLiteral("uploading..."), 0);
    link.rxBuffer.clear();
    startOperation(Operation::Upload, uploadStartRequest(devicePath, quint32(fileSize)));
}

void sendUploadChunk()
{
    LinkState &link = linkState();
    link.uploadRemaining = link.uploadBuffer.size() - link.uploadOffset;
    link.uploadEndSent = link.uploadRemaining <= 0;
    sendFrame(nextUploadFrame(link.uploadBuffer, link.uploadOffset));
}

void handleUploadReply(MainWindowUi &ui)
{
    LinkState &link = linkState();
    switch (takeUploadTurn(link.rxBuffer, link.uploadEndSent)) {
    case UploadTurn::SendNext:
    case UploadTurn::ReadyAfterEnd: // answered as every "A" is: here with the end frame again
        sendUploadChunk();
        ui.statusbar->showMessage(
                QStringLiteral("uploaded %1%").arg(uploadPercent(link.uploadRemaining, link.transferSize)), 0);
        break;
    case UploadTurn::Stored:
        endUpload(ui.statusbar, QStringLiteral("uploading complete"));
        break;
    case UploadTurn::EndedEarly:
        // The device has closed the file short of its last byte: whatever
        // it keeps is not the file that was picked.
        endUpload(ui.statusbar, QStringLiteral("ESP32: uploading incomplete"));
        break;
    case UploadTurn::Stopped:
        endUpload(ui.statusbar, QStringLiteral("uploading stoped"));
        break;
    case UploadTurn::Waiting:
        break;
    }
}
